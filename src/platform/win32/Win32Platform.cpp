#include <windows.h>

#include <shlobj.h>

#include "platform/LockedRunFolder.h"
#include "platform/Platform.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Automation.h"
#include "platform/win32/Win32FileHolders.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/Win32SystemLog.h"
#include "platform/win32/Win32UserSecrets.h"

namespace kestrel {
namespace {

// The user's local application data folder; SHGetFolderPathW answers on every Windows the
// program runs on, where %LOCALAPPDATA% is missing before Vista.
std::wstring LocalAppDataFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                                buffer))) {
        return {};
    }
    return buffer;
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
    platform.fileHolders = std::make_unique<Win32FileHolders>();
    platform.systemLog = std::make_unique<Win32SystemLog>();
    // The path is kept as UTF-8 like every path in the program; the folder itself is reached
    // through the wide form, which holds any user name.
    if (std::wstring local = LocalAppDataFolder(); !local.empty()) {
        const std::wstring base = local + L"\\Kestrel";
        platform.dataFolder = WideToUtf8(base);
        platform.runFolder = std::make_unique<LockedRunFolder>(platform.dataFolder, base);
        platform.secrets = std::make_unique<Win32UserSecrets>(platform.dataFolder + "\\Secrets");
    }
    return platform;
}

}  // namespace kestrel
