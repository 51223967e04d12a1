#pragma once

#include <ctime>
#include <string>

namespace kestrel {

// The time in the machine's local time zone, formatted by strftime's `format`; empty when the
// time cannot be converted or the text would be longer than any the program asks for.
std::string FormatLocalTime(std::time_t time, const char* format);

}  // namespace kestrel
