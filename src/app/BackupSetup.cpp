#include "app/BackupSetup.h"

#include "app/Startup.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/CodePage.h"
#include "platform/FileContents.h"
#include "platform/PathJoin.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

BackupMachine BackupMachineFor(const AppState& state, const std::string& profileName,
                               Platform& platform, Messages& messages)
{
    BackupMachine machine;
    machine.computerName = state.ComputerName;
    machine.logonUserName = state.LogonUserName;
    machine.runFolder = state.RunFolder;
    machine.profilesRootKey = state.ProfilesRootKey;
    if (platform.registry) {
        RegistryAccess registry(*platform.registry, messages);
        machine.locations = LocateProfileItems(DiscoveryContextOf(state), profileName, registry);
    }
    return machine;
}

std::vector<std::string> ReadBackupLog(Platform& platform)
{
    const std::string path = BackupLogPath(platform);
    if (path.empty() || !platform.fileSystem) {
        return {};
    }
    // A log of many years of nightly runs is a few megabytes.
    const Result<std::string> text = ReadWholeFile(*platform.fileSystem, path, 64u << 20);
    std::vector<std::string> lines;
    if (!text) {
        return lines;
    }
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        end = end == std::string::npos ? text->size() : end;
        std::string_view line(text->data() + start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(LogTextToUtf8(line));
        start = end + 1;
    }
    return lines;
}

std::string BackupLogPath(const Platform& platform)
{
    return platform.dataFolder.empty() ? std::string()
                                       : JoinPath(platform.dataFolder, "kestrel.log");
}

}  // namespace kestrel
