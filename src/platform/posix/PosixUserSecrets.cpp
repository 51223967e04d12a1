#include "platform/posix/PosixUserSecrets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/PrivateFile.h"

namespace kestrel {
namespace {

constexpr int StoreAttempts = 8;

Error BadName(const std::string& name)
{
    return {"read", "secret " + name, 0, "not the name of a secret"};
}

std::optional<Error> MakePrivateFolder(const std::filesystem::path& folder)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return SystemError("create", folder.string(), errno);
    }
    // A folder made before, by hand or with another umask, is made private too.
    if (chmod(folder.c_str(), 0700) != 0) {
        return SystemError("protect", folder.string(), errno);
    }
    return std::nullopt;
}

}  // namespace

PosixUserSecrets::PosixUserSecrets(std::filesystem::path folder) : folder_(std::move(folder))
{
}

Result<std::string> PosixUserSecrets::Store(const std::string& prefix, const std::string& secret)
{
    if (auto failure = MakePrivateFolder(folder_)) {
        return *failure;
    }
    Error last{"store", "secret " + prefix, 0, "no free name"};
    for (int attempt = 0; attempt < StoreAttempts; ++attempt) {
        const std::string name = NewSecretName(prefix);
        if (!IsSecretName(name)) {
            return Error{"store", "secret " + prefix, 0, "not the name of a secret"};
        }
        bool existed = false;
        const auto failure =
            WritePrivateFile(folder_ / name, secret, PrivateWrite::CreateNew, &existed);
        if (!failure) {
            return name;
        }
        last = *failure;
        if (!existed) {
            break;
        }
    }
    return last;
}

Result<std::string> PosixUserSecrets::Read(const std::string& name)
{
    if (!IsSecretName(name)) {
        return BadName(name);
    }
    const std::filesystem::path path = folder_ / name;
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) {
        return SystemError("read", path.string(), errno);
    }
    std::string text;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(file, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    const int readError = count < 0 ? errno : 0;
    close(file);
    if (readError != 0) {
        return SystemError("read", path.string(), readError);
    }
    return text;
}

bool PosixUserSecrets::Remove(const std::string& name)
{
    return IsSecretName(name) && unlink((folder_ / name).c_str()) == 0;
}

}  // namespace kestrel
