#include "platform/Crypto.h"

#include <nettle/aes.h>
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>
#include <nettle/sha2.h>
#include <sys/random.h>

#include <cerrno>

namespace kestrel {
namespace {

// Nettle keeps one context type per key size; its fat build picks the AES instructions at run
// time.
template <typename Context, void (*SetKey)(Context*, const std::uint8_t*),
          void (*Encrypt)(const Context*, std::size_t, std::uint8_t*, const std::uint8_t*)>
class NettleAes final : public AesEncryptor {
public:
    explicit NettleAes(const std::uint8_t* key) { SetKey(&context_, key); }
    void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override
    {
        Encrypt(&context_, blocks * BlockSize, out, in);
    }

private:
    Context context_{};
};

class NettleHmacSha1 final : public HmacSha1 {
public:
    explicit NettleHmacSha1(std::span<const std::uint8_t> key)
    {
        hmac_sha1_set_key(&context_, key.size(), key.data());
    }
    void Update(const std::uint8_t* data, std::size_t size) override
    {
        hmac_sha1_update(&context_, size, data);
    }
    Digest Finish() override
    {
        Digest digest{};
        hmac_sha1_digest(&context_, digest.size(), digest.data());
        return digest;
    }

private:
    hmac_sha1_ctx context_{};
};

// nettle's digest call resets the context, which is the contract's "starts afresh".
class NettleSha256 final : public Sha256 {
public:
    NettleSha256() { sha256_init(&context_); }
    void Update(const std::uint8_t* data, std::size_t size) override
    {
        sha256_update(&context_, size, data);
    }
    Digest Finish() override
    {
        Digest digest{};
        sha256_digest(&context_, digest.size(), digest.data());
        return digest;
    }

private:
    sha256_ctx context_{};
};

}  // namespace

std::unique_ptr<AesEncryptor> CreateAesEncryptor(std::span<const std::uint8_t> key)
{
    switch (key.size()) {
        case 16:
            return std::make_unique<
                NettleAes<aes128_ctx, &aes128_set_encrypt_key, &aes128_encrypt>>(key.data());
        case 24:
            return std::make_unique<
                NettleAes<aes192_ctx, &aes192_set_encrypt_key, &aes192_encrypt>>(key.data());
        case 32:
            return std::make_unique<
                NettleAes<aes256_ctx, &aes256_set_encrypt_key, &aes256_encrypt>>(key.data());
        default:
            return nullptr;
    }
}

std::unique_ptr<HmacSha1> CreateHmacSha1(std::span<const std::uint8_t> key)
{
    return std::make_unique<NettleHmacSha1>(key);
}

std::unique_ptr<Sha256> CreateSha256()
{
    return std::make_unique<NettleSha256>();
}

std::vector<std::uint8_t> Pbkdf2HmacSha1(std::string_view password,
                                         std::span<const std::uint8_t> salt, unsigned iterations,
                                         std::size_t length)
{
    std::vector<std::uint8_t> derived(length);
    pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const std::uint8_t*>(password.data()),
                     iterations, salt.size(), salt.data(), length, derived.data());
    return derived;
}

bool FillRandom(std::span<std::uint8_t> buffer)
{
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = getrandom(buffer.data() + filled, buffer.size() - filled, 0);
        if (got < 0 && errno != EINTR) {
            return false;
        }
        filled += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    return true;
}

}  // namespace kestrel
