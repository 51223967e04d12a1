#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// UTF-8, the program's own text, against UTF-16, the text of registry files and of paths that
// Outlook stores as wide characters. Portable: the same on every system.

// A byte that does not start a well-formed UTF-8 sequence becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// An unpaired surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf16ToUtf8(std::u16string_view units);

// Code units as little-endian bytes, and back; an odd last byte is dropped.
std::string Utf16LeBytes(std::u16string_view units);
std::u16string FromUtf16LeBytes(std::string_view bytes);

}  // namespace kestrel
