#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace kestrel {

// The few primitives WinZip's AES scheme and the block maps are built from, taken from the system's
// crypto (nettle on Linux, CNG on Windows) so that bulk data runs on the processor's AES and SHA
// instructions. An object is used by one thread at a time; separate objects may run on separate
// threads.

// AES in the forward direction only: counter modes never decrypt a block.
class AesEncryptor {
public:
    static constexpr std::size_t BlockSize = 16;

    virtual ~AesEncryptor() = default;
    // Encrypts `blocks` independent 16-byte blocks (ECB) from `in` to `out`; the two may be the
    // same buffer but must not otherwise overlap.
    virtual void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) = 0;
};

// A key of 16, 24 or 32 bytes (AES-128, -192, -256). Null for any other length, or when the
// system refuses the key.
std::unique_ptr<AesEncryptor> CreateAesEncryptor(std::span<const std::uint8_t> key);

class HmacSha1 {
public:
    static constexpr std::size_t DigestSize = 20;
    using Digest = std::array<std::uint8_t, DigestSize>;

    virtual ~HmacSha1() = default;
    virtual void Update(const std::uint8_t* data, std::size_t size) = 0;
    // The code of everything given since creation. Call once; the object is spent afterwards.
    virtual Digest Finish() = 0;
};

// Null only when the system refuses to create the hash.
std::unique_ptr<HmacSha1> CreateHmacSha1(std::span<const std::uint8_t> key);

// SHA-256 of a stream of bytes: the block maps of data files use it to tell a changed block from
// an unchanged one, so it must be a strong hash (a 32-bit checksum lets real changes through).
class Sha256 {
public:
    static constexpr std::size_t DigestSize = 32;
    using Digest = std::array<std::uint8_t, DigestSize>;

    virtual ~Sha256() = default;
    virtual void Update(const std::uint8_t* data, std::size_t size) = 0;
    // The hash of everything given since creation or since the last Finish; the object then
    // starts afresh, so one object hashes block after block.
    virtual Digest Finish() = 0;
};

// Null only when the system refuses to create the hash.
std::unique_ptr<Sha256> CreateSha256();

// The first `length` bytes of PBKDF2 with HMAC-SHA1. Empty when the system fails.
std::vector<std::uint8_t> Pbkdf2HmacSha1(std::string_view password,
                                         std::span<const std::uint8_t> salt, unsigned iterations,
                                         std::size_t length);

// Fills the buffer from the system's cryptographic random source. False when it failed; the
// buffer must then not be used as a secret or a salt.
bool FillRandom(std::span<std::uint8_t> buffer);

}  // namespace kestrel
