#include "platform/CodePage.h"

#include "platform/Utf8.h"
#include "platform/Windows1252.h"

namespace kestrel {

std::string Utf8ToAnsi(std::string_view utf8)
{
    std::string ansi;
    ansi.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Character next = DecodeUtf8(utf8, at);
        at += next.length;
        ansi += static_cast<char>(ToWindows1252(next.value).value_or('?'));
    }
    return ansi;
}

std::string AnsiToUtf8(std::string_view ansi)
{
    std::string utf8;
    utf8.reserve(ansi.size());
    for (const char c : ansi) {
        AppendUtf8(utf8, FromWindows1252(static_cast<unsigned char>(c)));
    }
    return utf8;
}

std::string Utf8ToLogText(std::string_view utf8)
{
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Character next = DecodeUtf8(utf8, at);
        at += next.length;
        AppendUtf8(text, next.value);
    }
    return text;
}

std::string LogTextToUtf8(std::string_view text)
{
    return IsValidUtf8(text) ? std::string(text) : AnsiToUtf8(text);
}

}  // namespace kestrel
