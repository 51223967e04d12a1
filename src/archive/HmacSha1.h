#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// SHA-1, HMAC-SHA1 and PBKDF2-HMAC-SHA1: enough of WinZip's AES scheme to authenticate a
// member whose data libzip can hand over only raw (see ZipComponent::ReadMember).
class Sha1 {
public:
    using Digest = std::array<std::uint8_t, 20>;

    Sha1();
    void Update(std::string_view data);
    Digest Finish();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 5> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

class HmacSha1 {
public:
    explicit HmacSha1(std::string_view key);
    void Update(std::string_view data) { inner_.Update(data); }
    Sha1::Digest Finish();

private:
    Sha1 inner_;
    std::string outerKey_;
};

// The first `length` bytes of PBKDF2 with HMAC-SHA1.
std::string Pbkdf2HmacSha1(std::string_view password, std::string_view salt, int iterations,
                           std::size_t length);

}  // namespace kestrel
