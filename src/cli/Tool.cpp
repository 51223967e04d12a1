#include <cstdio>
#include <utility>

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

using Command = int (*)(const std::vector<std::string>&, Platform&);

// The subcommands, looked up in one place by both the check and the run.
Command FindCommand(const std::string& name)
{
    static const std::pair<const char*, Command> commands[] = {
        {"reg", RunRegCommand}, {"archive", RunArchiveCommand}, {"profiles", RunProfilesCommand}};
    for (const auto& [commandName, command] : commands) {
        if (name == commandName) {
            return command;
        }
    }
    return nullptr;
}

}  // namespace

bool IsToolCommand(const std::string& command)
{
    return FindCommand(command) != nullptr;
}

int RunTool(const std::string& command, const std::vector<std::string>& arguments,
            Platform& platform)
{
    if (const Command run = FindCommand(command)) {
        return run(arguments, platform);
    }
    return ToolUsage();
}

int ToolUsage()
{
    PrintUsage();
    return 2;
}

}  // namespace kestrel
