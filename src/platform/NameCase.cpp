#include "platform/NameCase.h"

#include "platform/Utf8.h"

namespace kestrel {
namespace {

// Past the last character, so a malformed byte never equals a character.
constexpr char32_t NotUtf8 = 0x110000;

char32_t FoldedAt(std::string_view text, std::size_t& at)
{
    const Utf8Character c = DecodeUtf8(text, at);
    const char32_t key =
        c.valid ? FoldCase(c.value) : NotUtf8 + static_cast<unsigned char>(text[at]);
    at += c.length;
    return key;
}

}  // namespace

char32_t FoldCase(char32_t c)
{
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return c - 0x20;
    }
    switch (c) {
        case 0x0161:  // š
        case 0x0153:  // œ
        case 0x017E:  // ž
            return c - 1;
        case 0x00FF:  // ÿ
            return 0x0178;
        default:
            return c;
    }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldedAt(a, i) != FoldedAt(b, j)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::string FoldedKey(std::string_view name)
{
    std::string key;
    key.reserve(name.size() * sizeof(char32_t));
    for (std::size_t at = 0; at < name.size();) {
        const char32_t c = FoldedAt(name, at);
        key.append(reinterpret_cast<const char*>(&c), sizeof c);
    }
    return key;
}

}  // namespace kestrel
