#include "platform/LocalTime.h"

namespace kestrel {

std::string FormatLocalTime(std::time_t time, const char* format)
{
    char text[64] = {};
    const std::tm* local = std::localtime(&time);
    if (local == nullptr) {
        return {};
    }
    // The formats are the callers' own literals; the warning cannot see through the parameter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const std::size_t length = std::strftime(text, sizeof text, format, local);
#pragma GCC diagnostic pop
    return std::string(text, length);
}

}  // namespace kestrel
