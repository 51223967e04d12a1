#include "platform/ProcessId.h"

#include <windows.h>

namespace kestrel {

std::uint32_t CurrentProcessId()
{
    return GetCurrentProcessId();
}

}  // namespace kestrel
