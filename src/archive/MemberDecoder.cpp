#include "archive/MemberDecoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "archive/WinZipAes.h"

namespace kestrel {
namespace {

constexpr std::size_t OutputSize = 256 * 1024;

}  // namespace

struct MemberDecoder::State {
    Member member;
    std::string password;
    Consumer consumer;
    std::string error;
    bool failed = false;
    bool stopped = false;

    std::uint64_t fed = 0;
    std::size_t headerSize = 0;  // AES salt and verifier
    std::size_t codeSize = 0;    // AES authentication code
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> code;
    std::unique_ptr<WinZipAes> aes;

    z_stream inflater{};
    bool inflaterReady = false;
    bool streamEnded = false;
    std::vector<std::uint8_t> output;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;

    bool Fail(std::string why)
    {
        if (!failed) {
            error = std::move(why);
            failed = true;
        }
        return false;
    }

    bool Emit(const std::uint8_t* data, std::size_t size)
    {
        if (size == 0) {
            return true;
        }
        produced += size;
        if (produced > member.size) {
            return Fail("more data than the member's size");
        }
        crc = libdeflate_crc32(crc, data, size);
        if (consumer && !consumer(reinterpret_cast<const char*>(data), size)) {
            stopped = true;
            return Fail("stopped while reading");
        }
        return true;
    }

    bool Data(std::uint8_t* data, std::size_t size)
    {
        if (aes) {
            aes->Decrypt(data, size);
        }
        if (!member.deflated) {
            return Emit(data, size);
        }
        while (size > 0) {
            const auto piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
            inflater.next_in = data;
            inflater.avail_in = piece;
            while (inflater.avail_in > 0 && !streamEnded) {
                inflater.next_out = output.data();
                inflater.avail_out = static_cast<uInt>(output.size());
                const int status = inflate(&inflater, Z_NO_FLUSH);
                if (status != Z_OK && status != Z_STREAM_END) {
                    return Fail(std::string("damaged data (") +
                                (inflater.msg != nullptr ? inflater.msg : "inflate failed") + ")");
                }
                streamEnded = status == Z_STREAM_END;
                if (!Emit(output.data(), output.size() - inflater.avail_out)) {
                    return false;
                }
            }
            data += piece;
            size -= piece;
        }
        return true;
    }

    // The inflater may hold output back until it sees more input; at the end it must give all.
    bool DrainInflater()
    {
        while (member.deflated && !streamEnded) {
            inflater.next_in = nullptr;
            inflater.avail_in = 0;
            inflater.next_out = output.data();
            inflater.avail_out = static_cast<uInt>(output.size());
            const int status = inflate(&inflater, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END) {
                return Fail("truncated or damaged data");
            }
            streamEnded = status == Z_STREAM_END;
            if (!Emit(output.data(), output.size() - inflater.avail_out)) {
                return false;
            }
            if (status == Z_OK && inflater.avail_out != 0) {
                return Fail("truncated data");
            }
        }
        return true;
    }
};

MemberDecoder::MemberDecoder(const Member& member, std::string password, Consumer consumer)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.member = member;
    s.password = std::move(password);
    s.consumer = std::move(consumer);
    if (member.aesBits != 0) {
        s.headerSize = WinZipAes::SaltSize(member.aesBits) + WinZipAes::VerifierSize;
        s.codeSize = WinZipAes::CodeSize;
        if (member.aesBits != 128 && member.aesBits != 192 && member.aesBits != 256) {
            s.Fail("unknown AES key size");
        } else if (member.storedSize < s.headerSize + s.codeSize) {
            s.Fail("truncated encrypted data");
        }
    }
    if (member.deflated) {
        if (inflateInit2(&s.inflater, -15) != Z_OK) {
            s.Fail("out of memory");
        }
        s.inflaterReady = true;
        s.output.resize(OutputSize);
    }
}

MemberDecoder::~MemberDecoder()
{
    if (state_->inflaterReady) {
        inflateEnd(&state_->inflater);
    }
}

bool MemberDecoder::Feed(std::uint8_t* data, std::size_t size)
{
    State& s = *state_;
    if (s.failed) {
        return false;
    }
    if (size > s.member.storedSize - s.fed) {
        return s.Fail("more stored data than the member's size");
    }
    const std::uint64_t dataEnd = s.member.storedSize - s.codeSize;
    while (size > 0) {
        if (s.fed < s.headerSize) {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(size, s.headerSize - s.fed));
            s.header.insert(s.header.end(), data, data + take);
            s.fed += take;
            data += take;
            size -= take;
            if (s.header.size() == s.headerSize) {
                bool wrongPassword = false;
                s.aes =
                    WinZipAes::ForReading(s.password, s.member.aesBits, s.header, wrongPassword);
                if (!s.aes) {
                    return s.Fail(wrongPassword ? "Wrong password provided"
                                                : "the system's crypto failed to decrypt");
                }
            }
        } else if (s.fed < dataEnd) {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(size, dataEnd - s.fed));
            if (!s.Data(data, take)) {
                return false;
            }
            s.fed += take;
            data += take;
            size -= take;
        } else {
            s.code.insert(s.code.end(), data, data + size);
            s.fed += size;
            size = 0;
        }
    }
    return true;
}

bool MemberDecoder::Finish()
{
    State& s = *state_;
    if (s.failed) {
        return false;
    }
    if (s.fed != s.member.storedSize) {
        return s.Fail(s.aes ? "truncated encrypted data" : "truncated data");
    }
    if (s.aes) {
        const WinZipAes::Code expected = s.aes->FinishCode();
        if (!std::equal(expected.begin(), expected.end(), s.code.begin(), s.code.end())) {
            return s.Fail("authentication failed (damaged data or wrong password)");
        }
    }
    if (!s.DrainInflater()) {
        return false;
    }
    if (s.produced != s.member.size) {
        return s.Fail("the data's size is not the member's");
    }
    if (s.member.checkCrc && s.crc != s.member.crc) {
        return s.Fail("CRC error");
    }
    return true;
}

const std::string& MemberDecoder::Error() const
{
    return state_->error;
}

bool MemberDecoder::Stopped() const
{
    return state_->stopped;
}

}  // namespace kestrel
