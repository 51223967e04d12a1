#include "scheduler/SystemScheduler.h"

#include "platform/posix/EnvironmentRoot.h"
#include "scheduler/posix/PosixScheduler.h"

namespace kestrel {

std::unique_ptr<Scheduler> CreateSystemScheduler()
{
    return std::make_unique<PosixScheduler>(OwnKestrelBak(), EnvironmentRoot());
}

}  // namespace kestrel
