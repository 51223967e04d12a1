#pragma once

#include <string>

namespace kestrel {

// Where the items of the profile chosen for backup live: registry key paths and Windows
// folder paths without a trailing backslash. Rewritten in full whenever the source profile
// changes; the item collectors read it.
struct ProfileLocations {
    std::string AccountKeyPath;
    std::string SignaturesFolder;
    // Empty when Outlook keeps stationery in the shared-tools folder and that folder is not
    // recorded: there is then no stationery to offer.
    std::string StationeryFolder;
    std::string RulesFolder;
    std::string OptionsKeyPath;
    std::string TemplatesFolder;
    // The same folder as RulesFolder; kept apart because two collectors read them.
    std::string PreferencesFolder;
    std::string ContactsFolder;

    bool operator==(const ProfileLocations&) const = default;
};

}  // namespace kestrel
