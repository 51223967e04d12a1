#pragma once

#include <filesystem>
#include <memory>

namespace kestrel {

// An exclusive lock on a file, held until the object is destroyed or the process ends (the
// system releases it then, even when the process dies).
class FileLock {
public:
    virtual ~FileLock() = default;

    // Creates the file if missing and locks it; null when another process holds the lock or
    // the file cannot be created.
    static std::unique_ptr<FileLock> TryAcquire(const std::filesystem::path& file);
};

}  // namespace kestrel
