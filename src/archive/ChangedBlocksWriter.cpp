#include "archive/ChangedBlocksWriter.h"

#include <algorithm>

#include "archive/LittleEndian.h"
#include "platform/FileContents.h"

namespace kestrel {

std::vector<std::uint8_t> ChangedBlocksHeader(std::uint32_t blockSize, std::uint64_t fileSize)
{
    std::vector<std::uint8_t> out = {'K', 'C', 'B', '1'};
    PutLittleEndian(out, blockSize, 4);
    PutLittleEndian(out, fileSize, 8);
    return out;
}

ChangedBlocksWriter::ChangedBlocksWriter(InputFile& in, const BlockMap& full, OutputFile& out,
                                         const ChangedBlocksProgress& progress, unsigned threads)
    : in_(in),
      full_(full),
      out_(out),
      progress_(progress),
      fileSize_(in.Size()),
      chunkSize_(static_cast<std::size_t>(full.blockSize) *
                 std::max<std::size_t>(1, ReadSize / full.blockSize)),
      wholeHash_(CreateBlockHasher(full.hash))
{
    if (threads == 0) {
        // The caller's thread only reads (the whole-file digest is made from the blocks'), so
        // the hashing takes every processor. More than MostWorkers would hash faster than one
        // thread reads, and only cost memory.
        threads = std::min(MostWorkers, std::max(1u, std::thread::hardware_concurrency()));
    }
    // Enough chunks that the reader never waits while every worker hashes one, and the next
    // is read meanwhile.
    chunks_.resize(threads + 2);
    for (unsigned i = 0; i < threads; ++i) {
        workers_.emplace_back([this] { HashChunks(); });
    }
}

ChangedBlocksWriter::~ChangedBlocksWriter()
{
    StopWorkers();
}

void ChangedBlocksWriter::StopWorkers()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
}

void ChangedBlocksWriter::HashChunks()
{
    const std::unique_ptr<BlockHasher> hash = CreateBlockHasher(full_.hash);
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        Chunk& chunk = *queue_.front();
        queue_.pop_front();
        lock.unlock();
        chunk.digests.clear();
        for (std::size_t at = 0; hash && at < chunk.size; at += full_.blockSize) {
            hash->Update(chunk.bytes.data() + at,
                         std::min<std::size_t>(full_.blockSize, chunk.size - at));
            chunk.digests.push_back(hash->Finish());
        }
        lock.lock();
        chunk.hashed = true;
        hashFailed_ = hashFailed_ || !hash;
        hashed_.notify_all();
    }
}

ChangedBlocksResult ChangedBlocksWriter::Run()
{
    if (!wholeHash_) {
        result_.why = "the system's hash could not be made";
        return result_;
    }
    const auto header = ChangedBlocksHeader(full_.blockSize, fileSize_);
    writeFailed_ = !out_.Write(reinterpret_cast<const char*>(header.data()), header.size());
    result_.map.hash = full_.hash;  // so that the digests compare
    result_.map.blockSize = full_.blockSize;
    bool ended = false;
    while (!ended || chunksTaken_ < chunksRead_) {
        if (!ended && chunksRead_ - chunksTaken_ < chunks_.size()) {
            if (!ReadChunk(ended)) {
                return result_;
            }
        } else if (!TakeOldestChunk()) {
            return result_;
        }
    }
    StopWorkers();
    result_.map.whole = WholeFileDigest(result_.map, *wholeHash_);
    if (result_.map.fileSize != fileSize_) {
        result_.kind = ChangedBlocksResult::Kind::Failed;
        return result_;
    }
    if (writeFailed_ || !out_.Commit()) {
        result_.kind = ChangedBlocksResult::Kind::Failed;
        result_.why = out_.Failure().Describe();
        return result_;
    }
    result_.kind = ChangedBlocksResult::Kind::Written;
    return result_;
}

// Reads the next chunk and hands it to the workers; `ended` once the file has no more. False
// when the run ends here (a read failed, or the progress said stop).
bool ChangedBlocksWriter::ReadChunk(bool& ended)
{
    Chunk& chunk = chunks_[chunksRead_ % chunks_.size()];
    chunk.bytes.resize(chunkSize_);
    const std::int64_t got = ReadFully(in_, chunk.bytes.data(), chunkSize_);
    if (got < 0) {
        result_.why = in_.Failure().Describe();
        return false;
    }
    chunk.size = static_cast<std::size_t>(got);
    ended = chunk.size < chunkSize_;
    if (chunk.size == 0) {
        return true;
    }
    bytesRead_ += chunk.size;
    {
        const std::lock_guard lock(mutex_);
        chunk.hashed = false;
        queue_.push_back(&chunk);
    }
    work_.notify_one();
    ++chunksRead_;
    if (progress_ && !progress_(bytesRead_, fileSize_)) {
        result_.kind = ChangedBlocksResult::Kind::Stopped;
        return false;
    }
    return true;
}

// Waits for the oldest chunk's hashes, compares its blocks with the full's map and writes the
// changed ones. False when the run ends here (too many changed, a failure).
bool ChangedBlocksWriter::TakeOldestChunk()
{
    Chunk& chunk = chunks_[chunksTaken_ % chunks_.size()];
    {
        std::unique_lock lock(mutex_);
        hashed_.wait(lock, [&chunk] { return chunk.hashed; });
        if (hashFailed_) {
            result_.why = "the system's hash could not be made";
            return false;
        }
    }
    ++chunksTaken_;
    BlockMap& map = result_.map;
    for (std::size_t i = 0; i < chunk.digests.size(); ++i) {
        const std::size_t at = i * full_.blockSize;
        const std::size_t bytes = std::min<std::size_t>(full_.blockSize, chunk.size - at);
        const std::uint64_t position = map.blocks.size();
        map.blocks.push_back(chunk.digests[i]);
        map.fileSize += bytes;
        const bool changed = position >= full_.blocks.size() ||
                             full_.blocks[position] != chunk.digests[i] ||
                             full_.BlockBytes(position) != bytes;
        if (!changed) {
            continue;
        }
        result_.changedBytes += bytes;
        if (result_.changedBytes * 2 > fileSize_) {
            result_.kind = ChangedBlocksResult::Kind::TooMany;
            return false;
        }
        writeFailed_ = writeFailed_ ||
                       !out_.Write(reinterpret_cast<const char*>(chunk.bytes.data() + at), bytes);
    }
    return true;
}

}  // namespace kestrel
