#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupJob.h"
#include "backup/BackupRequest.h"
#include "platform/FileSystem.h"
#include "ui/ProgressSink.h"

namespace kestrel {

// The archives one target name stands for when a job keeps a history. Beside the target
// "D:\b\work.ksb" (the name is the target's without ".ksb"):
//   "D:\b\work 2026-12-07 2330.ksb"                a complete archive of one run (a generation)
//   "D:\b\work (incomplete 2026-12-07 2330).ksb"   a run that left a selected item out
// Only files of exactly these forms are ever removed; "work.ksb.old", "work final.ksb" and the
// files of other targets are the user's.

inline constexpr int MinimumKept = 1;
inline constexpr int MaximumKept = 99;

// The generation a run that starts at `when` (local time) writes.
std::string GenerationPath(const std::string& target, std::time_t when);
// Where a run that left an item out puts its archive.
std::string IncompletePath(const std::string& target, std::time_t when);
// Whether a bare file name is a generation, or an incomplete archive, of the target; names
// compare without regard to case, as on Windows.
bool IsGenerationName(const std::string& target, const std::string& fileName);
bool IsIncompleteName(const std::string& target, const std::string& fileName);

// The generations to remove so that `keep` remain, oldest first: the names sort by the time
// they hold, whatever the order of the listing.
std::vector<std::string> GenerationsBeyond(const std::string& target,
                                           const std::vector<std::string>& fileNames, int keep);

// How a scheduled job, or `kestrel backup` asked for it, keeps its archives.
struct KeepPolicy {
    // 1: the target itself, replaced by each complete run; more: dated generations.
    int keep = MinimumKept;
    // Read the new archive back before it replaces or removes anything.
    bool verify = false;
};

// Why the archive at the path does not read back (a member's CRC or AES authentication, an
// unreadable directory); nothing when every member passes.
std::optional<std::string> ArchiveReadBackProblem(FileSystem& files, const std::string& path,
                                                  const std::string& password);

// Whether the file at the path is an archive a backup wrote (a ZIP file holding the info
// file), which a run may replace; anything else at a target is the user's.
bool HoldsBackup(FileSystem& files, const std::string& path);

// One run that never costs a complete backup. The archive is written beside the target, read
// back when the policy says so, and only then put in place: on the target (keep 1) or as a new
// generation. A run that left a selected item out goes to IncompletePath instead and removes
// nothing. A complete run then removes the oldest generations beyond `keep` and the target's
// incomplete archives. An archive that does not read back is removed, the result is
// NotReadBack and the previous archives stay as they were.
BackupOutcome RunKeptBackup(BackupJob& job, const BackupRequest& request,
                            const BackupMachine& machine, ProgressSink& progress,
                            const KeepPolicy& policy, FileSystem& files);

// The same in phases, for a window that writes on a worker thread: the request the job is to
// run, the check on the worker once it has written (nothing when the archive reads back or
// was not written), and, after BackupJob::Finish, the archive put in place (or removed).
BackupRequest StagedRequest(const BackupRequest& request);
std::optional<std::string> CheckStagedArchive(const BackupOutcome& outcome,
                                              const BackupRequest& staged, FileSystem& files);
BackupOutcome PlaceStagedArchive(BackupOutcome outcome, const BackupRequest& staged,
                                 const KeepPolicy& policy,
                                 const std::optional<std::string>& readBackProblem,
                                 FileSystem& files);

}  // namespace kestrel
