#include "outlook/ProfileDiscovery.h"

#include <algorithm>
#include <string_view>

#include "outlook/DataStorePaths.h"
#include "platform/WindowsVersion.h"

namespace kestrel {
namespace {

// The item boxes by what they offer.
// Boxes 0 (data files) and 5 (options) are always offered; 4 is AddressBookBox.
enum Box : int {
    DataFilesBox = 0,
    AccountsBox = 1,
    SignaturesBox = 2,
    StationeryBox = 3,
    OptionsBox = 5,
    TemplatesBox = 6,
    PreferencesBox = 7,
    ContactsBox = 8,
};

constexpr const char* OfficeKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\";
constexpr const char* SharedToolsKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools";

std::string TrimSpaces(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string RoamingMicrosoftFolder(const DiscoveryContext& context)
{
    return context.UserProfileFolder + (UsesAppDataLayout(context.WindowsVersion)
                                            ? "\\AppData\\Roaming\\Microsoft"
                                            : "\\Application Data\\Microsoft");
}

std::string SharedStationeryFolder(RegistryAccess& registry)
{
    const std::string shared = registry.GetStringValue(SharedToolsKey, "SharedFilesDir");
    if (shared == RegistryAccess::ErrorMarker || TrimSpaces(shared).empty()) {
        return {};
    }
    // The recorded folder ends with its backslash.
    return TrimSpaces(shared) + "Stationery";
}

std::string StationeryFolderFor(const DiscoveryContext& context, RegistryAccess& registry)
{
    if (!IsOutlook2007OrLater(context.OutlookShortVersion)) {
        return context.UserProfileFolder + "\\Application Data\\Microsoft\\Stationery";
    }
    return SharedStationeryFolder(registry);
}

bool HoldsAFile(FileSystem& fileSystem, const std::string& folder)
{
    return !folder.empty() && fileSystem.FolderExists(folder) &&
           !fileSystem.FilesIn(folder).empty();
}

}  // namespace

std::string RestoreStationeryFolder(const DiscoveryContext& context, RegistryAccess& registry)
{
    if (!IsOutlook2007OrLater(context.OutlookShortVersion)) {
        return RoamingMicrosoftFolder(context) + "\\Stationery";
    }
    return SharedStationeryFolder(registry);
}

bool IsBlankName(const std::string& text)
{
    std::string withoutNuls = text;
    std::erase(withoutNuls, '\0');
    return TrimSpaces(withoutNuls).empty();
}

bool UsesAppDataLayout(const std::string& windowsVersion)
{
    return IsVistaOrLater(windowsVersion);
}

bool IsOutlook2007OrLater(const std::string& outlookShortVersion)
{
    for (const char* version : {"12.0", "14.0", "15.0", "16.0"}) {
        if (outlookShortVersion == version) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ListProfiles(RegistryAccess& registry, const std::string& profilesRootKey)
{
    std::vector<std::string> names;
    for (const std::string& subKey : registry.EnumSubKeys(profilesRootKey)) {
        std::string name = subKey.substr(0, subKey.find('\0'));
        if (!IsBlankName(name)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

ProfileLocations LocateProfileItems(const DiscoveryContext& context, const std::string& profileName,
                                    RegistryAccess& registry)
{
    const std::string roaming = RoamingMicrosoftFolder(context);
    ProfileLocations locations;
    locations.AccountKeyPath =
        context.ProfilesRootKey + "\\" + profileName + "\\" + AccountSectionName;
    locations.SignaturesFolder = roaming + "\\Signatures";
    locations.StationeryFolder = StationeryFolderFor(context, registry);
    locations.RulesFolder = roaming + "\\Outlook";
    locations.OptionsKeyPath = OfficeKey + context.OutlookShortVersion + "\\Outlook\\Options";
    locations.TemplatesFolder = roaming + "\\Templates";
    locations.PreferencesFolder = locations.RulesFolder;
    locations.ContactsFolder = context.UserProfileFolder + "\\Contacts";
    return locations;
}

// FileSystem::FileExists takes a hidden or system file for missing. A file the profile names is
// Outlook's whatever its attributes, and taking it for missing would drop it from the backup
// without a word.
bool NamedFileExists(FileSystem& fileSystem, const std::string& path)
{
    const auto facts = fileSystem.Stat(path);
    return facts && !facts->isFolder;
}

std::optional<std::string> FindAddressBookFile(const DiscoveryContext& context,
                                               const std::string& profileName,
                                               RegistryAccess& registry, FileSystem& fileSystem)
{
    const std::string profileKey = context.ProfilesRootKey + "\\" + profileName;
    for (const std::string& path : ProfileAddressBookPaths(registry, profileKey)) {
        if (NamedFileExists(fileSystem, path)) {
            return path;
        }
    }
    return std::nullopt;
}

ItemAvailability FindAvailableItems(const DiscoveryContext& context, const std::string& profileName,
                                    const ProfileLocations& locations, RegistryAccess& registry,
                                    FileSystem& fileSystem)
{
    ItemAvailability items;
    items.enabled.fill(true);
    items.enabled[AccountsBox] = registry.KeyExists(locations.AccountKeyPath);
    items.enabled[SignaturesBox] = HoldsAFile(fileSystem, locations.SignaturesFolder);
    items.enabled[StationeryBox] = HoldsAFile(fileSystem, locations.StationeryFolder);
    if (IsOutlook2007OrLater(context.OutlookShortVersion)) {
        items.enabled[AddressBookBox] = false;
        items.addressBookToolTip = NoAddressBookToolTip;
    } else {
        items.enabled[AddressBookBox] =
            FindAddressBookFile(context, profileName, registry, fileSystem).has_value();
    }
    items.enabled[TemplatesBox] = HoldsAFile(fileSystem, locations.TemplatesFolder);
    items.enabled[PreferencesBox] = HoldsAFile(fileSystem, locations.PreferencesFolder);
    items.enabled[ContactsBox] = HoldsAFile(fileSystem, locations.ContactsFolder);
    return items;
}

}  // namespace kestrel
