#pragma once

#include <string>

namespace kestrel {

// Paths on the command line are the host's own, possibly relative, in UTF-8: this makes them
// absolute, the form the FileSystem takes host paths in.
std::string HostPath(const std::string& argument);

}  // namespace kestrel
