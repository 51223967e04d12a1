#include "archive/MemberName.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

bool IsReservedDeviceName(std::string_view stem)
{
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    constexpr std::array<std::string_view, 6> Plain{"CON", "PRN",    "AUX",
                                                    "NUL", "CONIN$", "CONOUT$"};
    if (std::any_of(Plain.begin(), Plain.end(),
                    [stem](std::string_view device) { return EqualsIgnoringCase(stem, device); })) {
        return true;
    }
    return stem.size() == 4 &&
           (EqualsIgnoringCase(stem.substr(0, 3), "COM") ||
            EqualsIgnoringCase(stem.substr(0, 3), "LPT")) &&
           stem[3] >= '0' && stem[3] <= '9';
}

}  // namespace

bool IsBareFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ') {
        return false;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return !IsReservedDeviceName(std::string_view(name).substr(0, name.find('.')));
}

bool IsMemberPath(const std::string& name)
{
    for (std::size_t start = 0;;) {
        const std::size_t slash = name.find('/', start);
        if (!IsBareFileName(name.substr(start, slash - start))) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
        start = slash + 1;
    }
}

std::string JoinMemberPath(const std::string& folder, const std::string& memberPath)
{
    std::string path = folder;
    for (std::size_t start = 0;;) {
        const std::size_t slash = memberPath.find('/', start);
        path = JoinPath(path, std::string_view(memberPath).substr(start, slash - start));
        if (slash == std::string::npos) {
            return path;
        }
        start = slash + 1;
    }
}

std::string BareName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kestrel
