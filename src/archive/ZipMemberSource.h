#pragma once

#include <zip.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/BlockMap.h"
#include "archive/ChunkIndex.h"
#include "archive/ParallelDeflate.h"
#include "archive/WinZipAes.h"
#include "archive/ZipEventThrottle.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace kestrel {

// What the member sources of one write share: the events, the bytes read against the total,
// and the first failure, naming the file concerned.
struct ZipWriteJob {
    explicit ZipWriteJob(ZipEventThrottle& throttle) : events(throttle) {}

    void Advance(std::uint64_t bytes)
    {
        done += bytes;
        events.Progress(total == 0 ? 100 : static_cast<int>(done * 100 / total));
    }

    ZipEventThrottle& events;
    // Set from another thread to stop the write at the next piece of data.
    const std::atomic<bool>* cancelled = nullptr;
    int deflateLevel = 6;
    unsigned threads = 0;  // 0: one per processor
    bool protect = false;
    std::string password;  // UTF-8, the bytes 7-Zip and WinZip make the key from
    std::uint64_t total = 0;
    std::uint64_t done = 0;
    Error failure;
};

// The one way a member's data reaches libzip: a source of our own that streams the file as
// libzip asks for it (at zip_close), reports the adding-file event when it is opened and
// progress as it is read. It hands libzip the member's data as it is stored: deflated on all
// cores and, for a protected archive, encrypted with AES-256 (salt, verifier, data and
// authentication code), so libzip copies it and only writes the headers. Its stat says so;
// the checksum and the stored size follow once the data is read.
class ZipMemberSource {
public:
    // A blockSize other than 0 builds the file's block map while the file is read.
    ZipMemberSource(ZipWriteJob& job, FileSystem& fileSystem, std::string path,
                    std::string memberName, std::uint64_t size, std::time_t modified,
                    std::uint32_t blockSize = 0);
    ~ZipMemberSource();
    ZipMemberSource(const ZipMemberSource&) = delete;
    ZipMemberSource& operator=(const ZipMemberSource&) = delete;

    // What a source derived from a data member's source holds.
    enum class Derived { ChunkIndex, BlockMap };
    // The source of the chunk index or the block map of the member `data` makes (named for
    // it), read from what `data` fills while it is read: libzip must read `data` first. It
    // reports no event of its own.
    ZipMemberSource(ZipWriteJob& job, FileSystem& fileSystem, const ZipMemberSource& data,
                    Derived derived);

    // Owned by the caller, which keeps it alive until libzip is done with the archive.
    zip_source_t* Create(zip_t* archive);
    // The index member that goes with this one: none for a member of at most one chunk.
    bool HasChunkIndex() const { return ChunkIndexSizeFor(size_, ChunkSize) != 0; }
    const std::string& MemberName() const { return memberName_; }
    bool HasBlockMap() const { return blockSize_ != 0; }
    // The file comment that marks a derived member; empty for a data member.
    std::string_view Comment() const;

    static constexpr std::size_t ChunkSize = ParallelDeflate::DefaultChunkSize;

private:
    static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                                zip_source_cmd_t command);
    zip_int64_t Open();
    zip_int64_t Read(void* data, zip_uint64_t length);
    std::ptrdiff_t ReadFile(std::uint8_t* data, std::size_t length);
    bool NextPiece();
    void Close();
    zip_int64_t Stat(void* data, zip_uint64_t length);
    zip_int64_t Fail(int zipError, const Error& failure);

    ZipWriteJob& job_;
    FileSystem& fileSystem_;
    std::string path_;
    std::string memberName_;
    std::uint64_t size_;
    std::time_t modified_;
    const ZipMemberSource* derivedFrom_ = nullptr;  // set for an index or a map member
    Derived derived_ = Derived::ChunkIndex;
    ChunkIndex chunks_;  // of the data handed out so far
    std::uint32_t blockSize_ = 0;
    std::unique_ptr<BlockMapBuilder> mapBuilder_;
    BlockMap map_;  // once the data is read
    std::unique_ptr<InputFile> in_;
    std::uint64_t read_ = 0;
    std::unique_ptr<ParallelDeflate> deflate_;
    std::unique_ptr<WinZipAes> aes_;
    // The data is encrypted here and its code computed on a thread of its own.
    std::unique_ptr<WinZipAesStream> aesStream_;
    std::unique_ptr<BackgroundAuthenticator> authenticator_;
    std::uint64_t encrypted_ = 0;
    std::vector<std::uint8_t> framing_;  // AES salt and verifier, later the code
    std::span<std::uint8_t> piece_;      // what is left of the data handed to libzip
    bool dataDone_ = false;
    bool finished_ = false;  // every byte handed out: the checksum is known
    std::uint32_t crc_ = 0;
    zip_error_t error_;
};

}  // namespace kestrel
