#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/BlockHash.h"

namespace kestrel {

// The block size of the maps a backup writes: the one place it is chosen. A data file changes
// in scattered small writes (pages of 512 bytes, blocks of at most 8 KiB, an allocation map page
// every 253,952 bytes, the header on every commit), so a smaller block catches less unchanged
// data around each write, while every block costs 32 bytes of map. 16 KiB is the size that
// made the fewest changed bytes plus map bytes on an ordinary day against the full in the
// measurements of bench/ChangeBench.cpp (change_bench, 4 GiB over 7 simulated days).
inline constexpr std::uint32_t DefaultBlockSize = 16 * 1024;
inline constexpr std::uint32_t SmallestBlockSize = 4 * 1024;
inline constexpr std::uint32_t LargestBlockSize = 16 * 1024 * 1024;

// What a file was at one backup: its size and the digest of each fixed block of it and of the
// whole, so that a later backup can tell which blocks changed without the earlier archive's
// data, and a restore can check each block it rebuilds. The map of a data file member named N
// is the member N + BlockMapSuffix, placed after N (and N's chunk index), stored and encrypted
// as N is, with the file comment BlockMapComment, and named in the info file's
// BackupBlockMaps. Its bytes, numbers little-endian:
//
//   offset  size  field
//        0     4  "KBM1" or "KBM2": the last character is the hash of its digests (BlockHash)
//        4     4  blockSize (4096 to 16777216)
//        8     8  fileSize
//       16     8  count: blocks, ceil(fileSize / blockSize)
//       24    32  the whole file's digest (WholeFileDigest)
//       56  32*n  the digest of each block in order; all but the last have blockSize bytes
//   56+32n    32  SHA-256 of every byte before it, so a damaged map is refused whole
struct BlockMap {
    using Digest = BlockHasher::Digest;

    BlockHash hash = DefaultBlockHash;
    std::uint32_t blockSize = DefaultBlockSize;
    std::uint64_t fileSize = 0;
    Digest whole{};
    std::vector<Digest> blocks;

    // The bytes of the block at the position: blockSize for all but the last.
    std::size_t BlockBytes(std::uint64_t position) const;
    bool operator==(const BlockMap&) const = default;
};

inline constexpr std::string_view BlockMapSuffix = ".block-map";
inline constexpr std::string_view BlockMapComment = "Kestrel block map";
inline constexpr std::size_t BlockMapHeaderSize = 56;

std::uint64_t BlockCount(std::uint64_t fileSize, std::uint32_t blockSize);
std::vector<std::uint8_t> SerializeBlockMap(const BlockMap& map);
// Reads a map, which comes from outside: none unless the version, the block size, the count
// for the size, the length, the closing hash and the whole-file digest (of the blocks') all
// hold.
std::optional<BlockMap> ParseBlockMap(std::span<const std::uint8_t> bytes);
// The SHA-256 of the map's bytes, as a differential names the map of its full archive.
std::string BlockMapHash(std::span<const std::uint8_t> bytes);

// The digest of a whole file its map holds: the hash (the map's) of the block size (4 bytes),
// the file size (8 bytes) and each block's digest in order, fed to `hash` (of the map's kind,
// finished here). Made from the blocks' digests rather than from the bytes, so that a file's
// blocks can be hashed on every core at once; as strong as a hash of the bytes, since the sizes
// are fixed and every block's digest is a strong hash of its bytes.
BlockMap::Digest WholeFileDigest(const BlockMap& map, BlockHasher& hash);

// The positions of the blocks of `now` that differ from `full`, ascending: every block whose
// hash differs or that `full` does not have. A block whose length changed (the old or new last
// block) differs by its hash. Both maps must have the same block size and hash.
std::vector<std::uint64_t> ChangedBlocks(const BlockMap& full, const BlockMap& now);

// Makes a map from a file's bytes as they stream past, in pieces of any size, so a writer that
// reads the file once for the archive builds the map on the way.
class BlockMapBuilder {
public:
    explicit BlockMapBuilder(std::uint32_t blockSize = DefaultBlockSize,
                             BlockHash hash = DefaultBlockHash);
    // False when the system's hash could not be made; the builder is then of no use.
    bool Usable() const { return block_ && whole_; }
    void Update(const std::uint8_t* data, std::size_t size);
    // The map of everything given. Call once.
    BlockMap Finish();
    // The digest of the block finished last (Update closed it), for a caller that compares
    // block by block as it goes; the count of blocks finished so far.
    std::uint64_t BlocksDone() const { return map_.blocks.size(); }
    const BlockMap::Digest& LastBlock() const { return map_.blocks.back(); }

private:
    BlockMap map_;
    std::unique_ptr<BlockHasher> block_;
    std::unique_ptr<BlockHasher> whole_;
    std::size_t inBlock_ = 0;
};

// The hexadecimal text of a digest, lower case.
std::string DigestText(const BlockMap::Digest& digest);

}  // namespace kestrel
