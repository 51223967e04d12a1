#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/FileLock.h"
#include "platform/RunFolder.h"

namespace kestrel {

// A run folder "run-<process id>" under a base folder, kept alive by a lock on a file inside
// it. A run folder whose lock can be taken belongs to a process that has ended, so it is
// removed; the folder of this run is removed when the object is destroyed.
class LockedRunFolder final : public RunFolder {
public:
    // windowsBase and nativeBase name the same folder (on Windows they are equal). A run
    // that is starting has its folder before it holds the lock, so folders younger than
    // minimumAge are never taken for abandoned ones.
    LockedRunFolder(const std::string& windowsBase, const std::filesystem::path& nativeBase,
                    std::chrono::seconds minimumAge = std::chrono::minutes(1));
    ~LockedRunFolder() override;
    LockedRunFolder(const LockedRunFolder&) = delete;
    LockedRunFolder& operator=(const LockedRunFolder&) = delete;

    std::string Path() const override { return path_; }
    bool IsRunning(const std::string& runFolder) const override;

private:
    void RemoveAbandonedFolders(const std::filesystem::path& nativeBase,
                                std::chrono::seconds minimumAge);

    std::string path_;
    std::string windowsBase_;
    std::filesystem::path nativeBase_;
    std::filesystem::path nativePath_;
    std::unique_ptr<FileLock> lock_;
};

}  // namespace kestrel
