#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/MainWindowTexts.h"
#include "archive/ItemTable.h"
#include "platform/Platform.h"
#include "ui/Messages.h"

namespace kestrel {

enum class MainTab { Backup = 0, Restore = 1 };
enum class MouseButton { Left, Right, Middle };
enum class ItemsPopupMenu { BackupItems, RestoreItems };
// The two colours the password boxes take: the system's window background when they can be
// typed into, its grey scroll-bar colour when not.
enum class PasswordBoxColour { WindowBackground, ScrollBarGrey };

struct ItemBox {
    bool enabled = false;
    bool checked = false;
    std::string toolTip;
};
using ItemBoxStates = std::array<ItemBox, ItemBoxCount>;

// What only the window itself can do; the wx window implements it.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;

    virtual void ShowPopupMenu(ItemsPopupMenu menu) = 0;
    virtual void ShowAboutWindow() = 0;
    virtual void ShowSchedulerWindow() = 0;
    virtual void ShowDiscWindow() = 0;
    // Closes every secondary window and the main window, and ends the program.
    virtual void EndProgram() = 0;
};

// The host of the window's rules when no window is shown (the command-line tool): it opens
// nothing and ends nothing.
class HeadlessWindowHost final : public MainWindowHost {
public:
    void ShowPopupMenu(ItemsPopupMenu) override {}
    void ShowAboutWindow() override {}
    void ShowSchedulerWindow() override {}
    void ShowDiscWindow() override {}
    void EndProgram() override {}
};

// The main window's rules and state, without any widget: which boxes are enabled and ticked,
// the captions that change, and what each button, menu and click does. The window binds its
// controls to this state and calls the event methods; after each call it shows the state.
class MainWindowModel {
public:
    MainWindowModel(AppState& state, Platform& platform, Messages& messages, MainWindowHost& host);

    // Loading the window: fills the shared state and the profile lists, or reports that no
    // Outlook profile was found.
    void Load();

    void TabClicked(MainTab newTab);
    void ApplyClicked();
    void BackupNowChosen();
    void RestoreNowChosen();
    void TaskSchedulerChosen();
    void BackupToCdChosen();
    void HelpChosen();
    void OurWebsiteChosen();
    void AboutChosen();
    void QuitChosen();
    void ItemsFrameMouseDown(MainTab frame, MouseButton button);
    void SelectAllItems(MainTab tab);
    void DeselectAllItems(MainTab tab);
    void ProtectClicked(bool checked);

    void SetItemChecked(MainTab tab, int index, bool checked);
    void SetPasswords(const std::string& password, const std::string& retyped);
    // A profile picked in the backup tab's list: recomputes where its items live and which
    // boxes it offers, all of them unticked.
    void SourceProfileChosen(int index);
    void SetTargetSelection(int index) { targetSelection_ = index; }

    MainTab ActiveTab() const { return activeTab_; }
    const std::string& ApplyCaption() const { return applyCaption_; }
    bool ApplyEnabled() const { return applyEnabled_; }
    const ItemBoxStates& Items(MainTab tab) const;
    const std::vector<std::string>& SourceProfiles() const { return sourceProfiles_; }
    const std::vector<std::string>& TargetProfiles() const { return targetProfiles_; }
    int SourceSelection() const { return sourceSelection_; }
    int TargetSelection() const { return targetSelection_; }
    bool Protect() const { return protect_; }
    bool PasswordBoxesEnabled() const { return protect_; }
    PasswordBoxColour PasswordColour() const;
    const std::string& Password() const { return password_; }
    const std::string& RetypedPassword() const { return retypedPassword_; }
    bool ProgressPanelVisible() const { return progressPanelVisible_; }
    int ProgressValue() const { return progressValue_; }
    const std::string& StatusText() const { return statusText_; }

private:
    ItemBoxStates& MutableItems(MainTab tab);
    // Enables the boxes the selected source profile offers at its located items, unticked.
    void OfferSourceItems();
    void StartBackupRun();
    void StartRestoreRun();

    AppState& state_;
    Platform& platform_;
    Messages& messages_;
    MainWindowHost& host_;

    MainTab activeTab_ = MainTab::Backup;
    std::string applyCaption_ = texts::BackupNow;
    bool applyEnabled_ = true;
    ItemBoxStates backupItems_{};
    ItemBoxStates restoreItems_{};
    std::vector<std::string> sourceProfiles_;
    std::vector<std::string> targetProfiles_;
    int sourceSelection_ = -1;
    int targetSelection_ = -1;
    bool protect_ = false;
    std::string password_;
    std::string retypedPassword_;
    bool progressPanelVisible_ = false;
    int progressValue_ = 0;
    std::string statusText_;
};

}  // namespace kestrel
