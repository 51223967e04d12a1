#pragma once

#include <optional>
#include <string>

#include "platform/OfficeAutomation.h"

namespace kestrel {

struct OutlookGeneration {
    std::string displayName;   // "Outlook 2003"
    std::string shortVersion;  // "11.0"
};

// The Outlook generation of a version text reported by Office's automation server, by its
// leading major number ("12.0.4518" is Outlook 2007). Empty for a generation not known.
std::optional<OutlookGeneration> MapOutlookVersion(const std::string& versionText);

// Asks Office's automation server for its version, closes it again, and returns the display
// name of the installed Outlook: "No Outlook" when no server can be started, empty for a
// version that maps to no known generation. Sets outlookShortVersion only when the version
// was recognised, and leaves it as it was otherwise.
std::string GetOutlookVersion(OfficeAutomation& automation, std::string& outlookShortVersion);

}  // namespace kestrel
