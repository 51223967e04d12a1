#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "platform/FileHolders.h"
#include "platform/ShadowCopies.h"
#include "registry/RegistryAccess.h"
#include "ui/ProgressSink.h"

namespace kestrel {

// What a run does when another program (Outlook) holds one of its data files.
enum class IfOutlookRuns {
    Skip,      // back up without those files
    Close,     // ask the program to close, run, start it again
    Refuse,    // do nothing at all (a restore's default)
    Snapshot,  // read the held files from a shadow copy (needs administrator rights)
};

namespace texts {
inline constexpr const char* WaitingForOutlook = "Waiting for Outlook to close...";
}  // namespace texts

struct HeldFile {
    std::string path;
    std::vector<FileHolder> holders;
};

enum class HeldVerdict {
    Go,         // run; whatever is still held is left out
    Stop,       // run nothing: a file is held and may not be touched
    Cancelled,  // the user stopped the wait
};

struct HeldCheck {
    HeldVerdict verdict = HeldVerdict::Go;
    // The files held when the check began, and those still held when it ended.
    std::vector<HeldFile> held;
    std::vector<HeldFile> stillHeld;
    // The programs asked to close that did not close within the wait.
    std::vector<FileHolder> refusedToClose;
    // The Snapshot way: the held files read from the shadow copy (none held then), or why no
    // usable shadow copy was taken, in which case the programs were asked to close instead.
    std::vector<std::string> fromSnapshot;
    std::string snapshotFailure;
};

// How a front end answers the held-files question of a run: the files other programs hold when
// it begins (none, often) in, the way to deal with them out, or nothing to stop before anything
// is done.
using HeldFilesAnswer =
    std::function<std::optional<IfOutlookRuns>(const std::vector<HeldFile>& held)>;

// The files Outlook keeps open that the ticked boxes read or replace: the data files (box 0)
// and personal address books (box 4) the sections of the profile name, found as the backup
// finds them. A missing file is listed too: nobody holds it.
std::vector<std::string> ProfileHeldFileCandidates(RegistryAccess& registry,
                                                   const std::string& profilesRootKey,
                                                   const std::string& profile,
                                                   const ItemBoxes& ticked);

// "OUTLOOK.EXE (process 412)", several joined by ", ", each program once.
std::string HolderNames(const std::vector<HeldFile>& held);
std::string HolderNames(const std::vector<FileHolder>& holders);

// Finds who holds a run's data files and, when asked to, closes those programs before the run
// and starts them again afterwards: at the latest when the object goes, so also after a failed
// or cancelled run or an exception. It never ends a program; one that does not close within
// the wait keeps running and its files are treated as held.
class HeldFilesGate {
public:
    using Pause = std::function<void(std::chrono::milliseconds)>;
    static constexpr std::chrono::milliseconds PollInterval{250};
    static constexpr std::chrono::seconds DefaultWait{60};

    // `holders` may be null (a system that cannot tell): nothing is ever held then.
    HeldFilesGate(FileHolders* holders, ProgressSink& progress, Pause pause = SleepFor,
                  std::chrono::milliseconds wait = DefaultWait);
    ~HeldFilesGate();
    HeldFilesGate(const HeldFilesGate&) = delete;
    HeldFilesGate& operator=(const HeldFilesGate&) = delete;

    std::vector<HeldFile> FindHeld(const std::vector<std::string>& paths);
    // Where the Snapshot way takes its shadow copies; null (the default) where there are
    // none, so that way closes the programs instead.
    void UseShadowCopies(ShadowCopies* copies) { copies_ = copies; }

    // Decides, before a run, what to do about the held files among `paths`: Skip goes on
    // without them, Refuse stops when any is held, Close asks their programs to close and waits
    // (with progress text and `cancel` polled) until the files are free. When they are not
    // freed in time, a backup (stopWhenStillHeld false) goes on without them and a restore
    // stops. Snapshot (a backup's only, the caller checks the rights) reads the held files
    // from one shadow copy of their volumes (SnapshotPaths) and closes nothing; when it cannot
    // be taken or lacks a file, it is deleted and the way is Close.
    HeldCheck Check(IfOutlookRuns way, const std::vector<std::string>& paths,
                    bool stopWhenStillHeld, const std::atomic<bool>* cancel = nullptr);
    // Starts again every program this gate closed that is not running; once each.
    void StartAgain();
    // The programs closed by Check (and not yet started again).
    const std::vector<FileHolder>& Closed() const { return closed_; }
    // Each held file read from the shadow copy, with its path inside it; empty without one.
    const std::map<std::string, std::string>& SnapshotPaths() const { return snapshotPaths_; }
    // Deletes the shadow copy once the run no longer reads it; also when the object goes.
    // False, with the reason, when it could not be deleted (a non-persistent one still goes
    // when the program ends).
    bool DeleteSnapshot(std::string& why);

    static void SleepFor(std::chrono::milliseconds time);

private:
    bool ReadFromSnapshot(HeldCheck& check);
    HeldVerdict WaitForRelease(const std::vector<std::string>& paths,
                               const std::atomic<bool>* cancel);

    FileHolders* holders_;
    ShadowCopies* copies_ = nullptr;
    bool snapshotTaken_ = false;
    std::map<std::string, std::string> snapshotPaths_;
    ProgressSink& progress_;
    Pause pause_;
    std::chrono::milliseconds wait_;
    std::vector<FileHolder> asked_;
    std::vector<FileHolder> closed_;
};

}  // namespace kestrel
