#include "archive/ParallelDeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/DeflateBlocks.h"

namespace kestrel {
namespace {

// Pieces of the input that are probed, and stored when they look incompressible.
constexpr std::size_t ProbePieceSize = 64 * 1024;
// Bits per byte above which a piece's byte values leave deflate's Huffman codes nothing to
// gain (less than 1%).
constexpr double IncompressibleEntropy = 7.92;

struct Chunk {
    std::vector<std::uint8_t> input;
    std::size_t inputSize = 0;
    std::vector<std::uint8_t> output;
    std::uint32_t crc = 0;
    bool last = false;
    bool done = false;
    bool failed = false;  // out of memory
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const
    {
        libdeflate_free_compressor(compressor);
    }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

// Deflates the data as a stream of its own, continuable unless `final`; false when that would
// not be smaller than storing it.
bool AppendDeflated(libdeflate_compressor* compressor, std::span<const std::uint8_t> data,
                    bool final, std::vector<std::uint8_t>& out)
{
    if (compressor == nullptr) {
        return false;
    }
    const std::size_t storedSize = StoredBlocksSize(data.size());
    std::vector<std::uint8_t> stream(storedSize);
    const std::size_t size = libdeflate_deflate_compress(compressor, data.data(), data.size(),
                                                         stream.data(), storedSize);
    stream.resize(size);
    if (size == 0 || !(final || MakeDeflateStreamContinuable(stream)) ||
        stream.size() > storedSize) {
        return false;
    }
    out.insert(out.end(), stream.begin(), stream.end());
    return true;
}

// Deflates the chunk as a stream of its own that continues into the next chunk's. Pieces
// that would not compress are stored without trying, and runs of the others are deflated;
// stored blocks take the place of anything that fails or would be larger than them.
void Compress(libdeflate_compressor* compressor, Chunk& chunk)
{
    const std::span<const std::uint8_t> input(chunk.input.data(), chunk.inputSize);
    chunk.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, input.data(), input.size()));
    chunk.output.clear();
    chunk.output.reserve(StoredBlocksSize(input.size()));
    std::vector<bool> incompressible;
    for (std::size_t at = 0; at < input.size(); at += ProbePieceSize) {
        incompressible.push_back(
            LooksIncompressible(input.subspan(at, std::min(ProbePieceSize, input.size() - at))));
    }
    if (incompressible.empty()) {  // an empty file: one final block
        AppendStoredBlocks(chunk.output, input, chunk.last);
        return;
    }
    for (std::size_t first = 0; first < incompressible.size();) {
        std::size_t next = first + 1;
        while (next < incompressible.size() && incompressible[next] == incompressible[first]) {
            ++next;
        }
        const std::size_t start = first * ProbePieceSize;
        const auto run =
            input.subspan(start, std::min(next * ProbePieceSize, input.size()) - start);
        const bool final = chunk.last && next == incompressible.size();
        if (incompressible[first] || !AppendDeflated(compressor, run, final, chunk.output)) {
            AppendStoredBlocks(chunk.output, run, final);
        }
        first = next;
    }
    if (chunk.output.size() > StoredBlocksSize(input.size())) {
        chunk.output.clear();
        AppendStoredBlocks(chunk.output, input, chunk.last);
    }
}

}  // namespace

struct ParallelDeflate::State {
    State(Reader read, Settings s) : reader(std::move(read)), settings(s) {}

    void Work()
    {
        Compressor compressor(libdeflate_alloc_compressor(settings.level));
        std::unique_lock lock(mutex);
        for (;;) {
            workReady.wait(lock, [&] { return stopping || !queued.empty(); });
            if (stopping) {
                return;
            }
            Chunk* chunk = queued.front();
            queued.pop_front();
            lock.unlock();
            try {
                Compress(compressor.get(), *chunk);
            } catch (const std::bad_alloc&) {
                chunk->failed = true;
            }
            lock.lock();
            chunk->done = true;
            chunkDone.notify_all();
        }
    }

    // Reads the input into free chunks until the pipeline is full or the input ends. A full
    // chunk waits for the next read to tell whether it was the last.
    bool Fill()
    {
        while (!inputEnded && inFlight.size() + (held ? 1 : 0) < maxChunks) {
            std::unique_ptr<Chunk> chunk = TakeFree();
            std::size_t filled = 0;
            while (filled < settings.chunkSize) {
                const std::ptrdiff_t got =
                    reader(chunk->input.data() + filled, settings.chunkSize - filled);
                if (got < 0) {
                    return false;
                }
                if (got == 0) {
                    break;
                }
                filled += static_cast<std::size_t>(got);
            }
            chunk->inputSize = filled;
            if (filled < settings.chunkSize) {
                inputEnded = true;
                if (filled == 0 && held) {
                    free.push_back(std::move(chunk));
                } else {
                    Submit(std::move(held));
                    held = std::move(chunk);
                }
                held->last = true;
                Submit(std::move(held));
            } else {
                Submit(std::move(held));
                held = std::move(chunk);
            }
        }
        return true;
    }

    std::unique_ptr<Chunk> TakeFree()
    {
        std::unique_ptr<Chunk> chunk;
        if (free.empty()) {
            chunk = std::make_unique<Chunk>();
            chunk->input.resize(settings.chunkSize);
        } else {
            chunk = std::move(free.back());
            free.pop_back();
        }
        chunk->last = false;
        chunk->done = false;
        chunk->failed = false;
        return chunk;
    }

    // Threads start as chunks come, so a small file costs none: a whole input that fits in
    // one chunk is compressed right here.
    void Submit(std::unique_ptr<Chunk> chunk)
    {
        if (!chunk) {
            return;
        }
        if (chunk->last && inFlight.empty() && workers.empty()) {
            Compressor compressor(libdeflate_alloc_compressor(settings.level));
            Compress(compressor.get(), *chunk);
            chunk->done = true;
            std::lock_guard lock(mutex);
            inFlight.push_back(std::move(chunk));
            return;
        }
        std::lock_guard lock(mutex);
        queued.push_back(chunk.get());
        inFlight.push_back(std::move(chunk));
        if (workers.size() < threadLimit && workers.size() < inFlight.size()) {
            workers.emplace_back([this] { Work(); });
        }
        workReady.notify_one();
    }

    Reader reader;
    Settings settings;
    std::size_t maxChunks = 0;
    unsigned threadLimit = 1;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable chunkDone;
    bool stopping = false;
    std::deque<Chunk*> queued;                    // waiting for a worker
    std::deque<std::unique_ptr<Chunk>> inFlight;  // in stream order; guarded by `mutex`
    std::unique_ptr<Chunk> held;                  // full, not yet known to be the last
    std::unique_ptr<Chunk> current;               // handed out by the last Next
    std::vector<std::unique_ptr<Chunk>> free;
    bool inputEnded = false;
    bool failed = false;
    std::uint32_t crc = 0;
    std::uint64_t inputSize = 0;
};

ParallelDeflate::ParallelDeflate(Reader reader, Settings settings)
    : state_(std::make_unique<State>(std::move(reader), settings))
{
    State& s = *state_;
    s.settings.level = std::clamp(s.settings.level, 1, 12);
    s.settings.chunkSize = std::max<std::size_t>(s.settings.chunkSize, 1);
    const unsigned threads =
        std::max(1u, settings.threads == 0 ? DefaultThreads() : settings.threads);
    // One chunk per thread compressing, one being read and one being taken: the readers and
    // the taker rarely wait for each other.
    s.maxChunks = threads + 2;
    s.threadLimit = threads;
}

ParallelDeflate::~ParallelDeflate()
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

bool ParallelDeflate::Next(std::span<std::uint8_t>& piece)
{
    State& s = *state_;
    piece = {};
    if (s.failed) {
        return false;
    }
    if (s.current) {
        s.free.push_back(std::move(s.current));
    }
    try {
        if (!s.Fill()) {
            s.failed = true;
            return false;
        }
    } catch (const std::bad_alloc&) {
        s.failed = true;
        return false;
    }
    std::unique_lock lock(s.mutex);
    if (s.inFlight.empty()) {
        return true;
    }
    s.chunkDone.wait(lock, [&] { return s.inFlight.front()->done; });
    s.current = std::move(s.inFlight.front());
    s.inFlight.pop_front();
    lock.unlock();
    if (s.current->failed) {
        s.failed = true;
        return false;
    }
    s.crc = static_cast<std::uint32_t>(
        crc32_combine(s.crc, s.current->crc, static_cast<z_off_t>(s.current->inputSize)));
    s.inputSize += s.current->inputSize;
    piece = s.current->output;
    return true;
}

std::uint32_t ParallelDeflate::Crc() const
{
    return state_->crc;
}

std::uint32_t ParallelDeflate::PieceCrc() const
{
    return state_->current ? state_->current->crc : 0;
}

std::uint64_t ParallelDeflate::InputSize() const
{
    return state_->inputSize;
}

namespace {

// The byte values are counted in a few samples spread over the piece rather than all of it: 16
// KiB tell compressed data's 8 bits per byte from text's 5 as well, at a quarter of the cost.
constexpr std::size_t SampleSize = 4 * 1024;
constexpr std::size_t Samples = 4;

// Four tables so that runs of one byte value do not wait on the same counter.
using ByteCounts = std::array<std::array<std::uint32_t, 256>, 4>;

void CountBytes(std::span<const std::uint8_t> data, ByteCounts& counts)
{
    std::size_t i = 0;
    for (; i + 4 <= data.size(); i += 4) {
        ++counts[0][data[i]];
        ++counts[1][data[i + 1]];
        ++counts[2][data[i + 2]];
        ++counts[3][data[i + 3]];
    }
    for (; i < data.size(); ++i) {
        ++counts[0][data[i]];
    }
}

}  // namespace

// Data already compressed (JPEG, PDF streams, Office files, ZIPs) spends its byte values almost
// evenly and repeats nothing; text and tables fail either test at once.
bool LooksIncompressible(std::span<const std::uint8_t> piece)
{
    ByteCounts counts{};
    std::size_t counted = piece.size();
    if (piece.size() <= Samples * SampleSize) {
        CountBytes(piece, counts);
    } else {
        counted = Samples * SampleSize;
        const std::size_t step = (piece.size() - SampleSize) / (Samples - 1);
        for (std::size_t sample = 0; sample < Samples; ++sample) {
            CountBytes(piece.subspan(sample * step, SampleSize), counts);
        }
    }
    // Bits per byte of the byte values' order-0 entropy; compressed data comes within a
    // fraction of a percent of 8.
    double entropy = 0;
    const auto total = static_cast<double>(counted);
    for (int value = 0; value < 256; ++value) {
        const std::uint32_t count =
            counts[0][value] + counts[1][value] + counts[2][value] + counts[3][value];
        if (count != 0) {
            const double p = count / total;
            entropy -= p * std::log2(p);
        }
    }
    if (entropy < IncompressibleEntropy) {
        return false;
    }
    // Even values may repeat in long strings (a table of random numbers written twice): look
    // for 4-byte strings of the piece's first 4 KiB again in the 12 KiB after, as deflate's
    // match finder would. Every start is remembered but only every fourth looked up, which
    // still finds any repeat of 7 bytes or more.
    const std::size_t sourceEnd = std::min<std::size_t>(piece.size(), SampleSize);
    const std::size_t probeEnd = std::min<std::size_t>(piece.size(), 4 * SampleSize);
    if (probeEnd < sourceEnd + 4) {
        return true;
    }
    const auto slotOf = [&](std::size_t at) {
        std::uint32_t word = 0;
        std::memcpy(&word, piece.data() + at, 4);
        return (word * 2654435761u) >> 20;
    };
    std::array<std::uint16_t, 4096> starts{};  // a start + 1 by slot; 0 for none
    for (std::size_t at = 0; at + 4 <= sourceEnd; ++at) {
        starts[slotOf(at)] = static_cast<std::uint16_t>(at + 1);
    }
    std::size_t matches = 0;
    std::size_t lookups = 0;
    for (std::size_t at = sourceEnd; at + 4 <= probeEnd; at += 4, ++lookups) {
        const std::size_t earlier = starts[slotOf(at)];
        if (earlier != 0 && std::memcmp(piece.data() + earlier - 1, piece.data() + at, 4) == 0) {
            ++matches;
        }
    }
    return matches <= lookups / 64;
}

unsigned ParallelDeflate::DefaultThreads()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace kestrel
