#include "archive/ChunkIndex.h"

#include <algorithm>

#include "archive/DeflateBlocks.h"
#include "archive/LittleEndian.h"

namespace kestrel {
namespace {

constexpr std::uint32_t SmallestChunk = 64 * 1024;
constexpr std::uint32_t LargestChunk = 64 * 1024 * 1024;
constexpr std::uint8_t Magic[4] = {'K', 'C', 'I', '1'};

std::uint64_t ChunkCount(std::uint64_t dataSize, std::uint64_t chunkSize)
{
    return (dataSize + chunkSize - 1) / chunkSize;
}

}  // namespace

std::size_t ChunkIndex::InputSize(std::size_t position) const
{
    if (position + 1 < chunks.size()) {
        return chunkSize;
    }
    return static_cast<std::size_t>(dataSize - std::uint64_t{chunkSize} * position);
}

std::vector<std::uint8_t> SerializeChunkIndex(const ChunkIndex& index)
{
    std::vector<std::uint8_t> out(std::begin(Magic), std::end(Magic));
    PutLittleEndian(out, index.chunkSize, 4);
    PutLittleEndian(out, index.dataSize, 8);
    PutLittleEndian(out, index.chunks.size(), 4);
    for (const ChunkIndex::Chunk& chunk : index.chunks) {
        PutLittleEndian(out, chunk.length, 4);
        PutLittleEndian(out, chunk.crc, 4);
    }
    return out;
}

std::size_t ChunkIndexSizeFor(std::uint64_t dataSize, std::size_t chunkSize)
{
    if (chunkSize == 0 || dataSize <= chunkSize) {
        return 0;
    }
    return ChunkIndexHeaderSize +
           ChunkIndexEntrySize * static_cast<std::size_t>(ChunkCount(dataSize, chunkSize));
}

std::optional<ChunkIndex> ParseChunkIndex(std::span<const std::uint8_t> bytes,
                                          std::uint64_t dataSize, std::uint64_t streamSize)
{
    if (bytes.size() < ChunkIndexHeaderSize ||
        !std::equal(std::begin(Magic), std::end(Magic), bytes.begin())) {
        return std::nullopt;
    }
    ChunkIndex index;
    index.chunkSize = static_cast<std::uint32_t>(GetLittleEndian(bytes, 4, 4));
    index.dataSize = GetLittleEndian(bytes, 8, 8);
    const std::uint64_t count = GetLittleEndian(bytes, 16, 4);
    if (index.chunkSize < SmallestChunk || index.chunkSize > LargestChunk ||
        index.dataSize != dataSize || dataSize == 0 ||
        count != ChunkCount(dataSize, index.chunkSize) ||
        bytes.size() != ChunkIndexHeaderSize + ChunkIndexEntrySize * count) {
        return std::nullopt;
    }
    const std::size_t longest = StoredBlocksSize(index.chunkSize);
    std::uint64_t total = 0;
    index.chunks.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < index.chunks.size(); ++i) {
        const std::size_t at = ChunkIndexHeaderSize + ChunkIndexEntrySize * i;
        ChunkIndex::Chunk& chunk = index.chunks[i];
        chunk.length = static_cast<std::uint32_t>(GetLittleEndian(bytes, at, 4));
        chunk.crc = static_cast<std::uint32_t>(GetLittleEndian(bytes, at + 4, 4));
        if (chunk.length == 0 || chunk.length > longest) {
            return std::nullopt;
        }
        total += chunk.length;
    }
    if (total != streamSize) {
        return std::nullopt;
    }
    return index;
}

}  // namespace kestrel
