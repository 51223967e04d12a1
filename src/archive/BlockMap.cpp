#include "archive/BlockMap.h"

#include <algorithm>
#include <cstdio>

#include "archive/LittleEndian.h"

namespace kestrel {
namespace {

constexpr std::uint8_t Magic[3] = {'K', 'B', 'M'};
constexpr std::size_t MagicSize = 4;  // and the hash's digit

// The map's own bytes are closed, and named by a differential, with SHA-256 whatever its
// digests' hash.
BlockMap::Digest HashOf(std::span<const std::uint8_t> bytes)
{
    const auto hash = CreateBlockHasher(BlockHash::Sha256);
    if (!hash) {
        return {};
    }
    hash->Update(bytes.data(), bytes.size());
    return hash->Finish();
}

BlockMap::Digest DigestAt(std::span<const std::uint8_t> bytes, std::size_t at)
{
    BlockMap::Digest digest{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), digest.size(), digest.begin());
    return digest;
}

}  // namespace

std::uint64_t BlockCount(std::uint64_t fileSize, std::uint32_t blockSize)
{
    return blockSize == 0 ? 0 : (fileSize + blockSize - 1) / blockSize;
}

std::size_t BlockMap::BlockBytes(std::uint64_t position) const
{
    const std::uint64_t start = position * blockSize;
    return start >= fileSize
               ? 0
               : static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, fileSize - start));
}

std::vector<std::uint8_t> SerializeBlockMap(const BlockMap& map)
{
    std::vector<std::uint8_t> out(std::begin(Magic), std::end(Magic));
    out.push_back(static_cast<std::uint8_t>('0' + static_cast<int>(map.hash)));
    out.reserve(BlockMapHeaderSize + (map.blocks.size() + 1) * BlockHasher::DigestSize);
    PutLittleEndian(out, map.blockSize, 4);
    PutLittleEndian(out, map.fileSize, 8);
    PutLittleEndian(out, map.blocks.size(), 8);
    out.insert(out.end(), map.whole.begin(), map.whole.end());
    for (const BlockMap::Digest& block : map.blocks) {
        out.insert(out.end(), block.begin(), block.end());
    }
    const BlockMap::Digest closing = HashOf(out);
    out.insert(out.end(), closing.begin(), closing.end());
    return out;
}

std::optional<BlockMap> ParseBlockMap(std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t DigestSize = BlockHasher::DigestSize;
    if (bytes.size() < BlockMapHeaderSize + DigestSize ||
        !std::equal(std::begin(Magic), std::end(Magic), bytes.begin())) {
        return std::nullopt;
    }
    BlockMap map;
    const std::uint8_t digit = bytes[MagicSize - 1];
    if (digit == '1') {
        map.hash = BlockHash::Sha256;
    } else if (digit == '2') {
        map.hash = BlockHash::Blake3;
    } else {
        return std::nullopt;
    }
    map.blockSize = static_cast<std::uint32_t>(GetLittleEndian(bytes, 4, 4));
    map.fileSize = GetLittleEndian(bytes, 8, 8);
    const std::uint64_t count = GetLittleEndian(bytes, 16, 8);
    if (map.blockSize < SmallestBlockSize || map.blockSize > LargestBlockSize ||
        count != BlockCount(map.fileSize, map.blockSize) ||
        (bytes.size() - BlockMapHeaderSize - DigestSize) / DigestSize != count ||
        (bytes.size() - BlockMapHeaderSize) % DigestSize != 0) {
        return std::nullopt;
    }
    const std::size_t closingAt = bytes.size() - DigestSize;
    if (HashOf(bytes.first(closingAt)) != DigestAt(bytes, closingAt)) {
        return std::nullopt;
    }
    map.whole = DigestAt(bytes, 24);
    map.blocks.reserve(static_cast<std::size_t>(count));
    for (std::size_t at = BlockMapHeaderSize; at < closingAt; at += DigestSize) {
        map.blocks.push_back(DigestAt(bytes, at));
    }
    const auto whole = CreateBlockHasher(map.hash);
    if (!whole || WholeFileDigest(map, *whole) != map.whole) {
        return std::nullopt;
    }
    return map;
}

std::string BlockMapHash(std::span<const std::uint8_t> bytes)
{
    return DigestText(HashOf(bytes));
}

std::vector<std::uint64_t> ChangedBlocks(const BlockMap& full, const BlockMap& now)
{
    std::vector<std::uint64_t> changed;
    for (std::uint64_t i = 0; i < now.blocks.size(); ++i) {
        if (i >= full.blocks.size() || full.blocks[i] != now.blocks[i] ||
            full.BlockBytes(i) != now.BlockBytes(i)) {
            changed.push_back(i);
        }
    }
    return changed;
}

BlockMap::Digest WholeFileDigest(const BlockMap& map, BlockHasher& hash)
{
    std::vector<std::uint8_t> sizes;
    PutLittleEndian(sizes, map.blockSize, 4);
    PutLittleEndian(sizes, map.fileSize, 8);
    hash.Update(sizes.data(), sizes.size());
    for (const BlockMap::Digest& block : map.blocks) {
        hash.Update(block.data(), block.size());
    }
    return hash.Finish();
}

BlockMapBuilder::BlockMapBuilder(std::uint32_t blockSize, BlockHash hash)
    : block_(CreateBlockHasher(hash)), whole_(CreateBlockHasher(hash))
{
    map_.hash = hash;
    map_.blockSize = blockSize;
}

void BlockMapBuilder::Update(const std::uint8_t* data, std::size_t size)
{
    if (!Usable()) {
        return;
    }
    map_.fileSize += size;
    while (size > 0) {
        const std::size_t take = std::min(size, map_.blockSize - inBlock_);
        block_->Update(data, take);
        inBlock_ += take;
        data += take;
        size -= take;
        if (inBlock_ == map_.blockSize) {
            map_.blocks.push_back(block_->Finish());
            inBlock_ = 0;
        }
    }
}

BlockMap BlockMapBuilder::Finish()
{
    if (!Usable()) {
        return map_;
    }
    if (inBlock_ > 0) {
        map_.blocks.push_back(block_->Finish());
        inBlock_ = 0;
    }
    map_.whole = WholeFileDigest(map_, *whole_);
    return map_;
}

std::string DigestText(const BlockMap::Digest& digest)
{
    std::string text;
    for (const std::uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned>(byte));
        text += pair;
    }
    return text;
}

}  // namespace kestrel
