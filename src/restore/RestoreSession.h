#pragma once

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "outlook/HeldFiles.h"
#include "outlook/ProfileLocations.h"
#include "platform/Platform.h"
#include "restore/OpenBackup.h"
#include "restore/RestoreRun.h"
#include "ui/Dialogs.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {

// What the user chose for one restore run, read once when it starts.
struct RestoreRequest {
    // The profile the items are written into, whatever profile the backup came from.
    std::string targetProfile;
    ItemBoxes ticked{};
    // Names the run's Replaced folder.
    std::time_t startTime = 0;
};

// This machine's places for the target profile (never the source machine's).
struct RestoreMachine {
    // The program's private work folder: registry exports and the rules file go there.
    std::string runFolder;
    std::string userProfileFolder;
    std::string windowsVersion;
    std::string profilesRootKey;
    // The target profile's items, with the options key of the installed Outlook version.
    ProfileLocations locations;
    // The program's data folder, which holds the Replaced folders.
    std::string keptFolder;
};

// The exit status of `kestrel restore`: 0 when every item that ran was restored, 1 when some
// failed or the run was cancelled, 2 when nothing ran.
int RestoreExitStatus(const RestoreOutcome& outcome);

// The restore side of the program: the archive opened on the restore tab, kept open between
// runs, and the runs that restore from it. Opening belongs to the window thread (it asks for
// the password); a run may go on any thread, one at a time, while Cancel comes from another.
class RestoreSession {
public:
    explicit RestoreSession(Platform& platform);
    ~RestoreSession();
    RestoreSession(const RestoreSession&) = delete;
    RestoreSession& operator=(const RestoreSession&) = delete;

    // Opens the archive for restoring (see OpenBackup); `opened` receives what the restore tab
    // shows and the run reads.
    OpenResult Open(const std::string& runFolder, const std::string& archivePath, Dialogs& dialogs,
                    Messages& messages, OpenedBackup& opened);

    // For a differential backup: where its full backup is, the path given (UseFull) or the one
    // beside it when that file is there; empty when it was not found (a window then asks for
    // it). Empty for a full backup.
    std::string FullFor(const OpenedBackup& opened) const;
    // The full backup the next runs of an opened differential take (the command line's
    // --full, the file the window asked for); empty: the one beside it.
    void UseFull(const std::string& fullPath);

    // The held-files step of a run, kept until the run ends. Decide finds which of the files
    // the ticked items replace other programs hold and asks `answer` (Close, or Refuse to
    // stop when any is held), on the thread that owns the registry; false when it said to
    // stop. Prepare then closes their programs and waits for them (with progress; Cancel stops
    // the wait): false when the run must not go on, Held says why. EndRun starts again the
    // programs closed, once the restore is over or did not happen, and returns them.
    bool Decide(const RestoreRequest& request, const RestoreMachine& machine, Messages& messages,
                const HeldFilesAnswer& answer);
    bool Prepare(ProgressSink& progress,
                 std::chrono::milliseconds wait = HeldFilesGate::DefaultWait);
    const HeldCheck& Held() const;
    std::vector<FileHolder> EndRun();

    // Restores the ticked items of the opened backup into the target profile: first the
    // Replaced folders beyond the newest few are removed, then the items run in order with
    // their status texts, the archive's per-file texts and the progress bar. Registry
    // messages become failure lines of the outcome, so nothing modal appears off the window
    // thread. The checks of CheckRestoreRequest are the caller's.
    RestoreOutcome Run(const OpenedBackup& opened, const RestoreRequest& request,
                       const RestoreMachine& machine, ProgressSink& progress);

    // Stops the running restore before its next member, and the member being extracted, or
    // the wait for programs to close; any thread. The items after it do not run.
    void Cancel();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrel
