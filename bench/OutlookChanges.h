// A model of how Outlook changes a data file from one day to the next, and a counter of the bytes
// that changed, for change_bench and its tests.
//
// The file's layout is the one of an Outlook data file: a header at offset 0, rewritten on every
// commit; an allocation map page of 512 bytes at 0x4400 and then every 253,952 bytes, one bit
// for each 64 bytes of the range it starts (496 bytes of bits and a 16-byte trailer with a
// checksum); everything else is blocks of at most 8 KiB (in 64-byte steps) and 512-byte B-tree
// pages (at 512-byte boundaries). Nothing is written in place: a changed block or page is written
// at a free place (or a new one at the end, the file growing by one map range of 253,952 bytes)
// and the old one is freed, so its range's map page is rewritten. The bytes between the
// structures are the PST-like stream of archive_bench. Freed space keeps its old bytes.
//
// The state of the model is the file itself (the allocation maps and the header), so a day can
// be applied to a file by a separate run: the same file, seed and day give the same bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::bench {

constexpr std::uint64_t SlotSize = 64;         // one bit of an allocation map
constexpr std::uint64_t PageSize = 512;        // B-tree and allocation map pages
constexpr std::uint64_t MapRange = 253'952;    // the bytes one allocation map page covers
constexpr std::uint64_t FirstMapAt = 0x4400;   // the first allocation map page
constexpr std::uint64_t HeaderSize = 564;      // the header at offset 0
constexpr std::uint64_t MaxBlockSize = 8192;   // a data block with its trailer
constexpr std::uint64_t FlagBlockSize = 4096;  // the finest block size measured
constexpr std::uint64_t MapEntryBytes = 32;    // one 32-byte digest per block in a block map

// The block sizes the change is measured at: 4 KiB to 1 MiB.
constexpr std::array<std::uint64_t, 9> MeasuredBlockSizes{4096,   8192,   16384,  32768,  65536,
                                                          131072, 262144, 524288, 1048576};

// The size of a data file of about the wanted size: the header's area and whole map ranges.
std::uint64_t LayoutSize(std::uint64_t wanted);

// An open data file; remembers which 4 KiB blocks were written (or added) since the last
// ClearTouched(). Throws std::runtime_error when the system refuses a read or a write.
class DataFile {
public:
    enum class Mode { Open, Create };
    DataFile(const std::string& path, Mode mode = Mode::Open);
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    std::uint64_t Size() const { return size_; }
    void Read(std::uint64_t at, void* out, std::size_t size) const;
    void Write(std::uint64_t at, const void* data, std::size_t size);
    // Growing marks the new blocks touched; shrinking marks the new last block when it is cut.
    void Resize(std::uint64_t size);

    const std::vector<bool>& Touched() const { return touched_; }
    void ClearTouched();
    std::uint64_t BytesWritten() const { return written_; }

private:
    void Touch(std::uint64_t at, std::uint64_t size);

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    std::vector<bool> touched_;
    std::uint64_t written_ = 0;
};

// What a day did to the file.
struct DayReport {
    bool compact = false;
    int mailsIn = 0;
    int mailsRead = 0;
    int itemsChanged = 0;  // older items flagged, moved or edited
    int mailsDeleted = 0;
    int commits = 0;
    std::uint64_t sizeBefore = 0;
    std::uint64_t sizeAfter = 0;
    std::uint64_t bytesWritten = 0;
};

// Day 0: a data file of LayoutSize(wanted) bytes, well used: allocated throughout but for small
// holes left by deleted items, as a file that has been in use for years and never compacted.
void GenerateDataFile(const std::string& path, std::uint64_t wanted, std::uint64_t seed);

// Changes the file as Outlook does over one day: an ordinary day of mail, or a Compact. Throws
// std::runtime_error when the file is not one GenerateDataFile made.
DayReport ApplyDay(DataFile& file, std::uint64_t seed, int day, bool compact);

// Counts the 4 KiB blocks whose bytes differ from the previous day's file and from day 0's, by
// a 64-bit hash of each block kept for both (16 bytes of memory per 4 KiB block: 16 MiB for a
// 4 GiB file; a chance of 2^-64 that a changed block hashes as unchanged). Only the blocks the
// day touched are read again. Coarser block sizes are derived by OR of their 4 KiB blocks.
class ChangeCounter {
public:
    // Reads and hashes the whole of day 0's file.
    explicit ChangeCounter(const DataFile& dayZero);

    // Takes in the blocks the file's last day touched (then clears them); the counts below are
    // against the file before that day and against day 0.
    void Update(DataFile& file);

    // Bytes of the blocks of the given size that differ (the last block as long as the file).
    std::uint64_t ChangedSincePrevious(std::uint64_t blockSize) const;
    std::uint64_t ChangedSinceDayZero(std::uint64_t blockSize) const;
    // A block map's size at the given block size: 32 bytes per block.
    std::uint64_t MapBytes(std::uint64_t blockSize) const;

private:
    std::uint64_t Changed(const std::vector<bool>& flags, std::uint64_t blockSize) const;

    std::vector<std::uint64_t> dayZero_;
    std::vector<std::uint64_t> previous_;
    std::vector<bool> sincePrevious_;
    std::vector<bool> sinceDayZero_;
    std::uint64_t size_ = 0;
};

// The 64-bit hash of a block's bytes (its length included).
std::uint64_t BlockHash(const unsigned char* data, std::size_t size);

}  // namespace kestrel::bench
