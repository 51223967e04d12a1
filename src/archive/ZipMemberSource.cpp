#include "archive/ZipMemberSource.h"

#include <algorithm>
#include <limits>

namespace kestrel {
namespace {

// An index member's bytes, made when libzip opens its source.
class BytesInputFile : public InputFile {
public:
    explicit BytesInputFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::int64_t Read(char* data, std::size_t size) override
    {
        const std::size_t take = std::min(size, bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), take, data);
        position_ += take;
        return static_cast<std::int64_t>(take);
    }
    bool Seek(std::uint64_t offset) override
    {
        position_ = static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes_.size()));
        return true;
    }
    std::uint64_t Size() const override { return bytes_.size(); }
    const Error& Failure() const override { return failure_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
    Error failure_;
};

}  // namespace

ZipMemberSource::ZipMemberSource(ZipWriteJob& job, FileSystem& fileSystem, std::string path,
                                 std::string memberName, std::uint64_t size, std::time_t modified,
                                 std::uint32_t blockSize)
    : job_(job),
      fileSystem_(fileSystem),
      path_(std::move(path)),
      memberName_(std::move(memberName)),
      size_(size),
      modified_(modified),
      blockSize_(blockSize)
{
    zip_error_init(&error_);
}

namespace {

std::string_view DerivedSuffix(ZipMemberSource::Derived derived)
{
    return derived == ZipMemberSource::Derived::ChunkIndex ? ChunkIndexSuffix : BlockMapSuffix;
}

std::uint64_t DerivedSize(ZipMemberSource::Derived derived, std::uint64_t dataSize,
                          std::uint32_t blockSize, std::size_t chunkSize)
{
    if (derived == ZipMemberSource::Derived::ChunkIndex) {
        return ChunkIndexSizeFor(dataSize, chunkSize);
    }
    return BlockMapHeaderSize + (BlockCount(dataSize, blockSize) + 1) * BlockHasher::DigestSize;
}

}  // namespace

ZipMemberSource::ZipMemberSource(ZipWriteJob& job, FileSystem& fileSystem,
                                 const ZipMemberSource& data, Derived derived)
    : job_(job),
      fileSystem_(fileSystem),
      path_(data.path_ + std::string(DerivedSuffix(derived))),
      memberName_(data.memberName_ + std::string(DerivedSuffix(derived))),
      size_(DerivedSize(derived, data.size_, data.blockSize_, ChunkSize)),
      modified_(data.modified_),
      derivedFrom_(&data),
      derived_(derived)
{
    zip_error_init(&error_);
}

std::string_view ZipMemberSource::Comment() const
{
    if (derivedFrom_ == nullptr) {
        return {};
    }
    return derived_ == Derived::ChunkIndex ? ChunkIndexComment : BlockMapComment;
}

ZipMemberSource::~ZipMemberSource()
{
    zip_error_fini(&error_);
}

zip_source_t* ZipMemberSource::Create(zip_t* archive)
{
    return zip_source_function(archive, &ZipMemberSource::Callback, this);
}

zip_int64_t ZipMemberSource::Callback(void* self, void* data, zip_uint64_t length,
                                      zip_source_cmd_t command)
{
    auto& source = *static_cast<ZipMemberSource*>(self);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            return source.Open();
        case ZIP_SOURCE_READ:
            return source.Read(data, length);
        case ZIP_SOURCE_CLOSE:
            source.Close();
            return 0;
        case ZIP_SOURCE_STAT:
            return source.Stat(data, length);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&source.error_, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&source.error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

zip_int64_t ZipMemberSource::Open()
{
    if (derivedFrom_ != nullptr) {
        in_ = std::make_unique<BytesInputFile>(derived_ == Derived::ChunkIndex
                                                   ? SerializeChunkIndex(derivedFrom_->chunks_)
                                                   : SerializeBlockMap(derivedFrom_->map_));
    } else {
        auto opened = fileSystem_.OpenInputFile(path_);
        if (!opened) {
            return Fail(ZIP_ER_OPEN, opened.error());
        }
        in_ = std::move(*opened);
    }
    chunks_ = {};
    chunks_.chunkSize = static_cast<std::uint32_t>(ChunkSize);
    chunks_.dataSize = size_;
    zip_error_fini(&error_);
    zip_error_init(&error_);
    read_ = 0;
    piece_ = {};
    framing_.clear();
    dataDone_ = false;
    finished_ = false;
    if (blockSize_ != 0) {
        mapBuilder_ = std::make_unique<BlockMapBuilder>(blockSize_);
        if (!mapBuilder_->Usable()) {
            return Fail(ZIP_ER_INTERNAL, {"hash", path_, 0, "the system's crypto failed"});
        }
    }
    authenticator_.reset();  // before the keys it authenticates with go
    aesStream_.reset();
    if (job_.protect) {
        aes_ = WinZipAes::ForWriting(job_.password, 256);
        if (!aes_) {
            return Fail(ZIP_ER_INTERNAL, {"encrypt", path_, 0, "the system's crypto failed"});
        }
        framing_ = aes_->Header();
        aesStream_ = aes_->NewStream();
        if (!aesStream_) {
            return Fail(ZIP_ER_INTERNAL, {"encrypt", path_, 0, "the system's crypto failed"});
        }
        authenticator_ = std::make_unique<BackgroundAuthenticator>(*aes_);
        encrypted_ = 0;
    }
    deflate_ = std::make_unique<ParallelDeflate>(
        [this](std::uint8_t* data, std::size_t length) { return ReadFile(data, length); },
        ParallelDeflate::Settings{job_.deflateLevel, job_.threads, ChunkSize});
    if (derivedFrom_ == nullptr) {
        job_.events.AddingFile(memberName_);
    }
    return 0;
}

void ZipMemberSource::Close()
{
    deflate_.reset();  // its threads and buffers go with it; the checksum was kept
    authenticator_.reset();
    aesStream_.reset();
    aes_.reset();
    in_.reset();
}

// What libzip reads: AES salt and verifier, the data, the AES code; each part is made in bulk
// when the previous one is used up, and handed out in libzip's small reads.
zip_int64_t ZipMemberSource::Read(void* data, zip_uint64_t length)
{
    auto* out = static_cast<std::uint8_t*>(data);
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<zip_uint64_t>(length, std::numeric_limits<std::int32_t>::max()));
    std::size_t given = 0;
    while (given < wanted) {
        std::span<std::uint8_t> from = !framing_.empty() ? std::span(framing_) : piece_;
        if (from.empty()) {
            if (finished_ || !NextPiece()) {
                break;
            }
            continue;
        }
        const std::size_t take = std::min(wanted - given, from.size());
        std::copy_n(from.begin(), take, out + given);
        given += take;
        if (!framing_.empty()) {
            framing_.erase(framing_.begin(), framing_.begin() + static_cast<std::ptrdiff_t>(take));
        } else {
            piece_ = piece_.subspan(take);
        }
    }
    if (given == 0 && !finished_) {
        return -1;  // NextPiece failed and said why
    }
    return static_cast<zip_int64_t>(given);
}

bool ZipMemberSource::NextPiece()
{
    if (dataDone_) {
        finished_ = true;
        return true;
    }
    if (!deflate_->Next(piece_)) {
        if (zip_error_code_zip(&error_) == ZIP_ER_OK) {  // not the file: memory
            Fail(ZIP_ER_MEMORY, {"deflate", path_, 0, "out of memory"});
        }
        return false;
    }
    if (!piece_.empty()) {
        chunks_.chunks.push_back({static_cast<std::uint32_t>(piece_.size()), deflate_->PieceCrc()});
        if (aes_) {
            aesStream_->Apply(encrypted_, piece_.data(), piece_.size());
            encrypted_ += piece_.size();
            authenticator_->Add(piece_.data(), piece_.size());
        }
        return true;
    }
    // The size went into the member's headers (and decided on ZIP64) before the data.
    if (read_ != size_) {
        Fail(ZIP_ER_INCONS, {"archive", path_, 0, "the file changed while it was read"});
        return false;
    }
    crc_ = deflate_->Crc();
    dataDone_ = true;
    if (mapBuilder_) {
        map_ = mapBuilder_->Finish();
        mapBuilder_.reset();
    }
    if (aes_) {
        const WinZipAes::Code code = authenticator_->Finish();
        framing_.assign(code.begin(), code.end());
    }
    return true;
}

// Runs on the caller's thread, between chunks handed out: the deflating threads never touch
// the file or the events.
std::ptrdiff_t ZipMemberSource::ReadFile(std::uint8_t* data, std::size_t length)
{
    // Progress moves in steps of at most this; the deflater asks for a whole chunk at a time.
    constexpr std::size_t ProgressStep = 32 * 1024;
    if (job_.cancelled != nullptr && job_.cancelled->load()) {
        Fail(ZIP_ER_CANCELLED, {"archive", path_, 0, "the write was cancelled"});
        return -1;
    }
    const std::int64_t read =
        in_->Read(reinterpret_cast<char*>(data), std::min(length, ProgressStep));
    if (read < 0) {
        Fail(ZIP_ER_READ, in_->Failure());
        return -1;
    }
    const auto got = static_cast<std::uint64_t>(read);
    read_ += got;
    if (read_ > size_) {
        Fail(ZIP_ER_INCONS, {"archive", path_, 0, "the file changed while it was read"});
        return -1;
    }
    if (mapBuilder_) {
        mapBuilder_->Update(data, static_cast<std::size_t>(got));
    }
    if (derivedFrom_ == nullptr) {
        job_.Advance(got);
    }
    return static_cast<std::ptrdiff_t>(got);
}

zip_int64_t ZipMemberSource::Stat(void* data, zip_uint64_t length)
{
    if (length < sizeof(zip_stat_t)) {
        zip_error_set(&error_, ZIP_ER_INVAL, 0);
        return -1;
    }
    auto* stat = static_cast<zip_stat_t*>(data);
    zip_stat_init(stat);
    stat->size = size_;
    stat->mtime = modified_;
    stat->comp_method = ZIP_CM_DEFLATE;
    stat->encryption_method = job_.protect ? ZIP_EM_AES_256 : ZIP_EM_NONE;
    stat->valid |=
        ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if (finished_) {
        stat->crc = crc_;
        stat->valid |= ZIP_STAT_CRC;
    }
    return sizeof(zip_stat_t);
}

zip_int64_t ZipMemberSource::Fail(int zipError, const Error& failure)
{
    zip_error_set(&error_, zipError, 0);
    if (job_.failure.operation.empty()) {
        job_.failure = failure;
    }
    return -1;
}

}  // namespace kestrel
