#include "disc/burn/IsoImage.h"

#include <libisofs/libisofs.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

// libisofs declares the layout of its streams for C only; custom streams fill it in.
struct iso_stream {
    IsoStreamIface* iface;
    int refcount;
    void* data;
};

namespace kestrel {
namespace {

constexpr std::uint32_t IsoBlock = 2048;

int IsoError(unsigned int code)
{
    return static_cast<int>(code);
}

std::string IsoErrorText(int code)
{
    const char* text = iso_error_to_msg(code);
    return text != nullptr ? text : "libisofs error " + std::to_string(code);
}

// A file of the image, read through the FileSystem from its source when the image is written.
// The size is the one taken when the image was built; a source that has changed since is
// logged, and what is missing is left to libisofs, which pads the file with zeros.
struct SourceStream {
    FileSystem* files = nullptr;
    std::string path;
    std::uint64_t size = 0;
    ino_t id = 0;
    SourceReadLog* log = nullptr;
    std::unique_ptr<InputFile> input;
    std::uint64_t delivered = 0;
};

SourceStream& StreamOf(IsoStream* stream)
{
    return *static_cast<SourceStream*>(stream->data);
}

void LogFailure(SourceStream& s, const std::string& text)
{
    s.log->Fail(FileError{IsoError(ISO_FILE_READ_ERROR), text, s.path});
}

int OpenSource(IsoStream* stream)
{
    SourceStream& s = StreamOf(stream);
    if (s.input) {
        return IsoError(ISO_FILE_ALREADY_OPENED);
    }
    Result<std::unique_ptr<InputFile>> input = s.files->OpenInputFile(s.path);
    if (!input) {
        LogFailure(s, input.error().Describe());
        return IsoError(ISO_FILE_DOESNT_EXIST);
    }
    s.input = std::move(*input);
    s.delivered = 0;
    return ISO_SUCCESS;
}

int CloseSource(IsoStream* stream)
{
    SourceStream& s = StreamOf(stream);
    if (!s.input) {
        return IsoError(ISO_FILE_NOT_OPENED);
    }
    s.input.reset();
    return ISO_SUCCESS;
}

off_t SourceSize(IsoStream* stream)
{
    return static_cast<off_t>(StreamOf(stream).size);
}

int ReadSource(IsoStream* stream, void* buffer, std::size_t count)
{
    SourceStream& s = StreamOf(stream);
    if (!s.input) {
        return IsoError(ISO_FILE_NOT_OPENED);
    }
    const std::uint64_t left = s.size - s.delivered;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    std::size_t filled = 0;
    while (filled < count) {
        const std::int64_t got = s.input->Read(static_cast<char*>(buffer) + filled, count - filled);
        if (got < 0) {
            LogFailure(s, s.input->Failure().Describe());
            return IsoError(ISO_FILE_READ_ERROR);
        }
        if (got == 0) {
            LogFailure(s, "The file is shorter than when it was added.");
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    s.delivered += filled;
    return static_cast<int>(filled);
}

int SourceRepeatable(IsoStream* /*stream*/)
{
    return 1;
}

void SourceId(IsoStream* stream, unsigned int* fsId, dev_t* devId, ino_t* inoId)
{
    *fsId = 0;
    *devId = 0;
    *inoId = StreamOf(stream).id;
}

void FreeSource(IsoStream* stream)
{
    delete static_cast<SourceStream*>(stream->data);
}

IsoStreamIface sourceStreamIface = {0,
                                    {'k', 's', 'r', 'c'},
                                    OpenSource,
                                    CloseSource,
                                    SourceSize,
                                    ReadSource,
                                    SourceRepeatable,
                                    SourceId,
                                    FreeSource,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr};

IsoStream* NewSourceStream(FileSystem& files, const ImageItem& item, std::uint64_t size,
                           SourceReadLog& log)
{
    auto* data = new SourceStream;
    data->files = &files;
    data->path = item.SourcePath;
    data->size = size;
    data->id = serial_id++;
    data->log = &log;
    // libisofs frees the stream itself, with free().
    auto* stream = static_cast<IsoStream*>(std::calloc(1, sizeof(IsoStream)));
    stream->iface = &sourceStreamIface;
    stream->refcount = 1;
    stream->data = data;
    return stream;
}

void StampNode(IsoNode* node, bool folder, std::time_t when)
{
    iso_node_set_permissions(node, folder ? 0555 : 0444);
    iso_node_set_uid(node, 0);
    iso_node_set_gid(node, 0);
    iso_node_set_mtime(node, when);
    iso_node_set_atime(node, when);
    iso_node_set_ctime(node, when);
}

std::string IsoPathOf(const std::string& imagePath)
{
    std::string path = imagePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

IsoDir* FolderAt(Iso_Image* image, const std::string& imagePath)
{
    if (imagePath == "\\") {
        return iso_image_get_root(image);
    }
    IsoNode* node = nullptr;
    if (iso_tree_path_to_node(image, IsoPathOf(imagePath).c_str(), &node) != 1 ||
        iso_node_get_type(node) != LIBISO_DIR) {
        return nullptr;
    }
    return reinterpret_cast<IsoDir*>(node);
}

// Adds one item below its folder (added before it); a negative libisofs code on failure.
int AddItem(Iso_Image* image, FileSystem& files, const ImageItem& item,
            const IsoImageOptions& options, SourceReadLog& log)
{
    IsoDir* parent = FolderAt(image, item.Parent);
    if (parent == nullptr) {
        return IsoError(ISO_FILE_DOESNT_EXIST);
    }
    const std::time_t when = options.useFileDates && item.Date != 0 ? item.Date : options.now;
    if (item.IsFolder) {
        IsoDir* folder = nullptr;
        const int added = iso_image_add_new_dir(image, parent, item.Name.c_str(), &folder);
        if (added < 0) {
            return added;
        }
        StampNode(reinterpret_cast<IsoNode*>(folder), true, when);
        return ISO_SUCCESS;
    }
    const Result<FileFacts> facts = files.Stat(item.SourcePath);
    const std::uint64_t size = facts ? facts->size : static_cast<std::uint64_t>(item.Size);
    IsoStream* stream = NewSourceStream(files, item, size, log);
    IsoFile* file = nullptr;
    // The new file takes the stream's reference; a failed add leaves it with us.
    const int added = iso_image_add_new_file(image, parent, item.Name.c_str(), stream, &file);
    if (added < 0) {
        iso_stream_unref(stream);
        return added;
    }
    StampNode(reinterpret_cast<IsoNode*>(file), false, when);
    return ISO_SUCCESS;
}

// The files of an imported image, read through libisofs's streams over the block reader.
class IsoWrittenFiles final : public WrittenFiles {
public:
    explicit IsoWrittenFiles(BlockReader reader) : reader_(std::move(reader)) { Import(); }

    std::unique_ptr<InputFile> Open(const std::string& imagePath) override;

private:
    void Import();

    BlockReader reader_;
    IsoImagePtr image_;
};

int OpenBlocks(IsoDataSource* /*source*/)
{
    return ISO_SUCCESS;
}

int ReadBlock(IsoDataSource* source, std::uint32_t block, std::uint8_t* data)
{
    const BlockReader& reader = *static_cast<BlockReader*>(source->data);
    return reader(block, data) ? ISO_SUCCESS : IsoError(ISO_DATA_SOURCE_MISHAP);
}

void ForgetBlocks(IsoDataSource* /*source*/)
{
}

void IsoWrittenFiles::Import()
{
    // libisofs frees the source itself, with free().
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    source->refcount = 1;
    source->open = OpenBlocks;
    source->close = OpenBlocks;
    source->read_block = ReadBlock;
    source->free_data = ForgetBlocks;
    source->data = &reader_;
    IsoImage* image = nullptr;
    IsoReadOpts* options = nullptr;
    if (iso_image_new("", &image) == ISO_SUCCESS && iso_read_opts_new(&options, 0) == ISO_SUCCESS) {
        iso_read_opts_set_input_charset(options, "UTF-8");
        if (iso_image_import(image, source, options, nullptr) == ISO_SUCCESS) {
            image_.reset(image);
            image = nullptr;
        }
    }
    if (options != nullptr) {
        iso_read_opts_free(options);
    }
    if (image != nullptr) {
        iso_image_unref(image);
    }
    iso_data_source_unref(source);
}

// A file's stream from the written image; reads fail like the blocks beneath them.
class WrittenFile final : public InputFile {
public:
    explicit WrittenFile(IsoStream* stream) : stream_(stream) {}
    ~WrittenFile() override
    {
        iso_stream_close(stream_);
        iso_stream_unref(stream_);
    }

    std::int64_t Read(char* data, std::size_t size) override
    {
        size = std::min<std::size_t>(size, 1 << 20);
        const int got = iso_stream_read(stream_, data, size);
        if (got < 0) {
            failure_ = Error{"read", "the written image", got, IsoErrorText(got)};
            return -1;
        }
        return got;
    }
    bool Seek(std::uint64_t /*offset*/) override { return false; }
    std::uint64_t Size() const override
    {
        return static_cast<std::uint64_t>(iso_stream_get_size(stream_));
    }
    const Error& Failure() const override { return failure_; }

private:
    IsoStream* stream_;
    Error failure_;
};

std::unique_ptr<InputFile> IsoWrittenFiles::Open(const std::string& imagePath)
{
    IsoNode* node = nullptr;
    if (!image_ || iso_tree_path_to_node(image_.get(), IsoPathOf(imagePath).c_str(), &node) != 1 ||
        iso_node_get_type(node) != LIBISO_FILE) {
        return nullptr;
    }
    IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
    if (iso_stream_open(stream) < 0) {
        return nullptr;
    }
    iso_stream_ref(stream);
    return std::make_unique<WrittenFile>(stream);
}

}  // namespace

void SourceReadLog::Fail(const FileError& error)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!failed_) {
        failed_ = true;
        first_ = error;
    }
}

bool SourceReadLog::Failed() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return failed_;
}

FileError SourceReadLog::First() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return first_;
}

bool StartIsoLibrary()
{
    static const bool started = [] {
        if (iso_init() < 0) {
            return false;
        }
        char utf8[] = "UTF-8";
        iso_set_local_charset(utf8, 0);
        // Problems reach the engine through results, not through libisofs's printing.
        char quiet[] = "NEVER";
        char queue[] = "NEVER";
        iso_set_msgs_severities(queue, quiet, const_cast<char*>(""));
        return true;
    }();
    return started;
}

void IsoImageDeleter::operator()(Iso_Image* image) const
{
    iso_image_unref(image);
}

IsoImagePtr BuildIsoImage(FileSystem& files, const std::vector<ImageItem>& items,
                          const IsoImageOptions& options, SourceReadLog& log, std::string& error)
{
    IsoImage* created = nullptr;
    const int made = iso_image_new(options.volumeLabel.c_str(), &created);
    if (made < 0) {
        error = IsoErrorText(made);
        return nullptr;
    }
    IsoImagePtr image(created);
    iso_image_set_volume_id(created, options.volumeLabel.c_str());
    StampNode(reinterpret_cast<IsoNode*>(iso_image_get_root(created)), true, options.now);
    for (const ImageItem& item : items) {
        const int added = AddItem(created, files, item, options, log);
        if (added < 0) {
            error = item.ImagePath + ": " + IsoErrorText(added);
            return nullptr;
        }
    }
    return image;
}

burn_source* CreateImageSource(Iso_Image* image, std::string& error)
{
    IsoWriteOpts* options = nullptr;
    int result = iso_write_opts_new(&options, 0);
    if (result < 0) {
        error = IsoErrorText(result);
        return nullptr;
    }
    iso_write_opts_set_iso_level(options, 2);
    iso_write_opts_set_rockridge(options, 1);
    iso_write_opts_set_joliet(options, 1);
    iso_write_opts_set_joliet_longer_paths(options, 1);
    // The label as typed, blanks and lower case included.
    iso_write_opts_set_relaxed_vol_atts(options, 1);
    iso_write_opts_set_output_charset(options, "UTF-8");
    burn_source* source = nullptr;
    result = iso_image_create_burn_source(image, options, &source);
    iso_write_opts_free(options);
    if (result < 0) {
        error = IsoErrorText(result);
        return nullptr;
    }
    return source;
}

double EstimateImageBytes(const std::vector<ImageItem>& items)
{
    double blocks = 64;
    for (const ImageItem& item : items) {
        blocks += 3 + std::ceil(item.Size / IsoBlock);
    }
    return blocks * IsoBlock;
}

std::unique_ptr<WrittenFiles> OpenWrittenImage(BlockReader reader)
{
    return std::make_unique<IsoWrittenFiles>(std::move(reader));
}

}  // namespace kestrel
