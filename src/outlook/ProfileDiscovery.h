#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "outlook/ProfileLocations.h"
#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

// Which Outlook profiles the user has, where the chosen one keeps its items, and which of the
// nine item boxes it can offer. Registry and file-system failures are never reported: a key
// or folder that cannot be read simply offers nothing.

// What the locations depend on besides the profile: set at start-up and fixed afterwards.
struct DiscoveryContext {
    std::string OutlookShortVersion;  // "11.0", "15.0", ...; empty without Outlook
    std::string WindowsVersion;       // "5.1", "6.1", ...
    std::string UserProfileFolder;    // %UserProfile%, no trailing backslash
    std::string ProfilesRootKey;
};

// The personal address book's box, the only one whose tool tip discovery sets.
inline constexpr int AddressBookBox = 4;
// The tool tip box 4 gets when this Outlook has no personal address book.
inline constexpr const char* NoAddressBookToolTip =
    "Your MS Outlook don't support Personal Address Book!";

// The section of a profile that holds its mail accounts.
inline constexpr const char* AccountSectionName = "9375CFF0413111d3B88A00104B2A6676";

// True when the text, without its NUL characters and trimmed of spaces, is empty.
bool IsBlankName(const std::string& text);

// Windows Vista and later (a "major.minor" version text with major 6 or above: "6.0" to "6.3",
// "10.0") keep roaming data under AppData\Roaming; earlier versions ("5.1"), and a text that is
// empty or not such a number, under "Application Data". The emulated machine's %APPDATA% and
// %LOCALAPPDATA% (PosixSystemInfo) follow the same rule.
bool UsesAppDataLayout(const std::string& windowsVersion);

// Outlook 2007 and later ("12.0", "14.0", "15.0", "16.0"): stationery in the shared-tools
// folder, no personal address book.
bool IsOutlook2007OrLater(const std::string& outlookShortVersion);

// The names of the profiles under the root key in the registry's order, each cut at its first
// NUL, blank ones left out. Empty when the key cannot be opened.
std::vector<std::string> ListProfiles(RegistryAccess& registry, const std::string& profilesRootKey);

ProfileLocations LocateProfileItems(const DiscoveryContext& context, const std::string& profileName,
                                    RegistryAccess& registry);

// Where a restore puts stationery on this machine. Outlook 2007 and later: the shared-tools
// folder, as for the backup. Earlier ones: the Stationery folder of the user's roaming
// Microsoft folder in this machine's layout (AppData\Roaming on Vista and later), unlike the
// backup side, which reads the "Application Data" one whatever the layout.
std::string RestoreStationeryFolder(const DiscoveryContext& context, RegistryAccess& registry);

struct ItemAvailability {
    ItemBoxes enabled{};
    // Set only when box 4 must show why it is disabled; otherwise its tool tip stays as it was.
    std::optional<std::string> addressBookToolTip;
};

// Which boxes the profile offers: the data files and options always; the others when the
// account section exists or their folder holds a file directly in it; the address book when
// this Outlook has one and a section of the profile names an existing file, hidden or not.
ItemAvailability FindAvailableItems(const DiscoveryContext& context, const std::string& profileName,
                                    const ProfileLocations& locations, RegistryAccess& registry,
                                    FileSystem& fileSystem);

// True when the path names a file (not a folder), hidden and system files included.
bool NamedFileExists(FileSystem& fileSystem, const std::string& path);

// The personal address book a section of the profile names in "001e6600", if one exists
// (NamedFileExists), with its doubled backslashes made single (CollapseDoubledBackslashes):
// the path the backup adds.
std::optional<std::string> FindAddressBookFile(const DiscoveryContext& context,
                                               const std::string& profileName,
                                               RegistryAccess& registry, FileSystem& fileSystem);

}  // namespace kestrel
