#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupGenerations.h"
#include "backup/BackupJob.h"
#include "backup/BackupRequest.h"
#include "backup/DifferentialBackup.h"
#include "outlook/HeldFiles.h"
#include "platform/Platform.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {

namespace texts {
inline constexpr const char* VerifyingBackup = "Verifying the backup...";
}  // namespace texts

// What a front end asks one backup run to do; read once, before the run starts.
struct BackupPlan {
    BackupRequest request;
    BackupMachine machine;
    KeepPolicy keep;
    // A differential archive instead of a full one, when one can be made.
    DifferentialPolicy differential;
    // Whether the held files may be read from a shadow copy (the user has the rights for it);
    // without, the Snapshot way closes the programs instead.
    bool snapshotsAllowed = false;
    // How long the run waits for the programs it asked to close.
    std::chrono::milliseconds wait = HeldFilesGate::DefaultWait;
};

// All one run did: the archive, the held files and what became of them, the snapshot and the
// programs closed and started again.
struct BackupRunOutcome {
    BackupOutcome backup;
    // The question was answered with a stop, or Cancel ended the wait: nothing was done.
    bool stopped = false;
    IfOutlookRuns way = IfOutlookRuns::Skip;
    HeldCheck held;
    // Why the shadow copy could not be deleted; empty when it was, or there was none.
    std::string snapshotNotDeleted;
    // The programs the run closed, started again at its end.
    std::vector<FileHolder> startedAgain;
};

// One backup, whichever front end starts it: the files another program holds and the way
// chosen for them, close-and-wait or a snapshot, the file system the job reads from, staging,
// read-back, placing and generations, deleting the snapshot and starting closed programs again,
// also when the run ends early or throws (the object's end does it then).
//
// Run does it all on the caller's thread. A window runs the phases instead: Decide and Collect
// on its own thread (the registry and the version probe), Prepare and Write on a worker,
// Finish back on its thread. Collect reads no data file: a differential's are read and compared
// with the full in Write, and when one turns out to need a full (more than half of it changed),
// Write collects again as a full on its own thread before it writes.
class BackupRun {
public:
    BackupRun(Platform& platform, Messages& messages, BackupPlan plan);
    ~BackupRun();
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    BackupRunOutcome Run(const HeldFilesAnswer& answer, ProgressSink& progress);

    // Finds the held files and asks `answer`; false when it said to stop.
    bool Decide(const HeldFilesAnswer& answer);
    // Deals with the held files the chosen way (the wait shows on `progress`; Cancel stops it)
    // and readies the job to read from the snapshot where one was made. False when the wait
    // was cancelled.
    bool Prepare(ProgressSink& progress);
    // What Prepare found; the window tells the user about programs that did not close.
    const HeldCheck& Held() const { return outcome_.held; }
    // The way Decide was given.
    IfOutlookRuns Way() const { return outcome_.way; }
    void Collect(ProgressSink& progress);
    // Writes the archive beside the target and reads it back when the plan says so.
    void Write(ProgressSink& progress);
    // Places the archive (or removes it), deletes the snapshot, starts closed programs again.
    BackupRunOutcome Finish(ProgressSink& progress);
    // Stops the wait or the write; any thread.
    void Cancel();

private:
    void StartJob(const DifferentialBase* base);
    void CollectFull(ProgressSink& progress);

    Platform& platform_;
    Messages& messages_;
    BackupPlan plan_;
    BackupRequest staged_;
    std::vector<std::string> candidates_;
    std::atomic<bool> cancelled_{false};
    // Cancel may come from another thread while Write replaces the job.
    std::mutex jobMutex_;
    std::unique_ptr<HeldFilesGate> gate_;
    std::unique_ptr<FileSystem> snapshotReads_;
    std::unique_ptr<BackupJob> job_;
    std::optional<DifferentialBase> base_;
    std::string fullBecause_;
    std::optional<std::string> readBackProblem_;
    BackupRunOutcome outcome_;
};

}  // namespace kestrel
