#pragma once

#include <string>

namespace kestrel {

// The text the program was started with after its own path, as one string (UTF-8). On
// Windows it is the raw command line, quotes and all, less the program part; on Linux the
// arguments joined with single blanks.
std::string ProgramArgumentText(int argc, char** argv);

}  // namespace kestrel
