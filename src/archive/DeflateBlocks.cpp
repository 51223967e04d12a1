#include "archive/DeflateBlocks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrel {
namespace {

constexpr int MaxCodeBits = 15;
// Codes up to this long are found by one table lookup; longer ones (rare by construction) by
// walking the canonical code a bit at a time.
constexpr int TableBits = 10;
constexpr std::size_t StoredBlockMax = 65535;

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}

    // The next `count` (at most 56) bits, first bit lowest; zeros past the end, which Overrun
    // reports once consumed.
    std::uint64_t Peek(int count) const
    {
        const std::size_t byte = position_ >> 3;
        std::uint64_t word = 0;
        if (byte + 8 <= data_.size()) {
            std::memcpy(&word, data_.data() + byte, 8);  // little-endian targets only
        } else {
            for (std::size_t i = 0; byte + i < data_.size() && i < 8; ++i) {
                word |= static_cast<std::uint64_t>(data_[byte + i]) << (8 * i);
            }
        }
        word >>= position_ & 7;
        return count == 64 ? word : word & ((std::uint64_t{1} << count) - 1);
    }
    void Skip(std::size_t count) { position_ += count; }
    std::uint64_t Take(int count)
    {
        const std::uint64_t bits = Peek(count);
        position_ += static_cast<std::size_t>(count);
        return bits;
    }
    void AlignToByte() { position_ = (position_ + 7) & ~std::size_t{7}; }
    std::size_t Position() const { return position_; }
    bool Overrun() const { return position_ > data_.size() * 8; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
};

// A canonical Huffman code as deflate defines it, decoded a table lookup at a time.
class HuffmanCode {
public:
    // False when the lengths over-subscribe the code. An incomplete code is accepted (deflate
    // allows one for distances); its missing codes fail when met.
    bool Build(const std::uint8_t* lengths, std::size_t count)
    {
        counts_.fill(0);
        for (std::size_t i = 0; i < count; ++i) {
            ++counts_[lengths[i]];
        }
        counts_[0] = 0;
        int left = 1;
        for (int length = 1; length <= MaxCodeBits; ++length) {
            left = 2 * left - counts_[length];
            if (left < 0) {
                return false;
            }
        }
        std::array<std::uint16_t, MaxCodeBits + 2> offsets{};
        for (int length = 1; length <= MaxCodeBits; ++length) {
            offsets[length + 1] = static_cast<std::uint16_t>(offsets[length] + counts_[length]);
        }
        for (std::size_t symbol = 0; symbol < count; ++symbol) {
            if (lengths[symbol] != 0) {
                symbols_[offsets[lengths[symbol]]++] = static_cast<std::uint16_t>(symbol);
            }
        }
        // Fill the table: codes are assigned in order of length, then symbol, and sent
        // first bit first, so a table index is the code bit-reversed.
        table_.fill(0);
        std::uint32_t code = 0;
        std::size_t index = 0;
        for (int length = 1; length <= MaxCodeBits; ++length) {
            for (int n = 0; n < counts_[length]; ++n, ++code, ++index) {
                if (length > TableBits) {
                    continue;
                }
                const std::uint32_t reversed = Reverse(code, length);
                const auto entry = static_cast<std::uint16_t>(symbols_[index] << 4 | length);
                for (std::uint32_t fill = reversed; fill < table_.size(); fill += 1u << length) {
                    table_[fill] = entry;
                }
            }
            code <<= 1;
        }
        return true;
    }

    // The next symbol, or -1 for a code the lengths do not define.
    int Decode(BitReader& bits) const
    {
        const std::uint16_t entry = table_[bits.Peek(TableBits)];
        if (entry != 0) {
            bits.Skip(entry & 0xF);
            return entry >> 4;
        }
        // Long or missing: walk the canonical code bit by bit (as zlib's puff does).
        const std::uint64_t peeked = bits.Peek(MaxCodeBits);
        int code = 0;
        int first = 0;
        int index = 0;
        for (int length = 1; length <= MaxCodeBits; ++length) {
            code |= static_cast<int>((peeked >> (length - 1)) & 1);
            const int count = counts_[length];
            if (code - count < first) {
                bits.Skip(static_cast<std::size_t>(length));
                return symbols_[static_cast<std::size_t>(index + (code - first))];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    static std::uint32_t Reverse(std::uint32_t code, int length)
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) {
            reversed = reversed << 1 | ((code >> i) & 1);
        }
        return reversed;
    }

    std::array<int, MaxCodeBits + 1> counts_{};
    std::array<std::uint16_t, 288> symbols_{};
    std::array<std::uint16_t, std::size_t{1} << TableBits> table_{};
};

constexpr std::array<std::uint8_t, 29> LengthExtraBits{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Skips a block's symbols up to its end-of-block code.
bool SkipSymbols(BitReader& bits, const HuffmanCode& literals, const HuffmanCode& distances)
{
    for (;;) {
        const int symbol = literals.Decode(bits);
        if (symbol < 256) {
            if (symbol < 0 || bits.Overrun()) {
                return false;
            }
            continue;
        }
        if (symbol == 256) {
            return !bits.Overrun();
        }
        if (symbol > 285) {
            return false;
        }
        bits.Skip(LengthExtraBits[static_cast<std::size_t>(symbol - 257)]);
        const int distance = distances.Decode(bits);
        if (distance < 0 || distance > 29 || bits.Overrun()) {
            return false;
        }
        bits.Skip(static_cast<std::size_t>(distance < 4 ? 0 : distance / 2 - 1));
    }
}

const HuffmanCode* FixedCodes(bool distances)
{
    static const std::array<HuffmanCode, 2> codes = [] {
        std::array<HuffmanCode, 2> built;
        std::array<std::uint8_t, 288> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        built[0].Build(lengths.data(), lengths.size());
        lengths.fill(5);
        built[1].Build(lengths.data(), 30);
        return built;
    }();
    return &codes[distances ? 1 : 0];
}

bool ReadDynamicCodes(BitReader& bits, HuffmanCode& literals, HuffmanCode& distances)
{
    static constexpr std::array<std::uint8_t, 19> Order{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
    const auto literalCount = static_cast<std::size_t>(bits.Take(5) + 257);
    const auto distanceCount = static_cast<std::size_t>(bits.Take(5) + 1);
    const auto lengthCodeCount = static_cast<std::size_t>(bits.Take(4) + 4);
    if (literalCount > 286 || distanceCount > 30) {
        return false;
    }
    std::array<std::uint8_t, 19> lengthCodeLengths{};
    for (std::size_t i = 0; i < lengthCodeCount; ++i) {
        lengthCodeLengths[Order[i]] = static_cast<std::uint8_t>(bits.Take(3));
    }
    HuffmanCode lengthCode;
    if (!lengthCode.Build(lengthCodeLengths.data(), lengthCodeLengths.size())) {
        return false;
    }
    std::array<std::uint8_t, 286 + 30> lengths{};
    std::size_t filled = 0;
    while (filled < literalCount + distanceCount) {
        const int symbol = lengthCode.Decode(bits);
        if (symbol < 0 || bits.Overrun()) {
            return false;
        }
        if (symbol < 16) {
            lengths[filled++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t value = 0;
        std::size_t repeat = 0;
        if (symbol == 16) {
            if (filled == 0) {
                return false;
            }
            value = lengths[filled - 1];
            repeat = 3 + bits.Take(2);
        } else if (symbol == 17) {
            repeat = 3 + bits.Take(3);
        } else {
            repeat = 11 + bits.Take(7);
        }
        if (filled + repeat > literalCount + distanceCount) {
            return false;
        }
        std::fill_n(lengths.begin() + static_cast<std::ptrdiff_t>(filled), repeat, value);
        filled += repeat;
    }
    return lengths[256] != 0 && literals.Build(lengths.data(), literalCount) &&
           distances.Build(lengths.data() + literalCount, distanceCount);
}

}  // namespace

std::optional<DeflateStreamShape> WalkDeflateBlocks(std::span<const std::uint8_t> stream)
{
    BitReader bits(stream);
    HuffmanCode literals;
    HuffmanCode distances;
    for (;;) {
        const std::size_t headerBit = bits.Position();
        const bool final = bits.Take(1) != 0;
        const auto type = bits.Take(2);
        bool ok = false;
        if (type == 0) {
            bits.AlignToByte();
            const auto length = bits.Take(16);
            const auto complement = bits.Take(16);
            ok = (length ^ complement) == 0xFFFF && !bits.Overrun();
            bits.Skip(static_cast<std::size_t>(length) * 8);
        } else if (type == 1) {
            ok = SkipSymbols(bits, *FixedCodes(false), *FixedCodes(true));
        } else if (type == 2) {
            ok = ReadDynamicCodes(bits, literals, distances) &&
                 SkipSymbols(bits, literals, distances);
        }
        if (!ok || bits.Overrun()) {
            return std::nullopt;
        }
        if (final) {
            return DeflateStreamShape{headerBit, bits.Position()};
        }
    }
}

bool MakeDeflateStreamContinuable(std::vector<std::uint8_t>& stream)
{
    const std::optional<DeflateStreamShape> shape = WalkDeflateBlocks(stream);
    if (!shape) {
        return false;
    }
    stream[shape->finalBlockBit / 8] &=
        static_cast<std::uint8_t>(~(1u << (shape->finalBlockBit % 8)));
    if (shape->endBit % 8 == 0) {
        stream.resize(shape->endBit / 8);
        return true;
    }
    // An empty stored block: three header bits, all zero, padding to the byte, then a length
    // of 0 and its complement.
    const std::size_t headerEnd = shape->endBit + 3;
    stream.resize((headerEnd + 7) / 8, 0);
    const std::size_t lastByte = shape->endBit / 8;
    stream[lastByte] &= static_cast<std::uint8_t>((1u << (shape->endBit % 8)) - 1);
    std::fill(stream.begin() + static_cast<std::ptrdiff_t>(lastByte) + 1, stream.end(), 0);
    stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

void AppendStoredBlocks(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data,
                        bool final)
{
    do {
        const std::size_t length = std::min(data.size(), StoredBlockMax);
        const bool last = final && length == data.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
        data = data.subspan(length);
    } while (!data.empty());
}

std::size_t StoredBlocksSize(std::size_t dataSize)
{
    return dataSize +
           5 * std::max<std::size_t>(1, (dataSize + StoredBlockMax - 1) / StoredBlockMax);
}

}  // namespace kestrel
