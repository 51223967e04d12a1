#include <stdexcept>
#include <system_error>

#include "platform/LockedRunFolder.h"
#include "platform/Platform.h"
#include "platform/posix/EmulatedHolders.h"
#include "platform/posix/EnvironmentRoot.h"
#include "platform/posix/PosixAutomation.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/PosixSystemInfo.h"
#include "platform/posix/PosixSystemLog.h"
#include "platform/posix/PosixUserSecrets.h"
#include "platform/posix/SqliteRegistry.h"

namespace kestrel {

Platform CreateSystemPlatform()
{
    const std::filesystem::path root = EnvironmentRoot();
    std::error_code error;
    std::filesystem::create_directories(root, error);
    if (error) {
        throw std::runtime_error("cannot create the environment root " + root.string() + ": " +
                                 error.message());
    }
    Platform platform;
    platform.registry = std::make_unique<SqliteRegistry>((root / "registry.db").string());
    platform.system = std::make_unique<PosixSystemInfo>(*platform.registry);
    platform.shell = std::make_unique<PosixShell>(root);
    platform.automation = std::make_unique<PosixAutomation>(*platform.registry);
    platform.fileSystem = std::make_unique<PosixFileSystem>(root);
    platform.fileHolders = std::make_unique<EmulatedHolders>(root);
    platform.secrets = std::make_unique<PosixUserSecrets>(root / "secrets");
    platform.systemLog = std::make_unique<PosixSystemLog>();

    const std::string windowsBase =
        platform.system->ExpandEnvironmentText("%LOCALAPPDATA%") + "\\Kestrel";
    platform.dataFolder = windowsBase;
    if (auto nativeBase = MapWindowsPath(root, windowsBase)) {
        platform.runFolder = std::make_unique<LockedRunFolder>(windowsBase, *nativeBase);
    }
    return platform;
}

}  // namespace kestrel
