#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/WinZipAes.h"

namespace kestrel {
namespace {

// Data encrypted and decrypted in pieces of any size, for every key size, and its code:
// MemberDecoderTest. The counter mode against other tools: ZipInterop and
// scripts/archive-cli-test.sh.
TEST(WinZipAes, EveryHeaderHasANewSaltOfTheKeysSize)
{
    const std::vector<std::uint8_t> plain(5000, 'x');
    for (const auto& [bits, headerSize] : {std::pair{128, 10u}, {192, 14u}, {256, 18u}}) {
        const auto first = WinZipAes::ForWriting("p\xC3\xA4ss", bits);
        const auto second = WinZipAes::ForWriting("p\xC3\xA4ss", bits);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(headerSize, first->Header().size()) << bits;
        EXPECT_NE(first->Header(), second->Header()) << bits;
        std::vector<std::uint8_t> cipher = plain;
        first->Encrypt(cipher.data(), cipher.size());
        EXPECT_NE(plain, cipher) << bits;
    }
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
