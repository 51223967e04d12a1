#include "platform/Utf8.h"

namespace kestrel {

Utf8Character DecodeUtf8(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    const Utf8Character invalid{ReplacementCharacter, 1, false};
    // C0, C1 and F5-FF can only start overlong or out-of-range forms.
    const std::size_t extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                              : lead >= 0xE0 && lead <= 0xEF ? 2
                              : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                             : 0;
    if (extra == 0 || extra >= text.size() - at) {
        return invalid;
    }
    char32_t value = lead & (0x3Fu >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) {
            return invalid;
        }
        value = (value << 6) | (byte(at + k) & 0x3F);
    }
    constexpr char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < Smallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return invalid;
    }
    return {value, extra + 1, true};
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character c = DecodeUtf8(text, at);
        if (!c.valid) {
            return false;
        }
        at += c.length;
    }
    return true;
}

}  // namespace kestrel
