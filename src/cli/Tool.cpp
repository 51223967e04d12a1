#include <cstdio>

#include "cli/ToolCommands.h"

namespace kestrel {
namespace {

void PrintUsage()
{
    std::fputs(
        "usage: kestrel COMMAND [ARGUMENTS]\n"
        "  reg       import, export and query registry keys (kestrel reg --help)\n"
        "  archive   list, verify and extract backup archives (kestrel archive --help)\n"
        "  profiles  Outlook profiles, their item locations and offered items [--json]\n",
        stderr);
}

}  // namespace

bool IsToolCommand(const std::string& command)
{
    return command == "reg" || command == "archive" || command == "profiles";
}

int RunTool(const std::string& command, const std::vector<std::string>& arguments,
            Platform& platform)
{
    if (command == "reg") {
        return RunRegCommand(arguments, platform);
    }
    if (command == "archive") {
        return RunArchiveCommand(arguments, platform);
    }
    if (command == "profiles") {
        return RunProfilesCommand(arguments, platform);
    }
    PrintUsage();
    return 2;
}

int ToolUsage()
{
    PrintUsage();
    return 2;
}

}  // namespace kestrel
