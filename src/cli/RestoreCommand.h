#pragma once

#include <string>
#include <variant>
#include <vector>

#include "cli/CommandArguments.h"
#include "outlook/HeldFiles.h"
#include "restore/RestoreRun.h"

namespace kestrel {

// The pieces of `kestrel restore` (RunRestoreCommand in ToolCommands.h) that decide what the
// user sees.

struct RestoreOptions {
    std::string archive;
    // The profile the items are written into.
    std::string profile;
    // One "0" or "1" per restore box, as for `kestrel backup --items`.
    std::string items;
    PasswordFrom passwordFrom = PasswordFrom::None;
    std::string passwordFile;
    IfOutlookRuns ifOutlookRuns = IfOutlookRuns::Refuse;
    // --full PATH: the full backup a differential needs, when not the one beside it.
    std::string full;
    bool help = false;
};

// The options, or why they cannot be used.
std::variant<RestoreOptions, std::string> ParseRestoreOptions(
    const std::vector<std::string>& arguments);

// The result message of the window as plain lines for standard output: the headline, a line
// "TITLE: Succeeded!" or "TITLE: Fail!" per item that ran, the reasons of the failures and
// where what the restore replaced is kept.
std::string RestoreReport(const RestoreOutcome& outcome);

}  // namespace kestrel
