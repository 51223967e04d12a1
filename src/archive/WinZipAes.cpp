#include "archive/WinZipAes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <system_error>

namespace kestrel {
namespace {

constexpr unsigned Iterations = 1000;
// Keystream made per call to the cipher: large enough that the system's AES runs on long
// buffers, small enough to stay in the first-level cache.
constexpr std::size_t KeystreamBlocks = 1024;

struct Keys {
    std::vector<std::uint8_t> key;  // the encryption key
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
    keys.key.assign(derived.begin(), derived.begin() + static_cast<std::ptrdiff_t>(keySize));
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
    return std::unique_ptr<WinZipAes>(new WinZipAes(std::move(keys->key), std::move(keys->cipher),
                                                    std::move(keys->mac), std::move(header)));
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
        new WinZipAes(std::move(keys->key), std::move(keys->cipher), std::move(keys->mac),
                      std::vector<std::uint8_t>(header.begin(), header.end())));
}

WinZipAes::WinZipAes(std::vector<std::uint8_t> key, std::unique_ptr<AesEncryptor> cipher,
                     std::unique_ptr<HmacSha1> mac, std::vector<std::uint8_t> header)
    : key_(std::move(key)),
      stream_(std::move(cipher)),
      mac_(std::move(mac)),
      header_(std::move(header))
{
}

WinZipAes::~WinZipAes()
{
    std::fill(key_.begin(), key_.end(), std::uint8_t{0});
}

std::vector<std::uint8_t> WinZipAes::Header() const
{
    return header_;
}

void WinZipAes::Encrypt(std::uint8_t* data, std::size_t size)
{
    stream_.Apply(offset_, data, size);
    offset_ += size;
    mac_->Update(data, size);
}

void WinZipAes::Decrypt(std::uint8_t* data, std::size_t size)
{
    mac_->Update(data, size);
    stream_.Apply(offset_, data, size);
    offset_ += size;
}

void WinZipAes::Authenticate(const std::uint8_t* data, std::size_t size)
{
    mac_->Update(data, size);
}

std::unique_ptr<WinZipAesStream> WinZipAes::NewStream() const
{
    std::unique_ptr<AesEncryptor> cipher = CreateAesEncryptor(key_);
    return cipher ? std::make_unique<WinZipAesStream>(std::move(cipher)) : nullptr;
}

WinZipAes::Code WinZipAes::FinishCode()
{
    const HmacSha1::Digest digest = mac_->Finish();
    Code code{};
    std::copy_n(digest.begin(), code.size(), code.begin());
    return code;
}

WinZipAesStream::WinZipAesStream(std::unique_ptr<AesEncryptor> cipher) : cipher_(std::move(cipher))
{
}

// The counter block of the byte at offset N is a little-endian number, N / 16 + 1, whereas
// most counter modes (nettle's, CNG's none) count big-endian: so the counter blocks are made
// here and encrypted in bulk. 2^64 blocks is far past any member, so the high half stays zero.
void WinZipAesStream::Generate(std::uint64_t firstBlock)
{
    keystream_.resize(KeystreamBlocks * AesEncryptor::BlockSize);
    for (std::size_t block = 0; block < KeystreamBlocks; ++block) {
        const std::uint64_t counter = firstBlock + block + 1;
        std::uint8_t* bytes = keystream_.data() + block * AesEncryptor::BlockSize;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(bytes, &counter, 8);
        } else {
            for (std::size_t byte = 0; byte < 8; ++byte) {
                bytes[byte] = static_cast<std::uint8_t>(counter >> (8 * byte));
            }
        }
        std::memset(bytes + 8, 0, 8);
    }
    cipher_->EncryptBlocks(keystream_.data(), keystream_.data(), KeystreamBlocks);
    start_ = firstBlock * AesEncryptor::BlockSize;
}

void WinZipAesStream::Apply(std::uint64_t offset, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        if (keystream_.empty() || offset < start_ || offset - start_ >= keystream_.size()) {
            Generate(offset / AesEncryptor::BlockSize);
        }
        const auto used = static_cast<std::size_t>(offset - start_);
        const std::size_t take = std::min(size, keystream_.size() - used);
        const std::uint8_t* stream = keystream_.data() + used;
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
        offset += take;
    }
}

BackgroundAuthenticator::BackgroundAuthenticator(WinZipAes& aes) : aes_(aes)
{
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Add authenticates on the caller's thread.
    }
}

BackgroundAuthenticator::~BackgroundAuthenticator()
{
    Stop();
}

void BackgroundAuthenticator::Add(const std::uint8_t* data, std::size_t size)
{
    if (!thread_.joinable()) {
        aes_.Authenticate(data, size);
        return;
    }
    std::vector<std::uint8_t> copy;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_.size() < MaxWaiting; });
        if (!spare_.empty()) {
            copy = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    copy.assign(data, data + size);
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(copy));
    changed_.notify_all();
}

WinZipAes::Code BackgroundAuthenticator::Finish()
{
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
    }
    Stop();
    return aes_.FinishCode();
}

void BackgroundAuthenticator::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        std::vector<std::uint8_t> piece = std::move(waiting_.front());
        waiting_.pop_front();
        busy_ = true;
        lock.unlock();
        aes_.Authenticate(piece.data(), piece.size());
        lock.lock();
        busy_ = false;
        spare_.push_back(std::move(piece));
        changed_.notify_all();
    }
}

void BackgroundAuthenticator::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace kestrel
