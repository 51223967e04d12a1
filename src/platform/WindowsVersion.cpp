#include "platform/WindowsVersion.h"

#include <charconv>
#include <string_view>

namespace kestrel {

bool IsVistaOrLater(const std::string& windowsVersion)
{
    const std::string_view text = windowsVersion;
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size() ||
        text.find_first_not_of("0123456789", dot + 1) != std::string_view::npos) {
        return false;
    }
    unsigned major = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + dot, major);
    return ec == std::errc() && end == text.data() + dot && major >= 6;
}

}  // namespace kestrel
