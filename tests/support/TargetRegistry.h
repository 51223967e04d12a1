#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/RegistryApi.h"

#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#else
#include "platform/posix/PosixFileSystem.h"
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

// The file system of the system the tests run on: an emulated root with an empty drive C: in
// `rootFolder` natively, the system's own drives (Wine's under Wine) on Windows.
inline std::unique_ptr<FileSystem> TargetFileSystem(
    [[maybe_unused]] const std::filesystem::path& rootFolder)
{
#ifdef _WIN32
    return std::make_unique<Win32FileSystem>();
#else
    std::filesystem::create_directories(rootFolder / "drive_c");
    return std::make_unique<PosixFileSystem>(rootFolder);
#endif
}

}  // namespace kestrel::testing
