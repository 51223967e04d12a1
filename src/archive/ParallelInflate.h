#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/ChunkIndex.h"
#include "archive/WinZipAes.h"

namespace kestrel {

// Inflates a deflate stream whose chunks the index describes on several threads (libdeflate),
// and hands out the chunks' data in order on the thread that feeds it. Each chunk must inflate
// on its own, use exactly its bytes of the stream, give exactly its input size and match its
// CRC-32; anything else fails the whole, since the index or the data is damaged. Memory stays
// bounded: threads + 2 chunks in flight, each its stream part and its data.
class ParallelInflate {
public:
    // The next chunk's data and its CRC-32; false stops the inflating.
    using Output =
        std::function<bool(const std::uint8_t* data, std::size_t size, std::uint32_t crc)>;

    ParallelInflate(const ChunkIndex& index, unsigned threads, Output output);
    // Stops the threads; chunks still inflating are finished and dropped.
    ~ParallelInflate();
    ParallelInflate(const ParallelInflate&) = delete;
    ParallelInflate& operator=(const ParallelInflate&) = delete;

    // The stream comes encrypted: each chunk's part is decrypted by the thread that inflates it.
    // The bytes' authentication code is the caller's to check. Before the first Add; `aes`
    // must outlive this object.
    void DecryptWith(const WinZipAes& aes);
    // The next bytes of the stream, in order, pieces of any size. False once anything failed:
    // damaged data, more bytes than the index holds, or the output said stop.
    bool Add(const std::uint8_t* data, std::size_t size);
    // After the last bytes: hands out what is left; true only when every chunk came whole.
    bool Finish();
    // Why it failed, in words.
    const std::string& Error() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrel
