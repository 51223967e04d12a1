#include "app/Startup.h"

#include <optional>

#include "archive/InfoFile.h"
#include "outlook/OutlookVersion.h"
#include "outlook/ProfilesRootKey.h"
#include "platform/PathJoin.h"
#include "registry/RegistryAccess.h"
#include "restore/RestoreJournal.h"
#include "ui/Messages.h"

namespace kestrel {
namespace {

std::string TrimBlanks(const std::string& text)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string CutAtNul(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

}  // namespace

DiscoveryContext DiscoveryContextOf(const AppState& state)
{
    return {state.OutlookShortVersion, state.WindowsVersion, state.UserProfileFolder,
            state.ProfilesRootKey};
}

std::string RecoverInterruptedRestore(Platform& platform)
{
    if (!platform.fileSystem) {
        return {};
    }
    // A key the registry refuses leaves its tree unsettled, which the report names.
    SilentMessages refusals;
    std::optional<RegistryAccess> registry;
    if (platform.registry) {
        registry.emplace(*platform.registry, refusals);
    }
    const auto runs = RecoverInterruptedRestores(
        *platform.fileSystem, platform.dataFolder,
        [&platform](const std::string& runFolder) {
            return platform.runFolder && platform.runFolder->IsRunning(runFolder);
        },
        registry ? &*registry : nullptr);
    return RecoveryReport(runs);
}

void LoadSharedState(AppState& state, Platform& platform, Messages& messages)
{
    if (platform.runFolder && !platform.runFolder->Path().empty()) {
        state.RunFolder = platform.runFolder->Path();
    }
    state.ComputerName = TrimBlanks(CutAtNul(platform.system->ComputerName()));
    state.LogonUserName = TrimBlanks(CutAtNul(platform.system->LogonUserName()));
    state.WindowsFolder = platform.system->WindowsFolder();
    state.NoValidBackupFlag = true;
    state.WindowsVersion = platform.system->WindowsVersion();
    GetOutlookVersion(*platform.automation, state.OutlookShortVersion);
    state.ProfilesRootKey = ProfilesRootKeyFor(state.OutlookShortVersion);

    state.ProfileNames.clear();
    if (platform.registry) {
        RegistryAccess registry(*platform.registry, messages);
        state.ProfileNames = ListProfiles(registry, state.ProfilesRootKey);
    }
    state.NoOutlookFlag = state.ProfileNames.empty();
    if (state.NoOutlookFlag) {
        return;
    }
    state.UserProfileFolder = CutAtNul(platform.system->ExpandEnvironmentText("%UserProfile%"));
    RegistryAccess registry(*platform.registry, messages);
    state.ProfileLocations =
        LocateProfileItems(DiscoveryContextOf(state), state.ProfileNames.front(), registry);
}

}  // namespace kestrel
