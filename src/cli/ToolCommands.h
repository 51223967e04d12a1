#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "scheduler/Scheduler.h"

namespace kestrel {

// What the tool learns about the console it runs in from main(), which may ask the system (the
// layers below may not).
struct ToolConsole {
    // Standard error is a terminal: progress is redrawn in place rather than printed as lines.
    bool errorIsTerminal = false;
};

// The kestrel tool: `command` is its first argument, `arguments` the ones after it. Unknown
// commands print the usage and return 2. The platform is created only for a known command,
// so `kestrel` without one works where no environment can be opened.
bool IsToolCommand(const std::string& command);
int RunTool(const std::string& command, const std::vector<std::string>& arguments,
            Platform& platform, Scheduler* scheduler, const ToolConsole& console = {});
// Prints the usage; returns the exit status for it.
int ToolUsage();

// Each subcommand of the kestrel tool: the arguments after its name; returns the process exit
// status (0 on success). Errors go to standard error and change nothing.
int RunRegCommand(const std::vector<std::string>& arguments, Platform& platform);
int RunArchiveCommand(const std::vector<std::string>& arguments, Platform& platform);
int RunProfilesCommand(const std::vector<std::string>& arguments, Platform& platform);
// Returns the backup's exit status (0, 1 or 2, see BackupExitStatus); 2 for a usage error.
int RunBackupCommand(const std::vector<std::string>& arguments, Platform& platform,
                     const ToolConsole& console);
// Returns the restore's exit status (0, 1 or 2, see RestoreExitStatus; 1 also when a chosen
// item is not in the backup); 2 for a usage error.
int RunRestoreCommand(const std::vector<std::string>& arguments, Platform& platform,
                      const ToolConsole& console);
// Returns 0 done, 1 refused (a check of the Task Scheduler window, or the scheduler), 2 for a
// usage error. A null scheduler: this system offers none.
int RunScheduleCommand(const std::vector<std::string>& arguments, Platform& platform,
                       Scheduler* scheduler);

}  // namespace kestrel
