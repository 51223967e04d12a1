#include "outlook/HeldFiles.h"

#include <algorithm>
#include <thread>

#include "outlook/DataStorePaths.h"

namespace kestrel {
namespace {

bool SameProcess(const FileHolder& a, const FileHolder& b)
{
    return a.processId == b.processId;
}

void AddOnce(std::vector<FileHolder>& holders, const FileHolder& holder)
{
    if (std::none_of(holders.begin(), holders.end(),
                     [&](const FileHolder& known) { return SameProcess(known, holder); })) {
        holders.push_back(holder);
    }
}

std::vector<FileHolder> DistinctHolders(const std::vector<HeldFile>& held)
{
    std::vector<FileHolder> holders;
    for (const HeldFile& file : held) {
        for (const FileHolder& holder : file.holders) {
            AddOnce(holders, holder);
        }
    }
    return holders;
}

bool Cancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

}  // namespace

std::vector<std::string> ProfileHeldFileCandidates(RegistryAccess& registry,
                                                   const std::string& profilesRootKey,
                                                   const std::string& profile,
                                                   const ItemBoxes& ticked)
{
    constexpr int DataFilesBox = 0, AddressBookBox = 4;
    const std::string profileKey = profilesRootKey + "\\" + profile;
    std::vector<std::string> files;
    const auto add = [&files](const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            if (std::find(files.begin(), files.end(), path) == files.end()) {
                files.push_back(path);
            }
        }
    };
    if (ticked[DataFilesBox]) {
        add(ProfileDataFilePaths(registry, profileKey));
    }
    if (ticked[AddressBookBox]) {
        add(ProfileAddressBookPaths(registry, profileKey));
    }
    return files;
}

std::string HolderNames(const std::vector<FileHolder>& holders)
{
    std::string names;
    for (const FileHolder& holder : holders) {
        names += (names.empty() ? "" : ", ") + holder.name + " (process " +
                 std::to_string(holder.processId) + ")";
    }
    return names;
}

std::string HolderNames(const std::vector<HeldFile>& held)
{
    return HolderNames(DistinctHolders(held));
}

HeldFilesGate::HeldFilesGate(FileHolders* holders, ProgressSink& progress, Pause pause,
                             std::chrono::milliseconds wait)
    : holders_(holders), progress_(progress), pause_(std::move(pause)), wait_(wait)
{
}

HeldFilesGate::~HeldFilesGate()
{
    std::string why;
    DeleteSnapshot(why);
    StartAgain();
}

void HeldFilesGate::SleepFor(std::chrono::milliseconds time)
{
    std::this_thread::sleep_for(time);
}

std::vector<HeldFile> HeldFilesGate::FindHeld(const std::vector<std::string>& paths)
{
    std::vector<HeldFile> held;
    if (holders_ == nullptr) {
        return held;
    }
    for (const std::string& path : paths) {
        std::vector<FileHolder> holders = holders_->HoldersOf(path);
        if (!holders.empty()) {
            held.push_back({path, std::move(holders)});
        }
    }
    return held;
}

HeldCheck HeldFilesGate::Check(IfOutlookRuns way, const std::vector<std::string>& paths,
                               bool stopWhenStillHeld, const std::atomic<bool>* cancel)
{
    HeldCheck check;
    check.held = FindHeld(paths);
    check.stillHeld = check.held;
    if (check.held.empty() || way == IfOutlookRuns::Skip) {
        return check;
    }
    if (way == IfOutlookRuns::Refuse) {
        check.verdict = HeldVerdict::Stop;
        return check;
    }
    if (way == IfOutlookRuns::Snapshot && ReadFromSnapshot(check)) {
        return check;
    }
    const std::vector<FileHolder> holders = DistinctHolders(check.held);
    for (const FileHolder& holder : holders) {
        if (holders_->AskToClose(holder)) {
            AddOnce(asked_, holder);
        }
    }
    check.verdict = WaitForRelease(paths, cancel);
    check.stillHeld = FindHeld(paths);
    for (const FileHolder& holder : asked_) {
        if (holders_->IsRunning(holder)) {
            AddOnce(check.refusedToClose, holder);
        } else {
            AddOnce(closed_, holder);
        }
    }
    if (check.verdict == HeldVerdict::Go && !check.stillHeld.empty() && stopWhenStillHeld) {
        check.verdict = HeldVerdict::Stop;
    }
    return check;
}

bool HeldFilesGate::ReadFromSnapshot(HeldCheck& check)
{
    if (copies_ == nullptr) {
        check.snapshotFailure = "this system has no shadow copies";
        return false;
    }
    std::vector<std::string> paths;
    for (const HeldFile& file : check.held) {
        paths.push_back(file.path);
    }
    if (!copies_->Create(paths)) {
        check.snapshotFailure = "no shadow copy could be made: " + copies_->Problem();
        return false;
    }
    snapshotTaken_ = true;
    for (const std::string& path : paths) {
        const std::string inSnapshot = copies_->PathInSnapshot(path);
        if (inSnapshot.empty()) {
            check.snapshotFailure = "the shadow copy has no " + path;
            if (std::string why; !DeleteSnapshot(why)) {
                check.snapshotFailure += " and could not be deleted: " + why;
            }
            return false;
        }
        snapshotPaths_[path] = inSnapshot;
    }
    check.fromSnapshot = paths;
    check.stillHeld.clear();
    return true;
}

bool HeldFilesGate::DeleteSnapshot(std::string& why)
{
    snapshotPaths_.clear();
    if (!snapshotTaken_) {
        return true;
    }
    snapshotTaken_ = false;
    if (copies_->Delete()) {
        return true;
    }
    why = copies_->Problem();
    return false;
}

HeldVerdict HeldFilesGate::WaitForRelease(const std::vector<std::string>& paths,
                                          const std::atomic<bool>* cancel)
{
    progress_.SetStatus(texts::WaitingForOutlook);
    progress_.SetBusy(true);
    const auto polls = std::max<long long>(1, wait_ / PollInterval);
    HeldVerdict verdict = HeldVerdict::Go;
    for (long long poll = 0; poll < polls; ++poll) {
        if (Cancelled(cancel)) {
            verdict = HeldVerdict::Cancelled;
            break;
        }
        if (FindHeld(paths).empty()) {
            break;
        }
        progress_.SetProgress(static_cast<int>(poll), static_cast<int>(polls));
        pause_(PollInterval);
    }
    progress_.SetBusy(false);
    return verdict;
}

void HeldFilesGate::StartAgain()
{
    if (holders_ == nullptr) {
        return;
    }
    for (const FileHolder& holder : closed_) {
        if (!holders_->IsRunning(holder)) {
            holders_->StartAgain(holder);
        }
    }
    closed_.clear();
}

}  // namespace kestrel
