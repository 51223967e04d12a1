#include "archive/ZipFileSource.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <vector>

#include "archive/MemberName.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

constexpr const char* PartMarker = ".part-";
constexpr std::size_t PartSuffixLength = 6;

// libzip's protocol: stat and the commands report an error through the source's zip_error_t.
zip_int64_t Refuse(zip_error_t& error, int zipCode, int systemCode = 0)
{
    zip_error_set(&error, zipCode, systemCode);
    return -1;
}

zip_int64_t StatResult(void* data, zip_uint64_t length, std::uint64_t size, std::time_t modified,
                       zip_error_t& error)
{
    auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &error);
    if (stat == nullptr) {
        return -1;
    }
    zip_stat_init(stat);
    stat->size = size;
    stat->mtime = modified;
    stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

// The error state every source keeps for libzip to ask about.
class SourceError {
public:
    SourceError() { zip_error_init(&error_); }
    ~SourceError() { zip_error_fini(&error_); }
    SourceError(const SourceError&) = delete;
    SourceError& operator=(const SourceError&) = delete;

protected:
    // libzip's seek arguments applied to a position within [0, end].
    zip_int64_t SeekWithin(std::uint64_t& position, std::uint64_t end, void* data,
                           zip_uint64_t length)
    {
        const zip_int64_t to = zip_source_seek_compute_offset(position, end, data, length, &error_);
        if (to < 0) {
            return -1;
        }
        position = static_cast<std::uint64_t>(to);
        return 0;
    }

    zip_error_t error_;
};

class ReadSource : private SourceError {
public:
    ReadSource(std::unique_ptr<InputFile> file, std::time_t modified)
        : file_(std::move(file)), modified_(modified)
    {
    }

    static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                                zip_source_cmd_t command)
    {
        auto& source = *static_cast<ReadSource*>(self);
        switch (command) {
            case ZIP_SOURCE_OPEN:
                source.position_ = 0;
                return 0;
            case ZIP_SOURCE_READ:
                return source.Read(data, length);
            case ZIP_SOURCE_CLOSE:
                return 0;
            case ZIP_SOURCE_STAT:
                return StatResult(data, length, source.file_->Size(), source.modified_,
                                  source.error_);
            case ZIP_SOURCE_SEEK:
                return source.SeekWithin(source.position_, source.file_->Size(), data, length);
            case ZIP_SOURCE_TELL:
                return static_cast<zip_int64_t>(source.position_);
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&source.error_, data, length);
            case ZIP_SOURCE_FREE:
                delete &source;
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return ZIP_SOURCE_SUPPORTS_SEEKABLE;
            default:
                return Refuse(source.error_, ZIP_ER_OPNOTSUPP);
        }
    }

private:
    zip_int64_t Read(void* data, zip_uint64_t length)
    {
        // libzip mostly reads on from where it stopped; the file moves only when it did not.
        if (filePosition_ != position_ && !file_->Seek(position_)) {
            return Refuse(error_, ZIP_ER_SEEK, static_cast<int>(file_->Failure().systemCode));
        }
        filePosition_ = position_;
        const std::int64_t got = file_->Read(static_cast<char*>(data), length);
        if (got < 0) {
            filePosition_ = UnknownPosition;
            return Refuse(error_, ZIP_ER_READ, static_cast<int>(file_->Failure().systemCode));
        }
        position_ += static_cast<std::uint64_t>(got);
        filePosition_ = position_;
        return got;
    }

    static constexpr std::uint64_t UnknownPosition = ~std::uint64_t{0};

    std::unique_ptr<InputFile> file_;
    std::time_t modified_;
    std::uint64_t position_ = 0;
    std::uint64_t filePosition_ = UnknownPosition;  // where the input file stands
};

class WriteSource : private SourceError {
public:
    WriteSource(FileSystem& fileSystem, std::string target, Error& failure)
        : fileSystem_(fileSystem), target_(std::move(target)), failure_(failure)
    {
    }
    ~WriteSource() { Abandon(); }

    static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                                zip_source_cmd_t command)
    {
        auto& source = *static_cast<WriteSource*>(self);
        switch (command) {
            case ZIP_SOURCE_STAT:
                // The archive is always written new: libzip takes a missing file for that.
                return Refuse(source.error_, ZIP_ER_READ, ENOENT);
            case ZIP_SOURCE_BEGIN_WRITE:
                return source.BeginWrite();
            case ZIP_SOURCE_WRITE:
                return source.Write(static_cast<const char*>(data), length);
            case ZIP_SOURCE_SEEK_WRITE:
                return source.SeekWithin(source.position_, source.end_, data, length);
            case ZIP_SOURCE_TELL_WRITE:
                return static_cast<zip_int64_t>(source.position_);
            case ZIP_SOURCE_COMMIT_WRITE:
                return source.CommitWrite();
            case ZIP_SOURCE_ROLLBACK_WRITE:
                source.Abandon();
                return 0;
            case ZIP_SOURCE_REMOVE:
                // Only an archive left without members would be removed; none is written so.
                return Refuse(source.error_, ZIP_ER_REMOVE, ENOENT);
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&source.error_, data, length);
            case ZIP_SOURCE_FREE:
                delete &source;
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return ZIP_SOURCE_SUPPORTS_WRITABLE;
            default:
                // Reading the target back: nothing of it is ever used.
                return Refuse(source.error_, ZIP_ER_OPNOTSUPP);
        }
    }

private:
    zip_int64_t BeginWrite()
    {
        const std::string folder = ParentFolder(target_);
        const std::string name = BareName(target_);
        std::random_device seed;
        std::mt19937 random(seed());
        constexpr std::string_view Letters = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
            std::string suffix(PartSuffixLength, ' ');
            for (char& c : suffix) {
                c = Letters[random() % Letters.size()];
            }
            const std::string candidate = JoinPath(folder, name + PartMarker + suffix);
            if (fileSystem_.Stat(candidate)) {
                continue;  // taken, by a write running now or a leftover
            }
            auto created = fileSystem_.CreateOutputFile(candidate);
            if (!created) {
                return Fail(created.error(), ZIP_ER_TMPOPEN);
            }
            file_ = std::move(*created);
            temporary_ = candidate;
        }
        if (!file_) {
            return Fail({"create a temporary file beside", target_, 0, "all names taken"},
                        ZIP_ER_TMPOPEN);
        }
        position_ = end_ = 0;
        return 0;
    }

    zip_int64_t Write(const char* data, zip_uint64_t length)
    {
        if (!file_) {
            return Refuse(error_, ZIP_ER_INTERNAL);
        }
        // libzip appends, except that it goes back to complete a header once the entry's sizes
        // are known, then on to the end again.
        const bool appending = position_ == end_;
        const bool written =
            appending ? file_->Write(data, length) : file_->WriteAt(position_, data, length);
        if (!written) {
            return Fail(file_->Failure(), ZIP_ER_WRITE);
        }
        position_ += length;
        end_ = std::max(end_, position_);
        return static_cast<zip_int64_t>(length);
    }

    zip_int64_t CommitWrite()
    {
        if (!file_) {
            return Refuse(error_, ZIP_ER_INTERNAL);
        }
        const bool committed = file_->Commit();
        if (!committed) {
            return Fail(file_->Failure(), ZIP_ER_WRITE);
        }
        file_.reset();  // Windows renames no file that is still open
        if (!fileSystem_.MoveOver(temporary_, target_)) {
            return Fail({"replace", target_, 0, "the new archive could not take its place"},
                        ZIP_ER_RENAME);
        }
        temporary_.clear();
        // The rename is only as durable as the folder entry that records it.
        fileSystem_.FlushToDisk(ParentFolder(target_));
        return 0;
    }

    zip_int64_t Fail(const Error& error, int zipCode)
    {
        if (failure_.operation.empty()) {
            failure_ = error;
        }
        return Refuse(error_, zipCode, static_cast<int>(error.systemCode));
    }

    void Abandon()
    {
        file_.reset();
        if (!temporary_.empty()) {
            fileSystem_.RemoveFile(temporary_);
            temporary_.clear();
        }
    }

    FileSystem& fileSystem_;
    std::string target_;
    Error& failure_;
    std::string temporary_;
    std::unique_ptr<OutputFile> file_;
    std::uint64_t position_ = 0;
    std::uint64_t end_ = 0;
};

template <typename Source>
zip_source_t* Wrap(Source* source, zip_source_callback callback)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* wrapped = zip_source_function_create(callback, source, &error);
    zip_error_fini(&error);
    if (wrapped == nullptr) {
        delete source;
    }
    return wrapped;
}

}  // namespace

zip_source_t* CreateArchiveReadSource(FileSystem& fileSystem, const std::string& path, Error& error)
{
    auto opened = fileSystem.OpenInputFile(path);
    if (!opened) {
        error = opened.error();
        return nullptr;
    }
    const auto facts = fileSystem.Stat(path);
    const std::time_t modified = facts ? facts->modified : 0;
    zip_source_t* source = Wrap(new ReadSource(std::move(*opened), modified), ReadSource::Callback);
    if (source == nullptr) {
        error = {"open", path, 0, "out of memory"};
    }
    return source;
}

zip_source_t* CreateArchiveWriteSource(FileSystem& fileSystem, const std::string& target,
                                       Error& failure)
{
    return Wrap(new WriteSource(fileSystem, target, failure), WriteSource::Callback);
}

bool IsPartialArchiveName(const std::string& name, const std::string& targetName)
{
    // Windows names the same file in any case; the suffix is ours and always lower-case.
    const std::string prefix = targetName + PartMarker;
    if (name.size() != prefix.size() + PartSuffixLength ||
        !EqualsIgnoringCase(name.substr(0, prefix.size()), prefix)) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

}  // namespace kestrel
