#include "app/RestoreSetup.h"

#include "app/Startup.h"
#include "outlook/ProfileDiscovery.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

RestoreMachine RestoreMachineFor(const AppState& state, const std::string& targetProfile,
                                 Platform& platform, Messages& messages)
{
    RestoreMachine machine;
    machine.runFolder = state.RunFolder;
    machine.userProfileFolder = state.UserProfileFolder;
    machine.windowsVersion = state.WindowsVersion;
    machine.profilesRootKey = state.ProfilesRootKey;
    machine.keptFolder = platform.dataFolder;
    if (platform.registry) {
        RegistryAccess registry(*platform.registry, messages);
        const DiscoveryContext context = DiscoveryContextOf(state);
        machine.locations = LocateProfileItems(context, targetProfile, registry);
        machine.locations.StationeryFolder = RestoreStationeryFolder(context, registry);
    }
    return machine;
}

}  // namespace kestrel
