#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/timer.h>
#include <wx/treebase.h>

#include "disc/DiscWindowModel.h"
#include "gui/WxMessages.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxGUIEventLoop;
class wxGauge;
class wxListCtrl;
class wxListEvent;
class wxMenu;
class wxTextCtrl;
class wxTreeCtrl;
class wxTreeEvent;

namespace kestrel {

// Makes the engine the disc window works with, over the program's file system.
using DiscEngineFactory = std::function<std::unique_ptr<DiscEngine>(FileSystem&)>;

// The disc-writing window (frmMaindvdwrite). Holds no rules: every event goes to
// DiscWindowModel, and after each one (and after each engine event) the widgets are set from
// the model's state. A frame rather than a dialog, for its menu bar and status bar; Run makes
// it modal. Controls carry their names (cboDevices, tvwFolders, cmdWriteDisc, ...) as wx names.
class DiscWindow final : public wxFrame, public DiscWindowHost {
public:
    // messages: where the model's message boxes go; null for real message boxes.
    DiscWindow(wxWindow* parent, std::unique_ptr<DiscEngine> engine, FileSystem& files,
               Messages* messages = nullptr);
    ~DiscWindow() override;

    // Opens the window modally over its parent and returns once it has closed. An archive
    // handed over (both texts set) goes into the image. When the engine cannot start, its
    // message is shown and the window never appears.
    void Run(std::string& pendingFileName, std::string& pendingFilePath);

    void CloseWindow() override;
    void EditTreeLabel(const std::string& key) override;
    void EditListLabel(const std::string& key) override;
    void ShowFileMenu(FileMenuPopup popup) override;
    void ShowEraseWindow(DiscDevice& drive) override;
    void ProcessPendingEvents() override;

private:
    // Shows the model's state again after each event the engine raises.
    class EngineWatch;

    void BuildMenus();
    void BuildControls();
    void BindCommands();
    void BindTree();
    void BindList();
    void DeliverEngineEvents();
    void StopListening();
    void ShowModelState();
    void ShowTree();
    void ShowFiles();
    void ShowEnabling();
    void Dropped(const std::vector<std::string>& paths);
    std::string KeyOf(const wxTreeItemId& item) const;

    std::unique_ptr<DiscEngine> engine_;
    WxMessages wxMessages_;
    Messages* injectedMessages_;
    DiscWindowModel model_;
    std::unique_ptr<EngineWatch> watch_;
    bool watching_ = false;

    wxGUIEventLoop* loop_ = nullptr;
    bool closed_ = false;
    bool busyShown_ = false;
    // Set while the widgets are being set from the model, so their own events are not taken
    // for the user's.
    bool showing_ = false;
    bool delivering_ = false;
    wxTimer deliveryTimer_;
    std::chrono::steady_clock::time_point lastYield_{};

    wxChoice* devices_ = nullptr;
    wxChoice* speeds_ = nullptr;
    wxChoice* fileSystems_ = nullptr;
    wxTextCtrl* label_ = nullptr;
    wxTreeCtrl* tree_ = nullptr;
    wxListCtrl* list_ = nullptr;
    std::array<wxCheckBox*, DiscOptionCount> options_{};
    wxGauge* progress_ = nullptr;
    wxButton* writeDisc_ = nullptr;
    wxButton* cancel_ = nullptr;
    std::unique_ptr<wxMenu> treeMenu_;
    std::unique_ptr<wxMenu> listMenu_;

    // What the tree and the list show, as last taken from the model.
    std::vector<FolderNode> shownTree_;
    std::map<std::string, wxTreeItemId> treeItems_;
    std::set<std::string> expandedShown_;
    std::vector<FileRow> shownFiles_;
};

}  // namespace kestrel
