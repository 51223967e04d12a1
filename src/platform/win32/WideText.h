#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Conversions between the program's narrow text and the wide strings of the W calls and COM,
// shared by the Windows backend. Code pages are the Win32 numbers (CP_UTF8, CP_ACP).
std::wstring WidenText(std::string_view text, unsigned codePage);
std::string NarrowText(std::wstring_view wide, unsigned codePage);

// UTF-8, the program's own text, to and from wide strings.
inline std::wstring Utf8ToWide(std::string_view utf8)
{
    return WidenText(utf8, 65001);
}
inline std::string WideToUtf8(std::wstring_view wide)
{
    return NarrowText(wide, 65001);
}

}  // namespace kestrel
