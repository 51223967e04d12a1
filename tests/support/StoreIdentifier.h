#pragma once

#include <string>
#include <string_view>

#include "platform/Utf16Text.h"

namespace kestrel::testing {

// UTF-16LE with its NUL, as Outlook stores a data file's path in a binary value.
inline std::string WidePath(std::u16string_view path)
{
    return Utf16LeBytes(path) + std::string(2, '\0');
}

// A store identifier: the path after a header that is not part of it.
inline std::string StoreIdentifier(std::u16string_view path)
{
    return std::string("\x01\x02\x03\x04", 4) + WidePath(path);
}

}  // namespace kestrel::testing
