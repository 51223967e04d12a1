#pragma once

#include <string>
#include <vector>

#include "cli/ToolCommands.h"

namespace kestrel {

// kestrel disc drives | write FILE... --drive D [--verify] [--label L] [--test] | erase
// --drive D [--quick], each with [--image PATH]...: the disc windows' work from the command
// line. Returns 0 when done, 1 when the write, its verification or the erase failed or was
// cancelled, 2 for a usage error.
int RunDiscCommand(const std::vector<std::string>& arguments, Platform& platform,
                   const ToolConsole& console);

}  // namespace kestrel
