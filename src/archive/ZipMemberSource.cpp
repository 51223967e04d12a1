#include "archive/ZipMemberSource.h"

#include <algorithm>
#include <limits>

namespace kestrel {

ZipMemberSource::ZipMemberSource(ZipWriteJob& job, std::string path,
                                 std::filesystem::path nativePath, std::string memberName,
                                 std::uint64_t size, std::time_t modified)
    : job_(job),
      path_(std::move(path)),
      nativePath_(std::move(nativePath)),
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
            source.in_.close();
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
    in_.open(nativePath_, std::ios::binary);
    if (!in_) {
        return Fail(ZIP_ER_OPEN, "cannot open ");
    }
    read_ = 0;
    job_.events.AddingFile(memberName_);
    return 0;
}

zip_int64_t ZipMemberSource::Read(void* data, zip_uint64_t length)
{
    const auto wanted = static_cast<std::streamsize>(
        std::min<zip_uint64_t>(length, std::numeric_limits<std::int32_t>::max()));
    in_.read(static_cast<char*>(data), wanted);
    const auto got = static_cast<std::uint64_t>(in_.gcount());
    if (in_.bad()) {
        return Fail(ZIP_ER_READ, "cannot read ");
    }
    read_ += got;
    // The size went into the member's headers (and decided on ZIP64) before the data.
    if (read_ > size_ || (got == 0 && read_ != size_)) {
        return Fail(ZIP_ER_INCONS, "file changed while it was archived: ");
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

zip_int64_t ZipMemberSource::Fail(int zipError, const std::string& what)
{
    zip_error_set(&error_, zipError, 0);
    if (job_.error.empty()) {
        job_.error = what + path_;
    }
    return -1;
}

}  // namespace kestrel
