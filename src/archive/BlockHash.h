#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrel {

// The hash of a block map's digests, named by the last character of the map's version: maps
// "KBM1" hold SHA-256 digests (the system's), maps "KBM2" BLAKE3 ones (256 bits). Both are
// strong hashes; BLAKE3 runs several times faster on processors with vector units, and a
// differential backup spends nearly all its time hashing the data file. Maps are written with
// BLAKE3; a differential keeps the hash of the map of its full backup, so that the digests
// compare, and every map is read.
enum class BlockHash : std::uint8_t { Sha256 = 1, Blake3 = 2 };
inline constexpr BlockHash DefaultBlockHash = BlockHash::Blake3;

// One running hash of either kind.
class BlockHasher {
public:
    static constexpr std::size_t DigestSize = 32;
    using Digest = std::array<std::uint8_t, DigestSize>;

    virtual ~BlockHasher() = default;
    virtual void Update(const std::uint8_t* data, std::size_t size) = 0;
    // The hash of everything given since creation or since the last Finish; the object then
    // starts afresh, so one object hashes block after block.
    virtual Digest Finish() = 0;
};

// Null only when the system refuses to create its SHA-256.
std::unique_ptr<BlockHasher> CreateBlockHasher(BlockHash hash);

}  // namespace kestrel
