#include "app/RestoreSetup.h"

#include <ctime>

#include "app/BackupSetup.h"
#include "app/Startup.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/LocalTime.h"
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

void LogRestoreFailures(Platform& platform, const std::string& archivePath,
                        const RestoreOutcome& outcome)
{
    const std::string log = BackupLogPath(platform);
    if (outcome.failures.size() <= ReportedFailuresAtMost || log.empty() || !platform.fileSystem) {
        return;
    }
    const std::string start = FormatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S") +
                              "\trestore from " + archivePath + ": ";
    for (std::string failure : outcome.failures) {
        // Each entry of the log is one line, whatever a name in the archive holds.
        for (char& c : failure) {
            c = c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
        }
        platform.fileSystem->AppendLogLine(log, start + failure);
    }
}

}  // namespace kestrel
