#pragma once

#include <memory>

#include "platform/Scheduler.h"

namespace kestrel {

// The scheduler of the system the program was built for (systemd user timers, else the
// crontab, on Linux; the Task Scheduler, else the AT service, on Windows). Defined by the
// scheduler engine the program links. The interface stays with the platform's other services,
// which the layers above reach through Platform; only its engines live here, beside the
// task documents they write.
std::unique_ptr<Scheduler> CreateSystemScheduler();

}  // namespace kestrel
