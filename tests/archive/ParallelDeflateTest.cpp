#include <libdeflate.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/DeflateBlocks.h"
#include "archive/ParallelDeflate.h"

namespace kestrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// Text that deflates well, with long matches and a skewed alphabet (long Huffman codes).
Bytes MailText(std::size_t size, unsigned seed)
{
    const std::string random = testing::RandomBytes(size, seed);
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i) {
        const auto r = static_cast<unsigned char>(random[i % random.size()]);
        text += r < 8 ? std::string(1, static_cast<char>(r * 31)) : "";
        text += r % 3 == 0 ? "Subject: quarterly report " : r % 3 == 1 ? "regards, " : "\r\n> ";
        text += std::to_string(r);
    }
    text.resize(size);
    return ToBytes(text);
}

// zlib's raw inflate, the reference every reader of the archive behaves like. None when the
// stream is invalid, gives more than `most` bytes or does not end exactly where its final
// block does.
std::optional<Bytes> Inflate(const Bytes& stream, std::size_t most)
{
    z_stream z{};
    Bytes out(most + 1);
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const bool complete = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    return complete ? std::optional<Bytes>(out) : std::nullopt;
}

// A complete stream from zlib, in the strategies that give each block type.
Bytes ZlibDeflate(const Bytes& data, int level, int strategy)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes Libdeflate(const Bytes& data, int level)
{
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(compressor, data.size()));
    out.resize(
        libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

TEST(DeflateBlocks, JoinedStreamsInflateToTheJoinedData)
{
    const Bytes text = MailText(200 * 1024, 1);
    const Bytes random = ToBytes(testing::RandomBytes(100 * 1024, 2));
    struct Case {
        const char* name;
        std::function<Bytes(const Bytes&)> deflate;
    };
    const Case cases[] = {
        {"libdeflate 1", [](const Bytes& d) { return Libdeflate(d, 1); }},
        {"libdeflate 6", [](const Bytes& d) { return Libdeflate(d, 6); }},
        {"libdeflate 12", [](const Bytes& d) { return Libdeflate(d, 12); }},
        {"zlib fixed codes", [](const Bytes& d) { return ZlibDeflate(d, 6, Z_FIXED); }},
        {"zlib Huffman only", [](const Bytes& d) { return ZlibDeflate(d, 6, Z_HUFFMAN_ONLY); }},
        {"zlib stored", [](const Bytes& d) { return ZlibDeflate(d, 0, Z_DEFAULT_STRATEGY); }},
        {"our stored blocks",
         [](const Bytes& d) {
             Bytes stream;
             AppendStoredBlocks(stream, d, true);
             EXPECT_EQ(StoredBlocksSize(d.size()), stream.size());
             return stream;
         }},
    };
    // 65535 bytes fill one stored block, 65536 take two.
    const Bytes inputs[] = {
        text, random, {}, Bytes{'a'}, MailText(3000, 3), Bytes(65535, 7), Bytes(65536, 7)};
    for (const Case& c : cases) {
        Bytes joined;
        Bytes expected;
        for (const Bytes& input : inputs) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(input.size()) + " bytes");
            Bytes stream = c.deflate(input);
            const auto shape = WalkDeflateBlocks(stream);
            ASSERT_TRUE(shape);
            EXPECT_EQ(stream.size(), (shape->endBit + 7) / 8);
            ASSERT_TRUE(MakeDeflateStreamContinuable(stream));
            joined.insert(joined.end(), stream.begin(), stream.end());
            expected.insert(expected.end(), input.begin(), input.end());
        }
        // A final stream ends the whole.
        const Bytes last = c.deflate(text);
        joined.insert(joined.end(), last.begin(), last.end());
        expected.insert(expected.end(), text.begin(), text.end());
        const auto inflated = Inflate(joined, expected.size());
        ASSERT_TRUE(inflated) << c.name;
        EXPECT_TRUE(*inflated == expected) << c.name;
    }
}

TEST(DeflateBlocks, MalformedOrTruncatedStreamsAreRefused)
{
    const Bytes text = MailText(50 * 1024, 4);
    for (const Bytes& stream : {Libdeflate(text, 6), ZlibDeflate(text, 6, Z_FIXED),
                                ZlibDeflate(ToBytes(testing::RandomBytes(9000, 5)), 0, 0)}) {
        for (std::size_t cut :
             {std::size_t{0}, std::size_t{1}, stream.size() / 2, stream.size() - 1}) {
            Bytes truncated(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_FALSE(WalkDeflateBlocks(truncated)) << cut << " of " << stream.size();
            const Bytes before = truncated;
            EXPECT_FALSE(MakeDeflateStreamContinuable(truncated));
            EXPECT_EQ(before, truncated);
        }
    }
    EXPECT_FALSE(WalkDeflateBlocks(Bytes{0x07}));  // block type 3 does not exist
    EXPECT_FALSE(WalkDeflateBlocks(Bytes{0x01, 0x05, 0x00, 0x00, 0x00}))  // LEN != ~NLEN
        << "stored length and complement disagree";
    // Random bytes now and then walk as a stream; one that does ends inside them.
    for (unsigned seed = 0; seed < 200; ++seed) {
        const Bytes noise = ToBytes(testing::RandomBytes(64 + seed, seed));
        const auto shape = WalkDeflateBlocks(noise);
        if (shape) {
            EXPECT_LE(shape->endBit, noise.size() * 8);
            EXPECT_LT(shape->finalBlockBit, shape->endBit);
        }
    }
}

struct Deflated {
    Bytes stream;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    bool ok = true;
    std::size_t mostReadAhead = 0;  // input read beyond what had been handed out
};

Deflated RunDeflate(const Bytes& input, ParallelDeflate::Settings settings,
                    std::size_t failAt = SIZE_MAX)
{
    Deflated result;
    std::size_t read = 0;
    ParallelDeflate deflate(
        [&](std::uint8_t* buffer, std::size_t size) -> std::ptrdiff_t {
            if (read >= failAt) {
                return -1;
            }
            // Uneven short reads, as a file or pipe may give them.
            const std::size_t take = std::min({size, input.size() - read, std::size_t{7777}});
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(read), take, buffer);
            read += take;
            return static_cast<std::ptrdiff_t>(take);
        },
        settings);
    for (;;) {
        std::span<std::uint8_t> piece;
        if (!deflate.Next(piece)) {
            result.ok = false;
            break;
        }
        result.mostReadAhead = std::max(result.mostReadAhead, read - deflate.InputSize());
        if (piece.empty()) {
            break;
        }
        result.stream.insert(result.stream.end(), piece.begin(), piece.end());
    }
    result.crc = deflate.Crc();
    result.size = deflate.InputSize();
    return result;
}

TEST(ParallelDeflate, GivesOneStreamOfTheWholeInput)
{
    constexpr std::size_t Chunk = 16 * 1024;
    Bytes mixed = MailText(5 * Chunk + 100, 7);
    const std::string random = testing::RandomBytes(3 * Chunk, 8);
    mixed.insert(mixed.begin() + Chunk / 2, random.begin(), random.end());
    struct Case {
        const char* name;
        Bytes input;
        int level;
        unsigned threads;
        std::size_t failReadAt = SIZE_MAX;
    };
    const Case cases[] = {
        {"empty", {}, 6, 2},
        {"one byte", {'z'}, 6, 2},
        {"one chunk less a byte", MailText(Chunk - 1, 9), 6, 2},
        {"exactly one chunk", MailText(Chunk, 10), 6, 2},
        {"exactly three chunks", MailText(3 * Chunk, 11), 1, 3},
        {"one past a chunk", MailText(Chunk + 1, 12), 12, 1},
        {"text and random, many chunks", mixed, 6, 4},
        {"random only", ToBytes(testing::RandomBytes(4 * Chunk + 3, 13)), 6, 2},
        {"a read fails", MailText(6 * Chunk, 15), 6, 2, 3 * Chunk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Deflated out = RunDeflate(c.input, {c.level, c.threads, Chunk}, c.failReadAt);
        EXPECT_EQ(c.failReadAt == SIZE_MAX, out.ok);
        if (!out.ok) {
            EXPECT_LT(out.size, c.input.size());
            continue;
        }
        EXPECT_EQ(c.input.size(), out.size);
        EXPECT_EQ(testing::Crc32({reinterpret_cast<const char*>(c.input.data()), c.input.size()}),
                  out.crc);
        const auto inflated = Inflate(out.stream, c.input.size());
        ASSERT_TRUE(inflated);
        EXPECT_TRUE(*inflated == c.input);
        // Never more than stored blocks would take, one sync block per chunk aside.
        EXPECT_LE(out.stream.size(),
                  StoredBlocksSize(c.input.size()) + 5 * (c.input.size() / Chunk + 1));
        EXPECT_LE(out.mostReadAhead, (c.threads + 2) * Chunk) << "read ahead is bounded";
    }
}

TEST(ParallelDeflate, CompressesAsWellAsOneStreamAndAsTheSameWhateverTheThreads)
{
    const Bytes text = MailText(2 * 1024 * 1024, 14);
    const Deflated one = RunDeflate(text, {6, 1, 256 * 1024});
    const Deflated four = RunDeflate(text, {6, 4, 256 * 1024});
    EXPECT_EQ(one.stream, four.stream) << "the output does not depend on the thread count";
    const std::size_t whole = Libdeflate(text, 6).size();
    EXPECT_LT(static_cast<double>(one.stream.size()), 1.01 * static_cast<double>(whole));
}

}  // namespace
}  // namespace kestrel
