#include "platform/FileLock.h"

#include <windows.h>

namespace kestrel {
namespace {

class Win32FileLock final : public FileLock {
public:
    explicit Win32FileLock(HANDLE file) : file_(file) {}
    ~Win32FileLock() override { CloseHandle(file_); }
    Win32FileLock(const Win32FileLock&) = delete;
    Win32FileLock& operator=(const Win32FileLock&) = delete;

private:
    HANDLE file_;
};

}  // namespace

std::unique_ptr<FileLock> FileLock::TryAcquire(const std::filesystem::path& file)
{
    // No sharing: while one process has the file open, every other open fails.
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<Win32FileLock>(handle);
}

}  // namespace kestrel
