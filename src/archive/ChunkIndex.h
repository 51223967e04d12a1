#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Where each independently deflated chunk of a member lies in its deflate stream, so that a
// reader can inflate the chunks on several cores, and a later archive can tell which chunks of
// a file changed (by their checksums) without inflating anything.
//
// The writer deflates a file in chunks of `chunkSize` input bytes (the last may be shorter).
// Each chunk's part of the raw deflate stream starts on a byte boundary and refers to nothing
// before it; every part but the last ends on a byte boundary after a non-final block, the last
// ends with the final block. The index of a member named N is a member of its own named
// N + ChunkIndexSuffix, placed right after it, stored and encrypted as N is, with the file
// comment ChunkIndexComment. Its bytes, all numbers little-endian:
//
//   offset  size  field
//        0     4  "KCI1"
//        4     4  chunkSize: input bytes per chunk (65536 to 67108864)
//        8     8  dataSize: the member's uncompressed size
//       16     4  count: chunks, ceil(dataSize / chunkSize)
//       20   8*n  per chunk, in order: u32 length of its part of the deflate stream (without
//                 the AES salt, verifier or code), u32 CRC-32 of its input bytes
//
// The parts' lengths add up to the member's deflate stream. Archives made by other tools, or
// by builds before the index, have none; readers then inflate the stream in one piece.
struct ChunkIndex {
    struct Chunk {
        std::uint32_t length = 0;  // of its deflate data
        std::uint32_t crc = 0;     // of its input
    };
    std::uint32_t chunkSize = 0;
    std::uint64_t dataSize = 0;
    std::vector<Chunk> chunks;

    // The input bytes of the chunk at the position; all but the last have chunkSize.
    std::size_t InputSize(std::size_t position) const;
};

inline constexpr std::string_view ChunkIndexSuffix = ".chunk-index";
inline constexpr std::string_view ChunkIndexComment = "Kestrel chunk index";
inline constexpr std::size_t ChunkIndexHeaderSize = 20;
inline constexpr std::size_t ChunkIndexEntrySize = 8;

// The index's bytes; the count is taken from the chunks.
std::vector<std::uint8_t> SerializeChunkIndex(const ChunkIndex& index);
// The size of the index of a member of the given size, or 0 when it gets none (a member of at
// most one chunk has nothing to split).
std::size_t ChunkIndexSizeFor(std::uint64_t dataSize, std::size_t chunkSize);

// Reads an index, which comes from outside: none unless every field holds and the chunks
// describe a member of `dataSize` bytes whose deflate stream has `streamSize` bytes, each part
// no longer than a chunk stored would be.
std::optional<ChunkIndex> ParseChunkIndex(std::span<const std::uint8_t> bytes,
                                          std::uint64_t dataSize, std::uint64_t streamSize);

}  // namespace kestrel
