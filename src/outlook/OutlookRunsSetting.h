#pragma once

#include "outlook/HeldFiles.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

// The per-user answer a scheduled (unattended) backup gives when Outlook holds a data file,
// chosen in the options window. It lives in the user's own registry key so that the job's
// command line stays the argument text it has always been, and jobs made before it existed
// get the default.
inline constexpr const char* KestrelSettingsKey = "HKEY_CURRENT_USER\\Software\\Kestrel";
inline constexpr const char* WhenOutlookRunsValue = "WhenOutlookRuns";

// The stored spellings: "close", "snapshot", "skip".
const char* OutlookRunsSettingText(IfOutlookRuns way);

// Close unless the value says otherwise; an unknown or unreadable value reads as the default.
// Refuse is never stored: an unattended run has nobody to ask.
IfOutlookRuns ReadUnattendedOutlookWay(RegistryAccess& registry);
// Creates the key when needed; false when the value could not be written.
bool WriteUnattendedOutlookWay(RegistryAccess& registry, IfOutlookRuns way);

}  // namespace kestrel
