#include "archive/ZipMemberSource.h"

namespace kestrel {

ZipMemberSource::ZipMemberSource(ZipWriteJob& job, FileSystem& fileSystem, std::string path,
                                 std::string memberName, std::uint64_t size, std::time_t modified)
    : job_(job),
      fileSystem_(fileSystem),
      path_(std::move(path)),
      memberName_(std::move(memberName)),
      size_(size),
      modified_(modified)
{
    zip_error_init(&error_);
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
            source.in_.reset();
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
    auto opened = fileSystem_.OpenInputFile(path_);
    if (!opened) {
        return Fail(ZIP_ER_OPEN, opened.error());
    }
    in_ = std::move(*opened);
    read_ = 0;
    job_.events.AddingFile(memberName_);
    return 0;
}

zip_int64_t ZipMemberSource::Read(void* data, zip_uint64_t length)
{
    if (!in_) {
        zip_error_set(&error_, ZIP_ER_INTERNAL, 0);
        return -1;
    }
    const std::int64_t read = in_->Read(static_cast<char*>(data), length);
    if (read < 0) {
        return Fail(ZIP_ER_READ, in_->Failure());
    }
    const auto got = static_cast<std::uint64_t>(read);
    read_ += got;
    // The size went into the member's headers (and decided on ZIP64) before the data.
    if (read_ > size_ || (got == 0 && read_ != size_)) {
        return Fail(ZIP_ER_INCONS, {"archive", path_, 0, "the file changed while it was read"});
    }
    job_.Advance(got);
    return static_cast<zip_int64_t>(got);
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
    stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
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
