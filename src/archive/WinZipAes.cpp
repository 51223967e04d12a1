#include "archive/WinZipAes.h"

#include <algorithm>
#include <cstring>

namespace kestrel {
namespace {

constexpr unsigned Iterations = 1000;
// Keystream made per call to the cipher: large enough that the system's AES runs on long
// buffers, small enough to stay in the first-level cache.
constexpr std::size_t KeystreamBlocks = 1024;

struct Keys {
    std::unique_ptr<AesEncryptor> cipher;
    std::unique_ptr<HmacSha1> mac;
    std::array<std::uint8_t, WinZipAes::VerifierSize> verifier{};
};

// PBKDF2 gives the encryption key, the authentication key and the verifier, in that order.
std::optional<Keys> DeriveKeys(std::string_view password, int keyBits,
                               std::span<const std::uint8_t> salt)
{
    const std::size_t keySize = static_cast<std::size_t>(keyBits) / 8;
    const std::vector<std::uint8_t> derived =
        Pbkdf2HmacSha1(password, salt, Iterations, 2 * keySize + WinZipAes::VerifierSize);
    if (derived.size() != 2 * keySize + WinZipAes::VerifierSize) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> all(derived);
    Keys keys;
    keys.cipher = CreateAesEncryptor(all.subspan(0, keySize));
    keys.mac = CreateHmacSha1(all.subspan(keySize, keySize));
    std::copy_n(derived.begin() + static_cast<std::ptrdiff_t>(2 * keySize), keys.verifier.size(),
                keys.verifier.begin());
    if (!keys.cipher || !keys.mac) {
        return std::nullopt;
    }
    return keys;
}

bool IsKeySize(int keyBits)
{
    return keyBits == 128 || keyBits == 192 || keyBits == 256;
}

}  // namespace

std::unique_ptr<WinZipAes> WinZipAes::ForWriting(std::string_view password, int keyBits)
{
    if (!IsKeySize(keyBits)) {
        return nullptr;
    }
    std::vector<std::uint8_t> header(SaltSize(keyBits));
    if (!FillRandom(header)) {
        return nullptr;
    }
    std::optional<Keys> keys = DeriveKeys(password, keyBits, header);
    if (!keys) {
        return nullptr;
    }
    header.insert(header.end(), keys->verifier.begin(), keys->verifier.end());
    return std::unique_ptr<WinZipAes>(
        new WinZipAes(std::move(keys->cipher), std::move(keys->mac), std::move(header)));
}

std::unique_ptr<WinZipAes> WinZipAes::ForReading(std::string_view password, int keyBits,
                                                 std::span<const std::uint8_t> header,
                                                 bool& wrongPassword)
{
    wrongPassword = false;
    if (!IsKeySize(keyBits) || header.size() != SaltSize(keyBits) + VerifierSize) {
        return nullptr;
    }
    const auto salt = header.first(SaltSize(keyBits));
    std::optional<Keys> keys = DeriveKeys(password, keyBits, salt);
    if (!keys) {
        return nullptr;
    }
    if (!std::equal(keys->verifier.begin(), keys->verifier.end(), header.begin() + salt.size())) {
        wrongPassword = true;
        return nullptr;
    }
    return std::unique_ptr<WinZipAes>(
        new WinZipAes(std::move(keys->cipher), std::move(keys->mac),
                      std::vector<std::uint8_t>(header.begin(), header.end())));
}

WinZipAes::WinZipAes(std::unique_ptr<AesEncryptor> cipher, std::unique_ptr<HmacSha1> mac,
                     std::vector<std::uint8_t> header)
    : cipher_(std::move(cipher)), mac_(std::move(mac)), header_(std::move(header))
{
}

WinZipAes::~WinZipAes() = default;

std::vector<std::uint8_t> WinZipAes::Header() const
{
    return header_;
}

void WinZipAes::Encrypt(std::uint8_t* data, std::size_t size)
{
    ApplyKeystream(data, size);
    mac_->Update(data, size);
}

void WinZipAes::Decrypt(std::uint8_t* data, std::size_t size)
{
    mac_->Update(data, size);
    ApplyKeystream(data, size);
}

WinZipAes::Code WinZipAes::FinishCode()
{
    const HmacSha1::Digest digest = mac_->Finish();
    Code code{};
    std::copy_n(digest.begin(), code.size(), code.begin());
    return code;
}

// The counter block is a little-endian number, 1 for the first block, whereas most counter
// modes (nettle's, CNG's none) count big-endian: so the counter blocks are made here and
// encrypted in bulk. 2^64 blocks is far past any member, so the high half stays zero.
void WinZipAes::ApplyKeystream(std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        if (used_ == keystream_.size()) {
            keystream_.resize(KeystreamBlocks * AesEncryptor::BlockSize);
            for (std::size_t block = 0; block < KeystreamBlocks; ++block) {
                const std::uint64_t counter = ++counter_;
                std::uint8_t* bytes = keystream_.data() + block * AesEncryptor::BlockSize;
                for (std::size_t byte = 0; byte < 8; ++byte) {
                    bytes[byte] = static_cast<std::uint8_t>(counter >> (8 * byte));
                }
                std::memset(bytes + 8, 0, 8);
            }
            cipher_->EncryptBlocks(keystream_.data(), keystream_.data(), KeystreamBlocks);
            used_ = 0;
        }
        const std::size_t take = std::min(size, keystream_.size() - used_);
        const std::uint8_t* stream = keystream_.data() + used_;
        std::size_t i = 0;
        for (; i + 8 <= take; i += 8) {  // a word at a time: this runs over every byte
            std::uint64_t word = 0;
            std::uint64_t key = 0;
            std::memcpy(&word, data + i, 8);
            std::memcpy(&key, stream + i, 8);
            word ^= key;
            std::memcpy(data + i, &word, 8);
        }
        for (; i < take; ++i) {
            data[i] ^= stream[i];
        }
        data += take;
        size -= take;
        used_ += take;
    }
}

}  // namespace kestrel
