#include "archive/MemberDecoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "archive/ParallelDeflate.h"
#include "archive/ParallelInflate.h"
#include "archive/WinZipAes.h"

namespace kestrel {
namespace {

constexpr std::size_t OutputSize = 256 * 1024;
constexpr std::size_t RawBlockSize = 1024 * 1024;
constexpr std::size_t RawBlocks = 3;  // one being read and unwrapped, one inflating, one spare

}  // namespace

struct MemberDecoder::State {
    Member member;
    std::vector<std::string> passwords;
    Consumer consumer;
    // The unwrapping (AES) and the inflating may run on two threads; either may fail.
    std::mutex errorMutex;
    std::string error;
    std::atomic<bool> failed = false;
    bool stopped = false;

    std::uint64_t fed = 0;
    std::size_t headerSize = 0;  // AES salt and verifier
    std::size_t codeSize = 0;    // AES authentication code
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> code;
    std::unique_ptr<WinZipAes> aes;

    std::unique_ptr<ParallelInflate> chunked;  // when the member has a chunk index
    z_stream inflater{};
    bool inflaterReady = false;
    bool streamEnded = false;
    std::vector<std::uint8_t> output;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;

    bool Fail(std::string why)
    {
        std::lock_guard lock(errorMutex);
        if (!failed) {
            error = std::move(why);
            failed = true;
        }
        return false;
    }

    bool Emit(const std::uint8_t* data, std::size_t size)
    {
        return size == 0 ||
               EmitChecked(data, size, static_cast<std::uint32_t>(libdeflate_crc32(0, data, size)));
    }

    // The data with its CRC-32, computed already.
    bool EmitChecked(const std::uint8_t* data, std::size_t size, std::uint32_t dataCrc)
    {
        produced += size;
        if (produced > member.size) {
            return Fail("more data than the member's size");
        }
        crc = static_cast<std::uint32_t>(crc32_combine(crc, dataCrc, static_cast<z_off_t>(size)));
        // In pieces no larger than the one-stream inflater gives, so that progress and a
        // cancel come as often whichever way the member is inflated.
        for (std::size_t at = 0; consumer && at < size; at += OutputSize) {
            const std::size_t piece = std::min(OutputSize, size - at);
            if (!consumer(reinterpret_cast<const char*>(data + at), piece)) {
                stopped = true;
                return Fail("stopped while reading");
            }
        }
        return true;
    }

    // The AES salt and verifier, the data (decrypted in place) and the code, as they come; the
    // plain data within the piece is returned.
    std::span<const std::uint8_t> Unwrap(std::uint8_t* data, std::size_t size)
    {
        if (failed) {
            return {};
        }
        if (size > member.storedSize - fed) {
            Fail("more stored data than the member's size");
            return {};
        }
        std::span<const std::uint8_t> plain;
        const std::uint64_t dataEnd = member.storedSize - codeSize;
        while (size > 0) {
            if (fed < headerSize) {
                const auto take =
                    static_cast<std::size_t>(std::min<std::uint64_t>(size, headerSize - fed));
                header.insert(header.end(), data, data + take);
                fed += take;
                data += take;
                size -= take;
                if (header.size() == headerSize) {
                    bool wrongPassword = true;
                    for (std::size_t i = 0; !aes && wrongPassword && i < passwords.size(); ++i) {
                        aes = WinZipAes::ForReading(passwords[i], member.aesBits, header,
                                                    wrongPassword);
                    }
                    if (!aes) {
                        Fail(wrongPassword ? "Wrong password provided"
                                           : "the system's crypto failed to decrypt");
                        return {};
                    }
                    if (chunked) {
                        chunked->DecryptWith(*aes);
                    }
                }
            } else if (fed < dataEnd) {
                const auto take =
                    static_cast<std::size_t>(std::min<std::uint64_t>(size, dataEnd - fed));
                if (aes && chunked) {
                    aes->Authenticate(data, take);  // decrypted by the inflating threads
                } else if (aes) {
                    aes->Decrypt(data, take);
                }
                plain = {data, take};
                fed += take;
                data += take;
                size -= take;
            } else {
                code.insert(code.end(), data, data + size);
                fed += size;
                size = 0;
            }
        }
        return plain;
    }

    bool Data(const std::uint8_t* data, std::size_t size)
    {
        if (failed) {
            return false;
        }
        if (!member.deflated) {
            return Emit(data, size);
        }
        if (chunked) {
            return chunked->Add(data, size) || Fail(chunked->Error());
        }
        while (size > 0) {
            const auto piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
            inflater.next_in = const_cast<std::uint8_t*>(data);  // zlib only reads it
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
        if (chunked) {
            return chunked->Finish() || Fail(chunked->Error());
        }
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

MemberDecoder::MemberDecoder(const Member& member, std::vector<std::string> passwords,
                             Consumer consumer)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.member = member;
    s.passwords = std::move(passwords);
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
    if (member.deflated && member.chunks != nullptr) {
        s.chunked = std::make_unique<ParallelInflate>(
            *member.chunks, ParallelDeflate::DefaultThreads(),
            [&s](const std::uint8_t* data, std::size_t size, std::uint32_t dataCrc) {
                return s.EmitChecked(data, size, dataCrc);
            });
    } else if (member.deflated) {
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
    const std::span<const std::uint8_t> plain = state_->Unwrap(data, size);
    return !state_->failed && state_->Data(plain.data(), plain.size());
}

// Reading and AES run on a thread of their own, a block ahead of the inflating, which runs
// here because the consumer's events belong to this thread. With a chunk index that thread
// only computes the code, which must run over the bytes in order, and the inflating threads
// decrypt their chunks. A member that fits in one block
// is not worth a thread.
bool MemberDecoder::Run(const Reader& read)
{
    State& s = *state_;
    const auto readBlock = [&](std::vector<std::uint8_t>& buffer, std::uint64_t& left) {
        const std::ptrdiff_t got = read(
            buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size())));
        if (got < 0) {
            s.Fail("cannot read the archive");
            return std::ptrdiff_t{0};
        }
        left -= static_cast<std::uint64_t>(got);
        return got;
    };
    std::uint64_t left = s.member.storedSize;
    if (left <= RawBlockSize) {
        std::vector<std::uint8_t> buffer(RawBlockSize);
        while (left > 0 && !s.failed) {
            const std::ptrdiff_t got = readBlock(buffer, left);
            if (got == 0 || !Feed(buffer.data(), static_cast<std::size_t>(got))) {
                break;
            }
        }
        return Finish();
    }

    struct Block {
        std::vector<std::uint8_t> buffer;
        std::span<const std::uint8_t> plain;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Block> ready;
    std::vector<std::vector<std::uint8_t>> spare(RawBlocks,
                                                 std::vector<std::uint8_t>(RawBlockSize));
    bool readerDone = false;
    bool stop = false;
    std::thread reader([&] {
        for (;;) {
            std::vector<std::uint8_t> buffer;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || !spare.empty(); });
                if (stop) {
                    break;
                }
                buffer = std::move(spare.back());
                spare.pop_back();
            }
            const std::ptrdiff_t got = left == 0 ? 0 : readBlock(buffer, left);
            const auto plain = s.Unwrap(buffer.data(), static_cast<std::size_t>(got));
            if (got == 0 || s.failed) {
                break;
            }
            std::lock_guard lock(mutex);
            ready.push_back({std::move(buffer), plain});
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        readerDone = true;
        changed.notify_all();
    });
    for (;;) {
        Block block;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return readerDone || !ready.empty(); });
            if (ready.empty()) {
                break;
            }
            block = std::move(ready.front());
            ready.pop_front();
        }
        const bool inflated = s.Data(block.plain.data(), block.plain.size());
        std::lock_guard lock(mutex);
        spare.push_back(std::move(block.buffer));
        changed.notify_all();
        if (!inflated) {
            stop = true;
            break;
        }
    }
    reader.join();
    return Finish();
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
