#include "platform/CodePage.h"

#include <array>
#include <cstdint>

namespace kestrel {
namespace {

// Windows-1252 bytes 0x80-0x9F; the five bytes the code page leaves undefined map to the C1
// control characters of the same number, as MultiByteToWideChar maps them.
constexpr std::array<char32_t, 32> High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t ToCodePoint(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? High[byte - 0x80] : char32_t{byte};
}

bool FromCodePoint(char32_t codePoint, unsigned char& byte)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        byte = static_cast<unsigned char>(codePoint);
        return true;
    }
    for (std::size_t i = 0; i < High.size(); ++i) {
        if (High[i] == codePoint) {
            byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void AppendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `position`; a malformed one counts as one unmappable byte.
char32_t NextCodePoint(std::string_view text, std::size_t& position)
{
    const auto lead = static_cast<unsigned char>(text[position++]);
    if (lead < 0x80) {
        return lead;
    }
    int length = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (length < 0 || lead > 0xF4 || position + static_cast<std::size_t>(length) > text.size()) {
        return 0xFFFD;
    }
    char32_t codePoint = lead & (0x3F >> length);
    for (int i = 0; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[position]);
        if ((next & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
        ++position;
    }
    return codePoint;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8)
{
    std::string ansi;
    ansi.reserve(utf8.size());
    std::size_t position = 0;
    while (position < utf8.size()) {
        unsigned char byte = '?';
        if (!FromCodePoint(NextCodePoint(utf8, position), byte)) {
            byte = '?';
        }
        ansi += static_cast<char>(byte);
    }
    return ansi;
}

std::string AnsiToUtf8(std::string_view ansi)
{
    std::string utf8;
    utf8.reserve(ansi.size());
    for (char c : ansi) {
        AppendUtf8(utf8, ToCodePoint(static_cast<unsigned char>(c)));
    }
    return utf8;
}

}  // namespace kestrel
