#pragma once

#include <memory>
#include <string>

#include "platform/RegistryApi.h"

#ifdef _WIN32
#include "platform/win32/Win32Registry.h"
#else
#include "platform/posix/SqliteRegistry.h"
#endif

namespace kestrel::testing {

// The registry of the system the tests run on: a SQLite store in `storePath` natively (fresh
// when the file does not exist), the system's registry (Wine's under Wine) on Windows.
inline std::unique_ptr<RegistryApi> TargetRegistry([[maybe_unused]] const std::string& storePath)
{
#ifdef _WIN32
    return std::make_unique<Win32Registry>();
#else
    return std::make_unique<SqliteRegistry>(storePath);
#endif
}

}  // namespace kestrel::testing
