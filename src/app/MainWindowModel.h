#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/MainWindowTexts.h"
#include "app/WindowControls.h"
#include "archive/ItemTable.h"
#include "backup/BackupRequest.h"
#include "backup/BackupRun.h"
#include "outlook/HeldFiles.h"
#include "platform/Platform.h"
#include "restore/OpenBackup.h"
#include "restore/RestoreSession.h"
#include "scheduler/Scheduler.h"
#include "ui/Dialogs.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {

enum class MainTab { Backup = 0, Restore = 1 };
enum class MouseButton { Left, Right, Middle };
enum class ItemsPopupMenu { BackupItems, RestoreItems };

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
    // Runs `work` away from the window thread, so the window keeps repainting and its Cancel
    // button works, handing it a sink whose calls reach `window` on the window thread. Then
    // runs `done` on the window thread, after every progress call `work` made has arrived.
    // The model starts one run at a time and keeps `window` alive until `done` has run.
    virtual void RunInBackground(ProgressSink& window, std::function<void(ProgressSink&)> work,
                                 std::function<void()> done) = 0;
    // The progress display (panel, status, bar, file texts, busy cursor) changed; called on
    // the window thread, also while the window thread itself is busy collecting.
    virtual void ShowProgress() = 0;
};

// The host of the window's rules when no window is shown (the command-line tool): it opens
// nothing and ends nothing, and runs background work at once on the caller's thread.
class HeadlessWindowHost final : public MainWindowHost {
public:
    void ShowPopupMenu(ItemsPopupMenu) override {}
    void ShowAboutWindow() override {}
    void ShowSchedulerWindow() override {}
    void ShowDiscWindow() override {}
    void EndProgram() override {}
    void RunInBackground(ProgressSink& window, std::function<void(ProgressSink&)> work,
                         std::function<void()> done) override
    {
        work(window);
        done();
    }
    void ShowProgress() override {}
};

// The restore tab's line for a differential backup: the full it needs and whether it was found
// beside it; and the title of the dialog that asks for that full when it was not.
std::string DifferentialFactsLine(const std::string& fullName, bool found);
std::string FullBackupDialogTitle(const std::string& fullName);

// The main window's rules and state, without any widget: which boxes are enabled and ticked,
// the captions that change, and what each button, menu and click does. The window binds its
// controls to this state and calls the event methods; after each call it shows the state.
//
// It is also where a run shows its progress (the ProgressSink), on the window thread. One run
// at a time: while one goes, new runs, opening a backup and profile changes are ignored.
class MainWindowModel final : public ProgressSink {
public:
    // scheduler: where the administrator's scheduled backup is made at the start; null where
    // this system offers none.
    MainWindowModel(AppState& state, Platform& platform, Scheduler* scheduler, Messages& messages,
                    Dialogs& dialogs, MainWindowHost& host);
    // For windows that choose no file: every file chooser is answered as if cancelled.
    MainWindowModel(AppState& state, Platform& platform, Scheduler* scheduler, Messages& messages,
                    MainWindowHost& host);
    ~MainWindowModel() override;

    // Loading the window: fills the shared state and the profile lists, or reports that no
    // Outlook profile was found.
    void Load();
    // The window's first load: restores that were cut short are put in order first, and the
    // user is told once what was done.
    void Start();

    void TabClicked(MainTab newTab);
    void ApplyClicked();
    void BackupNowChosen();
    void RestoreNowChosen();
    void TaskSchedulerChosen();
    void BackupToCdChosen();
    void HelpChosen();
    void OurWebsiteChosen();
    void AboutChosen();
    // Asks first while a run goes: a "Yes" cancels it and ends the program once it is over.
    void QuitChosen();
    // The backup tab's Browse button: the save dialog, whose answer is the only way the
    // target is set.
    void TargetFileClicked();
    // The restore tab's source-file button: clears the tab, asks for an archive (and its
    // password) and shows what it holds, with a box enabled for each of its items.
    void SourceFileClicked();
    // A backup file the program was started with (opened from the desktop): the restore tab
    // shows, and the file opens exactly as if the source-file button's dialog had chosen it,
    // password prompt included.
    void OpenBackupFile(const std::string& path);
    // The progress panel's Cancel button: a running backup write stops and leaves any previous
    // archive as it was; a running restore stops before its next file.
    void CancelClicked();
    void ItemsFrameMouseDown(MainTab frame, MouseButton button);
    void SelectAllItems(MainTab tab);
    void DeselectAllItems(MainTab tab);
    void ProtectClicked(bool checked);
    // "Verify the backup after writing", ticked at the start and kept as set from one run to
    // the next: the new archive is read back before it replaces the previous one.
    void SetVerify(bool checked) { verify_ = checked; }

    void SetItemChecked(MainTab tab, int index, bool checked);
    void SetPasswords(const std::string& password, const std::string& retyped);
    // A profile picked in the backup tab's list: recomputes where its items live and which
    // boxes it offers, all of them unticked.
    void SourceProfileChosen(int index);
    void SetTargetSelection(int index) { targetSelection_ = index; }
    // The backup's description as typed.
    void SetDescription(const std::string& text);

    MainTab ActiveTab() const { return activeTab_; }
    const std::string& ApplyCaption() const { return applyCaption_; }
    bool ApplyEnabled() const { return applyEnabled_; }
    const ItemBoxStates& Items(MainTab tab) const;
    const std::vector<std::string>& SourceProfiles() const { return sourceProfiles_; }
    const std::vector<std::string>& TargetProfiles() const { return targetProfiles_; }
    int SourceSelection() const { return sourceSelection_; }
    int TargetSelection() const { return targetSelection_; }
    bool Protect() const { return protect_; }
    bool Verify() const { return verify_; }
    bool PasswordBoxesEnabled() const { return protect_; }
    PasswordBoxColour PasswordColour() const;
    const std::string& Password() const { return password_; }
    const std::string& RetypedPassword() const { return retypedPassword_; }
    bool ProgressPanelVisible() const { return progressPanelVisible_; }
    int ProgressValue() const { return progressValue_; }
    const std::string& StatusText() const { return statusText_; }
    const std::string& FileText() const { return fileText_; }
    const std::string& WriteText() const { return writeText_; }
    bool Busy() const { return busy_; }
    // What the read-only target box shows: the path chosen in the save dialog.
    const std::string& TargetFileText() const { return targetFileText_; }
    const std::string& Description() const { return description_; }
    // The restore tab's texts about the opened backup: its path, its facts and its
    // description.
    const std::string& SourceFileText() const { return opened_.SourceFile; }
    const std::string& BackupFactsText() const { return opened_.BackupFacts; }
    const std::string& BackupDescriptionText() const { return opened_.Description; }
    bool Running() const { return running_; }
    // How long a run waits for the programs it asked to close; tests shorten it.
    void SetHolderWait(std::chrono::milliseconds wait) { holderWait_ = wait; }
    bool CancelEnabled() const { return running_ && !cancelRequested_; }

    // Where a run shows its progress; the window thread only.
    void SetStatus(const std::string& text) override;
    void SetProgress(int value, int maximum) override;
    void SetFileText(const std::string& text) override;
    void SetWriteText(const std::string& text) override;
    void SetWritePercent(int percent) override;
    void SetBusy(bool busy) override;

private:
    ItemBoxStates& MutableItems(MainTab tab);
    // Enables the boxes the selected source profile offers at its located items, unticked.
    void OfferSourceItems();
    void ClearRestoreTab();
    // Opens an archive chosen on the restore tab: its password, its facts and its boxes.
    void OpenChosenBackup(const std::string& path);
    void StartBackupRun();
    void CollectAndWrite();
    // The held-files question: Yes deals with them the way the user chose (a shadow copy when
    // `snapshot`, else closing their program), No leaves them out, Cancel stops.
    std::optional<IfOutlookRuns> AskAboutHeldFiles(const std::vector<HeldFile>& held,
                                                   bool snapshot);
    bool AdministratorRights() const;
    // The options window's choice of a shadow copy for held files, which needs the rights.
    bool SnapshotChosen();
    void StartRestoreRun();
    void AskForTheFull(const RestoreRequest& request);
    void RunRestore(const RestoreRequest& request, const RestoreMachine& machine);
    // A run's held-files step, then `next` on the window thread: off it when programs are to
    // close (the wait takes up to a minute, and Cancel must work meanwhile), else at once.
    void PrepareThen(bool offThread, std::function<void(ProgressSink&)> prepare,
                     std::function<void()> next);
    // A run that ended before it began: the programs closed started again, the panel hidden.
    void EndWithoutRun();
    BackupRequest ReadBackupRequest() const;
    RestoreSession& Restore();
    // Back on the window thread once the work off it is over.
    void WorkDone();
    void EndRun();
    void EndBackupRun();
    void EndRestoreRun();
    // The panel hidden and the bar back at its start once a run is over.
    void HideProgress();

    AppState& state_;
    Platform& platform_;
    Scheduler* scheduler_;
    Messages& messages_;
    Dialogs& dialogs_;
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
    bool verify_ = true;
    std::string password_;
    std::string retypedPassword_;
    bool progressPanelVisible_ = false;
    int progressValue_ = 0;
    std::string statusText_;
    std::string fileText_;
    std::string writeText_;
    bool busy_ = false;

    std::string targetFileText_;
    // The bare name the save dialog chose, which the disc window is handed with the path.
    std::string targetFileName_;
    std::string description_;

    // The run going on, if any.
    bool running_ = false;
    bool cancelRequested_ = false;
    std::unique_ptr<BackupRun> backup_;
    // The restore side: the archive opened on the restore tab stays open between runs.
    std::unique_ptr<RestoreSession> restore_;
    OpenedBackup opened_;
    bool restoreRunning_ = false;
    RestoreOutcome restoreOutcome_;
    std::string runTargetPath_;
    std::string runTargetName_;
    // How long a run waits for the programs it asked to close.
    std::chrono::milliseconds holderWait_ = HeldFilesGate::DefaultWait;
    // Quit was answered "Yes" while the run went on: end the program once it is over.
    bool quitAfterRun_ = false;
    // The quit question is open; a run that ends meanwhile waits for the answer.
    bool askingToQuit_ = false;
    bool writtenWhileAsking_ = false;
};

}  // namespace kestrel
