#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrel {

// The low `bytes` bytes of `value`, least significant first, as the program's own formats
// (block maps, chunk indexes, changed blocks) store numbers.
inline void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// The number of `count` bytes at `at`, least significant first; the caller checks the length.
inline std::uint64_t GetLittleEndian(std::span<const std::uint8_t> bytes, std::size_t at, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= static_cast<std::uint64_t>(bytes[at + static_cast<std::size_t>(i)]) << (8 * i);
    }
    return value;
}

}  // namespace kestrel
