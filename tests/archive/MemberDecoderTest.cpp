#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/MemberDecoder.h"
#include "archive/ParallelDeflate.h"
#include "archive/WinZipAes.h"

namespace kestrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A member's stored bytes as the writer makes them: deflated or not, then AES or not.
Bytes Store(const std::string& file, bool deflated, int aesBits, const std::string& password)
{
    Bytes data;
    if (deflated) {
        std::size_t read = 0;
        ParallelDeflate deflate(
            [&](std::uint8_t* buffer, std::size_t size) {
                const std::size_t take = std::min(size, file.size() - read);
                std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(read), take, buffer);
                read += take;
                return static_cast<std::ptrdiff_t>(take);
            },
            {6, 2, 64 * 1024});
        std::span<std::uint8_t> piece;
        while (deflate.Next(piece) && !piece.empty()) {
            data.insert(data.end(), piece.begin(), piece.end());
        }
    } else {
        data.assign(file.begin(), file.end());
    }
    if (aesBits == 0) {
        return data;
    }
    const auto aes = WinZipAes::ForWriting(password, aesBits);
    aes->Encrypt(data.data(), data.size());
    Bytes stored = aes->Header();
    stored.insert(stored.end(), data.begin(), data.end());
    const auto code = aes->FinishCode();
    stored.insert(stored.end(), code.begin(), code.end());
    return stored;
}

struct Outcome {
    bool fed = true;
    bool finished = false;
    std::string error;
    std::string output;
};

// The password's forms are given one per line, tried in that order.
Outcome Decode(const MemberDecoder::Member& member, Bytes stored, const std::string& passwords,
               std::size_t piece)
{
    Outcome outcome;
    std::vector<std::string> forms;
    for (std::size_t start = 0; start <= passwords.size();) {
        const std::size_t end = std::min(passwords.find('\n', start), passwords.size());
        forms.push_back(passwords.substr(start, end - start));
        start = end + 1;
    }
    MemberDecoder decoder(member, forms, [&](const char* data, std::size_t size) {
        outcome.output.append(data, size);
        return true;
    });
    for (std::size_t at = 0; at < stored.size() && outcome.fed; at += piece) {
        outcome.fed = decoder.Feed(stored.data() + at, std::min(piece, stored.size() - at));
    }
    outcome.finished = decoder.Finish();
    outcome.error = decoder.Error();
    return outcome;
}

TEST(WinZipAes, EveryHeaderHasANewSaltOfTheKeysSize)
{
    for (const auto& [bits, headerSize] : {std::pair{128, 10u}, {192, 14u}, {256, 18u}}) {
        const auto first = WinZipAes::ForWriting("p\xC3\xA4ss", bits);
        const auto second = WinZipAes::ForWriting("p\xC3\xA4ss", bits);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(headerSize, first->Header().size()) << bits;
        EXPECT_NE(first->Header(), second->Header()) << bits;
        bool wrong = false;
        EXPECT_FALSE(
            WinZipAes::ForReading("p\xC3\xA4ss", bits == 128 ? 256 : 128, first->Header(), wrong))
            << bits << ": a header of another key size";
    }
}

// A stream decrypts any piece at its offset, in any order, as the member's own object does in
// order: the pieces' offsets are unaligned, go backwards and cross the keystream made at once.
TEST(WinZipAes, AStreamDecryptsPiecesAtTheirOffsetsInAnyOrder)
{
    const std::string text = testing::RandomBytes(100 * 1024, 31);
    const Bytes plain(text.begin(), text.end());
    const auto writer = WinZipAes::ForWriting("pw", 256);
    ASSERT_TRUE(writer);
    Bytes encrypted = plain;
    writer->Encrypt(encrypted.data(), 7);  // in two calls: the object keeps its place
    writer->Encrypt(encrypted.data() + 7, encrypted.size() - 7);
    struct Piece {
        std::size_t offset;
        std::size_t size;
    };
    const std::vector<Piece> orders[] = {
        {{0, encrypted.size()}},
        {{70000, 30000}, {5, 69995}, {100000, encrypted.size() - 100000}, {0, 5}},
        {{16383, 2}, {16385, 50000}, {1, 16382}, {0, 1}, {66385, encrypted.size() - 66385}},
    };
    for (const std::vector<Piece>& order : orders) {
        SCOPED_TRACE(order.size());
        const auto stream = writer->NewStream();
        ASSERT_TRUE(stream);
        Bytes decrypted = encrypted;
        for (const Piece& piece : order) {
            stream->Apply(piece.offset, decrypted.data() + piece.offset, piece.size);
        }
        EXPECT_TRUE(decrypted == plain);
    }
}

// The code computed on its own thread over pieces given one after another (more than may wait
// at once, the caller's buffer reused at once) is the one computed in order on one thread.
TEST(WinZipAes, ABackgroundCodeIsTheCodeOfTheBytesInOrder)
{
    const std::string text = testing::RandomBytes(4 * 1024 * 1024, 37);
    const std::vector<std::vector<std::size_t>> splits = {
        {},
        {text.size()},
        {1, 2, 65536, 1024 * 1024, 5, 1024 * 1024, 1024 * 1024, 3, 30000, 1},
    };
    for (const std::vector<std::size_t>& sizes : splits) {
        SCOPED_TRACE(sizes.size());
        const auto writer = WinZipAes::ForWriting("pw", 256);
        ASSERT_TRUE(writer);
        bool wrong = false;
        const auto reader = WinZipAes::ForReading("pw", 256, writer->Header(), wrong);
        ASSERT_TRUE(reader);
        WinZipAes::Code background{};
        {
            BackgroundAuthenticator authenticator(*writer);
            std::size_t at = 0;
            Bytes buffer;
            for (std::size_t size : sizes) {
                buffer.assign(text.begin() + static_cast<std::ptrdiff_t>(at),
                              text.begin() + static_cast<std::ptrdiff_t>(at + size));
                authenticator.Add(buffer.data(), buffer.size());
                std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
                at += size;
            }
            background = authenticator.Finish();
        }
        std::size_t total = 0;
        for (std::size_t size : sizes) {
            total += size;
        }
        ASSERT_LE(total, text.size());
        Bytes inOrder(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(total));
        reader->Authenticate(inOrder.data(), inOrder.size());
        EXPECT_EQ(reader->FinishCode(), background);
    }
}

// Each kind of stored data, whole and fed in pieces of any size, and each check failing what it
// guards. Many wrong passwords in a row: ZipComponentTest.
TEST(MemberDecoder, DecodesEveryKindOfStoredDataAndEveryCheckFailsWhatItGuards)
{
    const std::string file = testing::RandomBytes(150 * 1024, 21) + std::string(90000, 'm');
    const std::uint32_t crc = testing::Crc32(file);
    struct Case {
        const char* name;
        bool deflated;
        int aesBits;
        std::function<void(MemberDecoder::Member&, Bytes&, std::string&)> damage;
        const char* error;  // part of it, or null for success
    };
    const Case cases[] = {
        {"stored", false, 0, nullptr, nullptr},
        {"stored, AES-128", false, 128, nullptr, nullptr},
        {"stored, AES-192", false, 192, nullptr, nullptr},
        {"stored, AES-256", false, 256, nullptr, nullptr},
        {"deflated", true, 0, nullptr, nullptr},
        {"deflated, AES-128", true, 128, nullptr, nullptr},
        {"deflated, AES-192", true, 192, nullptr, nullptr},
        {"deflated, AES-256", true, 256, nullptr, nullptr},
        {"wrong password", true, 256, [](auto&, auto&, std::string& pw) { pw = "PW"; }, "password"},
        {"the second form of the password", true, 256,
         [](auto&, auto&, std::string& pw) { pw = "PW\npw"; }, nullptr},
        {"no form is the password", true, 256,
         [](auto&, auto&, std::string& pw) { pw = "PW\npw2"; }, "password"},
        {"flipped ciphertext", true, 256, [](auto&, Bytes& b, auto&) { b[b.size() / 2] ^= 1; },
         "authentication"},
        {"flipped code", true, 256, [](auto&, Bytes& b, auto&) { b.back() ^= 1; },
         "authentication"},
        {"AE-2 stores no CRC", true, 256,
         [](MemberDecoder::Member& m, auto&, auto&) {
             m.crc = 0;
             m.checkCrc = false;
         },
         nullptr},
        {"wrong CRC", true, 0, [](MemberDecoder::Member& m, auto&, auto&) { m.crc ^= 1; }, "CRC"},
        {"shorter than its size", true, 0, [](MemberDecoder::Member& m, auto&, auto&) { ++m.size; },
         "size"},
        {"longer than its size", true, 0, [](MemberDecoder::Member& m, auto&, auto&) { --m.size; },
         "size"},
        {"truncated stored data", true, 0,
         [](MemberDecoder::Member& m, Bytes& b, auto&) {
             b.resize(b.size() - 3);
             m.storedSize = b.size() + 3;
         },
         "truncated"},
        {"cut deflate stream", true, 0,
         [](MemberDecoder::Member& m, Bytes& b, auto&) {
             b.resize(b.size() / 2);
             m.storedSize = b.size();
         },
         "truncated"},
        {"more bytes than stored", true, 0,
         [](MemberDecoder::Member& m, Bytes& b, auto&) {
             b.push_back(0);
             m.storedSize = b.size() - 1;
         },
         "more stored data"},
        {"damaged deflate data", true, 0, [](auto&, Bytes& b, auto&) { b[0] |= 6; }, "damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stored = Store(file, c.deflated, c.aesBits, "pw");
        if (c.aesBits != 0) {
            EXPECT_EQ(std::string::npos,
                      std::string(stored.begin(), stored.end()).find(file.substr(0, 64)))
                << "the data is encrypted";
        }
        MemberDecoder::Member member{file.size(), stored.size(), crc, true, c.deflated, c.aesBits};
        std::string password = "pw";
        if (c.damage) {
            c.damage(member, stored, password);
        }
        for (std::size_t piece : {std::size_t{1} << 20, std::size_t{7}}) {
            const Outcome outcome = Decode(member, stored, password, piece);
            EXPECT_EQ(c.error == nullptr, outcome.finished) << piece << ": " << outcome.error;
            if (c.error == nullptr) {
                EXPECT_TRUE(outcome.output == file) << piece;
            } else {
                EXPECT_NE(std::string::npos, outcome.error.find(c.error)) << outcome.error;
            }
        }
    }
}

// Past one block the reading and AES run a block ahead on a thread of their own; every way
// out of that pipeline ends it cleanly. A small member is fed on the caller's thread.
TEST(MemberDecoder, RunDecodesFromAReaderAndStopsOnEveryFailure)
{
    const std::string file = testing::RandomBytes(2500 * 1024, 23) + std::string(1500000, 'r');
    struct Case {
        const char* name;
        std::size_t size;  // of the file's start used
        int aesBits;
        std::string password;
        std::size_t failReadAt;  // stored bytes, SIZE_MAX for never
        std::size_t stopAfter;   // bytes consumed, SIZE_MAX for never
        const char* error;       // part of it, or null for success
    };
    const Case cases[] = {
        {"small, plain", 5000, 0, "", SIZE_MAX, SIZE_MAX, nullptr},
        {"small, AES", 5000, 256, "pw", SIZE_MAX, SIZE_MAX, nullptr},
        {"small, consumer stops", 5000, 0, "", SIZE_MAX, 1000, "stopped"},
        {"large, plain", file.size(), 0, "", SIZE_MAX, SIZE_MAX, nullptr},
        {"large, AES", file.size(), 256, "pw", SIZE_MAX, SIZE_MAX, nullptr},
        {"large, wrong password", file.size(), 256, "PW", SIZE_MAX, SIZE_MAX, "password"},
        {"large, read fails", file.size(), 256, "pw", 1500 * 1024, SIZE_MAX, "cannot read"},
        {"large, consumer stops", file.size(), 0, "", SIZE_MAX, 700 * 1024, "stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string part = file.substr(0, c.size);
        const Bytes stored = Store(part, true, c.aesBits, "pw");
        std::string output;
        MemberDecoder decoder(
            {part.size(), stored.size(), testing::Crc32(part), true, true, c.aesBits}, {c.password},
            [&](const char* data, std::size_t size) {
                output.append(data, size);
                return output.size() < c.stopAfter;
            });
        std::size_t at = 0;
        bool overAsked = false;
        const bool ok = decoder.Run([&](std::uint8_t* buffer, std::size_t size) {
            overAsked = overAsked || size > stored.size() - at;
            if (at >= c.failReadAt) {
                return std::ptrdiff_t{-1};
            }
            const std::size_t take = std::min(size, stored.size() - at);
            std::copy_n(stored.begin() + static_cast<std::ptrdiff_t>(at), take, buffer);
            at += take;
            return static_cast<std::ptrdiff_t>(take);
        });
        EXPECT_FALSE(overAsked);
        EXPECT_EQ(c.error == nullptr, ok) << decoder.Error();
        EXPECT_EQ(c.stopAfter != SIZE_MAX, decoder.Stopped());
        if (c.error == nullptr) {
            EXPECT_TRUE(output == part);
        } else {
            EXPECT_NE(std::string::npos, decoder.Error().find(c.error)) << decoder.Error();
        }
    }
}

}  // namespace
}  // namespace kestrel
