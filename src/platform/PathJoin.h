#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The one way the program puts a name into a folder. Exactly one separator comes between
// them, of the folder's own kind: "/" for a host path (one that starts with "/", which the
// Linux file system takes as it is), "\" for any other. A separator the folder ends with
// ("D:\") or the name starts with is not doubled; an empty folder gives the name alone.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder a path names a file in, without a trailing separator (but "\" or "/" for a file
// at the root); empty for a bare name.
std::string ParentFolder(std::string_view path);

}  // namespace kestrel
