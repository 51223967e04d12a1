#include "platform/posix/EnvironmentRoot.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/NameCase.h"

namespace kestrel {
namespace {

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::filesystem::path HomeFolder()
{
    std::string home = EnvironmentValue("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
            home = entry->pw_dir;
        }
    }
    return home;
}

std::vector<std::string> SplitComponents(const std::string& text)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (c == '\\' || c == '/') {
            if (!current.empty()) {
                parts.push_back(current);
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        parts.push_back(current);
    }
    return parts;
}

// The entry of `folder` whose name equals `name` without regard to case (the registry's rule),
// preferring an exact match; `name` itself when there is none.
std::string ExistingSpelling(const std::filesystem::path& folder, const std::string& name)
{
    std::error_code error;
    if (std::filesystem::exists(folder / name, error)) {
        return name;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string candidate = entry.path().filename().string();
        if (EqualsIgnoringCase(candidate, name)) {
            return candidate;
        }
    }
    return name;
}

}  // namespace

std::filesystem::path EnvironmentRoot()
{
    if (std::string root = EnvironmentValue("KESTREL_HOME"); !root.empty()) {
        return root;
    }
    if (std::string data = EnvironmentValue("XDG_DATA_HOME"); !data.empty()) {
        return std::filesystem::path(data) / "kestrel";
    }
    return HomeFolder() / ".local" / "share" / "kestrel";
}

std::optional<std::filesystem::path> MapWindowsPath(const std::filesystem::path& root,
                                                    const std::string& windowsPath)
{
    std::filesystem::path mapped;
    std::string rest;
    if (windowsPath.size() >= 2 && std::isalpha(static_cast<unsigned char>(windowsPath[0])) &&
        windowsPath[1] == ':') {
        if (windowsPath.size() > 2 && windowsPath[2] != '\\' && windowsPath[2] != '/') {
            return std::nullopt;  // "C:name" is relative to the drive's current folder
        }
        char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
        mapped = root / (std::string("drive_") + drive);
        rest = windowsPath.substr(2);
    } else if (windowsPath.rfind("\\\\", 0) == 0) {
        if (SplitComponents(windowsPath).size() < 2) {
            return std::nullopt;  // a UNC path needs a server and a share
        }
        mapped = root / "unc";
        rest = windowsPath.substr(2);
    } else {
        return std::nullopt;
    }
    for (const std::string& part : SplitComponents(rest)) {
        if (part == "..") {
            return std::nullopt;
        }
        if (part == ".") {
            continue;
        }
        mapped /= ExistingSpelling(mapped, part);
    }
    return mapped;
}

}  // namespace kestrel
