#include "platform/posix/PosixSystemInfo.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/RegistryRead.h"
#include "platform/WindowsVersion.h"

namespace kestrel {
namespace {

constexpr const char* CurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* ComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr std::size_t NetBiosNameLength = 15;

std::string ToUpperAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// GetVersionExA answers 6.2 on Windows 8.1 and later to a program without a compatibility
// manifest, which the Windows build has none of; the emulated machine answers the same.
std::string CapAsGetVersionDoes(const std::string& version)
{
    unsigned major = 0;
    unsigned minor = 0;
    if (std::sscanf(version.c_str(), "%u.%u", &major, &minor) != 2) {
        return version;
    }
    return major > 6 || (major == 6 && minor > 2) ? "6.2" : version;
}

}  // namespace

std::string PosixSystemInfo::ComputerName()
{
    if (auto stored =
            ReadRegistryString(registry_, reg::HkeyLocalMachine, ComputerNameKey, "ComputerName")) {
        return *stored;
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return {};
    }
    // A NetBIOS name: the host part, upper case, at most 15 characters.
    std::string name(host);
    name = name.substr(0, name.find('.')).substr(0, NetBiosNameLength);
    return ToUpperAscii(name);
}

std::string PosixSystemInfo::LogonUserName()
{
    if (auto stored = ReadRegistryString(registry_, reg::HkeyCurrentUser, "Volatile Environment",
                                         "USERNAME")) {
        return *stored;
    }
    const passwd* entry = getpwuid(geteuid());
    return entry && entry->pw_name ? std::string(entry->pw_name) : std::string();
}

std::string PosixSystemInfo::WindowsFolder()
{
    return ReadRegistryString(registry_, reg::HkeyLocalMachine, CurrentVersionKey, "SystemRoot")
        .value_or("C:\\Windows");
}

std::string PosixSystemInfo::WindowsVersion()
{
    // Windows 10 and later keep "6.3" in CurrentVersion for old programs and the real numbers
    // in two DWORDs.
    std::string stored =
        ReadRegistryString(registry_, reg::HkeyLocalMachine, CurrentVersionKey, "CurrentVersion")
            .value_or("6.1");
    auto major = ReadRegistryDword(registry_, reg::HkeyLocalMachine, CurrentVersionKey,
                                   "CurrentMajorVersionNumber");
    auto minor = ReadRegistryDword(registry_, reg::HkeyLocalMachine, CurrentVersionKey,
                                   "CurrentMinorVersionNumber");
    if (major && minor) {
        stored = std::to_string(*major) + "." + std::to_string(*minor);
    }
    return CapAsGetVersionDoes(stored);
}

std::string PosixSystemInfo::ProgramFolder()
{
    return "C:\\Program Files\\Kestrel";
}

// The emulated machine has no shadow copies, so none of its users has the rights one needs.
bool PosixSystemInfo::HasAdministratorRights()
{
    return false;
}

// No job of the emulated machine runs elevated, so none may start the program at the highest
// run level.
bool PosixSystemInfo::ProgramIsAdministratorsOnly()
{
    return false;
}

// Profile discovery places Outlook's roaming folders by the same rule.
bool PosixSystemInfo::UsesModernLayout()
{
    return IsVistaOrLater(WindowsVersion());
}

std::string PosixSystemInfo::UserProfileFolder()
{
    if (auto stored = ReadRegistryString(registry_, reg::HkeyCurrentUser, "Volatile Environment",
                                         "USERPROFILE")) {
        return *stored;
    }
    return "C:\\Users\\" + LogonUserName();
}

// The user's variables first (HKCU\Environment, then the logon session's), then the ones
// Windows derives from the machine and the user's profile folder.
std::optional<std::string> PosixSystemInfo::EnvironmentVariable(const std::string& name)
{
    // A stored value is expanded once, against the machine's own variables only, as Windows
    // builds the environment at logon: a value that names itself keeps the name.
    for (const char* key : {"Environment", "Volatile Environment"}) {
        if (expanding_) {
            break;
        }
        if (auto stored = ReadRegistryString(registry_, reg::HkeyCurrentUser, key, name)) {
            return ExpandOnce(*stored);
        }
    }
    const std::string upper = ToUpperAscii(name);
    if (upper == "USERPROFILE") {
        return UserProfileFolder();
    }
    if (upper == "USERNAME") {
        return LogonUserName();
    }
    if (upper == "COMPUTERNAME") {
        return ComputerName();
    }
    if (upper == "WINDIR" || upper == "SYSTEMROOT") {
        return WindowsFolder();
    }
    if (upper == "SYSTEMDRIVE" || upper == "HOMEDRIVE") {
        return WindowsFolder().substr(0, 2);
    }
    if (upper == "HOMEPATH") {
        return UserProfileFolder().substr(2);
    }
    if (upper == "APPDATA") {
        return UserProfileFolder() +
               (UsesModernLayout() ? "\\AppData\\Roaming" : "\\Application Data");
    }
    if (upper == "LOCALAPPDATA") {
        return UserProfileFolder() +
               (UsesModernLayout() ? "\\AppData\\Local" : "\\Local Settings\\Application Data");
    }
    if (upper == "TEMP" || upper == "TMP") {
        return UserProfileFolder() +
               (UsesModernLayout() ? "\\AppData\\Local\\Temp" : "\\Local Settings\\Temp");
    }
    if (upper == "PROGRAMFILES") {
        return WindowsFolder().substr(0, 2) + "\\Program Files";
    }
    return std::nullopt;
}

std::string PosixSystemInfo::ExpandOnce(const std::string& text)
{
    expanding_ = true;
    std::string result = ExpandEnvironmentText(text);
    expanding_ = false;
    return result;
}

std::string PosixSystemInfo::ExpandEnvironmentText(const std::string& text)
{
    // As Windows scans: text up to a %, then a name up to the next %; an unknown name is
    // copied with both its % signs, and a % without a partner is copied as it is.
    std::string result;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t open = text.find('%', position);
        std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            result += text.substr(position);
            break;
        }
        result += text.substr(position, open - position);
        std::string name = text.substr(open + 1, close - open - 1);
        auto value = name.empty() ? std::nullopt : EnvironmentVariable(name);
        result += value ? *value : text.substr(open, close - open + 1);
        position = close + 1;
    }
    return result;
}

}  // namespace kestrel
