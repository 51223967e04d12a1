#include "restore/RestoreRun.h"

#include <algorithm>

#include <array>

#include "archive/MemberName.h"

namespace kestrel {

namespace {

struct RunRow {
    bool (*restorer)(RestoreContext&);
    const char* statusText;
    const char* successTitle;  // null: not reported
    const char* failureTitle;
    int step;
};

// In item order. The signatures line on failure has always carried a space before its tab.
constexpr std::array<RunRow, ItemCount> RunTable{{
    {RestoreConfig, "Copying Config...", nullptr, nullptr, 0},
    {RestoreDatas, "Copying Data Files (PST/OST Files)...", "Restore Personal Folders",
     "Restore Personal Folders", 10},
    {RestoreRules, "Copying Rules...", nullptr, nullptr, 25},
    {RestoreAccounts, "Copying Accounts...", "Restore Accounts Settings",
     "Restore Accounts Settings", 10},
    {RestoreSignatures, "Copying Signatures...", "Restore Signatures", "Restore Signatures ", 10},
    {RestoreStationery, "Copying Stationeries...", "Restore Stationeries", "Restore Stationeries",
     5},
    {RestorePab, "Copying Address Book...", "Restore Personal Address Book",
     "Restore Personal Address Book", 5},
    {RestoreConfigsetting, "Copying Options...", "Restore Options Settings",
     "Restore Options Settings", 5},
    {RestoreTemplates, "Copying Templates...", "Restore Templates", "Restore Templates", 5},
    {RestoreSetting, "Copying Setting...", "Restore Preferences", "Restore Preferences", 5},
    {RestoreContacts, "Copying Contacts Folder...", "Restore Contacts Folder",
     "Restore Contacts Folder", 0},
}};

}  // namespace

bool RestoreOutcome::AnyItemFailed() const
{
    for (int position = 0; position < ItemCount; ++position) {
        if (ran[position] && !succeeded[position]) {
            return true;
        }
    }
    return false;
}

bool CheckRestoreRequest(bool noValidBackupFlag, const ItemBoxes& ticked, Messages& messages)
{
    if (noValidBackupFlag) {
        messages.Show("Invalid backup file.", texts::ApplicationTitle, MessageIcon::Stop,
                      MessageButtons::Ok);
        return false;
    }
    for (bool box : ticked) {
        if (box) {
            return true;
        }
    }
    messages.Show("Please select at least one item.", texts::ApplicationTitle,
                  MessageIcon::Exclamation, MessageButtons::Ok);
    return false;
}

RestoreOutcome RestoreItems(RestoreContext& context, const std::string& openedBackupItems,
                            const ItemBoxes& ticked, ProgressSink& progress)
{
    RestoreOutcome outcome;
    progress.SetBusy(true);
    int done = 10;
    progress.SetProgress(done, 100);
    for (int position = 0; position < ItemCount; ++position) {
        const RunRow& row = RunTable[position];
        const bool held = position < static_cast<int>(openedBackupItems.size()) &&
                          openedBackupItems[position] == '1';
        outcome.cancelled = outcome.cancelled || context.StopRequested();
        if (!outcome.cancelled && held && ItemRuns(ItemTable[position], ticked)) {
            progress.SetStatus(row.statusText);
            outcome.ran[position] = true;
            outcome.succeeded[position] = row.restorer(context);
        }
        done += row.step;
        progress.SetProgress(done, 100);
    }
    outcome.cancelled = outcome.cancelled || context.StopRequested();
    context.replaced.Finish();
    progress.SetFileText({});
    progress.SetWriteText({});
    progress.SetProgress(100, 100);
    progress.SetStatus("Operation complete!");
    progress.SetProgress(0, 100);
    progress.SetBusy(false);
    outcome.failures = context.failures;
    if (context.replaced.Used()) {
        outcome.replacedFolder = context.replaced.Path();
    }
    return outcome;
}

std::vector<RestoreResultLine> RestoreResultLines(const RestoreOutcome& outcome)
{
    const char* headline = outcome.cancelled         ? texts::RestoreCancelled
                           : outcome.AnyItemFailed() ? texts::RestoreEndedWithErrors
                                                     : texts::RestoreCompleted;
    std::vector<RestoreResultLine> lines{{headline, ""}};
    for (int position = 0; position < ItemCount; ++position) {
        const RunRow& row = RunTable[position];
        if (!outcome.ran[position] || row.successTitle == nullptr) {
            continue;
        }
        lines.push_back(outcome.succeeded[position]
                            ? RestoreResultLine{row.successTitle, "Succeeded!"}
                            : RestoreResultLine{row.failureTitle, "Fail!"});
    }
    // A crafted archive can make a failure per name it lists: a message box of them all would
    // be too long to read or even to show.
    const std::size_t shown = std::min(outcome.failures.size(), ReportedFailuresAtMost);
    for (std::size_t i = 0; i < shown; ++i) {
        // A failure line may quote a name from the archive, which must not break the report.
        lines.push_back({PrintableText(outcome.failures[i]), ""});
    }
    if (shown < outcome.failures.size()) {
        lines.push_back({"and " + std::to_string(outcome.failures.size() - shown) +
                             " more, listed in kestrel.log",
                         ""});
    }
    if (!outcome.replacedFolder.empty()) {
        lines.push_back({"What the restore replaced is kept in " + outcome.replacedFolder, ""});
    }
    return lines;
}

std::string RestoreResultText(const RestoreOutcome& outcome)
{
    const std::vector<RestoreResultLine> lines = RestoreResultLines(outcome);
    std::string text = lines.front().title + "\t\t\t\r\n";
    for (std::size_t i = 1; i < lines.size(); ++i) {
        text += "\r\n" + lines[i].title;
        if (!lines[i].result.empty()) {
            text += "\t" + lines[i].result + "\t";
        }
    }
    return text;
}

}  // namespace kestrel
