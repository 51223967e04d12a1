#include "platform/posix/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kestrel {
namespace {

std::optional<Error> WriteAll(int file, const std::filesystem::path& path, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(file, text.data() + written, text.size() - written);
        if (count < 0 && errno != EINTR) {
            return SystemError("write", path.string(), errno);
        }
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Error> WritePrivateFile(const std::filesystem::path& path, const std::string& text,
                                      PrivateWrite how, bool* existed)
{
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | (how == PrivateWrite::CreateNew ? O_EXCL : O_TRUNC);
    const int file = open(path.c_str(), flags, 0600);
    if (existed) {
        *existed = file < 0 && errno == EEXIST;
    }
    if (file < 0) {
        return SystemError("create", path.string(), errno);
    }
    // The mode given to open is only for a file it creates, and the umask may take from it.
    std::optional<Error> failure;
    if (fchmod(file, 0600) != 0) {
        failure = SystemError("protect", path.string(), errno);
    }
    if (!failure) {
        failure = WriteAll(file, path, text);
    }
    if (!failure && fsync(file) != 0) {
        failure = SystemError("write", path.string(), errno);
    }
    if (close(file) != 0 && !failure) {
        failure = SystemError("write", path.string(), errno);
    }
    if (failure) {
        unlink(path.c_str());
    }
    return failure;
}

bool MakePrivateFile(const std::filesystem::path& path)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (file < 0) {
        return false;
    }
    struct stat status {};
    bool isPrivate = fstat(file, &status) == 0;
    if (isPrivate && (status.st_mode & 07777) != 0600) {
        isPrivate = fchmod(file, 0600) == 0;
    }
    close(file);
    return isPrivate;
}

}  // namespace kestrel
