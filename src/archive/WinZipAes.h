#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Crypto.h"

namespace kestrel {

// The counter-mode keystream of one member's encrypted data at any offset, so that its pieces can
// be decrypted out of order, on several threads with an object each. It knows nothing of the
// authentication code: whoever decrypts with it must have the encrypted bytes authenticated.
class WinZipAesStream {
public:
    explicit WinZipAesStream(std::unique_ptr<AesEncryptor> cipher);
    // XORs the keystream of the encrypted data's bytes from `offset` on into `data`, in place.
    void Apply(std::uint64_t offset, std::uint8_t* data, std::size_t size);

private:
    void Generate(std::uint64_t firstBlock);

    std::unique_ptr<AesEncryptor> cipher_;
    std::vector<std::uint8_t> keystream_;
    std::uint64_t start_ = 0;  // the offset keystream_ begins at
};

// WinZip's AES scheme (AE-1/AE-2), as 7-Zip and WinZip write and read it: a member's stored
// data is a salt, a two-byte password verifier, the deflated (or stored) data encrypted with
// AES in counter mode, and the first 10 bytes of an HMAC-SHA1 over the encrypted data. Keys
// come from PBKDF2-HMAC-SHA1 of the password and the salt, 1000 rounds.
//
// One object encrypts or decrypts one member's data, in pieces of any size, in order.
class WinZipAes {
public:
    static constexpr std::size_t VerifierSize = 2;
    static constexpr std::size_t CodeSize = 10;
    using Code = std::array<std::uint8_t, CodeSize>;

    // The salt's length for a key of 128, 192 or 256 bits: half the key's.
    static constexpr std::size_t SaltSize(int keyBits)
    {
        return static_cast<std::size_t>(keyBits) / 16;
    }

    // Keys for a new member: a fresh random salt. Null when the system's crypto fails.
    static std::unique_ptr<WinZipAes> ForWriting(std::string_view password, int keyBits);
    // Keys for reading a member whose stored data starts with `header` (salt and verifier).
    // Null when the verifier does not match the password (a wrong password, apart from one
    // in 65536 that only the code catches) or the system's crypto fails; `wrongPassword`
    // tells the two apart.
    static std::unique_ptr<WinZipAes> ForReading(std::string_view password, int keyBits,
                                                 std::span<const std::uint8_t> header,
                                                 bool& wrongPassword);
    ~WinZipAes();
    WinZipAes(const WinZipAes&) = delete;
    WinZipAes& operator=(const WinZipAes&) = delete;

    // Salt and verifier, which precede the encrypted data.
    std::vector<std::uint8_t> Header() const;
    // In place; the code covers the encrypted bytes either way.
    void Encrypt(std::uint8_t* data, std::size_t size);
    void Decrypt(std::uint8_t* data, std::size_t size);
    // For a reader that decrypts elsewhere (NewStream): the next encrypted bytes, in order, for
    // the code only. Not to be mixed with Decrypt on one object.
    void Authenticate(const std::uint8_t* data, std::size_t size);
    // A keystream of the member's encryption key for another thread. Null when the system's
    // crypto fails.
    std::unique_ptr<WinZipAesStream> NewStream() const;
    // After the last piece; call once.
    Code FinishCode();

private:
    WinZipAes(std::vector<std::uint8_t> key, std::unique_ptr<AesEncryptor> cipher,
              std::unique_ptr<HmacSha1> mac, std::vector<std::uint8_t> header);

    std::vector<std::uint8_t> key_;  // for the streams of other threads
    WinZipAesStream stream_;
    std::uint64_t offset_ = 0;  // of the next byte to encrypt or decrypt
    std::unique_ptr<HmacSha1> mac_;
    std::vector<std::uint8_t> header_;
};

// Computes a member's code on a thread of its own, over copies of the encrypted bytes, while the
// caller's thread encrypts the next ones with a stream: the code runs over the bytes in order
// and costs twice the encryption. At most a few pieces wait (memory stays small); without a
// thread to spare the code is computed on the caller's.
class BackgroundAuthenticator {
public:
    // `aes` is authenticated on the thread until Finish; it must outlive this object.
    explicit BackgroundAuthenticator(WinZipAes& aes);
    ~BackgroundAuthenticator();
    BackgroundAuthenticator(const BackgroundAuthenticator&) = delete;
    BackgroundAuthenticator& operator=(const BackgroundAuthenticator&) = delete;

    // The next encrypted bytes, in order; copied, so the caller may reuse its buffer at once.
    void Add(const std::uint8_t* data, std::size_t size);
    // Waits for every byte given and returns the code; call once.
    WinZipAes::Code Finish();

private:
    void Run();
    void Stop();

    static constexpr std::size_t MaxWaiting = 3;
    WinZipAes& aes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<std::uint8_t>> waiting_;
    std::vector<std::vector<std::uint8_t>> spare_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace kestrel
