#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The one place where text crosses between the program's UTF-8 strings and the system's ANSI
// code page, in which registry names and data, the program's own text files and ZIP member
// names are stored: CP_ACP on Windows, Windows-1252 on Linux.

// Characters the code page cannot hold become "?", as Windows' conversion does, and so does
// what is not UTF-8 (Utf8.h): an overlong NUL never reaches a name as a NUL.
std::string Utf8ToAnsi(std::string_view utf8);
// Every ANSI byte has a meaning, so nothing is lost; invalid UTF-8 never comes out.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace kestrel
