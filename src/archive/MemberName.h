#pragma once

#include <string>

namespace kestrel {

// Whether a member name from an info file or an archive may name a file: a bare file name
// with no folder, drive or stream ("\", "/", ":"), not "." or "..", no control or wildcard
// characters, not ending in "." or a blank (Windows would drop them and name another file),
// and none of the reserved device names (CON, NUL, COM1, ...), with or without an
// extension. Anything else could write outside the folder an operation targets.
bool IsBareFileName(const std::string& name);

// The text after the last "\" or "/" of a path.
std::string BareName(const std::string& path);

}  // namespace kestrel
