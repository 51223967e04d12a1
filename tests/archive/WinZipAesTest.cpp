#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/WinZipAes.h"

namespace kestrel {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// Encrypts in the given piece sizes (repeated), so keystream and code must carry across calls
// that split AES blocks and the bulk keystream buffer alike.
std::vector<std::uint8_t> InPieces(WinZipAes& aes, std::vector<std::uint8_t> data,
                                   const std::vector<std::size_t>& pieces, bool encrypt)
{
    std::size_t at = 0;
    for (std::size_t i = 0; at < data.size(); ++i) {
        const std::size_t take = std::min(pieces[i % pieces.size()], data.size() - at);
        encrypt ? aes.Encrypt(data.data() + at, take) : aes.Decrypt(data.data() + at, take);
        at += take;
    }
    return data;
}

TEST(WinZipAes, RoundTripsInAnyPiecesForEveryKeySize)
{
    const std::vector<std::uint8_t> plain = Bytes(testing::RandomBytes(70000, 9));
    for (int bits : {128, 192, 256}) {
        SCOPED_TRACE(bits);
        const auto writer = WinZipAes::ForWriting("p\xC3\xA4ss", bits);
        ASSERT_TRUE(writer);
        const std::vector<std::uint8_t> header = writer->Header();
        ASSERT_EQ(WinZipAes::SaltSize(bits) + WinZipAes::VerifierSize, header.size());
        const auto cipher = InPieces(*writer, plain, {plain.size()}, true);
        const WinZipAes::Code code = writer->FinishCode();
        EXPECT_NE(plain, cipher);

        for (const std::vector<std::size_t>& pieces :
             std::vector<std::vector<std::size_t>>{{plain.size()}, {1, 15, 16, 17}, {16384, 5}}) {
            bool wrong = true;
            const auto reader = WinZipAes::ForReading("p\xC3\xA4ss", bits, header, wrong);
            ASSERT_TRUE(reader);
            EXPECT_FALSE(wrong);
            EXPECT_EQ(plain, InPieces(*reader, cipher, pieces, false));
            EXPECT_EQ(code, reader->FinishCode());
        }
        // Encrypting in other pieces with the same keys gives the same bytes.
        bool wrong = false;
        const auto again = WinZipAes::ForReading("p\xC3\xA4ss", bits, header, wrong);
        ASSERT_TRUE(again);
        EXPECT_EQ(cipher, InPieces(*again, plain, {3, 4096, 33}, true));
    }
}

TEST(WinZipAes, EverySaltIsNewAndFlippedDataFailsTheCode)
{
    const auto first = WinZipAes::ForWriting("pw", 256);
    const auto second = WinZipAes::ForWriting("pw", 256);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->Header(), second->Header());

    const std::vector<std::uint8_t> plain = Bytes(std::string(5000, 'x'));
    auto cipher = InPieces(*first, plain, {plain.size()}, true);
    const WinZipAes::Code code = first->FinishCode();
    cipher[2500] ^= 0x20;
    bool wrong = false;
    const auto reader = WinZipAes::ForReading("pw", 256, first->Header(), wrong);
    ASSERT_TRUE(reader);
    const auto damaged = InPieces(*reader, cipher, {cipher.size()}, false);
    EXPECT_NE(code, reader->FinishCode());
    // Counter mode: the flip lands on the same plain byte and nowhere else.
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] != damaged[i]) {
            changed.push_back(i);
        }
    }
    EXPECT_EQ(std::vector<std::size_t>{2500}, changed);
}

TEST(WinZipAes, TheVerifierTurnsAwayNearlyEveryWrongPassword)
{
    const auto writer = WinZipAes::ForWriting("right", 256);
    ASSERT_TRUE(writer);
    int accepted = 0;
    for (int i = 0; i < 300; ++i) {
        bool wrong = false;
        const auto reader =
            WinZipAes::ForReading("guess" + std::to_string(i), 256, writer->Header(), wrong);
        EXPECT_EQ(reader == nullptr, wrong);
        accepted += reader ? 1 : 0;
    }
    EXPECT_LE(accepted, 2) << "two bytes of verifier let one in 65536 through";
    bool wrong = false;
    EXPECT_FALSE(WinZipAes::ForReading("right", 256, writer->Header(), wrong) == nullptr);
    EXPECT_FALSE(WinZipAes::ForReading("right", 128, writer->Header(), wrong))
        << "a header of the wrong size";
}

}  // namespace
}  // namespace kestrel
