#include "platform/win32/Win32SystemInfo.h"

#include <windows.h>

#include "platform/CodePage.h"

#include <string>
#include <vector>

namespace kestrel {

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

}  // namespace kestrel
