#include "archive/BlockMap.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/ChangedBlocks.h"
#include "archive/ZipComponent.h"

namespace kestrel {
namespace {

using testing::RandomBytes;
using testing::ReferenceBlockMap;
using testing::ScratchFolder;

constexpr std::uint32_t Block = SmallestBlockSize;

BlockMap MapOf(const std::string& file, std::size_t piece, std::uint32_t blockSize = Block,
               BlockHash hash = DefaultBlockHash)
{
    BlockMapBuilder builder(blockSize, hash);
    for (std::size_t at = 0; at < file.size(); at += piece) {
        builder.Update(reinterpret_cast<const std::uint8_t*>(file.data()) + at,
                       std::min(piece, file.size() - at));
    }
    return builder.Finish();
}

TEST(BlockMap, TheBuilderMapsAFileWhateverPiecesItComesIn)
{
    const std::size_t sizes[] = {0, 1, Block - 1, Block, Block + 1, 3 * Block + 17};
    const std::size_t pieces[] = {1, 7, Block, 3 * Block + 1, 100000};
    for (const BlockHash hash : {BlockHash::Blake3, BlockHash::Sha256}) {
        for (const std::size_t size : sizes) {
            const std::string file = RandomBytes(size, static_cast<unsigned>(size));
            const BlockMap expected = ReferenceBlockMap(file, Block, hash);
            for (const std::size_t piece : pieces) {
                SCOPED_TRACE("size " + std::to_string(size) + ", pieces of " +
                             std::to_string(piece) + ", hash " +
                             std::to_string(static_cast<int>(hash)));
                EXPECT_EQ(expected, MapOf(file, piece, Block, hash));
            }
            EXPECT_EQ(BlockCount(size, Block), expected.blocks.size());
        }
    }
    EXPECT_NE(MapOf("x", 1, Block, BlockHash::Blake3).blocks,
              MapOf("x", 1, Block, BlockHash::Sha256).blocks);
}

// The whole file's digest, made from the blocks' digests, still tells apart files that differ
// in any byte, in length, in the order of their blocks, or maps of other block sizes.
TEST(BlockMap, TheWholeFileDigestTellsApartEveryDifferentFile)
{
    const std::string file = RandomBytes(3 * Block + 5, 4);
    const std::string firstTwoSwapped =
        file.substr(Block, Block) + file.substr(0, Block) + file.substr(2 * Block);
    std::string oneByte = file;
    oneByte[2 * Block + 1] ^= 1;
    const struct {
        const char* what;
        std::string other;
        std::uint32_t blockSize;
    } cases[] = {
        {"one byte changed", oneByte, Block},
        {"a zero byte added", file + std::string(1, '\0'), Block},
        {"the last byte cut", file.substr(0, file.size() - 1), Block},
        {"two blocks swapped", firstTwoSwapped, Block},
        {"the same bytes in blocks twice as large", file, 2 * Block},
    };
    const BlockMap map = MapOf(file, 1000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NE(map.whole, MapOf(c.other, 1000, c.blockSize).whole);
    }
    EXPECT_NE(MapOf("", 1).whole, MapOf(std::string(1, '\0'), 1).whole);
    EXPECT_EQ(map.whole, MapOf(file, Block).whole) << "the same file, in other pieces";
}

TEST(BlockMap, ReadsBackWhatItWroteAndRefusesAnyDamage)
{
    const std::string file = RandomBytes(5 * Block + 3, 9);
    const BlockMap map = MapOf(file, 1000);
    const std::vector<std::uint8_t> good = SerializeBlockMap(map);
    ASSERT_EQ(BlockMapHeaderSize + 7 * 32, good.size());
    ASSERT_EQ(map, ParseBlockMap(good));
    ASSERT_EQ('2', good[3]) << "maps are written with BLAKE3";
    // Maps of SHA-256 digests, as the first version wrote, are read as they are.
    const BlockMap older = MapOf(file, 1000, Block, BlockHash::Sha256);
    const std::vector<std::uint8_t> olderBytes = SerializeBlockMap(older);
    EXPECT_EQ('1', olderBytes[3]);
    EXPECT_EQ(older, ParseBlockMap(olderBytes));
    // A map whose closing hash holds but whose whole-file digest is not its blocks'.
    BlockMap wrongWhole = map;
    wrongWhole.whole[0] ^= 1;
    EXPECT_FALSE(ParseBlockMap(SerializeBlockMap(wrongWhole)));
    BlockMap otherHash = map;
    otherHash.hash = BlockHash::Sha256;
    EXPECT_FALSE(ParseBlockMap(SerializeBlockMap(otherHash))) << "digests read as the other hash";

    const auto changed = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes(good.begin(),
                                        good.begin() + static_cast<std::ptrdiff_t>(at));
        bytes.push_back(value);
        bytes.insert(bytes.end(), good.begin() + static_cast<std::ptrdiff_t>(at) + 1, good.end());
        return bytes;
    };
    std::vector<std::uint8_t> shorter(good.begin(), good.end() - 1);
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    const std::pair<const char*, std::vector<std::uint8_t>> damaged[] = {
        {"another format", changed(0, 'X')},
        {"a later version", changed(3, '3')},
        {"a block size below the smallest", changed(5, 0)},
        {"another file size", changed(8, 0xff)},
        {"another count", changed(16, 7)},
        {"a changed whole-file hash", changed(24, good[24] ^ 1)},
        {"a changed block hash",
         changed(BlockMapHeaderSize + 40, good[BlockMapHeaderSize + 40] ^ 1)},
        {"a changed closing hash", changed(good.size() - 1, good.back() ^ 1)},
        {"one byte short", shorter},
        {"one byte more", longer},
        {"nothing", {}},
    };
    for (const auto& [what, bytes] : damaged) {
        EXPECT_FALSE(ParseBlockMap(bytes)) << what;
    }
}

TEST(BlockMap, ChangedBlocksAreThoseThatDifferOrAreNew)
{
    const std::string base = RandomBytes(4 * Block, 3);
    std::string oneByte = base;
    oneByte[2 * Block + 5] ^= 1;
    std::string header = base;
    header[0] ^= 0x80;
    const std::string partial = base.substr(0, 3 * Block + 100);
    struct Case {
        const char* what;
        std::string before;
        std::string after;
        std::vector<std::uint64_t> changed;
    };
    const Case cases[] = {
        {"the same bytes", base, base, {}},
        {"one byte in the third block", base, oneByte, {2}},
        {"the header", base, header, {0}},
        {"grown by a block and a byte", base, base + RandomBytes(Block + 1, 4), {4, 5}},
        {"shrunk inside a block", base, partial, {3}},
        {"shrunk to whole blocks", base, base.substr(0, 2 * Block), {}},
        {"a partial last block grown", partial, base, {3}},
        {"an empty file grown", "", base.substr(0, 10), {0}},
        {"emptied", base, "", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.changed, ChangedBlocks(MapOf(c.before, Block), MapOf(c.after, Block)))
            << c.what;
    }
}

// A full archive with a map, a differential against it and the file rebuilt from both.
class DifferentialTest : public ::testing::Test {
protected:
    DifferentialTest() { scratch.Folder("out"); }

    // The full archive "full.ksb" of the file as "work.pst", with its map; the map read back.
    BlockMap WriteFull(const std::string& bytes)
    {
        scratch.Make("work.pst", bytes);
        EXPECT_TRUE(full.Create(scratch.Path("full.ksb")));
        EXPECT_TRUE(full.AddFileWithBlockMap(scratch.Path("work.pst"), "work.pst", Block));
        EXPECT_TRUE(full.Write()) << full.LastError();
        EXPECT_TRUE(full.Open(scratch.Path("full.ksb"))) << full.LastError();
        const auto member = full.FindMember(std::string("work.pst") + std::string(BlockMapSuffix));
        EXPECT_TRUE(member);
        std::vector<std::uint8_t> bytesRead;
        if (member) {
            full.ReadMember(*member, [&](const char* data, std::size_t size) {
                bytesRead.insert(bytesRead.end(), data, data + size);
                return true;
            });
        }
        return ParseBlockMap(bytesRead).value_or(BlockMap{});
    }

    // The changed blocks of the file's new bytes against the full's map, as WriteChangedBlocks
    // made them; `damage` may alter them before they go into "diff.ksb".
    ChangedBlocksResult WriteDifferential(const BlockMap& fullMap, const std::string& bytes,
                                          const std::function<void(std::string&)>& damage = {})
    {
        scratch.Make("work.pst", bytes);
        ChangedBlocksResult result =
            WriteChangedBlocks(scratch.Files(), scratch.Path("work.pst"), fullMap, scratch.Files(),
                               scratch.Path("blocks"), scratch.Path("map"));
        if (result.kind != ChangedBlocksResult::Kind::Written) {
            return result;
        }
        if (damage) {
            std::string blocks = scratch.Read("blocks");
            damage(blocks);
            scratch.Make("blocks", blocks);
        }
        EXPECT_TRUE(diff.Create(scratch.Path("diff.ksb")));
        diff.AddFile(scratch.Path("blocks"), "work.pst" + std::string(ChangedBlocksSuffix));
        diff.AddFile(scratch.Path("map"), "work.pst" + std::string(BlockMapSuffix));
        EXPECT_TRUE(diff.Write()) << diff.LastError();
        EXPECT_TRUE(diff.Open(scratch.Path("diff.ksb"))) << diff.LastError();
        return result;
    }

    bool Rebuild(const BlockMap& fullMap, const BlockMap& newMap, std::string& why)
    {
        RebuildParts parts{
            .full = full,
            .fullData = full.FindMember("work.pst").value_or(ZipMember{}),
            .fullMap = fullMap,
            .diff = diff,
            .changed = diff.FindMember("work.pst" + std::string(ChangedBlocksSuffix))
                           .value_or(ZipMember{}),
            .newMap = newMap,
            .fullPath = "full.ksb",
            .diffPath = "diff.ksb",
            .fileName = "work.pst",
            .scratchFolder = scratch.Path("out"),
        };
        return RebuildDataFile(scratch.Files(), parts, scratch.Path("out/work.pst"), why);
    }

    ScratchFolder scratch;
    NoZipEvents events;
    ZipComponent full{scratch.Files(), events};
    ZipComponent diff{scratch.Files(), events};
};

TEST_F(DifferentialTest, RebuildsEveryDayByteForByte)
{
    // Text-like data, so the full is deflated in several chunks, then days of small changes.
    const std::string base = RandomBytes(40 * Block + 123, 5);
    struct Day {
        const char* what;
        std::function<std::string(std::string)> change;
        std::uint64_t changedBlocks;
    };
    const Day days[] = {
        {"nothing changed", [](std::string s) { return s; }, 0},
        {"the header and one page",
         [](std::string s) {
             s[0] ^= 1;
             s[17 * Block + 600] ^= 1;
             return s;
         },
         2},
        {"grown by three blocks and a bit",
         [](std::string s) { return s + RandomBytes(3 * Block + 5, 6); }, 4},
        {"shrunk by ten blocks", [](std::string s) { return s.substr(0, 30 * Block + 9); }, 1},
        {"shrunk to whole blocks", [](std::string s) { return s.substr(0, 20 * Block); }, 0},
    };
    const BlockMap fullMap = WriteFull(base);
    ASSERT_EQ(ReferenceBlockMap(base, Block), fullMap) << "the map written with the full";
    for (const Day& day : days) {
        SCOPED_TRACE(day.what);
        const std::string now = day.change(base);
        const ChangedBlocksResult written = WriteDifferential(fullMap, now);
        ASSERT_EQ(ChangedBlocksResult::Kind::Written, written.kind) << written.why;
        EXPECT_EQ(ReferenceBlockMap(now, Block), written.map);
        EXPECT_EQ(day.changedBlocks, ChangedBlocks(fullMap, written.map).size());
        EXPECT_EQ(ChangedBlocksHeaderSize + written.changedBytes, scratch.Read("blocks").size());
        std::string why;
        ASSERT_TRUE(Rebuild(fullMap, written.map, why)) << why;
        EXPECT_TRUE(scratch.Read("out/work.pst") == now) << "the rebuilt file differs";
        EXPECT_EQ(std::vector<std::string>{"work.pst"}, scratch.List("out"))
            << "the extracted changed blocks are removed";
    }
}

// A full written when maps held SHA-256 digests: its differentials hash with SHA-256 too and
// rebuild as ever; a map of the other hash does not fit it.
TEST_F(DifferentialTest, AFullOfSha256DigestsStillTakesDifferentials)
{
    const std::string base = RandomBytes(12 * Block + 7, 11);
    WriteFull(base);
    const BlockMap fullMap = ReferenceBlockMap(base, Block, BlockHash::Sha256);
    std::string now = base;
    now[4 * Block + 3] ^= 1;
    now += "more mail";
    const ChangedBlocksResult written = WriteDifferential(fullMap, now);
    ASSERT_EQ(ChangedBlocksResult::Kind::Written, written.kind) << written.why;
    EXPECT_EQ(ReferenceBlockMap(now, Block, BlockHash::Sha256), written.map);
    EXPECT_EQ(2u, ChangedBlocks(fullMap, written.map).size());
    std::string why;
    ASSERT_TRUE(Rebuild(fullMap, written.map, why)) << why;
    EXPECT_TRUE(scratch.Read("out/work.pst") == now) << "the rebuilt file differs";

    EXPECT_FALSE(Rebuild(fullMap, ReferenceBlockMap(now, Block, BlockHash::Blake3), why));
    EXPECT_EQ("work.pst was not rebuilt: its member in the full backup full.ksb does not fit its "
              "block map",
              why);
}

TEST_F(DifferentialTest, RefusesWhatDoesNotMatchNamingTheBlock)
{
    const std::string base = RandomBytes(12 * Block, 7);
    std::string now = base;
    now[3 * Block + 1] ^= 1;
    now[8 * Block + 2] ^= 1;
    const BlockMap fullMap = WriteFull(base);
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;  // of the changed blocks
        std::function<void()> before;              // of anything else
        std::string message;
    };
    const Case cases[] = {
        {"a byte of the second changed block",
         [](std::string& blocks) { blocks[ChangedBlocksHeaderSize + Block + 3] ^= 1; },
         {},
         "work.pst was not rebuilt: block 8 (bytes 32768 to 36863) from diff.ksb does not match "
         "the block map in diff.ksb"},
        {"the changed blocks cut short",
         [](std::string& blocks) { blocks.resize(blocks.size() - 1); },
         {},
         "work.pst was not rebuilt: the changed blocks in diff.ksb hold 8207 bytes, not the 8208 "
         "its block maps call for"},
        {"a full whose data is not what its map says",
         {},
         [&] {
             std::string other = base;
             other[5 * Block] ^= 1;
             scratch.Make("work.pst", other);
             full.Create(scratch.Path("full.ksb"));
             full.AddFile(scratch.Path("work.pst"), "work.pst");
             full.Write();
             full.Open(scratch.Path("full.ksb"));
         },
         "work.pst was not rebuilt: block 5 (bytes 20480 to 24575) from the full backup full.ksb "
         "does not match the block map in diff.ksb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ChangedBlocksResult written = WriteDifferential(fullMap, now, c.damage);
        ASSERT_EQ(ChangedBlocksResult::Kind::Written, written.kind) << written.why;
        if (c.before) {
            c.before();
        }
        std::string why;
        EXPECT_FALSE(Rebuild(fullMap, written.map, why));
        EXPECT_EQ(c.message, why);
    }
}

TEST_F(DifferentialTest, MoreThanHalfChangedAsksForAFull)
{
    const std::string base = RandomBytes(10 * Block, 8);
    const BlockMap fullMap = WriteFull(base);
    const std::pair<std::size_t, ChangedBlocksResult::Kind> cases[] = {
        {5, ChangedBlocksResult::Kind::Written},
        {6, ChangedBlocksResult::Kind::TooMany},
    };
    for (const auto& [blocks, kind] : cases) {
        std::string now = base;
        for (std::size_t i = 0; i < blocks; ++i) {
            now[i * Block] ^= 1;
        }
        EXPECT_EQ(kind, WriteDifferential(fullMap, now).kind) << blocks << " blocks changed";
    }
}

}  // namespace
}  // namespace kestrel
