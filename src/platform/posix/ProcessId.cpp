#include "platform/ProcessId.h"

#include <unistd.h>

namespace kestrel {

std::uint32_t CurrentProcessId()
{
    return static_cast<std::uint32_t>(getpid());
}

}  // namespace kestrel
