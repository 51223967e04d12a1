#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrel {

// Block-level surgery on raw deflate streams, so that streams compressed independently join
// into one: every stream but the last must neither end the whole (its final block's BFINAL bit
// cleared) nor leave the next one starting in the middle of a byte.

// Where the blocks of a complete raw deflate stream lie, in bits from the stream's start.
struct DeflateStreamShape {
    std::size_t finalBlockBit = 0;  // the BFINAL bit of the block that has it set
    std::size_t endBit = 0;         // just past that block's end-of-block code or stored bytes
};

// Walks the stream's block headers and Huffman codes up to the end of its final block. None
// when the stream is malformed or ends before its final block does.
std::optional<DeflateStreamShape> WalkDeflateBlocks(std::span<const std::uint8_t> stream);

// Makes a complete stream continuable: clears its final block's BFINAL and, unless that block
// ends on a byte boundary, ends it with an empty stored block (what a sync flush writes).
// Anything after the final block is dropped. False, with the stream untouched, when it does
// not walk.
bool MakeDeflateStreamContinuable(std::vector<std::uint8_t>& stream);

// Appends the data as stored blocks starting on a byte boundary; the last one has BFINAL set
// when `final`. Empty data with `final` gives one empty final block.
void AppendStoredBlocks(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data,
                        bool final);

// The size AppendStoredBlocks gives the data.
std::size_t StoredBlocksSize(std::size_t dataSize);

}  // namespace kestrel
