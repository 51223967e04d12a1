#include "restore/RestoreSession.h"

#include <atomic>
#include <vector>

#include "archive/ZipComponent.h"
#include "registry/RegistryAccess.h"
#include "restore/ReplacedFolder.h"
#include "restore/Restorers.h"

namespace kestrel {

namespace {

// Registry access reports what it refuses (a malformed key path) as a message; during a run
// off the window thread it becomes a failure line of the result instead.
class FailureLines final : public Messages {
public:
    MessageAnswer Show(const std::string& text, const std::string&, MessageIcon,
                       MessageButtons) override
    {
        lines.push_back(text);
        return MessageAnswer::Ok;
    }
    std::vector<std::string> lines;
};

}  // namespace

int RestoreExitStatus(const RestoreOutcome& outcome)
{
    bool anyRan = false;
    for (bool ran : outcome.ran) {
        anyRan = anyRan || ran;
    }
    if (!anyRan) {
        return 2;
    }
    return outcome.cancelled || outcome.AnyItemFailed() ? 1 : 0;
}

struct RestoreSession::State final : ZipEventSink {
    explicit State(Platform& p) : platform(p), zip(*p.fileSystem, *this), full(*p.fileSystem, *this)
    {
    }

    void AddingFile(const std::string&) override {}
    void ExtractingFile(const std::string& name) override
    {
        if (progress != nullptr) {
            progress->SetFileText("Unzip File " + name);
        }
    }
    void WriteProgress(int percent) override
    {
        if (progress != nullptr) {
            progress->SetWriteText("Write File " + std::to_string(percent) + "%");
        }
    }
    void WriteFinished() override {}

    Platform& platform;
    ZipComponent zip;
    // The full backup a differential's data files are rebuilt from, open during a run.
    ZipComponent full;
    std::string chosenFull;
    std::atomic<bool> stopRequested{false};
    ProgressSink* progress = nullptr;
    // The held-files step of the run going on.
    std::vector<std::string> candidates;
    IfOutlookRuns way = IfOutlookRuns::Refuse;
    std::unique_ptr<HeldFilesGate> gate;
    HeldCheck held;
};

RestoreSession::RestoreSession(Platform& platform) : state_(std::make_unique<State>(platform))
{
}

RestoreSession::~RestoreSession() = default;

OpenResult RestoreSession::Open(const std::string& runFolder, const std::string& archivePath,
                                Dialogs& dialogs, Messages& messages, OpenedBackup& opened)
{
    state_->chosenFull.clear();
    return OpenBackup(state_->zip, *state_->platform.fileSystem, runFolder, archivePath, dialogs,
                      messages, opened);
}

std::string RestoreSession::FullFor(const OpenedBackup& opened) const
{
    if (!opened.Differential) {
        return {};
    }
    if (!state_->chosenFull.empty()) {
        return state_->chosenFull;
    }
    const std::string beside = FullBeside(opened.SourceFile, *opened.Differential);
    return state_->platform.fileSystem->FileExists(beside) ? beside : std::string();
}

void RestoreSession::UseFull(const std::string& fullPath)
{
    state_->chosenFull = fullPath;
}

bool RestoreSession::Decide(const RestoreRequest& request, const RestoreMachine& machine,
                            Messages& messages, const HeldFilesAnswer& answer)
{
    State& s = *state_;
    s.candidates.clear();
    s.held = {};
    s.stopRequested = false;
    if (s.platform.fileHolders && s.platform.registry) {
        RegistryAccess registry(*s.platform.registry, messages);
        s.candidates = ProfileHeldFileCandidates(registry, machine.profilesRootKey,
                                                 request.targetProfile, request.ticked);
    }
    SilentProgress silent;
    const std::optional<IfOutlookRuns> way =
        answer(HeldFilesGate(s.platform.fileHolders.get(), silent).FindHeld(s.candidates));
    s.way = way.value_or(IfOutlookRuns::Refuse);
    return way.has_value();
}

bool RestoreSession::Prepare(ProgressSink& progress, std::chrono::milliseconds wait)
{
    State& s = *state_;
    s.gate = std::make_unique<HeldFilesGate>(s.platform.fileHolders.get(), progress,
                                             HeldFilesGate::SleepFor, wait);
    s.held = s.gate->Check(s.way, s.candidates, true, &s.stopRequested);
    // A Cancel of the wait must not stop the next run.
    s.stopRequested = false;
    s.zip.ForgetCancel();
    return s.held.verdict == HeldVerdict::Go;
}

const HeldCheck& RestoreSession::Held() const
{
    return state_->held;
}

std::vector<FileHolder> RestoreSession::EndRun()
{
    State& s = *state_;
    if (!s.gate) {
        return {};
    }
    std::vector<FileHolder> closed = s.gate->Closed();
    s.gate.reset();
    return closed;
}

RestoreOutcome RestoreSession::Run(const OpenedBackup& opened, const RestoreRequest& request,
                                   const RestoreMachine& machine, ProgressSink& progress)
{
    State& s = *state_;
    FileSystem& files = *s.platform.fileSystem;
    s.progress = &progress;

    RemoveOldReplacedFolders(files, machine.keptFolder, KeptReplacedRuns);
    ReplacedFolder replaced(files, machine.keptFolder, request.startTime, machine.runFolder);
    FailureLines registryMessages;
    RegistryAccess registry(*s.platform.registry, registryMessages);
    RestoreContext context{
        .fileSystem = files,
        .registry = registry,
        .zip = s.zip,
        .replaced = replaced,
        .values = opened.OpenedItemValues,
        .runFolder = machine.runFolder,
        .userProfileFolder = machine.userProfileFolder,
        .profilesRootKey = machine.profilesRootKey,
        .targetProfile = request.targetProfile,
        .locations = machine.locations,
        .dataFolder = DataFolderFor(machine.userProfileFolder, machine.windowsVersion),
        .favouritesFile = FavouritesFileFor(machine.userProfileFolder, machine.windowsVersion,
                                            request.targetProfile),
        .datasSources = opened.DatasSources,
        .pabSources = opened.PabSources,
        .failures = {},
        .stopRequested = &s.stopRequested,
        .extractionFolder = {},
    };
    std::optional<DifferentialParts> differential;
    if (opened.Differential) {
        differential = PrepareDifferential(s.zip, opened.SourceFile, *opened.Differential, s.full,
                                           FullFor(opened), opened.RestorePassword);
        context.differential = &*differential;
    }
    RestoreOutcome outcome =
        RestoreItems(context, opened.OpenedBackupItems, request.ticked, progress);
    s.full.Close();
    outcome.failures.insert(outcome.failures.end(), registryMessages.lines.begin(),
                            registryMessages.lines.end());
    if (!context.extractionFolder.empty()) {
        files.RemoveFolderTree(context.extractionFolder);
    }
    // A Cancel that came after the last member must not stop the next run. One that came
    // before this run started stopped it before its first member.
    s.stopRequested = false;
    s.zip.ForgetCancel();
    s.progress = nullptr;
    return outcome;
}

void RestoreSession::Cancel()
{
    state_->stopRequested = true;
    state_->zip.Cancel();
}

}  // namespace kestrel
