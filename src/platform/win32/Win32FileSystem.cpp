#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>

#include "platform/TextFile.h"
#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesW(Utf8ToWide(path).c_str());
}

class Win32OutputFile final : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}
    ~Win32OutputFile() override
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    bool Write(const char* data, std::size_t size) override
    {
        if (handle_ == INVALID_HANDLE_VALUE || failed_) {
            return false;
        }
        while (size > 0) {
            const auto part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD done = 0;
            if (!WriteFile(handle_, data, part, &done, nullptr) || done == 0) {
                failed_ = true;
                return false;
            }
            data += done;
            size -= done;
        }
        return true;
    }

    bool Commit() override
    {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool flushed = !failed_ && FlushFileBuffers(handle_) != 0;
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return flushed && closed;
    }

private:
    HANDLE handle_;
    bool failed_ = false;
};

}  // namespace

std::filesystem::path Win32FileSystem::NativePath(const std::string& path)
{
    return Utf8ToWide(path);
}

bool Win32FileSystem::FileExists(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

bool Win32FileSystem::FolderExists(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> Win32FileSystem::FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::wstring pattern = Utf8ToWide(folder);
    if (!pattern.empty() && pattern.back() != L'\\') {
        pattern += L'\\';
    }
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(WideToUtf8(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool Win32FileSystem::CreateFolder(const std::string& path)
{
    return CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr) != 0;
}

bool Win32FileSystem::RemoveFile(const std::string& path)
{
    return DeleteFileW(Utf8ToWide(path).c_str()) != 0;
}

bool Win32FileSystem::RenameFile(const std::string& from, const std::string& to)
{
    return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), 0) != 0;
}

bool Win32FileSystem::MoveOver(const std::string& from, const std::string& to)
{
    return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileSystem::CopyFileTo(const std::string& from, const std::string& to)
{
    return CopyFileW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), FALSE) != 0;
}

bool Win32FileSystem::SetNormalAttributes(const std::string& path)
{
    return SetFileAttributesW(Utf8ToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

std::optional<std::vector<std::string>> Win32FileSystem::ReadTextLines(const std::string& path)
{
    if (FolderExists(path)) {
        return std::nullopt;
    }
    return ReadAnsiTextLines(NativePath(path));
}

bool Win32FileSystem::AppendTextLine(const std::string& path, const std::string& line)
{
    return AppendAnsiTextLine(NativePath(path), line);
}

std::string Win32FileSystem::CreateTempFile(const std::string& folder, const std::string& prefix)
{
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(Utf8ToWide(folder).c_str(), Utf8ToWide(prefix).c_str(), 0, name) == 0) {
        return {};
    }
    return WideToUtf8(name);
}

std::unique_ptr<OutputFile> Win32FileSystem::CreateOutputFile(const std::string& path)
{
    HANDLE handle = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<Win32OutputFile>(handle);
}

bool Win32FileSystem::FlushToDisk(const std::string& path)
{
    // Backup semantics let a folder be opened too; its entries are flushed with it.
    HANDLE handle = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return flushed;
}

}  // namespace kestrel
