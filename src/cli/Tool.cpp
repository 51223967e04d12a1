#include <cstdio>
#include <utility>

#include "cli/DiscCommand.h"
#include "cli/ToolCommands.h"

namespace kestrel {
namespace {

void PrintUsage()
{
    std::fputs(
        "usage: kestrel COMMAND [ARGUMENTS]\n"
        "  reg       import, export and query registry keys (kestrel reg --help)\n"
        "  archive   list, verify and extract backup archives (kestrel archive --help)\n"
        "  profiles  Outlook profiles, their item locations and offered items [--json]\n"
        "  backup    back up a profile's items into an archive (kestrel backup --help)\n"
        "  restore   restore items from an archive into a profile (kestrel restore --help)\n"
        "  disc      list drives, write files to a disc or image file, erase (kestrel disc "
        "--help)\n"
        "  schedule  add, list and remove scheduled backups (kestrel schedule --help)\n",
        stderr);
}

using Command = int (*)(const std::vector<std::string>&, Platform&, const ToolConsole&);

// The subcommands, looked up in one place by both the check and the run.
Command FindCommand(const std::string& name)
{
    using Arguments = const std::vector<std::string>&;
    static const std::pair<const char*, Command> commands[] = {
        {"reg", [](Arguments a, Platform& p, const ToolConsole&) { return RunRegCommand(a, p); }},
        {"archive",
         [](Arguments a, Platform& p, const ToolConsole&) { return RunArchiveCommand(a, p); }},
        {"profiles",
         [](Arguments a, Platform& p, const ToolConsole&) { return RunProfilesCommand(a, p); }},
        {"backup", RunBackupCommand},
        {"restore", RunRestoreCommand},
        {"disc", RunDiscCommand},
        {"schedule",
         [](Arguments a, Platform& p, const ToolConsole&) { return RunScheduleCommand(a, p); }}};
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
            Platform& platform, const ToolConsole& console)
{
    if (const Command run = FindCommand(command)) {
        return run(arguments, platform, console);
    }
    return ToolUsage();
}

int ToolUsage()
{
    PrintUsage();
    return 2;
}

}  // namespace kestrel
