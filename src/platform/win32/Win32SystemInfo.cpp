#include "platform/win32/Win32SystemInfo.h"

#include <windows.h>
// windows.h first: the shell's headers build on its types.
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/CodePage.h"

#include <string>
#include <vector>

namespace kestrel {
namespace {

// The path an open handle really leads to, junctions and symbolic links followed, in lower case
// (paths compare without regard to case); empty when the system cannot say.
std::wstring FinalPathOf(const std::wstring& path, bool folder)
{
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(
            handle, resolved.data(), static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
        if (length < resolved.size()) {
            resolved.resize(length);
            break;
        }
        resolved.resize(length + 1);
    }
    CloseHandle(handle);
    if (!resolved.empty()) {
        CharLowerBuffW(resolved.data(), static_cast<DWORD>(resolved.size()));
    }
    return resolved;
}

std::wstring RunningProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// A folder of programs installed for all users (Program Files, and its 32-bit and 64-bit
// twins where they exist), as the shell knows it: not from %ProgramFiles%, which any process
// may set for the processes it starts.
std::wstring ProgramFilesFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) {
        folder = FinalPathOf(path, true);
    }
    CoTaskMemFree(path);
    return folder;
}

bool IsInside(const std::wstring& path, const std::wstring& folder)
{
    return !folder.empty() && path.size() > folder.size() + 1 &&
           path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == L'\\';
}

}  // namespace

std::string Win32SystemInfo::ComputerName()
{
    char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof buffer;
    return GetComputerNameA(buffer, &size) ? AnsiToUtf8(std::string(buffer, size)) : std::string();
}

std::string Win32SystemInfo::LogonUserName()
{
    char buffer[257] = {};
    DWORD size = sizeof buffer;
    if (!GetUserNameA(buffer, &size) || size == 0) {
        return {};
    }
    return AnsiToUtf8(std::string(buffer, size - 1));  // size counts the NUL
}

std::string Win32SystemInfo::WindowsFolder()
{
    char buffer[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? AnsiToUtf8(std::string(buffer, length))
                                                : std::string();
}

std::string Win32SystemInfo::WindowsVersion()
{
    // GetVersionExA as the program has always asked it: without a compatibility manifest,
    // Windows 8.1 and later answer 6.2, and the folder layout rules are written for that.
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) {
        return {};
    }
#pragma GCC diagnostic pop
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
}

std::string Win32SystemInfo::ExpandEnvironmentText(const std::string& utf8Text)
{
    const std::string text = Utf8ToAnsi(utf8Text);
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return utf8Text;
    }
    std::vector<char> buffer(needed + 1);
    DWORD written =
        ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (written == 0 || written > buffer.size()) {
        return utf8Text;
    }
    return AnsiToUtf8(buffer.data());
}

std::string Win32SystemInfo::ProgramFolder()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            std::string path(buffer.data(), length);
            return AnsiToUtf8(path.substr(0, path.find_last_of('\\')));
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool Win32SystemInfo::HasAdministratorRights()
{
    // The elevation of the token, not membership of the Administrators group: an administrator
    // whose program was not elevated has the group only for denying access.
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool read =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0;
    CloseHandle(token);
    return read && elevation.TokenIsElevated != 0;
}

// Windows lets only administrators (and the system) add, replace or rename anything inside the
// Program Files folders, and their own folders above them are the system's: a program whose
// real path (links followed, so a junction from there into a user's folder does not count)
// lies inside one cannot be swapped by an unelevated process. Asking the file's security
// descriptor instead would let a folder elsewhere qualify, but Wine derives every file's
// descriptor from its Unix owner (the user owns all of a prefix, Program Files included), so
// that answer could never be tested to say yes; the place is what the all-users setup decides.
bool Win32SystemInfo::ProgramIsAdministratorsOnly()
{
    const std::wstring program = RunningProgramPath();
    const std::wstring path = program.empty() ? std::wstring() : FinalPathOf(program, false);
    if (path.empty()) {
        return false;
    }
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesX64}) {
        if (IsInside(path, ProgramFilesFolder(*id))) {
            return true;
        }
    }
    return false;
}

}  // namespace kestrel
