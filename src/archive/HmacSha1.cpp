#include "archive/HmacSha1.h"

#include <algorithm>

namespace kestrel {
namespace {

constexpr std::uint32_t Rotate(std::uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

std::string_view AsText(const Sha1::Digest& digest)
{
    return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

}  // namespace

Sha1::Sha1() : state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}
{
}

void Sha1::Update(std::string_view data)
{
    length_ += data.size();
    for (char c : data) {
        buffer_[buffered_++] = static_cast<std::uint8_t>(c);
        if (buffered_ == buffer_.size()) {
            Block(buffer_.data());
            buffered_ = 0;
        }
    }
}

Sha1::Digest Sha1::Finish()
{
    const std::uint64_t bits = length_ * 8;
    Update(std::string_view("\x80", 1));
    while (buffered_ != 56) {
        Update(std::string_view("\0", 1));
    }
    for (int shift = 56; shift >= 0; shift -= 8) {
        const char byte = static_cast<char>((bits >> shift) & 0xFF);
        Update(std::string_view(&byte, 1));
    }
    Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    }
    return digest;
}

void Sha1::Block(const std::uint8_t* block)
{
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 |
               static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    }
    for (std::size_t i = 16; i < 80; ++i) {
        w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    auto [a, b, c, d, e] = state_;
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t next = Rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotate(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

HmacSha1::HmacSha1(std::string_view key)
{
    std::string block(64, '\0');
    if (key.size() > block.size()) {
        Sha1 hash;
        hash.Update(key);
        const auto digest = hash.Finish();
        std::copy(digest.begin(), digest.end(), block.begin());
    } else {
        std::copy(key.begin(), key.end(), block.begin());
    }
    std::string innerKey = block;
    outerKey_ = block;
    for (std::size_t i = 0; i < block.size(); ++i) {
        innerKey[i] = static_cast<char>(innerKey[i] ^ 0x36);
        outerKey_[i] = static_cast<char>(outerKey_[i] ^ 0x5C);
    }
    inner_.Update(innerKey);
}

Sha1::Digest HmacSha1::Finish()
{
    const auto innerDigest = inner_.Finish();
    Sha1 outer;
    outer.Update(outerKey_);
    outer.Update(AsText(innerDigest));
    return outer.Finish();
}

std::string Pbkdf2HmacSha1(std::string_view password, std::string_view salt, int iterations,
                           std::size_t length)
{
    std::string derived;
    for (std::uint32_t blockIndex = 1; derived.size() < length; ++blockIndex) {
        HmacSha1 first(password);
        first.Update(salt);
        const char counter[4] = {static_cast<char>(blockIndex >> 24),
                                 static_cast<char>(blockIndex >> 16),
                                 static_cast<char>(blockIndex >> 8), static_cast<char>(blockIndex)};
        first.Update(std::string_view(counter, 4));
        Sha1::Digest u = first.Finish();
        Sha1::Digest block = u;
        for (int i = 1; i < iterations; ++i) {
            HmacSha1 next(password);
            next.Update(AsText(u));
            u = next.Finish();
            for (std::size_t j = 0; j < block.size(); ++j) {
                block[j] ^= u[j];
            }
        }
        derived.append(AsText(block));
    }
    derived.resize(length);
    return derived;
}

}  // namespace kestrel
