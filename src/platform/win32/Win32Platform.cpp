#include <windows.h>

#include <shlobj.h>

#include "platform/LockedRunFolder.h"
#include "platform/Platform.h"
#include "platform/win32/Win32Automation.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32SystemInfo.h"

namespace kestrel {
namespace {

// The user's local application data folder; SHGetFolderPathA answers on every Windows the
// program runs on, where %LOCALAPPDATA% is missing before Vista.
std::string LocalAppDataFolder()
{
    char buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                                buffer))) {
        return {};
    }
    return buffer;
}

// std::filesystem would convert a narrow path with the C locale, which mangles non-ASCII
// user names; the path is ANSI text, so widen it from the ANSI code page.
std::filesystem::path NativePath(const std::string& ansiPath)
{
    int length = MultiByteToWideChar(CP_ACP, 0, ansiPath.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansiPath.c_str(), -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

Platform CreateSystemPlatform()
{
    Platform platform;
    platform.registry = std::make_unique<Win32Registry>();
    platform.system = std::make_unique<Win32SystemInfo>();
    platform.shell = std::make_unique<Win32Shell>();
    platform.automation = std::make_unique<Win32Automation>();
    platform.fileSystem = std::make_unique<Win32FileSystem>();
    if (std::string local = LocalAppDataFolder(); !local.empty()) {
        const std::string base = local + "\\Kestrel";
        platform.runFolder = std::make_unique<LockedRunFolder>(base, NativePath(base));
    }
    return platform;
}

}  // namespace kestrel
