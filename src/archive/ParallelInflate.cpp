#include "archive/ParallelInflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

// What makes a chunk that ends after a non-final block a complete stream: an empty final
// stored block (the chunk ends on a byte boundary).
constexpr std::uint8_t FinalEmptyBlock[] = {0x01, 0x00, 0x00, 0xFF, 0xFF};

struct Job {
    std::size_t position = 0;
    std::uint64_t offset = 0;  // of its part in the stream
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;
    std::uint32_t crc = 0;
    bool done = false;
    std::string error;
};

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* decompressor) const
    {
        libdeflate_free_decompressor(decompressor);
    }
};
using Decompressor = std::unique_ptr<libdeflate_decompressor, DecompressorDeleter>;

// Inflates the chunk on its own, decrypted first with a stream; its part must give exactly its
// input.
void Inflate(libdeflate_decompressor* decompressor, WinZipAesStream* stream,
             const ChunkIndex& index, Job& job)
{
    if (decompressor == nullptr) {
        job.error = "out of memory";
        return;
    }
    if (stream != nullptr) {
        stream->Apply(job.offset, job.input.data(), job.input.size());
    }
    if (job.position + 1 < index.chunks.size()) {
        job.input.insert(job.input.end(), std::begin(FinalEmptyBlock), std::end(FinalEmptyBlock));
    }
    job.output.resize(index.InputSize(job.position));
    std::size_t used = 0;
    std::size_t produced = 0;
    const libdeflate_result result =
        libdeflate_deflate_decompress_ex(decompressor, job.input.data(), job.input.size(),
                                         job.output.data(), job.output.size(), &used, &produced);
    if (result != LIBDEFLATE_SUCCESS || used != job.input.size() || produced != job.output.size()) {
        job.error = "damaged data (chunk " + std::to_string(job.position + 1) +
                    " does not inflate to its size)";
        return;
    }
    job.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, job.output.data(), job.output.size()));
    if (job.crc != index.chunks[job.position].crc) {
        job.error = "CRC error in chunk " + std::to_string(job.position + 1);
    }
}

}  // namespace

struct ParallelInflate::State {
    State(const ChunkIndex& chunks, unsigned threadCount, Output out)
        : index(chunks),
          threads(std::max(1u, threadCount)),
          maxInFlight(threads + 2),
          output(std::move(out))
    {
    }

    void Work()
    {
        Decompressor decompressor(libdeflate_alloc_decompressor());
        std::unique_ptr<WinZipAesStream> stream = aes != nullptr ? aes->NewStream() : nullptr;
        std::unique_lock lock(mutex);
        for (;;) {
            workReady.wait(lock, [&] { return stopping || !queued.empty(); });
            if (stopping) {
                return;
            }
            Job* job = queued.front();
            queued.pop_front();
            lock.unlock();
            try {
                if (aes != nullptr && stream == nullptr) {
                    job->error = "the system's crypto failed to decrypt";
                } else {
                    Inflate(decompressor.get(), stream.get(), index, *job);
                }
            } catch (const std::bad_alloc&) {
                job->error = "out of memory";
            }
            lock.lock();
            job->done = true;
            jobDone.notify_all();
        }
    }

    bool Fail(std::string why)
    {
        if (error.empty()) {
            error = std::move(why);
        }
        return false;
    }

    void Submit()
    {
        std::lock_guard lock(mutex);
        queued.push_back(filling.get());
        inFlight.push_back(std::move(filling));
        if (workers.size() < threads && workers.size() < inFlight.size()) {
            workers.emplace_back([this] { Work(); });
        }
        workReady.notify_one();
    }

    // Hands out the oldest chunk in flight, waiting for it when `wait`; false on failure.
    bool HandOut(bool wait, bool& handed)
    {
        handed = false;
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex);
            if (inFlight.empty() || (!wait && !inFlight.front()->done)) {
                return true;
            }
            jobDone.wait(lock, [&] { return inFlight.front()->done; });
            job = std::move(inFlight.front());
            inFlight.pop_front();
        }
        handed = true;
        if (!job->error.empty()) {
            return Fail(job->error);
        }
        if (!output(job->output.data(), job->output.size(), job->crc)) {
            return Fail("stopped while reading");
        }
        job->input.clear();
        spare.push_back(std::move(job));
        return true;
    }

    std::unique_ptr<Job> TakeSpare()
    {
        std::unique_ptr<Job> job;
        if (spare.empty()) {
            job = std::make_unique<Job>();
        } else {
            job = std::move(spare.back());
            spare.pop_back();
        }
        job->done = false;
        job->error.clear();
        job->input.clear();
        job->position = next;
        job->offset = nextOffset;
        job->input.reserve(index.chunks[next].length + sizeof FinalEmptyBlock);
        return job;
    }

    const ChunkIndex& index;
    const unsigned threads;
    const std::size_t maxInFlight;
    Output output;
    std::string error;
    const WinZipAes* aes = nullptr;
    std::size_t next = 0;          // the chunk being filled
    std::uint64_t nextOffset = 0;  // where its part starts in the stream
    std::unique_ptr<Job> filling;
    std::vector<std::unique_ptr<Job>> spare;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable jobDone;
    bool stopping = false;
    std::deque<Job*> queued;                    // waiting for a worker
    std::deque<std::unique_ptr<Job>> inFlight;  // in stream order; guarded by `mutex`
};

ParallelInflate::ParallelInflate(const ChunkIndex& index, unsigned threads, Output output)
    : state_(std::make_unique<State>(index, threads, std::move(output)))
{
}

ParallelInflate::~ParallelInflate()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->workReady.notify_all();
    for (std::thread& worker : state_->workers) {
        worker.join();
    }
}

void ParallelInflate::DecryptWith(const WinZipAes& aes)
{
    state_->aes = &aes;
}

bool ParallelInflate::Add(const std::uint8_t* data, std::size_t size)
{
    State& s = *state_;
    if (!s.error.empty()) {
        return false;
    }
    try {
        while (size > 0) {
            if (s.next >= s.index.chunks.size()) {
                return s.Fail("more data than the chunk index holds");
            }
            if (!s.filling) {
                s.filling = s.TakeSpare();
            }
            const std::size_t length = s.index.chunks[s.next].length;
            const std::size_t take = std::min(size, length - s.filling->input.size());
            s.filling->input.insert(s.filling->input.end(), data, data + take);
            data += take;
            size -= take;
            if (s.filling->input.size() < length) {
                continue;
            }
            ++s.next;
            s.nextOffset += length;
            s.Submit();
            bool handed = true;
            while (handed) {
                std::size_t inFlight = 0;
                {
                    std::lock_guard lock(s.mutex);
                    inFlight = s.inFlight.size();
                }
                if (!s.HandOut(inFlight >= s.maxInFlight, handed)) {
                    return false;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return s.Fail("out of memory");
    }
    return true;
}

bool ParallelInflate::Finish()
{
    State& s = *state_;
    if (!s.error.empty()) {
        return false;
    }
    if (s.next != s.index.chunks.size()) {
        return s.Fail("truncated data");
    }
    bool handed = true;
    while (handed) {
        if (!s.HandOut(true, handed)) {
            return false;
        }
    }
    return true;
}

const std::string& ParallelInflate::Error() const
{
    return state_->error;
}

}  // namespace kestrel
