#include "platform/Crypto.h"

#include <windows.h>
// bcrypt.h needs the types windows.h declares.
#include <bcrypt.h>

#include <limits>

namespace kestrel {
namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

// Opens a provider, in ECB mode when asked; null when the system has none.
BCRYPT_ALG_HANDLE OpenProvider(const wchar_t* algorithm, ULONG flags, bool ecb)
{
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, flags))) {
        return nullptr;
    }
    if (ecb && !Succeeded(BCryptSetProperty(
                   handle, BCRYPT_CHAINING_MODE,
                   reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                   sizeof(BCRYPT_CHAIN_MODE_ECB), 0))) {
        BCryptCloseAlgorithmProvider(handle, 0);
        return nullptr;
    }
    return handle;
}

// One provider per algorithm for the whole program: opening one is costly, and a provider
// handle may be shared between threads.
struct Provider {
    BCRYPT_ALG_HANDLE handle;
    ~Provider()
    {
        if (handle != nullptr) {
            BCryptCloseAlgorithmProvider(handle, 0);
        }
    }
};

BCRYPT_ALG_HANDLE AesEcb()
{
    static const Provider provider{OpenProvider(BCRYPT_AES_ALGORITHM, 0, true)};
    return provider.handle;
}

BCRYPT_ALG_HANDLE HmacSha1Provider()
{
    static const Provider provider{
        OpenProvider(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG, false)};
    return provider.handle;
}

BCRYPT_ALG_HANDLE Sha256Provider()
{
    static const Provider provider{OpenProvider(BCRYPT_SHA256_ALGORITHM, 0, false)};
    return provider.handle;
}

// CNG takes ULONG lengths; bulk callers pass buffers far below that, but split anyway.
constexpr std::size_t MaxPiece = std::numeric_limits<ULONG>::max() & ~std::size_t{15};

class CngAes final : public AesEncryptor {
public:
    explicit CngAes(BCRYPT_KEY_HANDLE key) : key_(key) {}
    ~CngAes() override { BCryptDestroyKey(key_); }
    CngAes(const CngAes&) = delete;
    CngAes& operator=(const CngAes&) = delete;

    void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override
    {
        std::size_t left = blocks * BlockSize;
        while (left > 0) {
            const auto piece = static_cast<ULONG>(left < MaxPiece ? left : MaxPiece);
            ULONG written = 0;
            BCryptEncrypt(key_, const_cast<PUCHAR>(in), piece, nullptr, nullptr, 0, out, piece,
                          &written, 0);
            in += piece;
            out += piece;
            left -= piece;
        }
    }

private:
    BCRYPT_KEY_HANDLE key_;
};

class CngHmacSha1 final : public HmacSha1 {
public:
    explicit CngHmacSha1(BCRYPT_HASH_HANDLE hash) : hash_(hash) {}
    ~CngHmacSha1() override { BCryptDestroyHash(hash_); }
    CngHmacSha1(const CngHmacSha1&) = delete;
    CngHmacSha1& operator=(const CngHmacSha1&) = delete;

    void Update(const std::uint8_t* data, std::size_t size) override
    {
        while (size > 0) {
            const auto piece = static_cast<ULONG>(size < MaxPiece ? size : MaxPiece);
            BCryptHashData(hash_, const_cast<PUCHAR>(data), piece, 0);
            data += piece;
            size -= piece;
        }
    }
    Digest Finish() override
    {
        Digest digest{};
        BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        return digest;
    }

private:
    BCRYPT_HASH_HANDLE hash_;
};

// A CNG hash object is spent by BCryptFinishHash (the reusable flag needs Windows 8), so Finish
// opens the next one for the following block.
class CngSha256 final : public Sha256 {
public:
    explicit CngSha256(BCRYPT_HASH_HANDLE hash) : hash_(hash) {}
    ~CngSha256() override { Close(); }
    CngSha256(const CngSha256&) = delete;
    CngSha256& operator=(const CngSha256&) = delete;

    static BCRYPT_HASH_HANDLE Open()
    {
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (Sha256Provider() == nullptr ||
            !Succeeded(BCryptCreateHash(Sha256Provider(), &hash, nullptr, 0, nullptr, 0, 0))) {
            return nullptr;
        }
        return hash;
    }

    void Update(const std::uint8_t* data, std::size_t size) override
    {
        while (size > 0) {
            const auto piece = static_cast<ULONG>(size < MaxPiece ? size : MaxPiece);
            BCryptHashData(hash_, const_cast<PUCHAR>(data), piece, 0);
            data += piece;
            size -= piece;
        }
    }
    Digest Finish() override
    {
        Digest digest{};
        BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        Close();
        hash_ = Open();
        return digest;
    }

private:
    void Close()
    {
        if (hash_ != nullptr) {
            BCryptDestroyHash(hash_);
            hash_ = nullptr;
        }
    }

    BCRYPT_HASH_HANDLE hash_;
};

}  // namespace

std::unique_ptr<AesEncryptor> CreateAesEncryptor(std::span<const std::uint8_t> key)
{
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (AesEcb() == nullptr || (key.size() != 16 && key.size() != 24 && key.size() != 32) ||
        !Succeeded(BCryptGenerateSymmetricKey(AesEcb(), &handle, nullptr, 0,
                                              const_cast<PUCHAR>(key.data()),
                                              static_cast<ULONG>(key.size()), 0))) {
        return nullptr;
    }
    return std::make_unique<CngAes>(handle);
}

std::unique_ptr<HmacSha1> CreateHmacSha1(std::span<const std::uint8_t> key)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (HmacSha1Provider() == nullptr ||
        !Succeeded(BCryptCreateHash(HmacSha1Provider(), &hash, nullptr, 0,
                                    const_cast<PUCHAR>(key.data()), static_cast<ULONG>(key.size()),
                                    0))) {
        return nullptr;
    }
    return std::make_unique<CngHmacSha1>(hash);
}

std::unique_ptr<Sha256> CreateSha256()
{
    BCRYPT_HASH_HANDLE hash = CngSha256::Open();
    if (hash == nullptr) {
        return nullptr;
    }
    return std::make_unique<CngSha256>(hash);
}

std::vector<std::uint8_t> Pbkdf2HmacSha1(std::string_view password,
                                         std::span<const std::uint8_t> salt, unsigned iterations,
                                         std::size_t length)
{
    std::vector<std::uint8_t> derived(length);
    if (HmacSha1Provider() == nullptr ||
        !Succeeded(BCryptDeriveKeyPBKDF2(
            HmacSha1Provider(), reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
            static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt.data()),
            static_cast<ULONG>(salt.size()), iterations, derived.data(),
            static_cast<ULONG>(derived.size()), 0))) {
        return {};
    }
    return derived;
}

bool FillRandom(std::span<std::uint8_t> buffer)
{
    return Succeeded(BCryptGenRandom(nullptr, buffer.data(), static_cast<ULONG>(buffer.size()),
                                     BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace kestrel
