#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kestrel {
namespace {

class PosixFileLock final : public FileLock {
public:
    explicit PosixFileLock(int descriptor) : descriptor_(descriptor) {}
    ~PosixFileLock() override { close(descriptor_); }
    PosixFileLock(const PosixFileLock&) = delete;
    PosixFileLock& operator=(const PosixFileLock&) = delete;

private:
    int descriptor_;
};

}  // namespace

std::unique_ptr<FileLock> FileLock::TryAcquire(const std::filesystem::path& file)
{
    int descriptor = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return nullptr;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        close(descriptor);
        return nullptr;
    }
    return std::make_unique<PosixFileLock>(descriptor);
}

}  // namespace kestrel
