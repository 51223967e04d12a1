#pragma once

#include <string>

namespace kestrel {

// Whether a member name from an info file or an archive may name a file: a bare file name
// with no folder, drive or stream ("\", "/", ":"), not "." or "..", no control or wildcard
// characters, not ending in "." or a blank (Windows would drop them and name another file),
// and none of the reserved device names (CON, NUL, COM1, ...), with or without an
// extension. Anything else could write outside the folder an operation targets.
bool IsBareFileName(const std::string& name);

// Whether a member name may name a file below the folder an operation targets: one bare file
// name, or several joined by "/" (ZIP's own separator) for a file in a subfolder of the item's
// folder. Every part is held to IsBareFileName, so no part climbs out (".."), names a drive, a
// device or a stream, and no part is empty (a leading, doubled or trailing "/").
bool IsMemberPath(const std::string& name);

// The member's place below the folder: each part of the member path joined to it in turn,
// with the folder's own separator. The name must pass IsMemberPath.
std::string JoinMemberPath(const std::string& folder, const std::string& memberPath);

// The text with every control character written out as "\xNN" (C0 and DEL) or "\u00NN"
// (the C1 controls U+0080 to U+009F), for printing a name an archive supplied: a name holding
// an escape sequence must not drive the terminal or split a report line.
std::string PrintableText(const std::string& text);

// The text after the last "\" or "/" of a path.
std::string BareName(const std::string& path);

}  // namespace kestrel
