#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/PathJoin.h"
#include "platform/TextFile.h"
#include "platform/Utf8.h"
#include "platform/posix/EnvironmentRoot.h"
#include "platform/posix/PrivateFile.h"

namespace kestrel {
namespace {

// Files the program creates hold the user's mail, settings or archives of them: only the user
// may read them, whatever the umask allows.
constexpr mode_t PrivateMode = 0600;

bool IsHiddenName(const std::filesystem::path& file)
{
    const std::string name = file.filename().string();
    return !name.empty() && name[0] == '.';
}

// GetTempFileNameA keeps three characters of the prefix; a UTF-8 character may take several
// bytes, so count characters, not bytes.
std::string FirstCharacters(const std::string& text, int count)
{
    std::size_t end = 0;
    for (; end < text.size() && count > 0; --count) {
        end += DecodeUtf8(text, end).length;
    }
    return text.substr(0, end);
}

// The emulated machine's stand-in for a file opened without sharing: a program holds the
// file's exclusive lock (FileLock), and the operations Windows refuses on such a file fail.
bool HeldByAnother(const std::filesystem::path& native)
{
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

Error HeldError(const char* operation, const std::string& path)
{
    return {operation, path, EBUSY, "The file is held open by another program"};
}

// Removes the entry `name` of the folder open as `parent` (AT_FDCWD for a whole path), a folder
// with everything in it, as far as the system lets it. Entries are reached through the
// descriptors of the folders already open, and a folder is opened with O_NOFOLLOW, so a link,
// wherever it is and whatever it leads to, fails to open as a folder and is unlinked as the
// link it is.
void RemoveEntryAt(int parent, const char* name)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOTDIR || errno == ELOOP) {
            unlinkat(parent, name, 0);
        }
        return;
    }
    // Entries of a read-only folder (no write bit) cannot be removed; this one is going anyway.
    struct stat info {};
    if (fstat(fd, &info) == 0 && (info.st_mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR)) {
        fchmod(fd, (info.st_mode & 07777) | S_IRWXU);
    }
    DIR* folder = fdopendir(fd);
    if (folder == nullptr) {
        close(fd);
        return;
    }
    // Listed first: a folder that changes while it is read may list an entry twice or not at all.
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            names.push_back(entryName);
        }
    }
    for (const std::string& entryName : names) {
        RemoveEntryAt(dirfd(folder), entryName.c_str());
    }
    closedir(folder);
    unlinkat(parent, name, AT_REMOVEDIR);
}

// Writes a file through a descriptor, each Write blocking until the system has the data.
// Putting a file on the disk costs two waits: the pages reach the device, then the device
// empties its write cache (on a virtual disk the host writes the image through), which can take
// longer still. Linux starts either late (after half a minute, or once a tenth of the memory is
// dirty), so a large file would wait for both in Commit, all of it at once. Here the device gets
// each completed stretch while the next is written, and a thread flushes what has been written
// so far, again and again, so that Commit waits only for the tail. Stretches of 16 MiB and a
// flush every 64 MiB measured best: flushing more often costs more than it saves at the end.
class DiskWriter {
public:
    DiskWriter(int fd, bool onDisk) : fd_(fd), onDisk_(onDisk) {}
    ~DiskWriter() { Close(); }
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

    bool Write(const char* data, std::size_t size)
    {
        if (fd_ < 0 || failed_) {
            return false;
        }
        if (flushFailed_) {
            failed_ = true;
            return false;
        }
        if (!WriteFully(data, size, nullptr)) {
            return false;
        }
        written_ += static_cast<off_t>(size);
        if (onDisk_) {
            StartWriteback();
        }
        return !failed_;
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size)
    {
        if (fd_ < 0 || failed_) {
            return false;
        }
        if (offset + size > static_cast<std::uint64_t>(written_)) {
            return Failed(EINVAL);
        }
        auto at = static_cast<off_t>(offset);
        return WriteFully(data, size, &at);
    }

    // errno of the first failure; 0 while there was none.
    int ErrorCode() const { return flushFailed_ ? flushError_.load() : error_; }

    bool Commit()
    {
        if (fd_ < 0) {
            return false;
        }
        StopFlushing();
        const bool flushed = !failed_ && !flushFailed_ && fsync(fd_) == 0;
        if (!flushed && error_ == 0) {
            error_ = flushFailed_ ? flushError_.load() : errno;
        }
        const bool closed = close(fd_) == 0;
        if (!closed && error_ == 0) {
            error_ = errno;
        }
        fd_ = -1;
        return flushed && closed;
    }

    void Close()
    {
        StopFlushing();
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

private:
    static constexpr off_t Stretch = 16 * 1024 * 1024;
    static constexpr off_t FlushEvery = 64 * 1024 * 1024;

    // Appends, or writes at *at when given; a write of nothing on a full disk is a failure.
    bool WriteFully(const char* data, std::size_t size, off_t* at)
    {
        while (size > 0) {
            const ssize_t done =
                at != nullptr ? pwrite(fd_, data, size, *at) : write(fd_, data, size);
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done <= 0) {
                return Failed(done < 0 ? errno : ENOSPC);
            }
            data += done;
            size -= static_cast<std::size_t>(done);
            if (at != nullptr) {
                *at += static_cast<off_t>(done);
            }
        }
        return true;
    }

    bool Failed(int code)
    {
        failed_ = true;
        error_ = error_ != 0 ? error_ : code;
        return false;
    }

    void StartWriteback()
    {
        while (written_ - started_ >= Stretch) {
            if (sync_file_range(fd_, started_, Stretch, SYNC_FILE_RANGE_WRITE) != 0) {
                // A kernel without the call leaves the writing to the flushes; any other error
                // is the disk's, and a later fsync need not report it again.
                onDisk_ = false;
                if (errno != ENOSYS) {
                    Failed(errno);
                }
                return;
            }
            started_ += Stretch;
        }
        if (written_ - flushRequested_ >= FlushEvery) {
            flushRequested_ = written_;
            RequestFlush();
        }
    }

    void RequestFlush()
    {
        std::lock_guard lock(mutex_);
        if (!flusher_.joinable()) {
            try {
                flusher_ = std::thread([this] { Flush(); });
            } catch (const std::system_error&) {
                return;  // no thread to spare: Commit flushes it all
            }
        }
        flushWanted_ = true;
        wake_.notify_one();
    }

    // A flush covers everything written before it starts; requests made while one runs are
    // served by the next.
    void Flush()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return flushWanted_ || stopping_; });
            if (stopping_) {
                return;
            }
            flushWanted_ = false;
            lock.unlock();
            // An error is reported to one call only: Commit's fsync would not see it again.
            const bool flushed = fdatasync(fd_) == 0;
            const int flushError = errno;
            lock.lock();
            if (!flushed) {
                flushError_ = flushError;
                flushFailed_ = true;
                return;
            }
        }
    }

    void StopFlushing()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            wake_.notify_one();
        }
        if (flusher_.joinable()) {
            flusher_.join();
        }
    }

    int fd_;
    bool onDisk_;
    bool failed_ = false;
    off_t written_ = 0;
    off_t started_ = 0;
    off_t flushRequested_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool flushWanted_ = false;
    bool stopping_ = false;
    std::atomic<bool> flushFailed_ = false;
    std::atomic<int> flushError_ = 0;
    int error_ = 0;
    std::thread flusher_;
};

// Copying into the page cache costs about as much as the caller's own work on the data between
// two writes (inflating a ZIP member: a third of its time), so a thread of the file's own does
// the writing while the caller goes on: Write copies the data into a block and hands each full
// block over. A few blocks in flight keep memory small and the copies in the processor's cache.
class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, bool onDisk, std::string path)
        : disk_(fd, onDisk), path_(std::move(path))
    {
    }
    ~PosixOutputFile() override { StopWriting(false); }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    bool Write(const char* data, std::size_t size) override
    {
        if (closed_ || failed_) {
            return false;
        }
        while (size > 0) {
            if (filling_.capacity() == 0 && !TakeBlock()) {
                return Fail("write");
            }
            const std::size_t take = std::min(size, BlockSize - filling_.size());
            filling_.insert(filling_.end(), data, data + take);
            data += take;
            size -= take;
            if (filling_.size() == BlockSize && !HandOver(false)) {
                return Fail("write");
            }
        }
        return !writeFailed_ || Fail("write");
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        if (closed_ || failed_) {
            return false;
        }
        // The bytes must be in the file before they can be overwritten there.
        if ((!filling_.empty() && !HandOver(false)) || !WaitUntilWritten() ||
            !disk_.WriteAt(offset, data, size)) {
            return Fail("write");
        }
        return true;
    }

    const Error& Failure() const override { return failure_; }

    bool Commit() override
    {
        if (closed_) {
            return false;
        }
        failed_ = failed_ || (!filling_.empty() && !HandOver(true));
        StopWriting(!failed_);
        if (failed_ || writeFailed_) {
            disk_.Close();
            return Fail("write");
        }
        return disk_.Commit() || Fail("write");
    }

private:
    static constexpr std::size_t BlockSize = 256 * 1024;
    static constexpr std::size_t BlockCount = 8;

    bool Fail(const char* operation)
    {
        failed_ = true;
        if (failure_.operation.empty()) {
            failure_ =
                SystemError(operation, path_, disk_.ErrorCode() != 0 ? disk_.ErrorCode() : EIO);
        }
        return false;
    }

    // Waits until the queued blocks are in the file; false when a write has failed.
    bool WaitUntilWritten()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return (full_.empty() && !writing_) || writeFailed_; });
        return !writeFailed_;
    }

    // Waits for a free block; false when a write has failed.
    bool TakeBlock()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock,
                      [this] { return !free_.empty() || made_ < BlockCount || writeFailed_; });
        if (writeFailed_) {
            return false;
        }
        if (free_.empty()) {
            ++made_;
            filling_.reserve(BlockSize);
        } else {
            filling_ = std::move(free_.back());
            free_.pop_back();
        }
        return true;
    }

    // Queues the block filled so far. A file that fits in one block, or a system without a
    // thread to spare, is written here.
    bool HandOver(bool last)
    {
        std::vector<char> block = std::move(filling_);
        filling_ = std::vector<char>();
        std::lock_guard lock(mutex_);
        synchronous_ = synchronous_ || (last && !writer_.joinable());
        if (!writer_.joinable() && !synchronous_) {
            try {
                writer_ = std::thread([this] { WriteBlocks(); });
            } catch (const std::system_error&) {
                synchronous_ = true;
            }
        }
        if (synchronous_) {
            writeFailed_ = writeFailed_ || !disk_.Write(block.data(), block.size());
            block.clear();
            free_.push_back(std::move(block));
            return !writeFailed_;
        }
        full_.push_back(std::move(block));
        changed_.notify_all();
        return true;
    }

    void WriteBlocks()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !full_.empty() || stopping_; });
            if (full_.empty() || (stopping_ && !draining_)) {
                return;
            }
            std::vector<char> block = std::move(full_.front());
            full_.pop_front();
            writing_ = true;
            lock.unlock();
            const bool written = disk_.Write(block.data(), block.size());
            block.clear();
            lock.lock();
            writing_ = false;
            writeFailed_ = writeFailed_ || !written;
            free_.push_back(std::move(block));
            changed_.notify_all();
        }
    }

    // With `drain`, the queued blocks are written first; a file dropped without Commit keeps
    // only what was written by then.
    void StopWriting(bool drain)
    {
        if (closed_) {
            return;
        }
        closed_ = true;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            draining_ = drain;
            changed_.notify_all();
        }
        if (writer_.joinable()) {
            writer_.join();
        }
    }

    DiskWriter disk_;
    std::string path_;
    Error failure_;
    std::vector<char> filling_;
    bool closed_ = false;
    bool failed_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> full_;
    std::vector<std::vector<char>> free_;
    std::size_t made_ = 0;
    bool synchronous_ = false;
    bool stopping_ = false;
    bool draining_ = false;
    bool writing_ = false;
    std::atomic<bool> writeFailed_ = false;
    std::thread writer_;
};

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, std::uint64_t size, std::string path)
        : fd_(fd), size_(size), path_(std::move(path))
    {
    }
    ~PosixInputFile() override { close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::int64_t Read(char* data, std::size_t size) override
    {
        std::size_t got = 0;
        while (got < size) {
            const ssize_t done = read(fd_, data + got, size - got);
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done < 0) {
                failure_ = SystemError("read", path_, errno);
                return -1;
            }
            if (done == 0) {
                break;
            }
            got += static_cast<std::size_t>(done);
        }
        return static_cast<std::int64_t>(got);
    }

    bool Seek(std::uint64_t offset) override
    {
        if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
            failure_ = SystemError("read", path_, errno);
            return false;
        }
        return true;
    }

    std::uint64_t Size() const override { return size_; }
    const Error& Failure() const override { return failure_; }

private:
    int fd_;
    std::uint64_t size_;
    std::string path_;
    Error failure_;
};

}  // namespace

PosixFileSystem::PosixFileSystem(std::filesystem::path root) : root_(std::move(root))
{
}

std::filesystem::path PosixFileSystem::NativePath(const std::string& path)
{
    if (path.size() >= 1 && path[0] == '/' && (path.size() == 1 || path[1] != '/')) {
        // The program joins names with "\" whatever the folder; here it separates too.
        std::string native = path;
        std::replace(native.begin(), native.end(), '\\', '/');
        return native;
    }
    return MapWindowsPath(root_, path).value_or(std::filesystem::path());
}

bool PosixFileSystem::FileExists(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    struct stat info {};
    return !native.empty() && stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           !IsHiddenName(native);
}

bool PosixFileSystem::FolderExists(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    struct stat info {};
    return !native.empty() && stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> PosixFileSystem::FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    const std::filesystem::path native = NativePath(folder);
    if (native.empty()) {
        return names;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(native, error)) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored)) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

bool PosixFileSystem::CanListFolder(const std::string& folder)
{
    const std::filesystem::path native = NativePath(folder);
    if (native.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::directory_iterator listing(native, error);
    return !error;
}

std::vector<std::string> PosixFileSystem::FoldersIn(const std::string& folder)
{
    std::vector<std::string> names;
    const std::filesystem::path native = NativePath(folder);
    if (native.empty()) {
        return names;
    }
    // A link to a folder counts as one, as Windows lists a junction among the folders.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(native, error)) {
        std::error_code ignored;
        if (entry.is_directory(ignored)) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

bool PosixFileSystem::CreateFolder(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    return !native.empty() && mkdir(native.c_str(), 0777) == 0;
}

bool PosixFileSystem::RemoveFile(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    struct stat info {};
    return !native.empty() && lstat(native.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
           !HeldByAnother(native) && unlink(native.c_str()) == 0;
}

bool PosixFileSystem::RemoveFolderTree(const std::string& folder)
{
    const std::filesystem::path native = NativePath(folder);
    if (native.empty()) {
        return false;
    }
    struct stat info {};
    if (lstat(native.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR;
    }
    // The folder itself may be a link to one; RemoveEntryAt then removes just the link.
    if (!S_ISDIR(info.st_mode) && !(S_ISLNK(info.st_mode) && FolderExists(folder))) {
        return false;
    }
    RemoveEntryAt(AT_FDCWD, native.c_str());
    return lstat(native.c_str(), &info) != 0 && errno == ENOENT;
}

bool PosixFileSystem::RenameFile(const std::string& from, const std::string& to)
{
    const std::filesystem::path source = NativePath(from);
    const std::filesystem::path target = NativePath(to);
    if (source.empty() || target.empty() || HeldByAnother(source)) {
        return false;
    }
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace flag: the check and the rename are two steps.
    struct stat info {};
    return lstat(target.c_str(), &info) != 0 && rename(source.c_str(), target.c_str()) == 0;
}

bool PosixFileSystem::MoveOver(const std::string& from, const std::string& to)
{
    const std::filesystem::path source = NativePath(from);
    const std::filesystem::path target = NativePath(to);
    return !source.empty() && !target.empty() && !HeldByAnother(source) && !HeldByAnother(target) &&
           rename(source.c_str(), target.c_str()) == 0;
}

bool PosixFileSystem::CopyFileTo(const std::string& from, const std::string& to)
{
    const std::filesystem::path source = NativePath(from);
    const std::filesystem::path target = NativePath(to);
    std::error_code error;
    // What the program copies is the user's mail and settings: private, whatever the source
    // allowed.
    return !source.empty() && !target.empty() &&
           std::filesystem::copy_file(source, target,
                                      std::filesystem::copy_options::overwrite_existing, error) &&
           chmod(target.c_str(), PrivateMode) == 0;
}

bool PosixFileSystem::SetNormalAttributes(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    struct stat info {};
    return !native.empty() && stat(native.c_str(), &info) == 0 &&
           chmod(native.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

std::optional<std::vector<std::string>> PosixFileSystem::ReadTextLines(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    if (native.empty() || FolderExists(path)) {
        return std::nullopt;
    }
    return ReadAnsiTextLines(native);
}

bool PosixFileSystem::AppendTextLine(const std::string& path, const std::string& line)
{
    // The program's own records (a restore's journal names every file it touches) are readable
    // by their owner only, one written by an earlier version too.
    const std::filesystem::path native = NativePath(path);
    return !native.empty() && MakePrivateFile(native) && AppendAnsiTextLine(native, line);
}

bool PosixFileSystem::AppendLogLine(const std::string& path, const std::string& line)
{
    const std::filesystem::path native = NativePath(path);
    return !native.empty() && MakePrivateFile(native) && AppendLogTextLine(native, line);
}

std::string PosixFileSystem::CreateTempFile(const std::string& folder, const std::string& prefix)
{
    const std::filesystem::path native = NativePath(folder);
    if (native.empty()) {
        return {};
    }
    const std::string start = FirstCharacters(prefix, 3);
    // Windows starts from the tick count and counts up until a name is free.
    const auto ticks = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch() /
                                             std::chrono::milliseconds(1));
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
        const unsigned number = (ticks + attempt) & 0xFFFF;
        if (number == 0) {
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", number);
        const std::string name = start + hex + ".tmp";
        const int fd =
            open((native / name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, PrivateMode);
        if (fd >= 0) {
            close(fd);
            return JoinPath(folder, name);
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

Result<std::unique_ptr<OutputFile>> PosixFileSystem::CreateOutputFile(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    if (native.empty()) {
        return SystemError("create", path, ENOENT);
    }
    if (HeldByAnother(native)) {
        return HeldError("create", path);
    }
    const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, PrivateMode);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        Error error = SystemError("create", path, errno);
        if (fd >= 0) {
            close(fd);
        }
        return error;
    }
    return std::unique_ptr<OutputFile>(
        std::make_unique<PosixOutputFile>(fd, S_ISREG(info.st_mode), path));
}

Result<std::unique_ptr<InputFile>> PosixFileSystem::OpenInputFile(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    if (native.empty()) {
        return SystemError("open", path, ENOENT);
    }
    if (HeldByAnother(native)) {
        return HeldError("open", path);
    }
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Error error = SystemError("open", path, fd < 0 ? errno : EISDIR);
        if (fd >= 0) {
            close(fd);
        }
        return error;
    }
    return std::unique_ptr<InputFile>(
        std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(info.st_size), path));
}

Result<FileFacts> PosixFileSystem::Stat(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    struct stat info {};
    if (native.empty() || stat(native.c_str(), &info) != 0) {
        return SystemError("find", path, native.empty() ? ENOENT : errno);
    }
    return FileFacts{static_cast<std::uint64_t>(info.st_size), info.st_mtime,
                     S_ISDIR(info.st_mode)};
}

std::optional<FileIdentity> PosixFileSystem::Identity(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    struct stat info {};
    // stat follows symbolic links, so a link and what it leads to are one file.
    if (native.empty() || stat(native.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
}

bool PosixFileSystem::FlushToDisk(const std::string& path)
{
    const std::filesystem::path native = NativePath(path);
    if (native.empty()) {
        return false;
    }
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool flushed = fsync(fd) == 0;
    close(fd);
    return flushed;
}

}  // namespace kestrel
