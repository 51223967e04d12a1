#include "platform/LockedRunFolder.h"
#include "platform/ProcessId.h"

#include <chrono>
#include <system_error>
#include <vector>

namespace kestrel {
namespace {

constexpr const char* RunPrefix = "run-";

}  // namespace

LockedRunFolder::LockedRunFolder(const std::string& windowsBase,
                                 const std::filesystem::path& nativeBase,
                                 std::chrono::seconds minimumAge)
    : windowsBase_(windowsBase), nativeBase_(nativeBase)
{
    std::error_code error;
    std::filesystem::create_directories(nativeBase, error);
    RemoveAbandonedFolders(nativeBase, minimumAge);

    const std::string name = RunPrefix + std::to_string(CurrentProcessId());
    std::filesystem::path folder = nativeBase / name;
    // A folder of this name can only be left by an ended process with our id: start clean.
    std::filesystem::remove_all(folder, error);
    if (!std::filesystem::create_directory(folder, error)) {
        return;
    }
    lock_ = FileLock::TryAcquire(folder / RunLockName);
    if (!lock_) {
        std::filesystem::remove_all(folder, error);
        return;
    }
    nativePath_ = folder;
    path_ = windowsBase + "\\" + name;
}

LockedRunFolder::~LockedRunFolder()
{
    if (nativePath_.empty()) {
        return;
    }
    lock_.reset();  // Windows refuses to delete a file that is open
    std::error_code error;
    std::filesystem::remove_all(nativePath_, error);
}

bool LockedRunFolder::IsRunning(const std::string& runFolder) const
{
    if (!path_.empty() && runFolder == path_) {
        return true;
    }
    const std::string prefix = windowsBase_ + "\\";
    if (runFolder.size() <= prefix.size() || runFolder.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string name = runFolder.substr(prefix.size());
    std::error_code error;
    if (name.find_first_of("\\/") != std::string::npos || name.rfind(RunPrefix, 0) != 0 ||
        !std::filesystem::is_directory(nativeBase_ / name, error)) {
        return false;
    }
    // The system drops the lock of an instance that ended, however it ended.
    return FileLock::TryAcquire(nativeBase_ / name / RunLockName) == nullptr;
}

void LockedRunFolder::RemoveAbandonedFolders(const std::filesystem::path& nativeBase,
                                             std::chrono::seconds minimumAge)
{
    std::error_code error;
    std::vector<std::filesystem::path> abandoned;
    for (const auto& entry : std::filesystem::directory_iterator(nativeBase, error)) {
        if (!entry.is_directory(error) ||
            entry.path().filename().string().rfind(RunPrefix, 0) != 0) {
            continue;
        }
        const auto modified = entry.last_write_time(error);
        if (error || std::filesystem::file_time_type::clock::now() - modified < minimumAge) {
            continue;
        }
        // A folder without its lock file was left between creating it and locking it.
        if (FileLock::TryAcquire(entry.path() / RunLockName)) {
            abandoned.push_back(entry.path());
        }
    }
    for (const auto& folder : abandoned) {
        std::filesystem::remove_all(folder, error);
    }
}

}  // namespace kestrel
