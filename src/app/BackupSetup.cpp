#include "app/BackupSetup.h"

#include "app/Startup.h"
#include "outlook/ProfileDiscovery.h"
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

std::string BackupLogPath(const Platform& platform)
{
    return platform.dataFolder.empty() ? std::string()
                                       : JoinPath(platform.dataFolder, "kestrel.log");
}

}  // namespace kestrel
