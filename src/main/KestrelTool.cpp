// kestrel: the command-line tool for inspecting and repairing an environment and backups.
//   kestrel reg ...        registry files and trees
//   kestrel archive ...    backup archives
//   kestrel profiles       Outlook profiles and the items each offers

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/ToolCommands.h"
#include "platform/ArgumentText.h"
#include "platform/Platform.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments = kestrel::ProgramArguments(argc, argv);
    if (arguments.empty() || !kestrel::IsToolCommand(arguments.front())) {
        return kestrel::ToolUsage();
    }
    const std::string command = arguments.front();
    arguments.erase(arguments.begin());
    try {
        kestrel::Platform platform = kestrel::CreateSystemPlatform();
        return kestrel::RunTool(command, arguments, platform);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrel: %s\n", error.what());
        return 2;
    }
}
