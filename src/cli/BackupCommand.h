#pragma once

#include <string>
#include <variant>
#include <vector>

#include "backup/BackupGenerations.h"
#include "backup/BackupJob.h"
#include "cli/CommandArguments.h"
#include "outlook/HeldFiles.h"

namespace kestrel {

// The pieces of `kestrel backup` (RunBackupCommand in ToolCommands.h) that decide what the
// user sees.

struct BackupOptions {
    std::string profile;
    // One "0" or "1" per item box, as in the unattended argument text.
    std::string items;
    std::string description;
    PasswordFrom passwordFrom = PasswordFrom::None;
    std::string passwordFile;
    std::string target;
    IfOutlookRuns ifOutlookRuns = IfOutlookRuns::Skip;
    // --keep N: dated generations instead of one archive; --verify: read it back first.
    int keep = 1;
    bool verify = false;
    bool help = false;
    // Whether --keep and --if-outlook-runs were given: a policy decides what was not.
    bool keepGiven = false;
    bool ifOutlookRunsGiven = false;
    // --differential: only the blocks of the data files changed since the last full backup;
    // --full-after-days N: a full again once the last is that old.
    bool differential = false;
    int fullAfterDays = DefaultFullAfterDays;
};

// The options, or why they cannot be used.
std::variant<BackupOptions, std::string> ParseBackupOptions(
    const std::vector<std::string>& arguments);

// What the run did, for standard output: a line per item that ran, what the archive lacks,
// and where the archive is and its size (and which complete backup was kept when this one
// lacks an item and went beside it), or why nothing was written; then each older archive the
// run removed, and each dated after the run (a clock set back since it was written).
std::string BackupReport(const BackupOutcome& outcome, const std::string& targetPath);

}  // namespace kestrel
