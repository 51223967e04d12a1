#pragma once

#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "restore/Restorers.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {

namespace texts {
inline constexpr const char* RestoreCompleted = "The Restore was Completed!";
inline constexpr const char* RestoreEndedWithErrors = "The Restore ended with errors!";
inline constexpr const char* RestoreCancelled = "The Restore was cancelled!";
}  // namespace texts

struct RestoreOutcome {
    // Per item in table order: whether its restorer ran, and whether it succeeded.
    ItemResults ran{};
    ItemResults succeeded{};
    // Why items failed, one line each.
    std::vector<std::string> failures;
    // The run's Replaced folder when it kept anything; empty otherwise.
    std::string replacedFolder;
    // Cancel stopped the run: the item that ran then failed, the later ones did not run.
    bool cancelled = false;

    bool AnyItemFailed() const;
};

// The checks before a restore, in this order: a valid backup is open, then a box is ticked.
// Each shows its message and returns false; true when the run may go on.
bool CheckRestoreRequest(bool noValidBackupFlag, const ItemBoxes& ticked, Messages& messages);

// The restorers of the ticked items that the backup holds, in item order, on the caller's
// thread: each item's status text, the progress bar from 10 to 90 and then to 100. A failing
// item does not stop the run; a cancelled one does (context.stopRequested).
RestoreOutcome RestoreItems(RestoreContext& context, const std::string& openedBackupItems,
                            const ItemBoxes& ticked, ProgressSink& progress);

// What the result reports, line by line: the headline, an item's title with "Succeeded!" or
// "Fail!", each failure, the Replaced folder (the result empty on all but the items' lines).
struct RestoreResultLine {
    std::string title;
    std::string result;
};
std::vector<RestoreResultLine> RestoreResultLines(const RestoreOutcome& outcome);
// The failure reasons a result message lists; the rest are counted ("and N more, listed in
// kestrel.log") and the front end writes the whole list to the log (LogRestoreFailures).
inline constexpr std::size_t ReportedFailuresAtMost = 200;

// The result message: the headline, three tabs, CR LF, one line per reported item (each
// starting with CR LF), the reasons of the failures (at most ReportedFailuresAtMost), and last
// the folder that keeps what the restore replaced. The headline says "Completed" only when
// every item that ran succeeded.
std::string RestoreResultText(const RestoreOutcome& outcome);

}  // namespace kestrel
