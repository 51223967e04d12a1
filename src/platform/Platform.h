#pragma once

#include <memory>
#include <string>

#include "platform/FileHolders.h"
#include "platform/FileSystem.h"
#include "platform/OfficeAutomation.h"
#include "platform/RegistryApi.h"
#include "platform/RunFolder.h"
#include "platform/ShadowCopies.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "platform/SystemLog.h"
#include "platform/UserSecrets.h"

namespace kestrel {

// Everything the program needs from the operating system, created once at start-up and
// passed by reference to whatever needs it. Tests build their own from test doubles.
struct Platform {
    std::unique_ptr<RegistryApi> registry;
    std::unique_ptr<SystemInfo> system;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<OfficeAutomation> automation;
    std::unique_ptr<FileSystem> fileSystem;
    // Who holds the data files; null where no backend can tell (runs then treat none as held).
    std::unique_ptr<FileHolders> fileHolders;
    // Snapshots of the volumes to read held files from; null where the system has none.
    std::unique_ptr<ShadowCopies> shadowCopies;
    // Where a scheduled job's password is kept; null where there is no such place.
    std::unique_ptr<UserSecrets> secrets;
    // Where unattended runs also report; null where there is none.
    std::unique_ptr<SystemLog> systemLog;
    // The program's own folder in the user's local application data (%LOCALAPPDATA%\Kestrel),
    // home of the run folders and the log; empty when it is not known.
    std::string dataFolder;
    // Created last: its location comes from the user's folders.
    std::unique_ptr<RunFolder> runFolder;
};

// The backends of the system the program was built for: the real Windows calls, or on Linux
// the emulated environment under the environment root. Throws std::runtime_error when the
// environment cannot be opened (on Linux: the root or its registry store).
Platform CreateSystemPlatform();

}  // namespace kestrel
