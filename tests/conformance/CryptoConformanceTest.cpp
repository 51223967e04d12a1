// The system's crypto as the archive's AES scheme uses it: nettle natively, CNG under Wine.
// Published vectors only, so that both backends answer to the same outside reference.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/Crypto.h"

namespace kestrel {
namespace {

std::vector<std::uint8_t> FromHex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

template <typename Container>
std::string Hex(const Container& bytes)
{
    std::string text;
    for (const auto byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned>(byte));
        text += pair;
    }
    return text;
}

// FIPS-197 appendix C, one key per size; the same block repeated shows the mode is ECB (each
// block alone), and one call covers many blocks, in place.
TEST(CryptoConformance, AesEncryptsThePublishedBlocks)
{
    const std::string plain = "00112233445566778899aabbccddeeff";
    const std::pair<std::string, std::string> cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& [key, cipher] : cases) {
        SCOPED_TRACE(key);
        const auto aes = CreateAesEncryptor(FromHex(key));
        ASSERT_TRUE(aes);
        std::vector<std::uint8_t> blocks = FromHex(plain + plain + plain);
        aes->EncryptBlocks(blocks.data(), blocks.data(), 3);
        EXPECT_EQ(cipher + cipher + cipher, Hex(blocks));
        std::vector<std::uint8_t> out(16);
        const auto in = FromHex(plain);
        aes->EncryptBlocks(in.data(), out.data(), 1);
        EXPECT_EQ(cipher, Hex(out)) << "a key serves more than one call";
    }
    EXPECT_FALSE(CreateAesEncryptor(FromHex("0001020304050607")));
}

// RFC 2202: a key shorter than the digest, one longer than SHA-1's block (hashed first), and
// data given in uneven pieces.
TEST(CryptoConformance, HmacSha1GivesThePublishedCodes)
{
    struct Case {
        std::vector<std::uint8_t> key;
        std::string data;
        const char* code;
    };
    const Case cases[] = {
        {std::vector<std::uint8_t>(20, 0x0b), "Hi There",
         "b617318655057264e28bc0b6fb378c8ef146be00"},
        {Bytes("Jefe"), "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::vector<std::uint8_t>(80, 0xaa),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
        {std::vector<std::uint8_t>(20, 0x0c), "Test With Truncation",
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        const auto whole = CreateHmacSha1(c.key);
        ASSERT_TRUE(whole);
        const auto data = Bytes(c.data);
        whole->Update(data.data(), data.size());
        EXPECT_EQ(c.code, Hex(whole->Finish()));

        const auto pieces = CreateHmacSha1(c.key);
        std::size_t at = 0;
        for (std::size_t piece = 0; at < data.size(); piece = piece * 2 + 1) {
            const std::size_t take = std::min(piece, data.size() - at);
            pieces->Update(data.data() + at, take);
            at += take;
        }
        EXPECT_EQ(c.code, Hex(pieces->Finish()));
    }
}

// FIPS 180-2 and its million-'a' vector; each case hashed whole, then in uneven pieces by the
// same object after its Finish, which must start afresh for the next block of a file.
TEST(CryptoConformance, Sha256GivesThePublishedDigests)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    const auto hash = CreateSha256();
    ASSERT_TRUE(hash);
    for (const auto& [text, digest] : cases) {
        SCOPED_TRACE(text.substr(0, 20));
        const auto data = Bytes(text);
        hash->Update(data.data(), data.size());
        EXPECT_EQ(digest, Hex(hash->Finish()));

        std::size_t at = 0;
        for (std::size_t piece = 1; at < data.size(); piece = piece * 3 + 1) {
            const std::size_t take = std::min(piece, data.size() - at);
            hash->Update(data.data() + at, take);
            at += take;
        }
        EXPECT_EQ(digest, Hex(hash->Finish()));
    }
}

// RFC 6070, with NUL bytes in password and salt, and a length past one SHA-1 block.
TEST(CryptoConformance, Pbkdf2DerivesThePublishedKeys)
{
    struct Case {
        std::string password;
        std::string salt;
        unsigned iterations;
        std::size_t length;
        const char* expected;
    };
    const Case cases[] = {
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16,
         "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected,
                  Hex(Pbkdf2HmacSha1(c.password, Bytes(c.salt), c.iterations, c.length)));
    }
}

TEST(CryptoConformance, RandomBytesDifferEveryTime)
{
    std::vector<std::uint8_t> first(32);
    std::vector<std::uint8_t> second(32);
    ASSERT_TRUE(FillRandom(first));
    ASSERT_TRUE(FillRandom(second));
    EXPECT_NE(first, second);
    EXPECT_NE(std::vector<std::uint8_t>(32), first);
}

}  // namespace
}  // namespace kestrel
