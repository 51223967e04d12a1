#pragma once

#include <string>

namespace kestrel {

// The registry key under which each Outlook profile is one subkey: Outlook 2013 and later
// keep profiles under the Office key of their version, earlier ones (and a missing version)
// under the Windows Messaging Subsystem.
std::string ProfilesRootKeyFor(const std::string& outlookShortVersion);

// The number a text starts with, as Visual Basic's Val reads it ("15.0" is 15, "" is 0).
double LeadingNumericValue(const std::string& text);

}  // namespace kestrel
