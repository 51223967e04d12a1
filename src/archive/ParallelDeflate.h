#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace kestrel {

// Deflates one stream on several threads: the input is cut into fixed-size chunks that are
// compressed independently (libdeflate) and joined into one raw deflate stream, handed out in
// order, one chunk per piece (ChunkIndex describes the result). Within a chunk, pieces of
// 64 KiB that a quick probe finds incompressible are stored without being deflated, and
// anything that would grow is stored instead, so the output never exceeds the input by more
// than stored blocks' headers. Memory stays bounded whatever the input's size: threads + 3
// chunks at most (compressing, read ahead, waiting, handed out), each twice the chunk size.
//
// The input is pulled through a callback on the thread that calls Next, so the caller decides
// how files are read; nothing else here touches a file.
class ParallelDeflate {
public:
    static constexpr std::size_t DefaultChunkSize = 1024 * 1024;
    struct Settings {
        int level = 6;                             // libdeflate's: 1 (fastest) to 12
        unsigned threads = 0;                      // 0: one per processor
        std::size_t chunkSize = DefaultChunkSize;  // of input per chunk
    };
    // Fills the buffer with the next input bytes and returns how many; fewer than asked (0
    // included) only at the end of the input; -1 when the input cannot be read.
    using Reader = std::function<std::ptrdiff_t(std::uint8_t* buffer, std::size_t size)>;

    ParallelDeflate(Reader reader, Settings settings);
    // Stops the threads; chunks still compressing are finished and dropped.
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // The next piece of the deflate stream: empty after the last one. The piece stays valid,
    // and may be changed in place (encrypted), until the next call. False when the reader
    // failed (or memory ran out); the stream is then unusable.
    bool Next(std::span<std::uint8_t>& piece);

    // Of the input handed out so far; complete once Next has given the empty piece.
    std::uint32_t Crc() const;
    std::uint64_t InputSize() const;
    // The CRC-32 of the input of the chunk the last piece holds.
    std::uint32_t PieceCrc() const;

    // The thread count Settings::threads = 0 stands for.
    static unsigned DefaultThreads();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Whether deflate would gain next to nothing on the piece (already compressed data), decided
// far faster than deflating it: the spread of its byte values, then a look for repeated
// strings at its start. A wrong yes costs the piece's compression, never correctness.
bool LooksIncompressible(std::span<const std::uint8_t> piece);

}  // namespace kestrel
