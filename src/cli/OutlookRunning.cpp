#include "cli/OutlookRunning.h"

#include <cstdio>

namespace kestrel {

std::optional<IfOutlookRuns> ParseIfOutlookRuns(const std::string& value, bool restore)
{
    if (value == "close") {
        return IfOutlookRuns::Close;
    }
    if (value == "skip" && !restore) {
        return IfOutlookRuns::Skip;
    }
    if (value == "snapshot" && !restore) {
        return IfOutlookRuns::Snapshot;
    }
    return std::nullopt;
}

bool TakeIfOutlookRunsOption(const std::vector<std::string>& arguments, std::size_t& i,
                             bool restore, IfOutlookRuns& way, std::string& why)
{
    if (arguments[i] != "--if-outlook-runs") {
        return false;
    }
    const std::optional<IfOutlookRuns> parsed =
        i + 1 < arguments.size() ? ParseIfOutlookRuns(arguments[++i], restore) : std::nullopt;
    if (!parsed) {
        why = restore ? "--if-outlook-runs takes close"
                      : "--if-outlook-runs takes skip, close or snapshot";
        return true;
    }
    way = *parsed;
    return true;
}

std::string HeldFilesLines(const HeldCheck& check, IfOutlookRuns way, bool restore)
{
    std::string lines;
    const long long waited = HeldFilesGate::DefaultWait.count();
    if (!check.snapshotFailure.empty()) {
        lines += "no shadow copy (" + check.snapshotFailure + "); closing Outlook instead\n";
    }
    for (const std::string& path : check.fromSnapshot) {
        lines += path + " is read from a shadow copy\n";
    }
    if (!check.refusedToClose.empty()) {
        lines += HolderNames(check.refusedToClose) + " did not close within " +
                 std::to_string(waited) + " seconds; it was left running\n";
    }
    for (const HeldFile& file : check.stillHeld) {
        if (restore) {
            lines +=
                HolderNames({file}) + " holds " + file.path + "; nothing restored" +
                (way == IfOutlookRuns::Refuse ? " (close it, or give --if-outlook-runs close)\n"
                                              : "\n");
        } else {
            lines += HolderNames({file}) + " holds " + file.path + "; left out of the backup" +
                     (way == IfOutlookRuns::Skip
                          ? " (--if-outlook-runs close closes it and starts it again)\n"
                          : "\n");
        }
    }
    return lines;
}

std::string StartedAgainLine(const std::vector<FileHolder>& closed)
{
    return closed.empty() ? std::string()
                          : "closed " + HolderNames(closed) + " and started it again\n";
}

}  // namespace kestrel
