#include "archive/ChunkIndex.h"

#include <libdeflate.h>
#include <zip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/MemberDecoder.h"
#include "archive/ParallelDeflate.h"
#include "archive/ParallelInflate.h"
#include "archive/WinZipAes.h"
#include "archive/ZipComponent.h"

namespace kestrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ScratchFolder;

Bytes ToBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// Mail-like text of words in random order: deflate shrinks it, and what deflate makes of it
// does not shrink again.
Bytes Text(std::size_t size)
{
    static const char* const Words[] = {
        "meeting ", "report ",   "regards ", "budget ",   "team ", "invoice ",
        "draft ",   "Subject: ", "review ",  "customer ", "\r\n",  "> "};
    const std::string random = testing::RandomBytes(size, 21);
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i) {
        text += Words[static_cast<unsigned char>(random[i % random.size()]) % 12];
    }
    text.resize(size);
    return ToBytes(text);
}

Bytes Deflated(const Bytes& data)
{
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    Bytes out(libdeflate_deflate_compress_bound(compressor, data.size()));
    out.resize(
        libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

TEST(LooksIncompressible, TellsCompressedDataFromDataDeflateShrinks)
{
    const Bytes random = ToBytes(testing::RandomBytes(64 * 1024, 3));
    const Bytes random8k = ToBytes(testing::RandomBytes(8 * 1024, 4));
    Bytes randomRepeated;
    for (int i = 0; i < 8; ++i) {
        randomRepeated.insert(randomRepeated.end(), random8k.begin(), random8k.end());
    }
    Bytes everyValueInTurn(64 * 1024);
    for (std::size_t i = 0; i < everyValueInTurn.size(); ++i) {
        everyValueInTurn[i] = static_cast<std::uint8_t>(i);
    }
    Bytes deflatedText = Deflated(Text(400 * 1024));
    deflatedText.resize(std::min<std::size_t>(deflatedText.size(), 64 * 1024));
    struct Case {
        const char* name;
        Bytes piece;
        bool incompressible;
    };
    const Case cases[] = {
        {"random bytes", random, true},
        {"deflated text", deflatedText, true},
        {"mail text", Text(64 * 1024), false},
        {"zeros", Bytes(64 * 1024, 0), false},
        {"random bytes written eight times", randomRepeated, false},
        {"every byte value in turn", everyValueInTurn, false},
        {"a short random tail", ToBytes(testing::RandomBytes(3000, 5)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.incompressible, LooksIncompressible(c.piece));
        // The probe's answer is only worth having where deflate agrees.
        const double ratio =
            static_cast<double>(Deflated(c.piece).size()) / static_cast<double>(c.piece.size());
        EXPECT_EQ(c.incompressible, ratio > 0.98) << ratio;
    }
}

// A member's stream made by ParallelDeflate with the index of its pieces, as the writer makes it.
struct Indexed {
    Bytes stream;
    ChunkIndex index;
};

Indexed DeflateIndexed(const Bytes& input, std::size_t chunkSize,
                       int level = ZipComponent::DefaultDeflateLevel)
{
    Indexed result;
    result.index.chunkSize = static_cast<std::uint32_t>(chunkSize);
    result.index.dataSize = input.size();
    std::size_t read = 0;
    ParallelDeflate deflate(
        [&](std::uint8_t* buffer, std::size_t size) {
            const std::size_t take = std::min(size, input.size() - read);
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(read), take, buffer);
            read += take;
            return static_cast<std::ptrdiff_t>(take);
        },
        {level, 3, chunkSize});
    std::span<std::uint8_t> piece;
    while (deflate.Next(piece) && !piece.empty()) {
        result.stream.insert(result.stream.end(), piece.begin(), piece.end());
        result.index.chunks.push_back(
            {static_cast<std::uint32_t>(piece.size()), deflate.PieceCrc()});
    }
    return result;
}

// Inflates the stream fed in uneven pieces; the data handed out, and whether all went well.
std::pair<Bytes, bool> InflateIndexed(const Indexed& indexed, std::string* error = nullptr)
{
    Bytes out;
    ParallelInflate inflate(indexed.index, 3,
                            [&](const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
                                EXPECT_EQ(crc, libdeflate_crc32(0, data, size));
                                out.insert(out.end(), data, data + size);
                                return true;
                            });
    bool ok = true;
    for (std::size_t at = 0; ok && at < indexed.stream.size(); at += 9999) {
        ok = inflate.Add(indexed.stream.data() + at,
                         std::min<std::size_t>(9999, indexed.stream.size() - at));
    }
    ok = ok && inflate.Finish();
    if (error != nullptr) {
        *error = inflate.Error();
    }
    return {out, ok};
}

Bytes MixedInput(std::size_t chunkSize)
{
    Bytes input = Text(3 * chunkSize + 12345);
    const Bytes random = ToBytes(testing::RandomBytes(chunkSize + 70000, 9));
    input.insert(input.begin() + static_cast<std::ptrdiff_t>(chunkSize / 3), random.begin(),
                 random.end());
    return input;
}

TEST(ParallelInflate, GivesTheDataOfEveryChunkInOrderAndRefusesADamagedIndex)
{
    constexpr std::size_t ChunkSize = 200 * 1024;  // not a multiple of the probed pieces
    const Bytes input = MixedInput(ChunkSize);
    const Indexed good = DeflateIndexed(input, ChunkSize);
    ASSERT_EQ(5u, good.index.chunks.size());
    {
        const auto [out, ok] = InflateIndexed(good);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(out == input);
    }
    struct Case {
        const char* name;
        std::function<void(Indexed&)> damage;
        const char* error;
    };
    const Case cases[] = {
        {"a boundary a byte early",
         [](Indexed& d) {
             --d.index.chunks[1].length;
             ++d.index.chunks[2].length;
         },
         "damaged data (chunk 2 does not inflate to its size)"},
        {"a boundary a byte late",
         [](Indexed& d) {
             ++d.index.chunks[0].length;
             --d.index.chunks[1].length;
         },
         "damaged data (chunk 1 does not inflate to its size)"},
        {"a chunk's CRC", [](Indexed& d) { d.index.chunks[3].crc ^= 1; }, "CRC error in chunk 4"},
        {"a flipped bit in the data", [](Indexed& d) { d.stream[d.stream.size() / 2] ^= 0x10; },
         nullptr},
        {"the stream cut short", [](Indexed& d) { d.stream.resize(d.stream.size() - 1); },
         "truncated data"},
        {"more stream than indexed", [](Indexed& d) { d.stream.push_back(0); },
         "more data than the chunk index holds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Indexed damaged = good;
        c.damage(damaged);
        std::string error;
        const auto [out, ok] = InflateIndexed(damaged, &error);
        EXPECT_FALSE(ok);
        if (c.error != nullptr) {
            EXPECT_EQ(c.error, error);
        }
        EXPECT_LE(out.size(), input.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin())) << "only whole chunks";
    }
}

// An encrypted member with an index: its chunks are decrypted where they are inflated, and
// every damage still fails it with the data handed out so far whole chunks of the file.
TEST(MemberDecoder, DecryptsIndexedChunksWhereTheyInflateAndFailsEveryDamage)
{
    constexpr std::size_t ChunkSize = 256 * 1024;
    const Bytes input = MixedInput(ChunkSize);
    const Indexed indexed = DeflateIndexed(input, ChunkSize);
    ASSERT_EQ(5u, indexed.index.chunks.size());
    const auto aes = WinZipAes::ForWriting("pw", 256);
    ASSERT_TRUE(aes);
    Bytes stored = aes->Header();
    const std::size_t headerSize = stored.size();
    stored.insert(stored.end(), indexed.stream.begin(), indexed.stream.end());
    aes->Encrypt(stored.data() + headerSize, indexed.stream.size());
    const WinZipAes::Code code = aes->FinishCode();
    stored.insert(stored.end(), code.begin(), code.end());
    const std::size_t thirdChunk =
        headerSize + indexed.index.chunks[0].length + indexed.index.chunks[1].length;

    struct Case {
        const char* name;
        std::string password;
        std::function<void(Bytes&)> damage;
        std::size_t readable;             // stored bytes the reader gives
        std::vector<std::string> errors;  // part of it, whichever check meets the damage first
    };
    const Case cases[] = {
        {"whole", "pw", [](Bytes&) {}, SIZE_MAX, {}},
        {"a wrong password", "PW", [](Bytes&) {}, SIZE_MAX, {"Wrong password provided"}},
        {"a flipped byte in the third chunk",
         "pw",
         [&](Bytes& b) { b[thirdChunk + 100] ^= 0x01; },
         SIZE_MAX,
         {"chunk 3", "authentication failed"}},
        {"a flipped byte in the code",
         "pw",
         [](Bytes& b) { b.back() ^= 0x01; },
         SIZE_MAX,
         {"authentication failed"}},
        {"the archive cut short",
         "pw",
         [](Bytes&) {},
         stored.size() - 3000,
         {"truncated encrypted data"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = stored;
        c.damage(damaged);
        Bytes output;
        MemberDecoder::Member member;
        member.size = input.size();
        member.storedSize = damaged.size();
        member.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, input.data(), input.size()));
        member.deflated = true;
        member.aesBits = 256;
        member.chunks = &indexed.index;
        MemberDecoder decoder(member, {c.password}, [&](const char* data, std::size_t size) {
            output.insert(output.end(), data, data + size);
            return true;
        });
        std::size_t at = 0;
        const std::size_t readable = std::min(c.readable, damaged.size());
        const bool ok = decoder.Run([&](std::uint8_t* buffer, std::size_t size) {
            const std::size_t take = std::min(size, readable - at);
            std::copy_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), take, buffer);
            at += take;
            return static_cast<std::ptrdiff_t>(take);
        });
        EXPECT_EQ(c.errors.empty(), ok) << decoder.Error();
        if (!c.errors.empty()) {
            EXPECT_TRUE(std::any_of(c.errors.begin(), c.errors.end(), [&](const std::string& e) {
                return decoder.Error().find(e) != std::string::npos;
            })) << decoder.Error();
        }
        ASSERT_LE(output.size(), input.size());
        EXPECT_TRUE(std::equal(output.begin(), output.end(), input.begin())) << "only whole chunks";
        if (ok) {
            EXPECT_EQ(input.size(), output.size());
        }
    }
}

TEST(ChunkIndex, OnlyAnIndexThatFitsTheMemberIsTaken)
{
    constexpr std::size_t ChunkSize = 64 * 1024;
    const Indexed indexed = DeflateIndexed(MixedInput(ChunkSize), ChunkSize);
    const Bytes bytes = SerializeChunkIndex(indexed.index);
    ASSERT_EQ(ChunkIndexSizeFor(indexed.index.dataSize, ChunkSize), bytes.size());
    const std::uint64_t size = indexed.index.dataSize;
    const std::uint64_t stream = indexed.stream.size();
    const auto put32 = [](Bytes b, std::size_t at, std::uint32_t value) {
        std::uint8_t* const field = b.size() >= at + 4 ? b.data() + at : nullptr;
        if (field == nullptr) {
            ADD_FAILURE() << "no room for a field at " << at;
            return b;
        }
        for (int i = 0; i < 4; ++i) {
            field[i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return b;
    };
    const std::size_t firstLength = ChunkIndexHeaderSize;
    const std::size_t secondLength = ChunkIndexHeaderSize + ChunkIndexEntrySize;
    const std::uint32_t first = indexed.index.chunks[0].length;
    const std::uint32_t second = indexed.index.chunks[1].length;
    Bytes twoChunksOneLength = put32(bytes, secondLength, 0);
    twoChunksOneLength = put32(twoChunksOneLength, firstLength, first + second);
    Bytes overlong = put32(bytes, firstLength, 2 * 64 * 1024);
    overlong = put32(overlong, secondLength, first + second - 2 * 64 * 1024);
    struct Case {
        const char* name;
        Bytes bytes;
        std::uint64_t dataSize;
        std::uint64_t streamSize;
        bool taken;
    };
    const Case cases[] = {
        {"as written", bytes, size, stream, true},
        {"another magic", put32(bytes, 0, 0x32494B43), size, stream, false},
        {"chunks too small", put32(bytes, 4, 4096), size, stream, false},
        {"chunks too large", put32(bytes, 4, 0x7FFFFFFF), size, stream, false},
        {"another data size", bytes, size + 1, stream, false},
        {"another stream size", bytes, size, stream - 1, false},
        {"a chunk counted too few",
         put32(bytes, 16, static_cast<std::uint32_t>(indexed.index.chunks.size() - 1)), size,
         stream, false},
        {"cut short", Bytes(bytes.begin(), bytes.end() - 1), size, stream, false},
        {"a byte too many",
         [&] {
             Bytes b = bytes;
             b.push_back(0);
             return b;
         }(),
         size, stream, false},
        {"an empty chunk", twoChunksOneLength, size, stream, false},
        {"a part longer than its data stored", overlong, size, stream, false},
        {"only the header", Bytes(bytes.begin(), bytes.begin() + 20), size, stream, false},
        {"nothing", {}, size, stream, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseChunkIndex(c.bytes, c.dataSize, c.streamSize);
        ASSERT_EQ(c.taken, parsed.has_value());
        if (parsed) {
            EXPECT_EQ(SerializeChunkIndex(*parsed), c.bytes);
        }
    }
}

// The component writes the index after a member of several chunks, keeps it out of the member
// list and reads the member by it; an index that is not the one written is either passed over
// (the member is inflated in one piece) or, when it fits the member but not its data, refused
// with the file left as it was.
TEST(ChunkIndex, TheComponentWritesHidesAndUsesItAndSurvivesItsDamage)
{
    ScratchFolder scratch;
    NoZipEvents events;
    ZipComponent zip(scratch.Files(), events);
    const Bytes data = MixedInput(1024 * 1024);
    const std::string pst(data.begin(), data.end());
    scratch.Make("Mail.pst", pst);
    scratch.Make("small.dat", "one chunk");
    for (const std::string password : {"", "pw"}) {
        SCOPED_TRACE(password);
        ASSERT_TRUE(zip.Create(scratch.Path("a.ksb")));
        ASSERT_TRUE(zip.AddFile(scratch.Path("Mail.pst")));
        ASSERT_TRUE(zip.AddFile(scratch.Path("small.dat")));
        zip.SetProtection(!password.empty());
        zip.SetWritePassword(password);
        ASSERT_TRUE(zip.Write()) << zip.LastError();
        // Only the large member has one, placed right after it.
        int error = 0;
        zip_t* raw = zip_open(scratch.Path("a.ksb").c_str(), ZIP_RDONLY, &error);
        ASSERT_NE(nullptr, raw);
        EXPECT_EQ(3, zip_get_num_entries(raw, 0));
        EXPECT_STREQ("Mail.pst.chunk-index", zip_get_name(raw, 1, 0));
        zip_close(raw);
        const auto members = testing::ReadMembers(scratch.Files(), scratch.Path("a.ksb"), password);
        EXPECT_EQ(2u, members.size());
        EXPECT_EQ(pst, members.at("Mail.pst"));
    }

    const Indexed written = DeflateIndexed(data, 1024 * 1024);
    ChunkIndex shifted = written.index;
    --shifted.chunks[0].length;
    ++shifted.chunks[1].length;
    ChunkIndex otherSize = written.index;
    ++otherSize.dataSize;
    struct Case {
        const char* name;
        Bytes index;
        bool extracts;
    };
    const Case cases[] = {
        {"garbage", ToBytes("not an index at all"), true},
        {"for another size", SerializeChunkIndex(otherSize), true},
        {"a boundary moved", SerializeChunkIndex(shifted), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(zip.Create(scratch.Path("plain.ksb")));
        ASSERT_TRUE(zip.AddFile(scratch.Path("Mail.pst")));
        zip.SetProtection(false);
        ASSERT_TRUE(zip.Write()) << zip.LastError();
        int error = 0;
        zip_t* raw = zip_open(scratch.Path("plain.ksb").c_str(), 0, &error);
        ASSERT_NE(nullptr, raw);
        zip_source_t* source = zip_source_buffer(raw, c.index.data(), c.index.size(), 0);
        ASSERT_EQ(0, zip_file_replace(raw, 1, source, 0));
        ASSERT_EQ(0, zip_close(raw));

        scratch.Folder("out");
        scratch.Make("out/Mail.pst", "the previous copy");
        ASSERT_TRUE(zip.Open(scratch.Path("plain.ksb")));
        ASSERT_EQ(1u, zip.Members().size());
        EXPECT_EQ(c.extracts, zip.ExtractMember(zip.Members()[0], scratch.Path("out")));
        EXPECT_EQ(c.extracts ? pst : "the previous copy", scratch.Read("out/Mail.pst"));
        if (!c.extracts) {
            EXPECT_NE(std::string::npos,
                      zip.LastError().find("damaged data (chunk 1 does not inflate to its size)"))
                << zip.LastError();
        }
        zip.Close();
    }
}

}  // namespace
}  // namespace kestrel
