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

// The program's log (kestrel.log) is read by people with the system's own tools: on Linux it
// is UTF-8, which holds every path; on Windows the ANSI code page, in which its earlier lines
// are. Reading takes a Linux line that is not UTF-8 as Windows-1252, the encoding of lines
// written before the log became UTF-8.
std::string Utf8ToLogText(std::string_view utf8);
std::string LogTextToUtf8(std::string_view text);

}  // namespace kestrel
