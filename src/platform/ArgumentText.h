#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The text the program was started with after its own path, as one string (UTF-8). On
// Windows it is the raw command line, quotes and all, less the program part; on Linux the
// arguments joined with single blanks.
std::string ProgramArgumentText(int argc, char** argv);

// The arguments after the program's path, each as UTF-8. On Windows they are read from the
// wide command line: main's argv holds them in the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace kestrel
