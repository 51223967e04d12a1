#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "outlook/HeldFiles.h"

namespace kestrel {

// --if-outlook-runs of `kestrel backup` (skip, close, snapshot) and `kestrel restore` (close
// only: a restore never writes beside a program that holds the files).
std::optional<IfOutlookRuns> ParseIfOutlookRuns(const std::string& value, bool restore);

// When arguments[i] is --if-outlook-runs, takes it with its value (moving i past it) and
// returns true; `why` then says why it cannot be used, or stays empty.
bool TakeIfOutlookRunsOption(const std::vector<std::string>& arguments, std::size_t& i,
                             bool restore, IfOutlookRuns& way, std::string& why);

// What the check before the run found and did, one line each for standard error: the held files
// left out (or, for a restore, the reason nothing is restored), the programs that did not close,
// the files read from a shadow copy or why none could be used.
std::string HeldFilesLines(const HeldCheck& check, IfOutlookRuns way, bool restore);

// The line after the run for the programs the gate closed and started again.
std::string StartedAgainLine(const std::vector<FileHolder>& closed);

}  // namespace kestrel
