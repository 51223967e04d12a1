#include "OutlookChanges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t SmallFile = 4 * 1024 * 1024;
// Large enough that a day's mail (up to some 20 MiB written) is a small part of it.
constexpr std::uint64_t WeekFile = 96 * 1024 * 1024;

std::string ReadAll(const fs::path& file)
{
    std::string bytes(fs::file_size(file), '\0');
    std::ifstream(file, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteAll(const fs::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

class OutlookChangesTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("change-bench-" +
                   std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path Generated(const std::string& name, std::uint64_t seed = 1,
                       std::uint64_t size = SmallFile)
    {
        const fs::path path = folder_ / name;
        GenerateDataFile(path.string(), size, seed);
        return path;
    }

    static DayReport Apply(const fs::path& path, int day, bool compact = false,
                           std::uint64_t seed = 1)
    {
        DataFile file(path.string());
        return ApplyDay(file, seed, day, compact);
    }

    fs::path folder_;
};

// The bytes of the blocks of blockSize that differ between two files (in their bytes or, for a
// last block cut short, in their length), found by reading both whole: what the counter must
// agree with.
std::uint64_t ChangedBetween(const std::string& before, const std::string& after,
                             std::uint64_t blockSize)
{
    std::uint64_t bytes = 0;
    for (std::uint64_t at = 0; at < after.size(); at += blockSize) {
        const std::uint64_t length = std::min<std::uint64_t>(blockSize, after.size() - at);
        const std::uint64_t lengthBefore =
            at < before.size() ? std::min<std::uint64_t>(blockSize, before.size() - at) : 0;
        if (length != lengthBefore || after.compare(at, length, before, at, length) != 0) {
            bytes += length;
        }
    }
    return bytes;
}

// The allocated bytes of a data file in order (its allocation maps read as the file's format
// says, the map pages themselves left out).
std::string AllocatedBytes(const std::string& file)
{
    std::string bytes;
    for (std::uint64_t map = FirstMapAt; map < file.size(); map += MapRange) {
        for (std::uint64_t slot = PageSize / SlotSize; slot < MapRange / SlotSize; ++slot) {
            const auto bits = static_cast<unsigned char>(file[map + slot / 8]);
            if (bits & (0x80 >> (slot % 8))) {
                bytes.append(file, map + slot * SlotSize, SlotSize);
            }
        }
    }
    return bytes;
}

TEST(LayoutSize, WholeMapRangesAfterTheHeaderArea)
{
    struct Case {
        std::uint64_t wanted;
        std::uint64_t ranges;
    };
    for (const Case& c : std::vector<Case>{{1, 1},
                                           {FirstMapAt + MapRange, 1},
                                           {FirstMapAt + MapRange + 1, 2},
                                           {1024 * 1024, 5},  // 1,031,168 bytes after 0x4400
                                           {4096ull * 1024 * 1024, 16913}}) {
        EXPECT_EQ(LayoutSize(c.wanted), FirstMapAt + c.ranges * MapRange) << c.wanted;
    }
}

TEST_F(OutlookChangesTest, TheSameSeedGivesTheSameBytesAndAnotherSeedOthers)
{
    const fs::path first = Generated("first.pst");
    const fs::path second = Generated("second.pst");
    const fs::path other = Generated("other.pst", 2);
    // Compared as booleans: gtest's listing of two differing files of megabytes is no help.
    ASSERT_TRUE(ReadAll(first) == ReadAll(second));
    ASSERT_FALSE(ReadAll(first) == ReadAll(other));
    for (const auto& path : {first, second, other}) {
        Apply(path, 1);
    }
    EXPECT_TRUE(ReadAll(first) == ReadAll(second));
    Apply(first, 2, false, 1);
    Apply(second, 2, false, 3);
    EXPECT_FALSE(ReadAll(first) == ReadAll(second)) << "the seed must change what a day does";
}

TEST_F(OutlookChangesTest, OrdinaryDaysRewriteTheHeaderAndGrowInMapRanges)
{
    const fs::path path = Generated("Outlook.pst", 1, WeekFile);
    const std::string dayZero = ReadAll(path);
    std::uint64_t size = dayZero.size();
    for (int day = 1; day <= 6; ++day) {
        const std::string before = ReadAll(path);
        const DayReport report = Apply(path, day);
        const std::string after = ReadAll(path);
        EXPECT_GE(report.mailsIn, 50) << day;
        EXPECT_LE(report.mailsIn, 300) << day;
        EXPECT_FALSE(before.substr(0, HeaderSize) == after.substr(0, HeaderSize)) << day;
        EXPECT_EQ((after.size() - FirstMapAt) % MapRange, 0u) << day;
        EXPECT_GE(after.size(), size) << day;
        EXPECT_EQ(report.sizeAfter, after.size()) << day;
        // An ordinary day leaves most of the file as it was.
        EXPECT_LT(ChangedBetween(before, after, 4096), after.size() / 4) << day;
        size = after.size();
    }
    EXPECT_GT(size, dayZero.size()) << "a week of mail must grow the file";
}

TEST_F(OutlookChangesTest, CompactKeepsEveryAllocatedByteAndRewritesMostBlocks)
{
    const fs::path path = Generated("Outlook.pst");
    Apply(path, 1);
    Apply(path, 2);
    const std::string before = ReadAll(path);
    const DayReport report = Apply(path, 3, true);
    const std::string after = ReadAll(path);
    EXPECT_TRUE(report.compact);
    const std::string kept = AllocatedBytes(after);
    const std::string wanted = AllocatedBytes(before);
    EXPECT_TRUE(kept == wanted) << kept.size() << " allocated bytes after, " << wanted.size()
                                << " before";
    EXPECT_LT(after.size(), before.size());
    EXPECT_EQ((after.size() - FirstMapAt) % MapRange, 0u);
    EXPECT_GT(ChangedBetween(before, after, 4096), after.size() / 2);
    // The compacted file is still one a day can be applied to.
    EXPECT_NO_THROW(Apply(path, 4));
}

TEST_F(OutlookChangesTest, TheCounterAgreesWithReadingBothFilesWhole)
{
    const fs::path path = Generated("Outlook.pst");
    const std::string dayZero = ReadAll(path);
    DataFile file(path.string());
    ChangeCounter counter(file);
    file.ClearTouched();
    for (int day = 1; day <= 3; ++day) {
        const std::string before = ReadAll(path);
        ApplyDay(file, 1, day, day == 3);
        counter.Update(file);
        const std::string after = ReadAll(path);
        for (std::uint64_t blockSize : MeasuredBlockSizes) {
            EXPECT_EQ(counter.ChangedSincePrevious(blockSize),
                      ChangedBetween(before, after, blockSize))
                << "day " << day << ", blocks of " << blockSize;
            EXPECT_EQ(counter.ChangedSinceDayZero(blockSize),
                      ChangedBetween(dayZero, after, blockSize))
                << "day " << day << ", blocks of " << blockSize;
            EXPECT_EQ(counter.MapBytes(blockSize),
                      MapEntryBytes * ((after.size() + blockSize - 1) / blockSize));
        }
    }
}

TEST_F(OutlookChangesTest, EqualBytesWrittenAgainAreNoChange)
{
    const fs::path path = Generated("Outlook.pst");
    DataFile file(path.string());
    ChangeCounter counter(file);
    file.ClearTouched();
    const std::uint64_t size = file.Size();
    const std::uint64_t at = size - 5000;  // in the last 1 MiB block, which is cut short
    unsigned char original = 0;
    file.Read(at, &original, 1);
    file.Write(at, &original, 1);
    counter.Update(file);
    EXPECT_EQ(counter.ChangedSincePrevious(4096), 0u);

    const unsigned char changed = original ^ 0x5A;
    file.Write(at, &changed, 1);
    counter.Update(file);
    for (std::uint64_t blockSize : MeasuredBlockSizes) {
        const std::uint64_t first = at / blockSize * blockSize;
        const std::uint64_t expected = std::min(blockSize, size - first);
        EXPECT_EQ(counter.ChangedSincePrevious(blockSize), expected) << blockSize;
        EXPECT_EQ(counter.ChangedSinceDayZero(blockSize), expected) << blockSize;
    }

    // Back to day 0's byte: a change from the day before, none from day 0.
    file.Write(at, &original, 1);
    counter.Update(file);
    EXPECT_EQ(counter.ChangedSincePrevious(4096), 4096u);
    EXPECT_EQ(counter.ChangedSinceDayZero(4096), 0u);
}

TEST_F(OutlookChangesTest, RefusesAFileItDidNotMake)
{
    const fs::path path = Generated("Outlook.pst");
    std::string bytes = ReadAll(path);
    struct Case {
        const char* name;
        std::uint64_t offset;
    };
    for (const Case& c : std::vector<Case>{{"header", 20}, {"allocation map", FirstMapAt + 7}}) {
        std::string damaged = bytes;
        damaged[c.offset] = static_cast<char>(damaged[c.offset] ^ 1);
        const fs::path file = folder_ / "damaged.pst";
        WriteAll(file, damaged);
        EXPECT_THROW(Apply(file, 1), std::runtime_error) << c.name;
    }
    const fs::path cut = folder_ / "cut.pst";
    WriteAll(cut, bytes.substr(0, bytes.size() - 512));
    EXPECT_THROW(Apply(cut, 1), std::runtime_error) << "a size that is no whole map range";
}

}  // namespace
}  // namespace kestrel::bench
