#include "app/Startup.h"

#include "outlook/OutlookVersion.h"
#include "outlook/ProfilesRootKey.h"

namespace kestrel {
namespace {

constexpr const char* InfoFileName = "ksbackup.dat";

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

std::string JoinWindowsPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '\\') {
        return folder + name;
    }
    return folder + "\\" + name;
}

void LoadSharedState(AppState& state, Platform& platform)
{
    if (platform.runFolder && !platform.runFolder->Path().empty()) {
        state.RunFolder = platform.runFolder->Path();
        state.InfoFilePath = JoinWindowsPath(state.RunFolder, InfoFileName);
    }
    state.ComputerName = TrimBlanks(CutAtNul(platform.system->ComputerName()));
    state.LogonUserName = TrimBlanks(CutAtNul(platform.system->LogonUserName()));
    state.WindowsFolder = platform.system->WindowsFolder();
    state.NoValidBackupFlag = true;
    state.WindowsVersion = platform.system->WindowsVersion();
    GetOutlookVersion(*platform.automation, state.OutlookShortVersion);
    state.ProfilesRootKey = ProfilesRootKeyFor(state.OutlookShortVersion);

    // Profile discovery arrives with the registry access layer; until then no profile is
    // listed and the program behaves as on a computer without Outlook profiles.
    state.ProfileNames.clear();
    state.NoOutlookFlag = state.ProfileNames.empty();

    if (!state.NoOutlookFlag) {
        state.UserProfileFolder = CutAtNul(platform.system->ExpandEnvironmentText("%UserProfile%"));
    }
}

}  // namespace kestrel
