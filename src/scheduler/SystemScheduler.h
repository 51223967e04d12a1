#pragma once

#include <memory>

#include "scheduler/Scheduler.h"

namespace kestrel {

// The scheduler of the system the program was built for (systemd user timers, else the
// crontab, on Linux; the Task Scheduler, else the AT service, on Windows). Defined by the
// scheduler engine the program links. The programs make it in main and hand it to whatever
// adds, lists or removes jobs; a null one means this system offers no scheduler.
std::unique_ptr<Scheduler> CreateSystemScheduler();

}  // namespace kestrel
