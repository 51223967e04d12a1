#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/TextFile.h"
#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesW(Utf8ToWide(path).c_str());
}

// What FindFirstFileW takes to list everything directly inside the folder.
std::wstring EverythingIn(const std::wstring& folder)
{
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\') {
        pattern += L'\\';
    }
    return pattern + L'*';
}

// The entries directly inside the folder as FindFirstFileW reports them, without "." and "..".
std::vector<WIN32_FIND_DATAW> Entries(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(EverythingIn(folder).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back(found);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Removes a file or a folder with everything in it, as far as the system lets it. A reparse
// point (a symbolic link, a junction) is removed as the link it is, never entered: its target
// may lie anywhere. Neither DeleteFileW nor RemoveDirectoryW removes a read-only entry, so the
// attribute goes first; a link's is left, since setting attributes may reach its target.
void RemoveEntry(const std::wstring& path, DWORD attributes)
{
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!link && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        const DWORD kept =
            attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        SetFileAttributesW(path.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    if (!folder) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!link) {
        for (const WIN32_FIND_DATAW& entry : Entries(path)) {
            RemoveEntry(path + L"\\" + entry.cFileName, entry.dwFileAttributes);
        }
    }
    RemoveDirectoryW(path.c_str());
}

// A time of the file system's (100 ns steps since 1601) as the C library's seconds since 1970.
std::time_t UnixTime(const FILETIME& time)
{
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    constexpr std::uint64_t TicksPerSecond = 10000000;
    constexpr std::uint64_t SecondsFrom1601To1970 = 11644473600;
    return static_cast<std::time_t>(ticks / TicksPerSecond - SecondsFrom1601To1970);
}

class Win32OutputFile final : public OutputFile {
public:
    Win32OutputFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
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
        if (!WriteAll(data, size, nullptr)) {
            return Fail();
        }
        written_ += size;
        return true;
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        if (handle_ == INVALID_HANDLE_VALUE || failed_) {
            return false;
        }
        if (offset + size > written_) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return Fail();
        }
        // A write at an offset moves the file pointer; appending goes on from the end.
        LARGE_INTEGER end{};
        if (!WriteAll(data, size, &offset) || !SetFilePointerEx(handle_, end, nullptr, FILE_END)) {
            return Fail();
        }
        return true;
    }

    bool Commit() override
    {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool flushed = !failed_ && FlushFileBuffers(handle_) != 0;
        if (!flushed && !failed_) {
            Fail();
        }
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return flushed && closed;
    }

    const Error& Failure() const override { return failure_; }

private:
    bool WriteAll(const char* data, std::size_t size, const std::uint64_t* offset)
    {
        std::uint64_t at = offset != nullptr ? *offset : 0;
        while (size > 0) {
            const auto part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD done = 0;
            if (!WriteFile(handle_, data, part, &done, offset != nullptr ? &position : nullptr) ||
                done == 0) {
                return false;
            }
            data += done;
            size -= done;
            at += done;
        }
        return true;
    }

    bool Fail()
    {
        if (!failed_) {
            failure_ = SystemError("write", path_, static_cast<long>(GetLastError()));
        }
        failed_ = true;
        return false;
    }

    HANDLE handle_;
    std::string path_;
    Error failure_;
    std::uint64_t written_ = 0;
    bool failed_ = false;
};

class Win32InputFile final : public InputFile {
public:
    Win32InputFile(HANDLE handle, std::uint64_t size, std::string path)
        : handle_(handle), size_(size), path_(std::move(path))
    {
    }
    ~Win32InputFile() override { CloseHandle(handle_); }
    Win32InputFile(const Win32InputFile&) = delete;
    Win32InputFile& operator=(const Win32InputFile&) = delete;

    std::int64_t Read(char* data, std::size_t size) override
    {
        std::size_t got = 0;
        while (got < size) {
            const auto part = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
            DWORD done = 0;
            if (!ReadFile(handle_, data + got, part, &done, nullptr)) {
                failure_ = SystemError("read", path_, static_cast<long>(GetLastError()));
                return -1;
            }
            if (done == 0) {
                break;
            }
            got += done;
        }
        return static_cast<std::int64_t>(got);
    }

    bool Seek(std::uint64_t offset) override
    {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) {
            failure_ = SystemError("read", path_, static_cast<long>(GetLastError()));
            return false;
        }
        return true;
    }

    std::uint64_t Size() const override { return size_; }
    const Error& Failure() const override { return failure_; }

private:
    HANDLE handle_;
    std::uint64_t size_;
    std::string path_;
    Error failure_;
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
    for (const WIN32_FIND_DATAW& entry : Entries(Utf8ToWide(folder))) {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(WideToUtf8(entry.cFileName));
        }
    }
    return names;
}

std::vector<std::string> Win32FileSystem::FoldersIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const WIN32_FIND_DATAW& entry : Entries(Utf8ToWide(folder))) {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            names.push_back(WideToUtf8(entry.cFileName));
        }
    }
    return names;
}

bool Win32FileSystem::CanListFolder(const std::string& folder)
{
    if (!FolderExists(folder)) {
        return false;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(EverythingIn(Utf8ToWide(folder)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        // The root of an empty drive has no "." entry, so nothing is found; a folder the
        // user may not read answers "access denied".
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    FindClose(search);
    return true;
}

bool Win32FileSystem::CreateFolder(const std::string& path)
{
    return CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr) != 0;
}

bool Win32FileSystem::RemoveFile(const std::string& path)
{
    return DeleteFileW(Utf8ToWide(path).c_str()) != 0;
}

bool Win32FileSystem::RemoveFolderTree(const std::string& folder)
{
    std::wstring path = Utf8ToWide(folder);
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return IsMissing(GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    RemoveEntry(path, attributes);
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissing(GetLastError());
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

bool Win32FileSystem::AppendLogLine(const std::string& path, const std::string& line)
{
    return AppendLogTextLine(NativePath(path), line);
}

std::string Win32FileSystem::CreateTempFile(const std::string& folder, const std::string& prefix)
{
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(Utf8ToWide(folder).c_str(), Utf8ToWide(prefix).c_str(), 0, name) == 0) {
        return {};
    }
    return WideToUtf8(name);
}

Result<std::unique_ptr<OutputFile>> Win32FileSystem::CreateOutputFile(const std::string& path)
{
    HANDLE handle = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return SystemError("create", path, static_cast<long>(GetLastError()));
    }
    return std::unique_ptr<OutputFile>(std::make_unique<Win32OutputFile>(handle, path));
}

Result<std::unique_ptr<InputFile>> Win32FileSystem::OpenInputFile(const std::string& path)
{
    // Sharing writing too: another program may have the file open for writing and still allow
    // readers (one that allows none makes this fail, as it should).
    HANDLE handle =
        CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return SystemError("open", path, static_cast<long>(GetLastError()));
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        Error error = SystemError("open", path, static_cast<long>(GetLastError()));
        CloseHandle(handle);
        return error;
    }
    return std::unique_ptr<InputFile>(
        std::make_unique<Win32InputFile>(handle, static_cast<std::uint64_t>(size.QuadPart), path));
}

Result<FileFacts> Win32FileSystem::Stat(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
        return SystemError("find", path, static_cast<long>(GetLastError()));
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return FileFacts{size, UnixTime(data.ftLastWriteTime),
                     (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

std::optional<FileIdentity> Win32FileSystem::Identity(const std::string& path)
{
    // No access asked for, so a file another program holds open without sharing still answers;
    // backup semantics open a folder too.
    HANDLE handle = CreateFileW(Utf8ToWide(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known) {
        return std::nullopt;
    }
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
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
