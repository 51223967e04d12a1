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

using Arguments = const std::vector<std::string>&;
using Command = int (*)(Arguments, Platform&, Scheduler*, const ToolConsole&);

// The subcommands, looked up in one place by both the check and the run. Only `schedule` works
// with the scheduler.
Command FindCommand(const std::string& name)
{
    static const std::pair<const char*, Command> commands[] = {
        {"reg", [](Arguments a, Platform& p, Scheduler*,
                   const ToolConsole&) { return RunRegCommand(a, p); }},
        {"archive", [](Arguments a, Platform& p, Scheduler*,
                       const ToolConsole&) { return RunArchiveCommand(a, p); }},
        {"profiles", [](Arguments a, Platform& p, Scheduler*,
                        const ToolConsole&) { return RunProfilesCommand(a, p); }},
        {"backup", [](Arguments a, Platform& p, Scheduler*,
                      const ToolConsole& c) { return RunBackupCommand(a, p, c); }},
        {"restore", [](Arguments a, Platform& p, Scheduler*,
                       const ToolConsole& c) { return RunRestoreCommand(a, p, c); }},
        {"disc", [](Arguments a, Platform& p, Scheduler*,
                    const ToolConsole& c) { return RunDiscCommand(a, p, c); }},
        {"schedule", [](Arguments a, Platform& p, Scheduler* s, const ToolConsole&) {
             return RunScheduleCommand(a, p, s);
         }}};
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
            Platform& platform, Scheduler* scheduler, const ToolConsole& console)
{
    if (const Command run = FindCommand(command)) {
        return run(arguments, platform, scheduler, console);
    }
    return ToolUsage();
}

int ToolUsage()
{
    PrintUsage();
    return 2;
}

}  // namespace kestrel
