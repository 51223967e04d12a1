#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// The one reading of UTF-8 in the program, for every conversion and comparison of its text.
// Only well-formed UTF-8 is a character: overlong forms, encoded surrogates, values past
// U+10FFFF, stray continuation bytes and sequences cut short are not, because letting them
// through would let one name hide behind another spelling (an overlong "\" or NUL) or smuggle
// half a UTF-16 pair into the registry.

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

struct Utf8Character {
    char32_t value;
    std::size_t length;  // bytes taken from the text, at least 1
    bool valid;
};

// The character starting at text[at] (at < text.size()). A byte that does not start a
// well-formed sequence is taken alone, as ReplacementCharacter with `valid` false, so each bad
// byte becomes one U+FFFD and decoding goes on with the next byte.
Utf8Character DecodeUtf8(std::string_view text, std::size_t at);

// Appends a character (a Unicode scalar value) in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

bool IsValidUtf8(std::string_view text);

}  // namespace kestrel
