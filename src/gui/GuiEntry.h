#pragma once

#include <string>

#include "platform/Platform.h"
#include "scheduler/Scheduler.h"

namespace kestrel {

// Runs the main window until the user quits; returns the process exit status. A backupFile
// (the program opened on a backup from the desktop) is opened on the restore tab once the
// window shows. The scheduler is null where this system offers none.
int RunMainWindow(int argc, char** argv, Platform& platform, Scheduler* scheduler,
                  const std::string& backupFile = {});

}  // namespace kestrel
