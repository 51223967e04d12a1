#pragma once

#include <string>

#include "platform/Platform.h"
#include "scheduler/Scheduler.h"

namespace kestrel {

// The program started with an argument text: fills the shared state, runs the unattended
// backup, appends its line to the log and returns the exit status: 0 written with every item,
// 1 written but an item failed, 2 nothing written (the argument text included). Creates no
// window and shows no message, so it runs from a scheduler with no desktop session. The
// scheduler (null where the system offers none) is where the run's own job is found, to move
// a password out of its command line.
int RunFromCommandLine(const std::string& commandLineText, Platform& platform,
                       Scheduler* scheduler);

}  // namespace kestrel
