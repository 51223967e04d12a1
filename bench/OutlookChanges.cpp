#include "OutlookChanges.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <stdexcept>

#include <zlib.h>

#include "PstLikeData.h"

namespace kestrel::bench {

namespace {

constexpr std::uint64_t SlotsPerRange = MapRange / SlotSize;  // 3,968
constexpr std::uint64_t WordsPerRange = SlotsPerRange / 64;   // 62
constexpr std::uint64_t PageSlots = PageSize / SlotSize;      // the map page's own slots
constexpr std::uint64_t MapBitsBytes = SlotsPerRange / 8;     // 496
constexpr std::uint64_t TrailerSize = 16;
constexpr std::uint64_t MaxBlockData = MaxBlockSize - TrailerSize;
constexpr unsigned char MapPageType = 0x84;
constexpr unsigned char TreePageType = 0x81;
constexpr char Magic[4] = {'!', 'B', 'D', 'N'};

std::uint64_t MapAt(std::uint64_t range)
{
    return FirstMapAt + range * MapRange;
}
std::uint64_t RoundUp(std::uint64_t value, std::uint64_t step)
{
    return (value + step - 1) / step * step;
}
std::uint64_t BlocksOf(std::uint64_t size)
{
    return RoundUp(size, FlagBlockSize) / FlagBlockSize;
}

void Put64(unsigned char* at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}
std::uint64_t Get64(const unsigned char* at)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | at[i];
    }
    return value;
}
std::uint32_t Crc(const unsigned char* data, std::size_t size)
{
    return static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

// A block's or page's trailer: type, signature, checksum of the bytes before it, its id.
void PutTrailer(unsigned char* trailer, unsigned char type, const unsigned char* data,
                std::size_t size, std::uint64_t id)
{
    trailer[0] = type;
    trailer[1] = type;
    trailer[2] = static_cast<unsigned char>(id);
    trailer[3] = static_cast<unsigned char>(id >> 8);
    const std::uint32_t crc = Crc(data, size);
    std::memcpy(trailer + 4, &crc, 4);
    Put64(trailer + 8, id);
}

// The header: what changes on every commit (the commit count, the file's end, the B-tree
// roots, the next block id) under a checksum.
struct Header {
    std::uint64_t commits = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t lastMap = 0;
    std::uint64_t nextBlockId = 0;
    std::uint64_t nodeTreeRoot = 0;
    std::uint64_t blockTreeRoot = 0;
};

std::vector<unsigned char> HeaderBytes(const Header& header)
{
    std::vector<unsigned char> bytes(HeaderSize, 0);
    std::memcpy(bytes.data(), Magic, 4);
    bytes[10] = 23;  // the version of a Unicode data file
    Put64(&bytes[16], header.commits);
    Put64(&bytes[24], header.fileSize);
    Put64(&bytes[32], header.lastMap);
    Put64(&bytes[40], header.nextBlockId);
    Put64(&bytes[48], header.nodeTreeRoot);
    Put64(&bytes[56], header.blockTreeRoot);
    const std::uint32_t crc = Crc(&bytes[8], HeaderSize - 8);
    std::memcpy(&bytes[4], &crc, 4);
    return bytes;
}

Header ReadHeader(const DataFile& file)
{
    std::vector<unsigned char> bytes(HeaderSize);
    file.Read(0, bytes.data(), bytes.size());
    std::uint32_t crc = 0;
    std::memcpy(&crc, &bytes[4], 4);
    if (std::memcmp(bytes.data(), Magic, 4) != 0 || crc != Crc(&bytes[8], HeaderSize - 8)) {
        throw std::runtime_error("not a data file made by change_bench (its header)");
    }
    return {Get64(&bytes[16]), Get64(&bytes[24]), Get64(&bytes[32]),
            Get64(&bytes[40]), Get64(&bytes[48]), Get64(&bytes[56])};
}

// One allocation map page: a bit for each 64 bytes of its range, most significant bit first.
std::vector<unsigned char> MapPage(const std::uint64_t* words, std::uint64_t range)
{
    std::vector<unsigned char> page(PageSize, 0);
    for (std::uint64_t slot = 0; slot < SlotsPerRange; ++slot) {
        if ((words[slot / 64] >> (slot % 64)) & 1) {
            page[slot / 8] |= static_cast<unsigned char>(0x80 >> (slot % 8));
        }
    }
    PutTrailer(&page[MapBitsBytes], MapPageType, page.data(), MapBitsBytes, MapAt(range));
    return page;
}

// The allocation maps of the whole file, as the file holds them, and which ranges changed.
class Maps {
public:
    explicit Maps(std::uint64_t ranges)
        : bits_(ranges * WordsPerRange, ~std::uint64_t{0}), free_(ranges, 0), dirty_(ranges, false)
    {
    }

    static Maps Load(const DataFile& file)
    {
        const std::uint64_t size = file.Size();
        if (size < FirstMapAt + MapRange || (size - FirstMapAt) % MapRange != 0) {
            throw std::runtime_error("not a data file made by change_bench (its size)");
        }
        Maps maps((size - FirstMapAt) / MapRange);
        std::vector<unsigned char> page(PageSize);
        for (std::uint64_t range = 0; range < maps.Ranges(); ++range) {
            file.Read(MapAt(range), page.data(), page.size());
            std::uint32_t crc = 0;
            std::memcpy(&crc, &page[MapBitsBytes + 4], 4);
            if (page[MapBitsBytes] != MapPageType || crc != Crc(page.data(), MapBitsBytes)) {
                throw std::runtime_error("damaged allocation map page at offset " +
                                         std::to_string(MapAt(range)));
            }
            for (std::uint64_t slot = 0; slot < SlotsPerRange; ++slot) {
                const bool allocated = (page[slot / 8] & (0x80 >> (slot % 8))) != 0;
                maps.Set(range, slot, 1, allocated);
            }
            maps.dirty_[range] = false;
        }
        return maps;
    }

    std::uint64_t Ranges() const { return free_.size(); }
    std::uint64_t FreeSlots(std::uint64_t range) const { return free_[range]; }
    bool Allocated(std::uint64_t range, std::uint64_t slot) const
    {
        return (bits_[range * WordsPerRange + slot / 64] >> (slot % 64)) & 1;
    }

    void Set(std::uint64_t range, std::uint64_t first, std::uint64_t count, bool allocated)
    {
        for (std::uint64_t slot = first; slot < first + count; ++slot) {
            std::uint64_t& word = bits_[range * WordsPerRange + slot / 64];
            const std::uint64_t bit = std::uint64_t{1} << (slot % 64);
            if (((word & bit) != 0) != allocated) {
                word ^= bit;
                if (allocated) {
                    --free_[range];
                } else {
                    ++free_[range];
                }
                dirty_[range] = true;
            }
        }
    }

    // The first slot of a free run of count slots at a multiple of align, if the range has one.
    std::optional<std::uint64_t> Find(std::uint64_t range, std::uint64_t count,
                                      std::uint64_t align) const
    {
        if (free_[range] < count) {
            return std::nullopt;
        }
        std::uint64_t slot = PageSlots;
        while (slot + count <= SlotsPerRange) {
            std::uint64_t end = slot;
            while (end < slot + count && !Allocated(range, end)) {
                ++end;
            }
            if (end == slot + count) {
                return slot;
            }
            slot = RoundUp(end + 1, align);
        }
        return std::nullopt;
    }

    // A new range at the end: all free but for its own map page.
    void AddRange()
    {
        bits_.resize(bits_.size() + WordsPerRange, 0);
        free_.push_back(SlotsPerRange);
        dirty_.push_back(false);
        Set(Ranges() - 1, 0, PageSlots, true);
    }

    void WriteDirty(DataFile& file)
    {
        for (std::uint64_t range = 0; range < Ranges(); ++range) {
            if (dirty_[range]) {
                const auto page = MapPage(&bits_[range * WordsPerRange], range);
                file.Write(MapAt(range), page.data(), page.size());
                dirty_[range] = false;
            }
        }
    }

private:
    std::vector<std::uint64_t> bits_;  // 1: allocated
    std::vector<std::uint64_t> free_;  // free slots in each range
    std::vector<bool> dirty_;          // changed since its page was last written
};

struct Extent {
    std::uint64_t at = 0;
    std::uint64_t size = 0;
};

// A B-tree of 512-byte pages, four levels deep (a few million entries). Its top two levels and
// its rightmost path (where new ids go) are rewritten by nearly every commit, so the model
// remembers where today's copies are; a page written on an earlier day is somewhere in the file.
struct Tree {
    std::array<std::optional<Extent>, 4> path;
    bool dirty = false;
};

// A folder: the last block of its contents table (where new rows go) and its properties (item
// and unread counts), both rewritten by every change to the folder.
struct Folder {
    std::optional<Extent> tableTail;
    std::optional<Extent> properties;
};

class Outlook {
public:
    Outlook(DataFile& file, std::uint64_t seed, int day)
        : file_(file), maps_(Maps::Load(file)), header_(ReadHeader(file))
    {
        std::seed_seq sequence{static_cast<std::uint32_t>(seed),
                               static_cast<std::uint32_t>(seed >> 32),
                               static_cast<std::uint32_t>(day)};
        random_.seed(sequence);
        content_.seed(static_cast<std::uint32_t>(random_()));
    }

    // An ordinary day of an office worker's mailbox: 50 to 300 mails arrive or are sent (2 KiB
    // to 230 KiB each, a third with an attachment, most of those already compressed: images,
    // Office files, PDFs); most of the day's mail is read; 5 to 20 older items are flagged,
    // moved or edited; a tenth to two fifths as many mails as arrived are deleted for good
    // (the Deleted Items folder emptied, old mail removed). Each of these is one commit.
    void OrdinaryDay(DayReport& report)
    {
        const int arriving = static_cast<int>(Uniform(50, 300));
        const int reading = arriving * static_cast<int>(Uniform(60, 95)) / 100;
        const int changing = static_cast<int>(Uniform(5, 20));
        const int deleting = arriving * static_cast<int>(Uniform(10, 40)) / 100;
        enum Event { Arrive, Read, Change, Delete };
        std::vector<Event> events;
        events.insert(events.end(), arriving, Arrive);
        events.insert(events.end(), reading, Read);
        events.insert(events.end(), changing, Change);
        events.insert(events.end(), deleting, Delete);
        std::shuffle(events.begin(), events.end(), random_);
        for (Event event : events) {
            switch (event) {
                case Arrive:
                    ReceiveMail();
                    ++report.mailsIn;
                    break;
                case Read:
                    // A mail is read after it arrived; before any arrived, an older one is.
                    if (unread_.empty()) {
                        ChangeOldItem();
                    } else {
                        ReadMail();
                    }
                    ++report.mailsRead;
                    break;
                case Change:
                    ChangeOldItem();
                    ++report.itemsChanged;
                    break;
                case Delete:
                    DeleteOldMail();
                    ++report.mailsDeleted;
                    break;
            }
            Commit();
            ++report.commits;
        }
    }

    // Compact: every allocated byte moved down over the free space (skipping the map pages),
    // the maps rewritten, the file cut to its last used range. It reads one range ahead of
    // where it writes, so it works in place with two ranges of memory.
    void Compact(DayReport& report)
    {
        const std::uint64_t ranges = maps_.Ranges();
        std::vector<unsigned char> in(MapRange);
        std::vector<unsigned char> out(MapRange, 0);
        std::uint64_t outRange = 0;
        std::uint64_t outSlot = PageSlots;
        const auto flush = [&](std::uint64_t usedSlots) {
            std::vector<std::uint64_t> words(WordsPerRange, 0);
            for (std::uint64_t slot = 0; slot < usedSlots; ++slot) {
                words[slot / 64] |= std::uint64_t{1} << (slot % 64);
            }
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(usedSlots * SlotSize), out.end(),
                      0);
            const auto page = MapPage(words.data(), outRange);
            std::copy(page.begin(), page.end(), out.begin());
            file_.Write(MapAt(outRange), out.data(), out.size());
        };
        for (std::uint64_t range = 0; range < ranges; ++range) {
            file_.Read(MapAt(range), in.data(), in.size());
            for (std::uint64_t slot = PageSlots; slot < SlotsPerRange; ++slot) {
                if (!maps_.Allocated(range, slot)) {
                    continue;
                }
                std::memcpy(&out[outSlot * SlotSize], &in[slot * SlotSize], SlotSize);
                if (++outSlot == SlotsPerRange) {
                    flush(SlotsPerRange);
                    ++outRange;
                    outSlot = PageSlots;
                }
            }
        }
        std::uint64_t lastUsed = SlotsPerRange;  // slots in use in the last range
        if (outSlot > PageSlots || outRange == 0) {
            flush(outSlot);
            ++outRange;
            lastUsed = outSlot;
        }
        file_.Resize(MapAt(outRange));
        // The maps as written: whole ranges full, the last one up to where the data ends.
        maps_ = Maps(outRange);
        maps_.Set(outRange - 1, lastUsed, SlotsPerRange - lastUsed, false);
        WriteHeader();
        report.commits = 1;
    }

private:
    std::uint64_t Uniform(std::uint64_t low, std::uint64_t high)
    {
        return low + random_() % (high - low + 1);
    }
    bool Chance(int percent) { return Uniform(1, 100) <= static_cast<std::uint64_t>(percent); }
    // Sizes spread evenly over their orders of magnitude, as mail sizes are.
    std::uint64_t LogUniform(std::uint64_t low, std::uint64_t high)
    {
        const double unit = static_cast<double>(random_() >> 11) / 9007199254740992.0;
        return static_cast<std::uint64_t>(static_cast<double>(low) *
                                          std::pow(static_cast<double>(high) / low, unit));
    }

    std::string Text(std::uint64_t size)
    {
        std::string text;
        AppendMailText(text, size, content_);
        return text;
    }
    std::string RandomBytes(std::uint64_t size)
    {
        std::string bytes(size, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(content_() & 0xFF);
        }
        return bytes;
    }

    // Space for a block (64-byte steps) or a page (at a 512-byte boundary): in the range
    // allocated from last, else in the range with the most free space (the density list), else
    // in a new range at the end of the file.
    Extent Allocate(std::uint64_t size, bool page)
    {
        const std::uint64_t slots = RoundUp(size, SlotSize) / SlotSize;
        const std::uint64_t align = page ? PageSlots : 1;
        if (current_) {
            if (auto slot = maps_.Find(*current_, slots, align)) {
                return Take(*current_, *slot, slots);
            }
        }
        std::vector<std::uint64_t> tried;
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::optional<std::uint64_t> best;
            for (std::uint64_t range = 0; range < maps_.Ranges(); ++range) {
                if (maps_.FreeSlots(range) >= slots &&
                    (!best || maps_.FreeSlots(range) > maps_.FreeSlots(*best)) &&
                    std::find(tried.begin(), tried.end(), range) == tried.end()) {
                    best = range;
                }
            }
            if (!best) {
                break;
            }
            if (auto slot = maps_.Find(*best, slots, align)) {
                current_ = best;
                return Take(*best, *slot, slots);
            }
            tried.push_back(*best);
        }
        file_.Resize(file_.Size() + MapRange);
        maps_.AddRange();
        current_ = maps_.Ranges() - 1;
        return Take(*current_, *maps_.Find(*current_, slots, align), slots);
    }

    Extent Take(std::uint64_t range, std::uint64_t slot, std::uint64_t slots)
    {
        maps_.Set(range, slot, slots, true);
        return {MapAt(range) + slot * SlotSize, slots * SlotSize};
    }

    void Release(const Extent& extent)
    {
        const std::uint64_t range = (extent.at - FirstMapAt) / MapRange;
        const std::uint64_t slot = (extent.at - MapAt(range)) / SlotSize;
        if (range < maps_.Ranges() && slot >= PageSlots) {
            maps_.Set(range, slot,
                      std::min(RoundUp(extent.size, SlotSize) / SlotSize, SlotsPerRange - slot),
                      false);
        }
    }

    // Frees the old copy of something last written on an earlier day: an allocated run
    // somewhere in the file.
    void ReleaseSomewhere(std::uint64_t size, bool page)
    {
        const std::uint64_t slots = RoundUp(size, SlotSize) / SlotSize;
        const std::uint64_t align = page ? PageSlots : 1;
        for (int attempt = 0; attempt < 64; ++attempt) {
            const std::uint64_t range = Uniform(0, maps_.Ranges() - 1);
            const std::uint64_t slot = RoundUp(Uniform(PageSlots, SlotsPerRange - slots), align);
            if (slot + slots > SlotsPerRange) {
                continue;
            }
            bool allocated = true;
            for (std::uint64_t s = slot; s < slot + slots && allocated; ++s) {
                allocated = maps_.Allocated(range, s);
            }
            if (allocated) {
                maps_.Set(range, slot, slots, false);
                return;
            }
        }
    }

    // Writes a block of data (at most 8 KiB with its trailer) at a new place.
    Extent WriteBlock(const std::string& data)
    {
        std::vector<unsigned char> block(RoundUp(data.size() + TrailerSize, SlotSize), 0);
        std::memcpy(block.data(), data.data(), data.size());
        header_.nextBlockId += 4;
        PutTrailer(&block[block.size() - TrailerSize], 0x02, block.data(), data.size(),
                   header_.nextBlockId);
        const Extent extent = Allocate(block.size(), false);
        file_.Write(extent.at, block.data(), block.size());
        blockTree_.dirty = true;
        return extent;
    }

    // Writes data of any size: blocks of at most 8 KiB, and a block listing them when more.
    void WriteData(const std::string& data)
    {
        std::uint64_t blocks = 0;
        for (std::size_t at = 0; at < data.size(); at += MaxBlockData) {
            WriteBlock(data.substr(at, MaxBlockData));
            ++blocks;
        }
        if (blocks > 1) {
            WriteBlock(RandomBytes(8 + 8 * blocks));
        }
    }

    Extent WritePage()
    {
        std::vector<unsigned char> page(PageSize);
        for (std::size_t i = 0; i < PageSize - TrailerSize; ++i) {
            page[i] = static_cast<unsigned char>(content_() & 0xFF);
        }
        header_.nextBlockId += 4;
        PutTrailer(&page[PageSize - TrailerSize], TreePageType, page.data(), PageSize - TrailerSize,
                   header_.nextBlockId);
        const Extent extent = Allocate(PageSize, true);
        file_.Write(extent.at, page.data(), page.size());
        return extent;
    }

    // Writes the new copy of a block and frees the old one (where known, else somewhere).
    void Replace(std::optional<Extent>& copy, const std::string& data)
    {
        const Extent written = WriteBlock(data);
        if (copy) {
            Release(*copy);
        } else {
            ReleaseSomewhere(written.size, false);
        }
        copy = written;
    }

    // Copy-on-write of a path from the root to a leaf: the rightmost one, or the one of an old
    // entry (whose lower two pages were written on some earlier day).
    void RewritePath(Tree& tree, bool rightmost)
    {
        for (std::size_t level = 0; level < tree.path.size(); ++level) {
            const bool remembered = rightmost || level < 2;
            const Extent written = WritePage();
            if (remembered && tree.path[level]) {
                Release(*tree.path[level]);
            } else {
                ReleaseSomewhere(PageSize, true);
            }
            if (remembered) {
                tree.path[level] = written;
            }
        }
    }

    void ChangeFolder(Folder& folder, bool newRow)
    {
        if (newRow) {
            Replace(folder.tableTail, RandomBytes(Uniform(4096, MaxBlockData)));
        } else {
            std::optional<Extent> old;  // the block of an older row
            Replace(old, RandomBytes(MaxBlockData));
        }
        Replace(folder.properties, RandomBytes(Uniform(512, 1536)));
    }

    void ReceiveMail()
    {
        properties_.push_back(WriteBlock(Text(Uniform(1024, 3072))));
        unread_.push_back(properties_.size() - 1);
        WriteBlock(Text(Uniform(256, 1024)));  // recipients
        const bool attachment = Chance(33);
        WriteData(Text(attachment ? LogUniform(2048, 30 * 1024) : LogUniform(2048, 100 * 1024)));
        if (attachment) {
            WriteBlock(RandomBytes(512));  // the attachment table and properties
            const std::uint64_t size = LogUniform(10 * 1024, 200 * 1024);
            const std::uint64_t kind = Uniform(1, 10);
            WriteData(kind <= 4   ? RandomBytes(size)               // images
                      : kind <= 7 ? CompressedText(size, content_)  // Office files, PDFs
                                  : Text(size));  // plain text, calendars, contacts
        }
        nodeTree_.dirty = true;
        ChangeFolder(Chance(70) ? inbox_ : sent_, true);
    }

    void ReadMail()
    {
        const std::size_t pick = Uniform(0, unread_.size() - 1);
        std::optional<Extent> copy = properties_[unread_[pick]];
        unread_.erase(unread_.begin() + static_cast<std::ptrdiff_t>(pick));
        Replace(copy, Text(copy->size - TrailerSize));
        ChangeFolder(inbox_, true);
    }

    void ChangeOldItem()
    {
        std::optional<Extent> old;
        Replace(old, Text(Uniform(1024, 3072)));
        RewritePath(blockTree_, false);
        ChangeFolder(Chance(50) ? inbox_ : deleted_, false);
    }

    // The mail's blocks (written together when it arrived, so near each other) are freed, and
    // its entries removed from both trees.
    void DeleteOldMail()
    {
        const std::uint64_t size = LogUniform(2048, 230 * 1024);
        ReleaseRun(size);
        for (std::uint64_t i = 0; i <= size / (160 * 1024); ++i) {
            RewritePath(blockTree_, false);
        }
        RewritePath(nodeTree_, false);
        ChangeFolder(deleted_, false);
    }

    // Frees the allocated slots from a random place on until size bytes are freed (or the
    // range ends).
    void ReleaseRun(std::uint64_t size)
    {
        const std::uint64_t range = Uniform(0, maps_.Ranges() - 1);
        std::uint64_t left = RoundUp(size, SlotSize) / SlotSize;
        for (std::uint64_t slot = Uniform(PageSlots, SlotsPerRange - 1);
             slot < SlotsPerRange && left > 0; ++slot) {
            if (maps_.Allocated(range, slot)) {
                maps_.Set(range, slot, 1, false);
                --left;
            }
        }
    }

    void Commit()
    {
        if (blockTree_.dirty) {
            blockTree_.dirty = false;
            RewritePath(blockTree_, true);
        }
        if (nodeTree_.dirty) {
            nodeTree_.dirty = false;
            RewritePath(nodeTree_, true);
        }
        maps_.WriteDirty(file_);
        WriteHeader();
    }

    void WriteHeader()
    {
        ++header_.commits;
        header_.fileSize = file_.Size();
        header_.lastMap = MapAt(maps_.Ranges() - 1);
        if (nodeTree_.path[0]) {
            header_.nodeTreeRoot = nodeTree_.path[0]->at;
        }
        if (blockTree_.path[0]) {
            header_.blockTreeRoot = blockTree_.path[0]->at;
        }
        const auto bytes = HeaderBytes(header_);
        file_.Write(0, bytes.data(), bytes.size());
    }

    DataFile& file_;
    Maps maps_;
    Header header_;
    std::mt19937_64 random_;
    std::mt19937 content_;
    std::optional<std::uint64_t> current_;
    Tree nodeTree_;
    Tree blockTree_;
    Folder inbox_;
    Folder sent_;
    Folder deleted_;
    std::vector<Extent> properties_;  // of today's mail
    std::vector<std::size_t> unread_;
};

}  // namespace

std::uint64_t LayoutSize(std::uint64_t wanted)
{
    const std::uint64_t ranges =
        wanted <= FirstMapAt ? 1 : RoundUp(wanted - FirstMapAt, MapRange) / MapRange;
    return MapAt(std::max<std::uint64_t>(ranges, 1));
}

DataFile::DataFile(const std::string& path, Mode mode) : path_(path)
{
    fd_ = open(path.c_str(),
               mode == Mode::Create ? O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDWR | O_CLOEXEC,
               0644);
    struct stat status {};
    if (fd_ < 0 || fstat(fd_, &status) != 0) {
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
    touched_.assign(BlocksOf(size_), false);
}

DataFile::~DataFile()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

void DataFile::Read(std::uint64_t at, void* out, std::size_t size) const
{
    auto* bytes = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t got = pread(fd_, bytes, size, static_cast<off_t>(at));
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            throw std::runtime_error("cannot read " + path_ + " at " + std::to_string(at) + ": " +
                                     (got == 0 ? "end of file" : std::strerror(errno)));
        }
        bytes += got;
        at += static_cast<std::uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
}

void DataFile::Write(std::uint64_t at, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    Touch(at, size);
    written_ += size;
    size_ = std::max<std::uint64_t>(size_, at + size);
    while (size > 0) {
        const ssize_t put = pwrite(fd_, bytes, size, static_cast<off_t>(at));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
        }
        bytes += put;
        at += static_cast<std::uint64_t>(put);
        size -= static_cast<std::size_t>(put);
    }
}

void DataFile::Resize(std::uint64_t size)
{
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        throw std::runtime_error("cannot resize " + path_ + ": " + std::strerror(errno));
    }
    if (size > size_) {
        Touch(size_, size - size_);
    } else if (size % FlagBlockSize != 0) {
        Touch(size - 1, 1);
    }
    size_ = size;
}

void DataFile::Touch(std::uint64_t at, std::uint64_t size)
{
    if (size == 0) {
        return;
    }
    const std::uint64_t last = (at + size - 1) / FlagBlockSize;
    if (touched_.size() <= last) {
        touched_.resize(last + 1, false);
    }
    for (std::uint64_t block = at / FlagBlockSize; block <= last; ++block) {
        touched_[block] = true;
    }
}

void DataFile::ClearTouched()
{
    touched_.assign(BlocksOf(size_), false);
}

void GenerateDataFile(const std::string& path, std::uint64_t wanted, std::uint64_t seed)
{
    const std::uint64_t size = LayoutSize(wanted);
    const std::uint64_t ranges = (size - FirstMapAt) / MapRange;
    DataFile file(path, DataFile::Mode::Create);
    PstLikeStream stream;
    std::mt19937_64 random(seed);
    std::vector<unsigned char> bytes(FirstMapAt);
    stream.Next(reinterpret_cast<char*>(bytes.data()), bytes.size());
    Header header;
    header.fileSize = size;
    header.lastMap = MapAt(ranges - 1);
    header.nextBlockId = size / 16;  // ids used so far, as in a file of that size
    const auto headerBytes = HeaderBytes(header);
    std::copy(headerBytes.begin(), headerBytes.end(), bytes.begin());
    file.Write(0, bytes.data(), bytes.size());
    bytes.resize(MapRange);
    std::vector<std::uint64_t> words(WordsPerRange);
    for (std::uint64_t range = 0; range < ranges; ++range) {
        stream.Next(reinterpret_cast<char*>(bytes.data()), bytes.size());
        // One to four holes of 64 bytes to 1 KiB in each range: what deleted items leave when
        // newer blocks took most of their space.
        std::fill(words.begin(), words.end(), ~std::uint64_t{0});
        for (std::uint64_t hole = 1 + random() % 4; hole > 0; --hole) {
            const std::uint64_t length = 1 + random() % 16;
            const std::uint64_t first = PageSlots + random() % (SlotsPerRange - PageSlots - length);
            for (std::uint64_t slot = first; slot < first + length; ++slot) {
                words[slot / 64] &= ~(std::uint64_t{1} << (slot % 64));
            }
        }
        const auto page = MapPage(words.data(), range);
        std::copy(page.begin(), page.end(), bytes.begin());
        file.Write(MapAt(range), bytes.data(), bytes.size());
    }
}

DayReport ApplyDay(DataFile& file, std::uint64_t seed, int day, bool compact)
{
    DayReport report;
    report.compact = compact;
    report.sizeBefore = file.Size();
    const std::uint64_t written = file.BytesWritten();
    Outlook outlook(file, seed, day);
    if (compact) {
        outlook.Compact(report);
    } else {
        outlook.OrdinaryDay(report);
    }
    report.sizeAfter = file.Size();
    report.bytesWritten = file.BytesWritten() - written;
    return report;
}

std::uint64_t BlockHash(const unsigned char* data, std::size_t size)
{
    constexpr std::uint64_t K1 = 0x87C37B91114253D5ULL;
    constexpr std::uint64_t K2 = 0x4CF5AD432745937FULL;
    const auto rotate = [](std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); };
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ (size * 0xC2B2AE3D27D4EB4FULL);
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + at, 8);
        h ^= rotate(word * K1, 31) * K2;
        h = rotate(h, 27) * 5 + 0x52DCE729;
    }
    std::uint64_t tail = 0;
    for (std::size_t i = at; i < size; ++i) {
        tail |= std::uint64_t{data[i]} << (8 * (i - at));
    }
    h ^= rotate(tail * K1, 31) * K2;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

namespace {

// Calls visit(block, hash) for each 4 KiB block of the file that wanted(block) names, reading
// runs of them 1 MiB at a time.
template <typename Wanted, typename Visit>
void HashBlocks(const DataFile& file, Wanted wanted, Visit visit)
{
    constexpr std::uint64_t RunBlocks = 256;
    const std::uint64_t size = file.Size();
    const std::uint64_t blocks = BlocksOf(size);
    std::vector<unsigned char> buffer(RunBlocks * FlagBlockSize);
    for (std::uint64_t block = 0; block < blocks;) {
        if (!wanted(block)) {
            ++block;
            continue;
        }
        std::uint64_t end = block;
        while (end < blocks && end - block < RunBlocks && wanted(end)) {
            ++end;
        }
        const std::uint64_t at = block * FlagBlockSize;
        const std::uint64_t length = std::min(end * FlagBlockSize, size) - at;
        file.Read(at, buffer.data(), length);
        for (std::uint64_t b = block; b < end; ++b) {
            const std::uint64_t offset = (b - block) * FlagBlockSize;
            visit(b, BlockHash(&buffer[offset], std::min(FlagBlockSize, length - offset)));
        }
        block = end;
    }
}

}  // namespace

ChangeCounter::ChangeCounter(const DataFile& dayZero) : size_(dayZero.Size())
{
    dayZero_.resize(BlocksOf(size_));
    HashBlocks(
        dayZero, [](std::uint64_t) { return true; },
        [&](std::uint64_t block, std::uint64_t hash) { dayZero_[block] = hash; });
    previous_ = dayZero_;
    sincePrevious_.assign(dayZero_.size(), false);
    sinceDayZero_.assign(dayZero_.size(), false);
}

void ChangeCounter::Update(DataFile& file)
{
    const std::uint64_t before = previous_.size();
    const std::uint64_t blocks = BlocksOf(file.Size());
    const std::vector<bool>& touched = file.Touched();
    previous_.resize(blocks, 0);
    sincePrevious_.assign(blocks, false);
    sinceDayZero_.resize(blocks, false);
    HashBlocks(
        file,
        [&](std::uint64_t block) {
            return block >= before || (block < touched.size() && touched[block]);
        },
        [&](std::uint64_t block, std::uint64_t hash) {
            sincePrevious_[block] = block >= before || hash != previous_[block];
            sinceDayZero_[block] = block >= dayZero_.size() || hash != dayZero_[block];
            previous_[block] = hash;
        });
    size_ = file.Size();
    file.ClearTouched();
}

std::uint64_t ChangeCounter::Changed(const std::vector<bool>& flags, std::uint64_t blockSize) const
{
    const std::uint64_t per = blockSize / FlagBlockSize;
    std::uint64_t bytes = 0;
    for (std::uint64_t first = 0; first < flags.size(); first += per) {
        const std::uint64_t end = std::min<std::uint64_t>(first + per, flags.size());
        for (std::uint64_t block = first; block < end; ++block) {
            if (flags[block]) {
                bytes += std::min(blockSize, size_ - first * FlagBlockSize);
                break;
            }
        }
    }
    return bytes;
}

std::uint64_t ChangeCounter::ChangedSincePrevious(std::uint64_t blockSize) const
{
    return Changed(sincePrevious_, blockSize);
}

std::uint64_t ChangeCounter::ChangedSinceDayZero(std::uint64_t blockSize) const
{
    return Changed(sinceDayZero_, blockSize);
}

std::uint64_t ChangeCounter::MapBytes(std::uint64_t blockSize) const
{
    return MapEntryBytes * RoundUp(size_, blockSize) / blockSize;
}

}  // namespace kestrel::bench
