// kestrel: the command-line tool for inspecting and repairing an environment and backups.
//   kestrel reg ...        registry files and trees
//   kestrel archive ...    backup archives
//   kestrel profiles       Outlook profiles and the items each offers
//   kestrel backup ...     a backup of one profile into an archive
//   kestrel restore ...    a restore from an archive into one profile
//   kestrel schedule ...   scheduled backups: add, list, remove
//   kestrel disc ...       disc drives: list, write (and verify), erase

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "cli/PrintedMessages.h"
#include "cli/ToolCommands.h"
#include "platform/ArgumentText.h"
#include "platform/Platform.h"
#include "scheduler/SystemScheduler.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The one question the tool asks the system itself, here and not in the layers (which may not
// include system headers): whether its progress may redraw a line in place.
bool ErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

}  // namespace

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
        const std::unique_ptr<kestrel::Scheduler> scheduler = kestrel::CreateSystemScheduler();
        // Before any command, so that a restore cut short is put in order whatever is asked.
        const std::string recovered = kestrel::RecoverInterruptedRestore(platform);
        if (!recovered.empty()) {
            kestrel::PrintedMessages().Show(recovered, kestrel::texts::ApplicationTitle,
                                            kestrel::MessageIcon::Information,
                                            kestrel::MessageButtons::Ok);
        }
        kestrel::ToolConsole console;
        console.errorIsTerminal = ErrorIsTerminal();
        return kestrel::RunTool(command, arguments, platform, scheduler.get(), console);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrel: %s\n", error.what());
        return 2;
    }
}
