#include "backup/BackupJob.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "archive/Differential.h"
#include "archive/InfoFile.h"
#include "archive/ZipComponent.h"
#include "backup/ArchiveContents.h"
#include "backup/BackupGenerations.h"
#include "backup/Collectors.h"
#include "outlook/OutlookVersion.h"
#include "platform/LocalTime.h"
#include "platform/PathJoin.h"
#include "registry/RegistryAccess.h"

namespace kestrel {
namespace {

constexpr int ProgressMaximum = 100;
constexpr int HeaderStep = 10;
constexpr int DataFilesPosition = 1;
constexpr std::size_t RulesPosition = 2;

// How far each item moves the progress bar, ticked or not. The data files add 5 more when
// ticked, so the steps reach 105; the bar stops at its maximum.
constexpr std::array<int, ItemCount> ItemSteps{0, 15, 10, 20, 10, 10, 5, 5, 5, 0, 10};
constexpr int DataFilesTickedStep = 5;

}  // namespace

bool FailureCounts(std::size_t position)
{
    return position != RulesPosition;
}

bool BackupOutcome::AnyItemFailed() const
{
    for (std::size_t i = 0; i < ItemTable.size(); ++i) {
        if (FailureCounts(i) && ran[i] && !succeeded[i]) {
            return true;
        }
    }
    return false;
}

bool BackupOutcome::LacksAnItem() const
{
    for (std::size_t i = 0; i < ItemTable.size(); ++i) {
        if (FailureCounts(i) && ran[i] && !succeeded[i] && !foundNothing[i]) {
            return true;
        }
    }
    return false;
}

int BackupExitStatus(const BackupOutcome& outcome)
{
    if (!outcome.Written()) {
        return 2;
    }
    return outcome.AnyItemFailed() ? 1 : 0;
}

struct BackupJob::State final : ZipEventSink {
    State(Platform& p, Messages& m, FileSystem& f)
        : platform(p), files(f), registry(*p.registry, m), zip(f, *this), archive(f, zip)
    {
    }

    void AddingFile(const std::string& name) override
    {
        if (writeProgress != nullptr) {
            writeProgress->SetFileText("Adding File " + name);
        }
    }
    void ExtractingFile(const std::string&) override {}
    void WriteProgress(int percent) override
    {
        if (writeProgress != nullptr) {
            writeProgress->SetWriteText("Write File " + std::to_string(percent) + "%");
            writeProgress->SetWritePercent(percent);
        }
    }
    void WriteFinished() override {}

    void Advance(ProgressSink& progress, int step)
    {
        progressValue = std::min(ProgressMaximum, progressValue + step);
        progress.SetProgress(progressValue, ProgressMaximum);
    }
    bool WriteHeader(const BackupRequest& request, const BackupMachine& machine);
    bool WriteMapKeys();
    bool WriteChangedBlocks(ProgressSink& progress);
    bool FailWith(BackupResult result, std::string why)
    {
        outcome.result = result;
        outcome.error = std::move(why);
        return false;
    }

    Platform& platform;
    FileSystem& files;
    RegistryAccess registry;
    ZipComponent zip;
    ArchiveContents archive;
    std::optional<CollectorContext> context;
    std::string targetPath;
    std::string writePath;
    std::string infoFilePath;
    bool readyToWrite = false;
    int progressValue = 0;
    ProgressSink* writeProgress = nullptr;
    const DifferentialBase* base = nullptr;
    // Cancel came: the changed blocks stop being read, and the archive's write with them.
    std::atomic<bool> cancelled{false};
    BackupOutcome outcome;
};

// The info lines of the data files' maps: a full's id, or a differential's full and the maps
// it was compared with. Written only for an archive that holds a data file.
bool BackupJob::State::WriteMapKeys()
{
    const std::vector<DataFileEntry>& dataFiles = archive.DataFiles();
    if (dataFiles.empty()) {
        return true;
    }
    std::string maps;
    std::string changed;
    std::string fullMaps;
    for (const DataFileEntry& entry : dataFiles) {
        const std::string separator = maps.empty() ? "" : ";";
        maps += separator + entry.mapName;
        changed += separator + entry.changedName;
        fullMaps += separator + entry.fullMapHash;
    }
    if (!SaveINI(files, BlockMapsKey, maps, infoFilePath)) {
        return false;
    }
    const bool differential = base != nullptr && archive.NeedsFull().empty();
    if (!differential) {
        const std::string id = NewFullId();
        return !id.empty() && SaveINI(files, FullIdKey, id, infoFilePath);
    }
    outcome.differentialOf = base->fullName;
    zip.SetArchiveComment(DifferentialNote(base->fullName));
    return SaveINI(files, ChangedBlocksKey, changed, infoFilePath) &&
           SaveINI(files, DifferentialOfKey, base->fullName, infoFilePath) &&
           SaveINI(files, DifferentialFullIdKey, base->fullId, infoFilePath) &&
           SaveINI(files, DifferentialFullMapsKey, fullMaps, infoFilePath) &&
           SaveINI(files, DifferentialNoteKey, DifferentialNote(base->fullName), infoFilePath);
}

// The data files that go into a differential are read here, on the thread that writes, not
// while collecting: for a large file that takes as long as reading it.
bool BackupJob::State::WriteChangedBlocks(ProgressSink& progress)
{
    std::string why;
    switch (archive.WriteChangedBlocks(progress, cancelled, why)) {
        case ArchiveContents::BlocksWritten::Done:
            return true;
        case ArchiveContents::BlocksWritten::NeedsFull:
            return FailWith(BackupResult::WriteFailed, archive.NeedsFull());
        case ArchiveContents::BlocksWritten::Cancelled:
            return FailWith(BackupResult::Cancelled, WriteCancelledMessage(writePath));
        case ArchiveContents::BlocksWritten::Failed:
            break;
    }
    return FailWith(BackupResult::WriteFailed, why);
}

bool BackupJob::State::WriteHeader(const BackupRequest& request, const BackupMachine& machine)
{
    std::string shortVersion;
    const std::string outlookVersion = GetOutlookVersion(*platform.automation, shortVersion);
    const std::pair<const char*, std::string> header[] = {
        {"BackupComputer", machine.computerName},
        {"BackupLogonUser", machine.logonUserName},
        {"BackupIdentity", request.profileName},
        {"BackupTime", FormatLocalTime(request.startTime, "%m/%d/%Y %H:%M:%S")},
        {"Outlookversion", outlookVersion},
        {"BackupInformation", EncodeDescription(request.description)},
    };
    for (const auto& [key, value] : header) {
        if (!SaveINI(files, key, value, infoFilePath)) {
            return false;
        }
    }
    return true;
}

BackupJob::BackupJob(Platform& platform, Messages& messages)
    : BackupJob(platform, messages, *platform.fileSystem)
{
}

BackupJob::BackupJob(Platform& platform, Messages& messages, FileSystem& files)
    : state_(std::make_unique<State>(platform, messages, files))
{
}

BackupJob::~BackupJob() = default;

void BackupJob::SetThreadCount(unsigned threads)
{
    state_->zip.SetThreadCount(threads);
}

void BackupJob::SetDifferentialBase(const DifferentialBase* base)
{
    state_->base = base;
}

std::string BackupJob::NeedsFull() const
{
    return state_->archive.NeedsFull();
}

void BackupJob::Collect(const BackupRequest& request, const BackupMachine& machine,
                        ProgressSink& progress)
{
    State& s = *state_;
    FileSystem& files = s.files;
    s.outcome = {};
    s.readyToWrite = false;
    s.progressValue = 0;
    s.targetPath = request.targetPath;
    s.writePath = request.writePath.empty() ? request.targetPath : request.writePath;
    s.infoFilePath = JoinPath(machine.runFolder, InfoFileName);
    progress.SetBusy(true);

    if (machine.runFolder.empty()) {
        s.FailWith(BackupResult::WriteFailed,
                   "the program has no working folder for the info file");
        return;
    }
    // Without its profile an archive would hold the shared folders and no mail, and would
    // replace a good backup of that profile.
    if (!s.registry.KeyExists(machine.profilesRootKey + "\\" + request.profileName)) {
        s.FailWith(BackupResult::NothingCollected,
                   "There is no Outlook profile named \"" + request.profileName +
                       "\", so nothing was written to " + request.targetPath + ".");
        return;
    }
    if (files.FileExists(s.infoFilePath)) {
        files.RemoveFile(s.infoFilePath);
    }
    if (!s.WriteHeader(request, machine)) {
        s.FailWith(BackupResult::WriteFailed, "cannot write the info file " + s.infoFilePath);
        return;
    }
    s.Advance(progress, HeaderStep);
    if (!s.zip.Create(s.writePath)) {
        s.FailWith(BackupResult::WriteFailed, s.zip.LastError());
        return;
    }

    s.archive.SetDifferentialBase(s.base, machine.runFolder);
    s.context.emplace(CollectorContext{
        .fileSystem = files,
        .registry = s.registry,
        .archive = s.archive,
        .infoFilePath = s.infoFilePath,
        .runFolder = machine.runFolder,
        .profilesRootKey = machine.profilesRootKey,
        .locations = machine.locations,
        .targetPath = request.targetPath,
        .targetIdentity = files.Identity(request.targetPath),
        .targetHoldsBackup = false,
        .foundNothing = false,
        .sourcesAtTarget = {},
        .dataFolders = {},
        .exportFiles = {},
        .leftOut = {},
    });
    s.context->targetHoldsBackup =
        s.context->targetIdentity && HoldsBackup(files, request.targetPath);
    std::string flags;
    for (int position = 0; position < ItemCount; ++position) {
        const auto i = static_cast<std::size_t>(position);
        const ItemKind& item = ItemTable[i];
        if (ItemRuns(item, request.boxes)) {
            progress.SetStatus(item.statusText);
            s.outcome.ran[i] = true;
            s.context->foundNothing = false;
            s.outcome.succeeded[i] = CollectItem(position, *s.context, request.profileName);
            s.outcome.foundNothing[i] = !s.outcome.succeeded[i] && s.context->foundNothing;
        }
        if (position == DataFilesPosition && s.outcome.ran[i]) {
            s.Advance(progress, DataFilesTickedStep);
        }
        s.Advance(progress, ItemSteps[i]);
    }
    s.outcome.leftOut = s.context->leftOut;
    // Checked before the write creates anything beside the target: writing there would
    // replace a file this very run reads.
    if (std::optional<std::string> clash = TargetClash(*s.context)) {
        s.FailWith(BackupResult::TargetIsSource, std::move(*clash));
        return;
    }

    std::string why;
    if (!s.WriteMapKeys() ||
        !SaveINI(files, "BackupItem", BackupItemValue(s.outcome.succeeded), s.infoFilePath) ||
        !files.SetNormalAttributes(s.infoFilePath) || !s.archive.AddInfoFile(s.infoFilePath, why)) {
        s.FailWith(BackupResult::WriteFailed,
                   why.empty() ? "cannot write the info file " + s.infoFilePath : why);
        return;
    }
    s.zip.SetProtection(request.protect);
    s.zip.SetWritePassword(request.protect ? request.password : std::string());
    s.readyToWrite = true;
}

void BackupJob::Write(ProgressSink& progress)
{
    State& s = *state_;
    if (!s.readyToWrite) {
        return;  // Collect said why
    }
    if (s.archive.CollectedCount() == 0) {
        s.FailWith(BackupResult::NothingCollected,
                   "None of the selected items could be backed up, so nothing was written to " +
                       s.targetPath + ".");
        return;
    }
    if (!s.WriteChangedBlocks(progress)) {
        return;
    }
    s.writeProgress = &progress;
    const bool written = s.zip.Write();
    s.writeProgress = nullptr;
    if (!written) {
        s.FailWith(s.zip.WasCancelled() ? BackupResult::Cancelled : BackupResult::WriteFailed,
                   s.zip.LastError());
        return;
    }
    s.outcome.result = BackupResult::Written;
    s.outcome.error.clear();
    s.outcome.archivePath = s.writePath;
    if (auto facts = s.files.Stat(s.writePath)) {
        s.outcome.archiveBytes = facts->size;
    }
}

bool BackupJob::Written() const
{
    return state_->outcome.Written();
}

void BackupJob::Cancel()
{
    state_->cancelled = true;
    state_->zip.Cancel();
}

BackupOutcome BackupJob::Finish(ProgressSink& progress)
{
    State& s = *state_;
    FileSystem& files = s.files;
    s.zip.Close();
    if (!s.infoFilePath.empty()) {
        files.RemoveFile(s.infoFilePath);
    }
    if (s.context) {
        for (const std::string& exportFile : s.context->exportFiles) {
            files.RemoveFile(exportFile);
        }
    }
    for (const std::string& temporary : s.archive.TemporaryFiles()) {
        files.RemoveFile(temporary);
    }
    s.context.reset();
    s.readyToWrite = false;
    progress.SetProgress(ProgressMaximum, ProgressMaximum);
    progress.SetFileText("");
    progress.SetWriteText("");
    progress.SetBusy(false);
    return s.outcome;
}

BackupOutcome BackupJob::Run(const BackupRequest& request, const BackupMachine& machine,
                             ProgressSink& progress)
{
    Collect(request, machine, progress);
    Write(progress);
    return Finish(progress);
}

}  // namespace kestrel
