#include "app/MainWindowModel.h"

#include <algorithm>
#include <ctime>

#include "app/BackupSetup.h"
#include "app/MainWindowTexts.h"
#include "app/Policies.h"
#include "app/PolicyJob.h"
#include "app/RestoreSetup.h"
#include "app/Startup.h"
#include "archive/MemberName.h"
#include "backup/BackupDialogue.h"
#include "outlook/OutlookRunsSetting.h"
#include "platform/PathJoin.h"
#include "registry/RegistryAccess.h"

namespace kestrel {
namespace {

// Read when asked: an administrator's change reaches the open window at its next click.
Policies CurrentPolicies(Platform& platform)
{
    return platform.registry ? ReadPolicies(*platform.registry, platform.system.get()) : Policies{};
}

// For windows without file choosers: answers as a user who cancels, so nothing is chosen.
class NoFileDialogs final : public Dialogs {
public:
    std::optional<std::string> ChooseSaveFile(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> ChooseOpenFile(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> AskPassword() override { return {}; }
};

std::string FileLines(const std::vector<HeldFile>& files)
{
    std::string lines;
    for (const HeldFile& file : files) {
        lines += file.path + "\r\n";
    }
    return lines;
}

// The question names the program that holds the files, also in what its buttons do.
std::string HeldFilesQuestion(const std::vector<HeldFile>& held, bool restore, bool snapshot)
{
    const std::string names = HolderNames(held);
    std::string answers;
    if (restore) {
        answers = texts::RestoreCloseAnswerBefore + names + texts::HeldRestoreAnswers;
    } else if (snapshot) {
        answers = texts::SnapshotAnswerBefore + names + texts::SnapshotAnswerAfter;
    } else {
        answers = texts::CloseAnswerBefore + names + texts::HeldBackupAnswers;
    }
    return names + (restore ? texts::HeldRestoreBefore : texts::HeldFilesBefore) + "\r\n\r\n" +
           FileLines(held) + "\r\n" + answers;
}

// How the run dealt with the held files, when the user should know: no shadow copy could be
// used, so the programs were asked to close.
std::string HeldFilesNote(const HeldCheck& check)
{
    if (check.snapshotFailure.empty()) {
        return {};
    }
    return texts::NoShadowCopyBefore + check.snapshotFailure + texts::NoShadowCopyAfter +
           HolderNames(check.held) + texts::NoShadowCopyClosing;
}

Dialogs& NoDialogs()
{
    static NoFileDialogs none;
    return none;
}

}  // namespace

MainWindowModel::MainWindowModel(AppState& state, Platform& platform, Scheduler* scheduler,
                                 Messages& messages, Dialogs& dialogs, MainWindowHost& host)
    : state_(state),
      platform_(platform),
      scheduler_(scheduler),
      messages_(messages),
      dialogs_(dialogs),
      host_(host)
{
}

MainWindowModel::MainWindowModel(AppState& state, Platform& platform, Scheduler* scheduler,
                                 Messages& messages, MainWindowHost& host)
    : MainWindowModel(state, platform, scheduler, messages, NoDialogs(), host)
{
}

MainWindowModel::~MainWindowModel() = default;

void MainWindowModel::Start()
{
    const std::string recovered = RecoverInterruptedRestore(platform_);
    if (!recovered.empty()) {
        messages_.Show(recovered, texts::ApplicationTitle, MessageIcon::Information,
                       MessageButtons::Ok);
    }
    Load();
    // Each user's start makes the scheduled backup the administrator set for every user.
    if (std::string why; BringPolicyJobInLine(CurrentPolicies(platform_), state_, platform_,
                                              scheduler_, why) == PolicyJobResult::Failed) {
        messages_.Show(PolicyJobNotMade + why, texts::ApplicationTitle, MessageIcon::Exclamation,
                       MessageButtons::Ok);
    }
}

void MainWindowModel::Load()
{
    progressPanelVisible_ = false;
    progressValue_ = 0;
    statusText_ = texts::PleaseWaiting;
    applyCaption_ = activeTab_ == MainTab::Backup ? texts::BackupNow : texts::RestoreNow;

    LoadSharedState(state_, platform_, messages_);

    if (state_.NoOutlookFlag) {
        messages_.Show(texts::NoOutlook, texts::ApplicationTitle, MessageIcon::Stop,
                       MessageButtons::Ok);
        applyEnabled_ = false;
        return;
    }
    sourceProfiles_ = state_.ProfileNames;
    targetProfiles_ = state_.ProfileNames;
    sourceSelection_ = 0;
    targetSelection_ = 0;
    // Loading the shared state located the first profile's items already.
    OfferSourceItems();
}

void MainWindowModel::SourceProfileChosen(int index)
{
    // The running backup read its profile when it started; the window keeps showing it.
    if (running_) {
        return;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= sourceProfiles_.size()) {
        return;
    }
    sourceSelection_ = index;
    if (platform_.registry) {
        RegistryAccess registry(*platform_.registry, messages_);
        state_.ProfileLocations = LocateProfileItems(
            DiscoveryContextOf(state_), sourceProfiles_[static_cast<std::size_t>(index)], registry);
    }
    OfferSourceItems();
}

void MainWindowModel::OfferSourceItems()
{
    // A new profile starts from nothing ticked: the user's ticks were for another profile.
    for (ItemBox& box : backupItems_) {
        box.enabled = true;
        box.checked = false;
    }
    if (!platform_.registry || !platform_.fileSystem) {
        return;
    }
    const std::string& profile = sourceProfiles_[static_cast<std::size_t>(sourceSelection_)];
    RegistryAccess registry(*platform_.registry, messages_);
    const ItemAvailability items =
        FindAvailableItems(DiscoveryContextOf(state_), profile, state_.ProfileLocations, registry,
                           *platform_.fileSystem);
    for (std::size_t box = 0; box < backupItems_.size(); ++box) {
        backupItems_[box].enabled = items.enabled[box];
    }
    if (items.addressBookToolTip) {
        backupItems_[AddressBookBox].toolTip = *items.addressBookToolTip;
    }
}

void MainWindowModel::TabClicked(MainTab newTab)
{
    // The caption follows the tab that was left, as the tab control reports it.
    MainTab previous = activeTab_;
    activeTab_ = newTab;
    applyCaption_ = previous != MainTab::Restore ? texts::RestoreNow : texts::BackupNow;
}

void MainWindowModel::ApplyClicked()
{
    if (running_) {
        return;
    }
    if (activeTab_ == MainTab::Backup) {
        StartBackupRun();
        return;
    }
    if (messages_.Show(texts::RestoreConfirmation, texts::ApplicationTitle,
                       MessageIcon::Information, MessageButtons::OkCancel) == MessageAnswer::Ok) {
        StartRestoreRun();
    }
}

void MainWindowModel::BackupNowChosen()
{
    StartBackupRun();
}

void MainWindowModel::RestoreNowChosen()
{
    StartRestoreRun();
}

void MainWindowModel::TaskSchedulerChosen()
{
    host_.ShowSchedulerWindow();
}

void MainWindowModel::BackupToCdChosen()
{
    if (!CurrentPolicies(platform_).DiscAllowed()) {
        messages_.Show(DiscTurnedOff, texts::ApplicationTitle, MessageIcon::Stop,
                       MessageButtons::Ok);
        return;
    }
    host_.ShowDiscWindow();
}

void MainWindowModel::HelpChosen()
{
    // The Windows folder is asked for again: the help viewer lives there.
    const std::string viewer = JoinPath(platform_.system->WindowsFolder(), "hh.exe");
    const std::string helpFile = JoinPath(platform_.system->ProgramFolder(), "help.chm");
    platform_.shell->StartProcess(viewer, helpFile);
}

void MainWindowModel::OurWebsiteChosen()
{
    platform_.shell->OpenDocument(texts::WebsiteAddress);
}

void MainWindowModel::AboutChosen()
{
    host_.ShowAboutWindow();
}

void MainWindowModel::QuitChosen()
{
    if (!running_) {
        host_.EndProgram();
        return;
    }
    if (askingToQuit_ || quitAfterRun_) {
        return;
    }
    // The question is modal, but the worker goes on: a run that ends while it is open waits
    // for the answer, so that neither a result message nor a Cancel comes in between.
    askingToQuit_ = true;
    const bool quit =
        messages_.Show(restoreRunning_ ? texts::QuitWhileRestoreRuns : texts::QuitWhileBackupRuns,
                       texts::ApplicationTitle, MessageIcon::Exclamation,
                       MessageButtons::YesNo) == MessageAnswer::Yes;
    askingToQuit_ = false;
    quitAfterRun_ = quit;
    if (writtenWhileAsking_) {
        writtenWhileAsking_ = false;
        EndRun();
    } else if (quit) {
        CancelClicked();
    }
}

void MainWindowModel::TargetFileClicked()
{
    if (running_) {
        return;
    }
    const std::optional<std::string> chosen = ChooseTargetFile(dialogs_, std::time(nullptr));
    if (!chosen) {
        return;
    }
    state_.TargetArchivePath = *chosen;
    targetFileText_ = *chosen;
    targetFileName_ = BareName(*chosen);
}

void MainWindowModel::CancelClicked()
{
    if (!running_ || cancelRequested_) {
        return;
    }
    cancelRequested_ = true;
    if (restoreRunning_) {
        restore_->Cancel();
    } else {
        backup_->Cancel();
    }
}

void MainWindowModel::SourceFileClicked()
{
    if (running_) {
        return;
    }
    // Cleared before the dialog: cancelling it leaves nothing to restore.
    ClearRestoreTab();
    const std::optional<std::string> chosen = ChooseBackupFile(dialogs_);
    if (chosen) {
        OpenChosenBackup(*chosen);
    }
}

void MainWindowModel::OpenBackupFile(const std::string& path)
{
    if (running_) {
        return;
    }
    if (activeTab_ != MainTab::Restore) {
        TabClicked(MainTab::Restore);
    }
    ClearRestoreTab();
    OpenChosenBackup(path);
}

void MainWindowModel::ClearRestoreTab()
{
    for (ItemBox& box : restoreItems_) {
        box.enabled = false;
        box.checked = false;
    }
    opened_.SourceFile.clear();
    opened_.BackupFacts.clear();
    opened_.Description.clear();
}

void MainWindowModel::OpenChosenBackup(const std::string& path)
{
    if (!platform_.fileSystem) {
        return;
    }
    opened_.NoValidBackupFlag = state_.NoValidBackupFlag;
    opened_.RestorePassword = state_.RestorePassword;
    Restore().Open(state_.RunFolder, path, dialogs_, messages_, opened_);
    if (opened_.Differential) {
        opened_.BackupFacts += "\r\n" + DifferentialFactsLine(opened_.Differential->fullName,
                                                              !Restore().FullFor(opened_).empty());
    }
    state_.NoValidBackupFlag = opened_.NoValidBackupFlag;
    state_.RestorePassword = opened_.RestorePassword;
    for (std::size_t box = 0; box < restoreItems_.size(); ++box) {
        restoreItems_[box].enabled = opened_.EnabledBoxes[box];
    }
}

// A differential's data files need its full backup: when it is not beside the differential,
// the user is asked where it is. Cancelled, the data files are refused with the reason and the
// other items are restored.
void MainWindowModel::AskForTheFull(const RestoreRequest& request)
{
    if (!opened_.Differential || !request.ticked[0] || !Restore().FullFor(opened_).empty()) {
        return;
    }
    FileDialogRequest choose;
    choose.title = FullBackupDialogTitle(opened_.Differential->fullName);
    choose.filter = "Kestrel File (*.ksb)|*.ksb";
    choose.defaultExtension = "ksb";
    choose.folder = ParentFolder(opened_.SourceFile);
    choose.proposedName = opened_.Differential->fullName;
    const std::optional<std::string> chosen = dialogs_.ChooseOpenFile(choose);
    if (chosen && !chosen->empty()) {
        Restore().UseFull(*chosen);
    }
}

std::string DifferentialFactsLine(const std::string& fullName, bool found)
{
    return "Differential of: " + fullName +
           (found ? " (found beside it)" : " (not found: Kestrel asks for it when you restore)");
}

std::string FullBackupDialogTitle(const std::string& fullName)
{
    return "Where is the full backup " + fullName + "?";
}

RestoreSession& MainWindowModel::Restore()
{
    if (!restore_) {
        restore_ = std::make_unique<RestoreSession>(platform_);
    }
    return *restore_;
}

void MainWindowModel::SetDescription(const std::string& text)
{
    // As typed, whatever its line breaks: the info file stores each kind in its own form.
    description_ = text;
}

void MainWindowModel::ItemsFrameMouseDown(MainTab frame, MouseButton button)
{
    if (button != MouseButton::Right) {
        return;
    }
    host_.ShowPopupMenu(frame == MainTab::Backup ? ItemsPopupMenu::BackupItems
                                                 : ItemsPopupMenu::RestoreItems);
}

void MainWindowModel::SelectAllItems(MainTab tab)
{
    for (ItemBox& box : MutableItems(tab)) {
        box.checked = box.enabled;
    }
}

void MainWindowModel::DeselectAllItems(MainTab tab)
{
    for (ItemBox& box : MutableItems(tab)) {
        box.checked = false;
    }
}

void MainWindowModel::ProtectClicked(bool checked)
{
    protect_ = checked;
    password_.clear();
    retypedPassword_.clear();
}

void MainWindowModel::SetItemChecked(MainTab tab, int index, bool checked)
{
    if (index < 0 || index >= ItemBoxCount) {
        return;
    }
    ItemBox& box = MutableItems(tab)[static_cast<std::size_t>(index)];
    // A disabled box cannot be ticked by the user.
    box.checked = checked && box.enabled;
}

void MainWindowModel::SetPasswords(const std::string& password, const std::string& retyped)
{
    password_ = password;
    retypedPassword_ = retyped;
}

const ItemBoxStates& MainWindowModel::Items(MainTab tab) const
{
    return tab == MainTab::Backup ? backupItems_ : restoreItems_;
}

ItemBoxStates& MainWindowModel::MutableItems(MainTab tab)
{
    return tab == MainTab::Backup ? backupItems_ : restoreItems_;
}

PasswordBoxColour MainWindowModel::PasswordColour() const
{
    return protect_ ? PasswordBoxColour::WindowBackground : PasswordBoxColour::ScrollBarGrey;
}

void MainWindowModel::StartBackupRun()
{
    if (running_) {
        return;
    }
    if (state_.NoOutlookFlag || sourceSelection_ < 0 ||
        static_cast<std::size_t>(sourceSelection_) >= sourceProfiles_.size()) {
        messages_.Show(texts::NoOutlook, texts::ApplicationTitle, MessageIcon::Stop,
                       MessageButtons::Ok);
        return;
    }
    // Read once: whatever the window does from here on, the run works on these values.
    const BackupRequest request = ReadBackupRequest();
    if (!CheckBackupRequest(request, messages_) ||
        !CheckBackupPasswords(protect_, password_, retypedPassword_, messages_)) {
        return;
    }
    if (const std::string refused = WindowBackupRefusal(
            CurrentPolicies(platform_), request.targetPath, request.boxes, request.protect);
        !refused.empty()) {
        messages_.Show(refused, texts::ApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    // The registry and the version probe belong to the window thread; the wait for programs
    // to close and the write, which takes minutes for a large data file, go to the worker.
    BackupPlan plan;
    plan.request = request;
    plan.machine = BackupMachineFor(state_, request.profileName, platform_, messages_);
    plan.keep.verify = verify_;
    plan.snapshotsAllowed = AdministratorRights();
    plan.wait = holderWait_;
    backup_ = std::make_unique<BackupRun>(platform_, messages_, std::move(plan));
    // Asked before anything starts, so that Cancel leaves everything as it was.
    const bool snapshot = SnapshotChosen();
    const auto answer = [this, snapshot](const std::vector<HeldFile>& held) {
        return AskAboutHeldFiles(held, snapshot);
    };
    if (!backup_->Decide(answer)) {
        backup_.reset();
        return;
    }
    running_ = true;
    cancelRequested_ = false;
    quitAfterRun_ = false;
    runTargetPath_ = request.targetPath;
    runTargetName_ = targetFileName_;
    progressPanelVisible_ = true;
    host_.ShowProgress();
    BackupRun* run = backup_.get();
    PrepareThen(
        run->Way() != IfOutlookRuns::Skip,
        [run](ProgressSink& progress) { run->Prepare(progress); },
        [this] {
            cancelRequested_ = false;
            statusText_ = texts::PleaseWaiting;
            const HeldCheck& check = backup_->Held();
            if (check.verdict != HeldVerdict::Go || quitAfterRun_) {
                EndWithoutRun();
                return;
            }
            if (!check.stillHeld.empty() && backup_->Way() != IfOutlookRuns::Skip) {
                messages_.Show(HolderNames(check.stillHeld) + texts::NotClosedBackup + "\r\n\r\n" +
                                   FileLines(check.stillHeld),
                               texts::ApplicationTitle, MessageIcon::Exclamation,
                               MessageButtons::Ok);
            }
            CollectAndWrite();
        });
}

std::optional<IfOutlookRuns> MainWindowModel::AskAboutHeldFiles(const std::vector<HeldFile>& held,
                                                                bool snapshot)
{
    if (held.empty()) {
        return IfOutlookRuns::Skip;
    }
    const MessageAnswer answer =
        messages_.Show(HeldFilesQuestion(held, false, snapshot), texts::ApplicationTitle,
                       MessageIcon::Question, MessageButtons::YesNoCancel);
    if (answer == MessageAnswer::Yes) {
        return snapshot ? IfOutlookRuns::Snapshot : IfOutlookRuns::Close;
    }
    if (answer == MessageAnswer::No) {
        return IfOutlookRuns::Skip;
    }
    return std::nullopt;
}

bool MainWindowModel::AdministratorRights() const
{
    return platform_.system && platform_.system->HasAdministratorRights();
}

bool MainWindowModel::SnapshotChosen()
{
    if (!AdministratorRights() || !platform_.registry) {
        return false;
    }
    RegistryAccess registry(*platform_.registry, messages_);
    return CurrentPolicies(platform_).whenOutlookRuns.value_or(
               ReadUnattendedOutlookWay(registry)) == IfOutlookRuns::Snapshot;
}

void MainWindowModel::CollectAndWrite()
{
    // Written beside the target and put in place only once whole (and read back when the box
    // says so); a run that lacks an item never replaces the previous archive.
    backup_->Collect(*this);
    BackupRun* run = backup_.get();
    host_.RunInBackground(
        *this, [run](ProgressSink& progress) { run->Write(progress); }, [this] { WorkDone(); });
}

BackupRequest MainWindowModel::ReadBackupRequest() const
{
    BackupRequest request;
    request.profileName = sourceProfiles_[static_cast<std::size_t>(sourceSelection_)];
    for (std::size_t box = 0; box < backupItems_.size(); ++box) {
        request.boxes[box] = backupItems_[box].enabled && backupItems_[box].checked;
    }
    request.protect = protect_;
    request.password = protect_ ? password_ : std::string();
    request.description = description_;
    request.targetPath = state_.TargetArchivePath;
    request.startTime = std::time(nullptr);
    return request;
}

void MainWindowModel::WorkDone()
{
    if (askingToQuit_) {
        writtenWhileAsking_ = true;
        return;
    }
    EndRun();
}

void MainWindowModel::EndRun()
{
    if (restoreRunning_) {
        EndRestoreRun();
    } else {
        EndBackupRun();
    }
}

void MainWindowModel::HideProgress()
{
    running_ = false;
    cancelRequested_ = false;
    progressPanelVisible_ = false;
    progressValue_ = 0;
    statusText_ = texts::PleaseWaiting;
    host_.ShowProgress();
}

void MainWindowModel::EndBackupRun()
{
    const BackupRunOutcome run = backup_->Finish(*this);
    backup_.reset();
    const BackupOutcome& outcome = run.backup;
    if (!outcome.archivePath.empty()) {
        runTargetPath_ = outcome.archivePath;
        runTargetName_ = BareName(outcome.archivePath);
    }
    HideProgress();
    if (quitAfterRun_) {
        // The user chose to quit; a result message would only hold the program open.
        quitAfterRun_ = false;
        host_.EndProgram();
        return;
    }
    if (ReportBackup(outcome, messages_, HeldFilesNote(run.held)) &&
        CurrentPolicies(platform_).DiscAllowed()) {
        // The disc window will pick the archive up from these two values once it exists;
        // until then the host's ShowDiscWindow opens nothing.
        state_.PendingDiscFileName = runTargetName_;
        state_.PendingDiscFilePath = runTargetPath_;
        host_.ShowDiscWindow();
    }
}

void MainWindowModel::StartRestoreRun()
{
    if (running_) {
        return;
    }
    if (!CurrentPolicies(platform_).RestoreAllowed()) {
        messages_.Show(RestoreTurnedOff, texts::ApplicationTitle, MessageIcon::Stop,
                       MessageButtons::Ok);
        return;
    }
    if (state_.NoOutlookFlag || targetSelection_ < 0 ||
        static_cast<std::size_t>(targetSelection_) >= targetProfiles_.size()) {
        messages_.Show(texts::NoOutlook, texts::ApplicationTitle, MessageIcon::Stop,
                       MessageButtons::Ok);
        return;
    }
    // Read once: whatever the window does from here on, the run works on these values.
    RestoreRequest request;
    request.targetProfile = targetProfiles_[static_cast<std::size_t>(targetSelection_)];
    for (std::size_t box = 0; box < restoreItems_.size(); ++box) {
        request.ticked[box] = restoreItems_[box].enabled && restoreItems_[box].checked;
    }
    request.startTime = std::time(nullptr);
    if (!CheckRestoreRequest(state_.NoValidBackupFlag, request.ticked, messages_)) {
        return;
    }
    AskForTheFull(request);
    const RestoreMachine machine =
        RestoreMachineFor(state_, request.targetProfile, platform_, messages_);
    bool anyHeld = false;
    const auto answer =
        [this, &anyHeld](const std::vector<HeldFile>& held) -> std::optional<IfOutlookRuns> {
        anyHeld = !held.empty();
        if (held.empty() ||
            messages_.Show(HeldFilesQuestion(held, true, false), texts::ApplicationTitle,
                           MessageIcon::Question, MessageButtons::OkCancel) == MessageAnswer::Ok) {
            return IfOutlookRuns::Close;
        }
        return std::nullopt;
    };
    RestoreSession* session = &Restore();
    if (!session->Decide(request, machine, messages_, answer)) {
        return;
    }
    running_ = true;
    restoreRunning_ = true;
    cancelRequested_ = false;
    quitAfterRun_ = false;
    progressPanelVisible_ = true;
    host_.ShowProgress();
    const std::chrono::milliseconds wait = holderWait_;
    PrepareThen(
        anyHeld, [session, wait](ProgressSink& progress) { session->Prepare(progress, wait); },
        [this, session, request, machine] {
            cancelRequested_ = false;
            statusText_ = texts::PleaseWaiting;
            const HeldCheck& check = session->Held();
            if (check.verdict == HeldVerdict::Cancelled || quitAfterRun_) {
                EndWithoutRun();
                return;
            }
            if (!check.stillHeld.empty()) {
                messages_.Show(HolderNames(check.stillHeld) + texts::NotClosedRestore,
                               texts::ApplicationTitle, MessageIcon::Exclamation,
                               MessageButtons::Ok);
            }
            if (check.verdict != HeldVerdict::Go) {
                EndWithoutRun();
                return;
            }
            RunRestore(request, machine);
        });
}

void MainWindowModel::PrepareThen(bool offThread, std::function<void(ProgressSink&)> prepare,
                                  std::function<void()> next)
{
    if (offThread) {
        host_.RunInBackground(*this, std::move(prepare), std::move(next));
        return;
    }
    prepare(*this);
    next();
}

void MainWindowModel::RunRestore(const RestoreRequest& request, const RestoreMachine& machine)
{
    // The restorers, which take minutes for a large data file, go to the worker.
    RestoreSession* session = &Restore();
    host_.RunInBackground(
        *this,
        [this, session, request, machine](ProgressSink& progress) {
            restoreOutcome_ = session->Run(opened_, request, machine, progress);
        },
        [this] { WorkDone(); });
}

void MainWindowModel::EndWithoutRun()
{
    if (backup_) {
        backup_->Finish(*this);
        backup_.reset();
    }
    if (restoreRunning_) {
        Restore().EndRun();
    }
    restoreRunning_ = false;
    HideProgress();
    if (quitAfterRun_) {
        quitAfterRun_ = false;
        host_.EndProgram();
    }
}

void MainWindowModel::EndRestoreRun()
{
    restoreRunning_ = false;
    Restore().EndRun();
    HideProgress();
    if (quitAfterRun_) {
        quitAfterRun_ = false;
        host_.EndProgram();
        return;
    }
    const bool completed = !restoreOutcome_.cancelled && !restoreOutcome_.AnyItemFailed();
    LogRestoreFailures(platform_, opened_.SourceFile, restoreOutcome_);
    messages_.Show(RestoreResultText(restoreOutcome_), texts::ApplicationTitle,
                   completed ? MessageIcon::Information : MessageIcon::Exclamation,
                   MessageButtons::Ok);
}

void MainWindowModel::SetStatus(const std::string& text)
{
    statusText_ = text;
    host_.ShowProgress();
}

void MainWindowModel::SetProgress(int value, int maximum)
{
    const long long percent = maximum > 0 ? static_cast<long long>(value) * 100 / maximum : 0;
    progressValue_ = static_cast<int>(std::clamp(percent, 0LL, 100LL));
    host_.ShowProgress();
}

void MainWindowModel::SetFileText(const std::string& text)
{
    fileText_ = text;
    host_.ShowProgress();
}

void MainWindowModel::SetWriteText(const std::string& text)
{
    writeText_ = text;
    host_.ShowProgress();
}

// The steps of the collecting phase fill the bar before the write starts; the write, which
// takes minutes for a large data file, then moves it again from the start.
void MainWindowModel::SetWritePercent(int percent)
{
    progressValue_ = std::clamp(percent, 0, 100);
    host_.ShowProgress();
}

void MainWindowModel::SetBusy(bool busy)
{
    busy_ = busy;
    host_.ShowProgress();
}

}  // namespace kestrel
