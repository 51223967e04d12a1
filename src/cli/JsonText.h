#pragma once

#include <string>

namespace kestrel {

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text);

}  // namespace kestrel
