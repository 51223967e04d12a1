#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel {

// The one reader of hex numbers in registry notations: .reg files (dword:, hex(N):, byte
// lists) and Outlook's hex byte texts of binary values. 1 to `maxDigits` (at most 8) hex
// digits of either case and nothing else: no sign, "0x", blank or separator, so a field that
// is not purely a number is refused rather than read in part. Nothing for anything else.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::size_t maxDigits);

}  // namespace kestrel
