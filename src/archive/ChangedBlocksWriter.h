#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/BlockMap.h"
#include "archive/ChangedBlocks.h"
#include "platform/FileSystem.h"

namespace kestrel {

// The KCB1 header of a changed-blocks member (see ChangedBlocks.h).
std::vector<std::uint8_t> ChangedBlocksHeader(std::uint32_t blockSize, std::uint64_t fileSize);

// Writes the changed blocks of one file (see WriteChangedBlocks). The file is read in chunks of
// many blocks on the caller's thread; worker threads hash each chunk's blocks meanwhile, and the
// caller takes the chunks back in order to compare their blocks with the full's map and write
// the changed ones. The whole-file digest is made from the blocks' digests at the end.
// At most ChunksInFlight chunks exist at once, so the memory used does not grow with the file.
class ChangedBlocksWriter {
public:
    // Bytes read at once: whole blocks, at least this many.
    static constexpr std::size_t ReadSize = 1024 * 1024;
    // Workers chosen when the caller leaves it to the processor count.
    static constexpr unsigned MostWorkers = 4;

    // `threads`: the workers that hash blocks; 0 for one per processor (MostWorkers at most).
    ChangedBlocksWriter(InputFile& in, const BlockMap& full, OutputFile& out,
                        const ChangedBlocksProgress& progress, unsigned threads = 0);
    ~ChangedBlocksWriter();
    ChangedBlocksWriter(const ChangedBlocksWriter&) = delete;
    ChangedBlocksWriter& operator=(const ChangedBlocksWriter&) = delete;

    // Written with the new map, TooMany, Stopped or Failed (`why` empty when the file's size
    // changed while it was read). Call once.
    ChangedBlocksResult Run();

private:
    struct Chunk {
        std::vector<std::uint8_t> bytes;
        std::size_t size = 0;
        std::vector<BlockMap::Digest> digests;
        bool hashed = false;
    };

    bool ReadChunk(bool& ended);
    bool TakeOldestChunk();
    void HashChunks();
    void StopWorkers();

    InputFile& in_;
    const BlockMap& full_;
    OutputFile& out_;
    const ChangedBlocksProgress& progress_;
    std::uint64_t fileSize_;
    std::size_t chunkSize_;
    std::unique_ptr<BlockHasher> wholeHash_;
    ChangedBlocksResult result_;
    bool writeFailed_ = false;

    std::vector<Chunk> chunks_;  // a ring: chunk number n lives at n % size
    std::uint64_t bytesRead_ = 0;
    std::uint64_t chunksRead_ = 0;
    std::uint64_t chunksTaken_ = 0;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable hashed_;
    std::deque<Chunk*> queue_;
    bool stopping_ = false;
    bool hashFailed_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace kestrel
