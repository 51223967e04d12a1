#include "platform/posix/PosixFileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/TextFile.h"
#include "platform/posix/EnvironmentRoot.h"

namespace kestrel {
namespace {

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
    while (end < text.size() && count > 0) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            ++end;
        }
        --count;
    }
    return text.substr(0, end);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    const char separator = !folder.empty() && folder[0] == '/' ? '/' : '\\';
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
        return folder + name;
    }
    return folder + separator + name;
}

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
           unlink(native.c_str()) == 0;
}

bool PosixFileSystem::RenameFile(const std::string& from, const std::string& to)
{
    const std::filesystem::path source = NativePath(from);
    const std::filesystem::path target = NativePath(to);
    if (source.empty() || target.empty()) {
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
    return !source.empty() && !target.empty() && rename(source.c_str(), target.c_str()) == 0;
}

bool PosixFileSystem::CopyFileTo(const std::string& from, const std::string& to)
{
    const std::filesystem::path source = NativePath(from);
    const std::filesystem::path target = NativePath(to);
    std::error_code error;
    return !source.empty() && !target.empty() &&
           std::filesystem::copy_file(source, target,
                                      std::filesystem::copy_options::overwrite_existing, error);
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
    const std::filesystem::path native = NativePath(path);
    return !native.empty() && AppendAnsiTextLine(native, line);
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
        const int fd = open((native / name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
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
