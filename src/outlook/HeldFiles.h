#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "platform/FileHolders.h"
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
};

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
    // Decides, before a run, what to do about the held files among `paths`: Skip goes on
    // without them, Refuse stops when any is held, Close asks their programs to close and waits
    // (with progress text and `cancel` polled) until the files are free. When they are not
    // freed in time, a backup (stopWhenStillHeld false) goes on without them and a restore
    // stops.
    HeldCheck Check(IfOutlookRuns way, const std::vector<std::string>& paths,
                    bool stopWhenStillHeld, const std::atomic<bool>* cancel = nullptr);
    // Starts again every program this gate closed that is not running; once each.
    void StartAgain();
    // The programs closed by Check (and not yet started again).
    const std::vector<FileHolder>& Closed() const { return closed_; }

    static void SleepFor(std::chrono::milliseconds time);

private:
    HeldVerdict WaitForRelease(const std::vector<std::string>& paths,
                               const std::atomic<bool>* cancel);

    FileHolders* holders_;
    ProgressSink& progress_;
    Pause pause_;
    std::chrono::milliseconds wait_;
    std::vector<FileHolder> asked_;
    std::vector<FileHolder> closed_;
};

}  // namespace kestrel
