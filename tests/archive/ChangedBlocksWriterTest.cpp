// The changed blocks and the new map of a file, read in chunks and hashed on several threads,
// are byte for byte those of the plain way: every block hashed in order on one thread.

#include "archive/ChangedBlocksWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"

namespace kestrel {
namespace {

using testing::RandomBytes;
using testing::ReferenceBlockMap;
using testing::ScratchFolder;

constexpr std::size_t MiB = 1024 * 1024;

// The changed-blocks member the plain way: its header, then each block whose hash differs
// from the full's map, in order.
std::string PlainChangedBlocks(const BlockMap& full, const std::string& now)
{
    const BlockMap map = ReferenceBlockMap(now, full.blockSize, full.hash);
    const auto header = ChangedBlocksHeader(full.blockSize, now.size());
    std::string out(header.begin(), header.end());
    for (const std::uint64_t position : ChangedBlocks(full, map)) {
        out += now.substr(position * full.blockSize, full.blockSize);
    }
    return out;
}

TEST(ChangedBlocksWriter, WritesWhatThePlainWayWritesWhateverTheThreads)
{
    struct Case {
        const char* what;
        std::uint32_t blockSize;
        std::size_t size;
        // The day's change to the full's bytes.
        std::function<void(std::string&)> change;
    };
    // Blocks of 4 KiB: 256 to a chunk, so a 9 MiB file goes round the ring of chunks more than
    // once whatever the thread count.
    const Case cases[] = {
        {"an empty file", 4096, 0, {}},
        {"one byte", 4096, 1, {}},
        {"exactly one chunk, its last block changed", 4096, 1 * MiB,
         [](std::string& d) { d[MiB - 1] ^= 1; }},
        {"one byte past a chunk, grown by it", 4096, 1 * MiB, [](std::string& d) { d += 'x'; }},
        {"scattered changes over many chunks", 4096, 9 * MiB + 333,
         [](std::string& d) {
             for (std::size_t at = 5; at < d.size(); at += 700 * 1024 + 13) {
                 d[at] ^= 0x40;
             }
         }},
        {"shrunk inside a block", 16384, 3 * MiB + 5000,
         [](std::string& d) {
             d.resize(d.size() - 20000);
             d[123457] ^= 1;
         }},
        {"grown by new blocks", 16384, 2 * MiB,
         [](std::string& d) { d += RandomBytes(3 * 16384 + 5, 7); }},
        {"blocks larger than a chunk", 2 * MiB, 5 * MiB + 9,
         [](std::string& d) { d[4 * MiB] ^= 1; }},
        {"nothing changed", 16384, 4 * MiB, {}},
    };
    for (const Case& c : cases) {
        const std::string base = RandomBytes(c.size, 3);
        std::string now = base;
        if (c.change) {
            c.change(now);
        }
        // A full of either hash: the differential hashes with the full's.
        for (const auto& [hash, threads] : {std::pair{BlockHash::Blake3, 1u},
                                            {BlockHash::Blake3, 2u},
                                            {BlockHash::Blake3, 5u},
                                            {BlockHash::Sha256, 2u}}) {
            const BlockMap full = ReferenceBlockMap(base, c.blockSize, hash);
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(threads) + " threads, " +
                         (hash == BlockHash::Blake3 ? "BLAKE3" : "SHA-256"));
            ScratchFolder scratch;
            scratch.Make("work.pst", now);
            auto in = scratch.Files().OpenInputFile(scratch.Path("work.pst"));
            auto out = scratch.Files().CreateOutputFile(scratch.Path("blocks"));
            ASSERT_TRUE(in && out);
            const ChangedBlocksProgress noProgress;
            const ChangedBlocksResult result =
                ChangedBlocksWriter(**in, full, **out, noProgress, threads).Run();
            ASSERT_EQ(ChangedBlocksResult::Kind::Written, result.kind) << result.why;
            EXPECT_TRUE(result.map == ReferenceBlockMap(now, c.blockSize, hash)) << "the new map";
            EXPECT_TRUE(scratch.Read("blocks") == PlainChangedBlocks(full, now))
                << "the changed blocks";
        }
    }
}

// Where the read stops: as soon as more than half of the file changed, or the caller says so,
// whatever the threads still hash.
TEST(ChangedBlocksWriter, StopsWhenHalfChangedOrTold)
{
    constexpr std::uint32_t BlockSize = 4096;
    const std::string base = RandomBytes(8 * MiB, 4);
    const BlockMap full = ReferenceBlockMap(base, BlockSize);
    struct Case {
        const char* what;
        std::size_t changedFrom;  // every block from here on changes
        std::uint64_t stopAfter;  // the progress says stop once this much was read; 0 never
        ChangedBlocksResult::Kind kind;
        std::uint64_t readAtMost;
    };
    const Case cases[] = {
        {"the last half changed", 4 * MiB, 0, ChangedBlocksResult::Kind::Written, 8 * MiB},
        {"a block more than half", 4 * MiB - BlockSize, 0, ChangedBlocksResult::Kind::TooMany,
         8 * MiB},
        {"cancelled after the first chunk", 8 * MiB, 1, ChangedBlocksResult::Kind::Stopped,
         1 * MiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string now = base;
        for (std::size_t at = c.changedFrom; at < now.size(); at += BlockSize) {
            now[at] ^= 1;
        }
        ScratchFolder scratch;
        scratch.Make("work.pst", now);
        auto in = scratch.Files().OpenInputFile(scratch.Path("work.pst"));
        auto out = scratch.Files().CreateOutputFile(scratch.Path("blocks"));
        ASSERT_TRUE(in && out);
        std::uint64_t lastRead = 0;
        const ChangedBlocksProgress progress = [&](std::uint64_t read, std::uint64_t size) {
            EXPECT_EQ(now.size(), size);
            EXPECT_GT(read, lastRead) << "the count only grows";
            lastRead = read;
            return c.stopAfter == 0 || read < c.stopAfter;
        };
        const ChangedBlocksResult result =
            ChangedBlocksWriter(**in, full, **out, progress, 2).Run();
        EXPECT_EQ(c.kind, result.kind) << result.why;
        EXPECT_LE(lastRead, c.readAtMost);
    }
}

}  // namespace
}  // namespace kestrel
