#pragma once

#include <cstdint>

namespace kestrel {

// The running process's id, as the system numbers processes.
std::uint32_t CurrentProcessId();

}  // namespace kestrel
