#pragma once

#include <array>
#include <functional>
#include <memory>
#include <thread>

#include <wx/frame.h>

#include "app/MainWindowModel.h"
#include "gui/DiscWindow.h"
#include "gui/WxDialogs.h"
#include "gui/WxMessages.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxGauge;
class wxNotebook;
class wxPanel;
class wxStaticBoxSizer;
class wxStaticText;
class wxTextCtrl;
class wxMenu;

namespace kestrel {

// The main window. Holds no rules: every event goes to MainWindowModel, and after each one
// the widgets are set from the model's state. Controls carry their names (cbSource,
// backupitem0, cmdApply, ...) as wx names, so tests can find them.
//
// A run's write goes on a worker thread of the window's own; what it reports comes back
// through the event queue, so the widgets are only ever touched on the window thread.
class MainFrame final : public wxFrame, public MainWindowHost {
public:
    // scheduler: what the options window and the start-up's job work with; null where this
    // system offers none.
    // messages: where the model's message boxes go; null for real message boxes.
    // dialogs: where its file choosers go; null for real file dialogs.
    // discEngines: what the disc window writes with; empty for the system's disc engine.
    MainFrame(AppState& state, Platform& platform, Scheduler* scheduler,
              Messages* messages = nullptr, Dialogs* dialogs = nullptr,
              DiscEngineFactory discEngines = {});
    // Stops and waits for a write still going (the window is normally closed only after it).
    ~MainFrame() override;

    // Runs the window's load (the start-up steps) and shows the resulting state.
    void LoadWindow();
    MainWindowModel& Model() { return model_; }
    // Selects a tab as a click on it would, including the tab-change rules.
    void SelectTab(MainTab tab);
    // The backup file the program was started with: the restore tab, with that file opened.
    void OpenBackupFile(const std::string& path);

    void ShowPopupMenu(ItemsPopupMenu menu) override;
    void ShowAboutWindow() override;
    void ShowSchedulerWindow() override;
    void ShowDiscWindow() override;
    void EndProgram() override;
    void RunInBackground(ProgressSink& window, std::function<void(ProgressSink&)> work,
                         std::function<void()> done) override;
    void ShowProgress() override;

private:
    void BuildMenus();
    wxPanel* BuildBackupPage();
    wxPanel* BuildRestorePage();
    wxStaticBoxSizer* BuildWhereFrame(wxWindow* parent, const char* label, const char* textName,
                                      const char* buttonName, long textStyle,
                                      wxTextCtrl** text = nullptr, wxButton** button = nullptr);
    wxStaticBoxSizer* BuildItemsFrame(wxWindow* parent, MainTab tab, const char* caption,
                                      const char* frameName);
    wxPanel* BuildProgressPanel(wxWindow* parent);
    void BindMenuCommands();
    void ShowModelState();
    void ShowItems(MainTab tab);

    // What the secondary windows work on and report through (null: their own real ones).
    AppState& state_;
    Platform& platform_;
    Scheduler* scheduler_;
    Messages* messages_;
    Dialogs* dialogs_;
    DiscEngineFactory discEngines_;
    WxMessages wxMessages_;
    WxDialogs wxDialogs_;
    MainWindowModel model_;
    std::thread worker_;
    // Whether this window holds the busy cursor (wxBeginBusyCursor calls nest).
    bool busyShown_ = false;

    wxPanel* root_ = nullptr;
    wxNotebook* tabs_ = nullptr;
    wxChoice* source_ = nullptr;
    wxChoice* target_ = nullptr;
    std::array<wxCheckBox*, ItemBoxCount> backupItems_{};
    std::array<wxCheckBox*, ItemBoxCount> restoreItems_{};
    wxCheckBox* protect_ = nullptr;
    wxCheckBox* verify_ = nullptr;
    wxTextCtrl* password_ = nullptr;
    wxTextCtrl* retypedPassword_ = nullptr;
    wxTextCtrl* targetFile_ = nullptr;
    wxTextCtrl* sourceFile_ = nullptr;
    wxTextCtrl* backupFacts_ = nullptr;
    wxTextCtrl* backupDescription_ = nullptr;
    wxPanel* progressPanel_ = nullptr;
    wxStaticText* status_ = nullptr;
    wxGauge* progress_ = nullptr;
    wxStaticText* fileText_ = nullptr;
    wxStaticText* writeText_ = nullptr;
    wxButton* cancel_ = nullptr;
    wxButton* apply_ = nullptr;
    std::unique_ptr<wxMenu> backupItemsMenu_;
    std::unique_ptr<wxMenu> restoreItemsMenu_;
};

}  // namespace kestrel
