// The block maps' hashes give the published digests, whole and in pieces, block after block.

#include "archive/BlockHash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/BlockMap.h"

namespace kestrel {
namespace {

// Input of `length` bytes 0, 1, ..., 250, 0, 1, ..., as in BLAKE3's published test vectors.
std::vector<std::uint8_t> Input(std::size_t length)
{
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    return bytes;
}

std::string Hashed(BlockHasher& hash, const std::vector<std::uint8_t>& input, std::size_t piece)
{
    for (std::size_t at = 0; at < input.size(); at += piece) {
        hash.Update(input.data() + at, std::min(piece, input.size() - at));
    }
    return DigestText(hash.Finish());
}

TEST(BlockHash, GivesThePublishedDigestsWholeAndInPiecesBlockAfterBlock)
{
    struct Vector {
        BlockHash hash;
        std::size_t length;
        const char* digest;
    };
    // BLAKE3: lengths either side of its 1 KiB chunks and of a 16 KiB block (the digests of an
    // independent implementation, b3sum); SHA-256: FIPS 180-2's "abc" and the empty input.
    const Vector vectors[] = {
        {BlockHash::Blake3, 0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262"},
        {BlockHash::Blake3, 1, "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213"},
        {BlockHash::Blake3, 64, "4eed7141ea4a5cd4b788606bd23f46e212af9cacebacdc7d1f4c6dc7f2511b98"},
        {BlockHash::Blake3, 1023,
         "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11"},
        {BlockHash::Blake3, 1024,
         "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7"},
        {BlockHash::Blake3, 1025,
         "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444"},
        {BlockHash::Blake3, 16384,
         "f875d6646de28985646f34ee13be9a576fd515f76b5b0a26bb324735041ddde4"},
        {BlockHash::Blake3, 16385,
         "1dabe216be2578830263b049de1639f39f05a4da616b9b78c7a5e4e41662fd1f"},
        {BlockHash::Blake3, 31744,
         "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47"},
        {BlockHash::Blake3, 102400,
         "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085"},
        {BlockHash::Sha256, 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    };
    for (const BlockHash kind : {BlockHash::Blake3, BlockHash::Sha256}) {
        const auto hash = CreateBlockHasher(kind);
        ASSERT_TRUE(hash);
        // One object for every vector and piece size: Finish starts it afresh.
        for (const Vector& vector : vectors) {
            if (vector.hash != kind) {
                continue;
            }
            const std::vector<std::uint8_t> input = Input(vector.length);
            for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{1000}, std::size_t{7}}) {
                SCOPED_TRACE(std::to_string(vector.length) + " bytes in pieces of " +
                             std::to_string(piece));
                EXPECT_EQ(vector.digest, Hashed(*hash, input, piece));
            }
        }
    }
    const auto sha256 = CreateBlockHasher(BlockHash::Sha256);
    const std::vector<std::uint8_t> abc = {'a', 'b', 'c'};
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              Hashed(*sha256, abc, 2));
}

}  // namespace
}  // namespace kestrel
