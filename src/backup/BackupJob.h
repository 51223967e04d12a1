#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "archive/ZipComponent.h"
#include "backup/ArchiveContents.h"
#include "backup/BackupRequest.h"
#include "platform/Platform.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {

enum class BackupResult {
    Written,           // the archive is in place
    NothingCollected,  // no selected item produced a member: nothing was written
    WriteFailed,       // the write failed: any previous archive at the target is as it was
    Cancelled,         // the user stopped the write: the same
    NotReadBack,       // the written archive failed its check and was removed: the same
    TargetIsSource,    // the target is a file the run reads: nothing was written
};

struct BackupOutcome {
    BackupResult result = BackupResult::NothingCollected;
    // Per item in table order: whether its collector ran, and whether it succeeded.
    ItemResults ran{};
    ItemResults succeeded{};
    // Per item: it failed because there was nothing to back up (its folder is there and holds
    // no file). Reported as a failure, but the archive lacks nothing the item had.
    ItemResults foundNothing{};
    // Why nothing was written, naming the file concerned; empty when the archive was written.
    std::string error;
    // What the archive lacks although it was found (see CollectorContext::leftOut).
    std::vector<std::string> leftOut;
    std::uint64_t archiveBytes = 0;
    // Where the archive is now; empty when nothing was written.
    std::string archivePath;
    // The full backup's file name when the archive is a differential made against it.
    std::string differentialOf;
    // Why a run asked for a differential wrote a full archive; empty otherwise.
    std::string fullBecause;
    // The run left an item out, so its archive went beside the target instead of replacing a
    // complete one, which is `keptBackup` (the target, or the newest generation).
    bool writtenBeside = false;
    std::string keptBackup;
    // Older archives of the same target the run removed once its own was in place.
    std::vector<std::string> removed;
    // Of those, the differentials removed because the full they need is gone.
    std::vector<std::string> removedUnrestorable;
    // Archives of the same target whose names hold a time after this run's start (written while
    // the clock was ahead): counted as older than the rest, never as the newest.
    std::vector<std::string> datedAfter;

    bool Written() const { return result == BackupResult::Written; }
    // Whether an item that ran failed (see FailureCounts).
    bool AnyItemFailed() const;
    // Whether the archive lacks something an item found (an item failed for another reason
    // than having nothing to back up): it must then not replace a complete backup.
    bool LacksAnItem() const;
};

// Whether the failure of the item at this position of the item table fails the run. The rules
// file does not: a profile without rules is normal and has no line of its own in the report.
bool FailureCounts(std::size_t position);

// The exit status of the unattended backup and `kestrel backup`: 0 when the archive was written
// and every selected item succeeded, 1 when it was written but an item failed, 2 when nothing
// was written.
int BackupExitStatus(const BackupOutcome& outcome);

// One backup: the info file's header, the collectors in item order, the archive write and the
// clean-up. The phases are separate so a window can collect on its own thread (registry and
// version probe) and write on a worker (minutes for a large data file) while staying
// responsive; the command-line runs call Run.
//
// The previous archive at the target is never removed first: the archive component replaces it
// only once the new one is complete, so a failed, cancelled or empty run leaves it as it was.
class BackupJob {
public:
    // `messages` receives what registry access may report (malformed key paths, which the run
    // does not build).
    BackupJob(Platform& platform, Messages& messages);
    // The same, reading and writing through `files` (a snapshot's reads) instead of the
    // platform's file system.
    BackupJob(Platform& platform, Messages& messages, FileSystem& files);
    ~BackupJob();
    BackupJob(const BackupJob&) = delete;
    BackupJob& operator=(const BackupJob&) = delete;

    // The header and the items, on the thread that owns the registry and the version probe.
    // Shows each item's status text and advances the progress bar by its step.
    void Collect(const BackupRequest& request, const BackupMachine& machine,
                 ProgressSink& progress);
    // Writes the archive; any thread. A differential's data files are read and compared with
    // the full first (see ArchiveContents::WriteChangedBlocks); when one needs a full, nothing
    // is written and NeedsFull says why. The archive's per-file and percentage texts go to
    // `progress` from the thread that calls it.
    void Write(ProgressSink& progress);
    // Stops a Write in progress, or the next one; any thread.
    void Cancel();
    // Whether the last Write put the archive at its write path; the thread that wrote.
    bool Written() const;
    // Removes the info file and the registry exports, resets the progress display and returns
    // what happened.
    BackupOutcome Finish(ProgressSink& progress);

    // The three phases on the caller's thread.
    BackupOutcome Run(const BackupRequest& request, const BackupMachine& machine,
                      ProgressSink& progress);

    // Deflate threads for the write (0: one per processor).
    void SetThreadCount(unsigned threads);
    // Before Collect: the data files go in as their blocks changed since this full, which must
    // outlive the job. Without, the archive is a full one, each data file with its map.
    void SetDifferentialBase(const DifferentialBase* base);
    // After Collect, and after a Write that stopped for it: why the archive cannot be a
    // differential after all (see ArchiveContents); the run then collects again for a full.
    std::string NeedsFull() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrel
