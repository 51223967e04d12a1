#include "archive/ArchiveLeftovers.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/NameCase.h"

namespace kestrel {
namespace {

bool IsTempSuffix(const std::string& suffix)
{
    const auto all = [&suffix](auto predicate) {
        return std::all_of(suffix.begin(), suffix.end(),
                           [&](char c) { return predicate(static_cast<unsigned char>(c)); });
    };
    const auto lowerAlnum = [](unsigned char c) { return std::isdigit(c) || std::islower(c); };
    const auto hex = [](unsigned char c) { return std::isxdigit(c) && !std::isupper(c); };
    return (suffix.size() == 6 && all(lowerAlnum)) || (suffix.size() == 8 && all(hex));
}

bool LooksLikeArchiveStart(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    char head[2] = {};
    in.read(head, sizeof head);
    return in.gcount() == 0 || (in.gcount() == 2 && head[0] == 'P' && head[1] == 'K');
}

bool IsLeftoverOf(const std::filesystem::directory_entry& entry, const std::string& extension,
                  std::chrono::seconds minimumAge)
{
    std::error_code error;
    if (!entry.is_regular_file(error)) {
        return false;
    }
    const std::string name = entry.path().filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || !IsTempSuffix(name.substr(dot + 1))) {
        return false;
    }
    const std::string stem = name.substr(0, dot);
    if (!EqualsIgnoringCase(std::filesystem::path(stem).extension().string(), extension)) {
        return false;
    }
    const auto modified = entry.last_write_time(error);
    if (error || std::filesystem::file_time_type::clock::now() - modified < minimumAge) {
        return false;
    }
    return LooksLikeArchiveStart(entry.path());
}

}  // namespace

int RemoveArchiveLeftovers(const std::filesystem::path& target, std::chrono::seconds minimumAge)
{
    const std::string extension = target.extension().string();
    if (extension.empty()) {
        return 0;  // without an extension too many names would fit
    }
    std::vector<std::filesystem::path> leftovers;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
        if (IsLeftoverOf(entry, extension, minimumAge)) {
            leftovers.push_back(entry.path());
        }
    }
    int removed = 0;
    for (const auto& leftover : leftovers) {
        removed += std::filesystem::remove(leftover, error) ? 1 : 0;
    }
    return removed;
}

}  // namespace kestrel
