// kestrel: the command-line tool for inspecting and repairing an environment and backups.
//   kestrel reg ...        registry files and trees
//   kestrel archive ...    backup archives
//   kestrel profiles       Outlook profiles and the items each offers

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "main/ToolCommands.h"
#include "platform/ArgumentText.h"
#include "platform/Platform.h"

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

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage();
        return 2;
    }
    const std::string command = argv[1];
    std::vector<std::string> arguments = kestrel::ProgramArguments(argc, argv);
    arguments.erase(arguments.begin());  // the subcommand
    try {
        kestrel::Platform platform = kestrel::CreateSystemPlatform();
        if (command == "reg") {
            return kestrel::RunRegCommand(arguments, platform);
        }
        if (command == "archive") {
            return kestrel::RunArchiveCommand(arguments, platform);
        }
        if (command == "profiles") {
            return kestrel::RunProfilesCommand(arguments, platform);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrel: %s\n", error.what());
        return 2;
    }
    PrintUsage();
    return 2;
}
