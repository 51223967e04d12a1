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
// "D:\b\work.ksb", the stamp being the run's start in UTC:
//   "D:\b\work 2026-12-07 2330 UTC.ksb"                a complete archive of one run (a generation)
//   "D:\b\work (incomplete 2026-12-07 2330 UTC).ksb"   a run that left a selected item out
// The stamp goes before the target's extension, so "D:\b\work" (no extension) has
// "work 2026-12-07 2330 UTC" and "work (incomplete 2026-12-07 2330 UTC)", and no two targets
// share a name. Earlier builds stamped the local time without " UTC" ("work 2026-12-07
// 2330.ksb"); those names are still recognised for targets ending in ".ksb" (a target without
// the extension had the very same names then). A file of such a name is removed only when it is
// also an archive of ours (HoldsBackup); "work.ksb.old", "work final.ksb" and the files of other
// targets are the user's.

inline constexpr int MinimumKept = 1;
inline constexpr int MaximumKept = 99;

// A differential archive (only the blocks of the data files changed since a full generation)
// is a generation too, named "D:\b\work 2026-12-08 0230 UTC differential.ksb"; it is restored
// with the full it names in its info file.
//
// The generation a run that starts at `when` writes.
std::string GenerationPath(const std::string& target, std::time_t when);
// The differential a run that starts at `when` writes.
std::string DifferentialPath(const std::string& target, std::time_t when);
bool IsDifferentialName(const std::string& target, const std::string& fileName);
// Where a run that left an item out puts its archive.
std::string IncompletePath(const std::string& target, std::time_t when);
// Whether a bare file name is a generation, or an incomplete archive, of the target; names
// compare without regard to case, as on Windows.
bool IsGenerationName(const std::string& target, const std::string& fileName);
bool IsIncompleteName(const std::string& target, const std::string& fileName);
// The time a generation's or an incomplete archive's name holds (a local stamp of an earlier
// build read in today's time zone); nothing for any other name or an impossible date.
std::optional<std::time_t> NamedTime(const std::string& target, const std::string& fileName);

// Of the names that are generations (or, with IncompleteBeyond, incomplete archives) of the
// target, those to remove so that `keep` remain, oldest first. `written`, the archive the run
// has just put there, counts as the newest whatever its name says and is never among them. A
// name dated after `now` was made while the clock was ahead (it has since been set back): it
// is older than anything written now, so it counts as older than every name dated up to `now`.
// A local stamp of an earlier build is dated after `now` only when it lies further ahead than
// any time zone could put it (26 hours).
std::vector<std::string> GenerationsBeyond(const std::string& target,
                                           const std::vector<std::string>& fileNames, int keep,
                                           std::time_t now, const std::string& written = {});
std::vector<std::string> IncompleteBeyond(const std::string& target,
                                          const std::vector<std::string>& fileNames, int keep,
                                          std::time_t now, const std::string& written = {});
// The generations and incomplete archives of the target dated after `now` (as above), oldest
// first.
std::vector<std::string> DatedAfter(const std::string& target,
                                    const std::vector<std::string>& fileNames, std::time_t now);

// One archive of a target's history as pruning sees it: a full generation, or a differential
// and the file name of the full it needs (empty when its info could not be read: the newest
// full before it, which it was made against, is taken for it).
struct RestorePoint {
    std::string name;
    bool differential = false;
    std::string fullName;
};

// What keeping `keep` restore points removes. The restore points are the fulls and the
// differentials whose full is among `points`, newest first (ordered as GenerationsBeyond
// orders, `written` the newest); the newest `keep` are kept, and so is every full a kept
// differential needs, however old. `beyond` lists the rest, oldest first; `unrestorable` the
// differentials whose full is gone, which can no longer be restored from here and are removed
// too (the caller says so in the log).
struct Pruning {
    std::vector<std::string> beyond;
    std::vector<std::string> unrestorable;
};
Pruning RestorePointsBeyond(const std::string& target, const std::vector<RestorePoint>& points,
                            int keep, std::time_t now, const std::string& written = {});

// The newest complete full generation of the target that is an archive of ours, not dated
// after `now`; empty when there is none.
std::string NewestFull(FileSystem& files, const std::string& target, std::time_t now);

// How a scheduled job, or `kestrel backup` asked for it, keeps its archives.
struct KeepPolicy {
    // 1: the target itself, replaced by each complete run; more: dated generations.
    int keep = MinimumKept;
    // Read the new archive back before it replaces or removes anything.
    bool verify = false;
};

// Whether, and how, a run writes a differential archive instead of a full one.
struct DifferentialPolicy {
    bool wanted = false;
    // A full is written again once the newest is older than this.
    int fullAfterDays = 7;
};
inline constexpr int DefaultFullAfterDays = 7;
inline constexpr int MaximumFullAfterDays = 365;
// The days of "--full-after-days N" (1 to MaximumFullAfterDays, digits only); nothing else.
std::optional<int> FullAfterDaysCount(const std::string& text);

// Why the archive at the path does not read back (a member's CRC or AES authentication, an
// unreadable directory); nothing when every member passes.
std::optional<std::string> ArchiveReadBackProblem(FileSystem& files, const std::string& path,
                                                  const std::string& password);

// Whether the file at the path is an archive a backup wrote (a ZIP file holding the info
// file), which a run may replace; anything else at a target is the user's.
bool HoldsBackup(FileSystem& files, const std::string& path);

// One run that never costs a complete backup. The archive is written beside the target under
// a name of its own run, read back when the policy says so, and only then put in place: on the
// target (keep 1) or as a new generation. A run that left a selected item out goes to
// IncompletePath instead while a complete backup of ours is there to keep (the target, or a
// generation), removes no complete one, and removes the target's oldest incomplete archives
// beyond `keep`; with none to keep it goes where a complete run would. A complete run then
// removes the oldest generations beyond `keep` and the target's incomplete archives. Only
// archives of ours are removed or replaced. An archive that does not read back is removed, the
// result is NotReadBack and the previous archives stay as they were.
BackupOutcome RunKeptBackup(BackupJob& job, const BackupRequest& request,
                            const BackupMachine& machine, ProgressSink& progress,
                            const KeepPolicy& policy, FileSystem& files);

// The same in phases, for a window that writes on a worker thread: the request the job is to
// run (its write path a staging name of this run's own, "<target>.part-" and six letters or
// digits, which a killed run's leftovers share and ArchiveLeftovers clears away), the check on the
// worker once it has written (nothing when the archive reads back or was not written), and, after
// BackupJob::Finish, the archive put in place (or removed).
BackupRequest StagedRequest(const BackupRequest& request);
std::optional<std::string> CheckStagedArchive(const BackupOutcome& outcome,
                                              const BackupRequest& staged, FileSystem& files);
BackupOutcome PlaceStagedArchive(BackupOutcome outcome, const BackupRequest& staged,
                                 const KeepPolicy& policy,
                                 const std::optional<std::string>& readBackProblem,
                                 FileSystem& files);

}  // namespace kestrel
