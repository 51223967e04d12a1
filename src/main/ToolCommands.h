#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kestrel {

// Each subcommand of the kestrel tool: the arguments after its name; returns the process exit
// status (0 on success). Errors go to standard error and change nothing.
int RunRegCommand(const std::vector<std::string>& arguments, Platform& platform);
int RunArchiveCommand(const std::vector<std::string>& arguments, Platform& platform);
int RunProfilesCommand(const std::vector<std::string>& arguments, Platform& platform);

}  // namespace kestrel
