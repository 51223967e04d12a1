#include "backup/BackupGenerations.h"

#include <algorithm>

#include "archive/InfoFile.h"
#include "archive/MemberName.h"
#include "archive/ZipComponent.h"
#include "platform/LocalTime.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

constexpr std::string_view Extension = ".ksb";
// "2026-12-07 2330"
constexpr std::string_view StampPattern = "0000-00-00 0000";
constexpr std::string_view IncompleteOpening = " (incomplete ";
constexpr std::string_view IncompleteClosing = ").ksb";
// The write goes here first, so nothing is replaced before the archive is whole (and read
// back). Its form is that of a write's temporary file, so a run killed meanwhile leaves
// nothing that a later write to the target does not clear away.
constexpr const char* StagingSuffix = ".part-verify";

// The target's name without ".ksb".
std::string BaseName(const std::string& target)
{
    std::string name = BareName(target);
    if (name.size() > Extension.size() &&
        EqualsIgnoringCase(std::string_view(name).substr(name.size() - Extension.size()),
                           Extension)) {
        name.resize(name.size() - Extension.size());
    }
    return name;
}

std::string Stamp(std::time_t when)
{
    return FormatLocalTime(when, "%Y-%m-%d %H%M");
}

bool IsStamp(std::string_view text)
{
    if (text.size() != StampPattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (StampPattern[i] == '0' ? !digit : text[i] != StampPattern[i]) {
            return false;
        }
    }
    return true;
}

// Whether the name is `before` + a stamp + `after`; the stamp when it is.
std::optional<std::string> StampBetween(const std::string& fileName, const std::string& before,
                                        std::string_view after)
{
    const std::string_view name = fileName;
    if (name.size() != before.size() + StampPattern.size() + after.size() ||
        !EqualsIgnoringCase(name.substr(0, before.size()), before) ||
        !EqualsIgnoringCase(name.substr(name.size() - after.size()), after)) {
        return std::nullopt;
    }
    const std::string_view stamp = name.substr(before.size(), StampPattern.size());
    return IsStamp(stamp) ? std::optional<std::string>(stamp) : std::nullopt;
}

std::optional<std::string> GenerationStamp(const std::string& target, const std::string& name)
{
    return StampBetween(name, BaseName(target) + " ", Extension);
}

std::string StagingPath(const std::string& target)
{
    return target + StagingSuffix;
}

void RemoveIfThere(FileSystem& files, const std::string& path)
{
    if (files.Stat(path)) {
        files.RemoveFile(path);
    }
}

// After a complete run: the generations beyond `keep`, and every incomplete archive of the
// target, which the complete one supersedes.
std::vector<std::string> RemoveSuperseded(FileSystem& files, const std::string& target, int keep)
{
    const std::string folder = ParentFolder(target);
    const std::vector<std::string> names = files.FilesIn(folder);
    std::vector<std::string> doomed;
    if (keep > MinimumKept) {
        doomed = GenerationsBeyond(target, names, keep);
    }
    for (const std::string& name : names) {
        if (IsIncompleteName(target, name)) {
            doomed.push_back(name);
        }
    }
    std::vector<std::string> removed;
    for (const std::string& name : doomed) {
        const std::string path = JoinPath(folder, name);
        if (files.RemoveFile(path)) {
            removed.push_back(path);
        }
    }
    return removed;
}

BackupOutcome Unwritten(BackupOutcome outcome, BackupResult result, std::string why)
{
    outcome.result = result;
    outcome.error = std::move(why);
    outcome.archivePath.clear();
    outcome.archiveBytes = 0;
    return outcome;
}

}  // namespace

std::string GenerationPath(const std::string& target, std::time_t when)
{
    return JoinPath(ParentFolder(target), BaseName(target) + " " + Stamp(when) + ".ksb");
}

std::string IncompletePath(const std::string& target, std::time_t when)
{
    return JoinPath(ParentFolder(target), BaseName(target) + std::string(IncompleteOpening) +
                                              Stamp(when) + std::string(IncompleteClosing));
}

bool IsGenerationName(const std::string& target, const std::string& fileName)
{
    return GenerationStamp(target, fileName).has_value();
}

bool IsIncompleteName(const std::string& target, const std::string& fileName)
{
    return StampBetween(fileName, BaseName(target) + std::string(IncompleteOpening),
                        IncompleteClosing)
        .has_value();
}

std::vector<std::string> GenerationsBeyond(const std::string& target,
                                           const std::vector<std::string>& fileNames, int keep)
{
    std::vector<std::pair<std::string, std::string>> generations;
    for (const std::string& name : fileNames) {
        if (auto stamp = GenerationStamp(target, name)) {
            generations.emplace_back(*stamp, name);
        }
    }
    std::sort(generations.begin(), generations.end());
    std::vector<std::string> beyond;
    const std::size_t kept = static_cast<std::size_t>(std::max(keep, MinimumKept));
    for (std::size_t i = 0; i + kept < generations.size(); ++i) {
        beyond.push_back(generations[i].second);
    }
    return beyond;
}

std::optional<std::string> ArchiveReadBackProblem(FileSystem& files, const std::string& path,
                                                  const std::string& password)
{
    NoZipEvents events;
    ZipComponent zip(files, events);
    zip.SetReadPassword(password);
    if (!zip.Open(path)) {
        return zip.LastError();
    }
    const std::vector<ZipMember> members = zip.Members();
    if (members.empty()) {
        return "the archive holds no file";
    }
    for (const ZipMember& member : members) {
        if (!zip.ReadMember(member)) {
            const std::string& why = zip.LastError();
            return why.find(member.name) == std::string::npos ? member.name + ": " + why : why;
        }
    }
    return std::nullopt;
}

bool HoldsBackup(FileSystem& files, const std::string& path)
{
    NoZipEvents events;
    ZipComponent zip(files, events);
    return zip.Open(path) && zip.FindMember(InfoFileName).has_value();
}

BackupRequest StagedRequest(const BackupRequest& request)
{
    BackupRequest staged = request;
    staged.writePath = StagingPath(request.targetPath);
    return staged;
}

std::optional<std::string> CheckStagedArchive(const BackupOutcome& outcome,
                                              const BackupRequest& staged, FileSystem& files)
{
    if (!outcome.Written()) {
        return std::nullopt;
    }
    return ArchiveReadBackProblem(files, staged.writePath,
                                  staged.protect ? staged.password : std::string());
}

BackupOutcome PlaceStagedArchive(BackupOutcome outcome, const BackupRequest& staged,
                                 const KeepPolicy& policy,
                                 const std::optional<std::string>& readBackProblem,
                                 FileSystem& files)
{
    const std::string& target = staged.targetPath;
    if (!outcome.Written()) {
        RemoveIfThere(files, staged.writePath);
        outcome.archivePath.clear();
        // The user knows the target, not the name it is written under first.
        for (std::size_t at = outcome.error.find(staged.writePath); at != std::string::npos;
             at = outcome.error.find(staged.writePath, at + target.size())) {
            outcome.error.replace(at, staged.writePath.size(), target);
        }
        return outcome;
    }
    if (readBackProblem) {
        files.RemoveFile(staged.writePath);
        return Unwritten(std::move(outcome), BackupResult::NotReadBack,
                         "the written archive did not read back (" + *readBackProblem +
                             "), so it was removed and any previous archive at " + target +
                             " is as it was");
    }
    const bool complete = !outcome.AnyItemFailed();
    const std::string placed = !complete ? IncompletePath(target, staged.startTime)
                               : policy.keep > MinimumKept
                                   ? GenerationPath(target, staged.startTime)
                                   : target;
    if (!files.MoveOver(staged.writePath, placed)) {
        files.RemoveFile(staged.writePath);
        return Unwritten(std::move(outcome), BackupResult::WriteFailed,
                         "cannot put the new archive in place at " + placed);
    }
    outcome.archivePath = placed;
    outcome.writtenBeside = !complete;
    if (complete) {
        outcome.removed = RemoveSuperseded(files, target, policy.keep);
    }
    return outcome;
}

BackupOutcome RunKeptBackup(BackupJob& job, const BackupRequest& request,
                            const BackupMachine& machine, ProgressSink& progress,
                            const KeepPolicy& policy, FileSystem& files)
{
    const BackupRequest staged = StagedRequest(request);
    const BackupOutcome outcome = job.Run(staged, machine, progress);
    const std::optional<std::string> problem =
        policy.verify ? CheckStagedArchive(outcome, staged, files) : std::nullopt;
    return PlaceStagedArchive(outcome, staged, policy, problem, files);
}

}  // namespace kestrel
