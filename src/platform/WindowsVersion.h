#pragma once

#include <string>

namespace kestrel {

// Whether a Windows version text ("major.minor", as SystemInfo::WindowsVersion gives it) is
// Vista (6.0) or later, which keep the user's data under AppData\Roaming and AppData\Local
// rather than "Application Data" and "Local Settings". Anything that is not such a text counts
// as earlier.
bool IsVistaOrLater(const std::string& windowsVersion);

}  // namespace kestrel
