#include "scheduler/SystemScheduler.h"

#include "scheduler/win32/Win32Scheduler.h"

namespace kestrel {

std::unique_ptr<Scheduler> CreateSystemScheduler()
{
    return std::make_unique<Win32Scheduler>();
}

}  // namespace kestrel
