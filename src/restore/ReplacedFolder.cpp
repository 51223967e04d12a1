#include "restore/ReplacedFolder.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "archive/MemberName.h"
#include "platform/FileContents.h"
#include "platform/LocalTime.h"
#include "platform/PathJoin.h"
#include "registry/RegFile.h"

namespace kestrel {

std::string ReplacedRunName(std::time_t started)
{
    const std::string text = FormatLocalTime(started, "%Y-%m-%d %H-%M-%S");
    return text.empty() ? "unknown time" : text;
}

namespace {

// Whether the name has the form of ReplacedRunName's, digit for digit.
bool IsRunName(const std::string& name)
{
    constexpr std::string_view form = "0000-00-00 00-00-00";
    if (name.size() != form.size()) {
        return false;
    }
    for (std::size_t i = 0; i < form.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (form[i] == '0' ? !digit : name[i] != form[i]) {
            return false;
        }
    }
    return true;
}

// The item's folder with "/" between its parts, to be checked as a member path is.
std::string ToMemberPath(std::string item)
{
    std::replace(item.begin(), item.end(), '\\', '/');
    return item;
}

}  // namespace

void RemoveOldReplacedFolders(FileSystem& fileSystem, const std::string& dataFolder,
                              std::size_t keep)
{
    // Without a data folder "Replaced" would name a folder wherever the process runs.
    if (dataFolder.empty()) {
        return;
    }
    const std::string replaced = JoinPath(dataFolder, "Replaced");
    std::vector<std::string> runs = fileSystem.FoldersIn(replaced);
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const std::string& name) { return !IsRunName(name); }),
               runs.end());
    if (runs.size() <= keep) {
        return;
    }
    std::sort(runs.begin(), runs.end());
    for (auto run = runs.begin(); run != runs.end() - static_cast<std::ptrdiff_t>(keep); ++run) {
        fileSystem.RemoveFolderTree(JoinPath(replaced, *run));
    }
}

ReplacedFolder::ReplacedFolder(FileSystem& fileSystem, const std::string& dataFolder,
                               std::time_t started)
    : fileSystem_(fileSystem),
      dataFolder_(dataFolder),
      path_(JoinPath(JoinPath(dataFolder, "Replaced"), ReplacedRunName(started)))
{
}

std::string ReplacedFolder::ItemFolder(const std::string& item)
{
    // Without a data folder the copies would land relative to wherever the process runs.
    if (dataFolder_.empty() || !IsMemberPath(ToMemberPath(item))) {
        return {};
    }
    const std::string folder = JoinMemberPath(path_, ToMemberPath(item));
    std::vector<std::string> missing;
    // Up to the first level that exists; a drive's root is left for CreateFolder to refuse.
    for (std::string level = folder; !level.empty() && !fileSystem_.FolderExists(level);
         level = ParentFolder(level)) {
        if (ParentFolder(level).empty() || level == ParentFolder(level)) {
            break;
        }
        missing.push_back(level);
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        if (!fileSystem_.CreateFolder(*level) && !fileSystem_.FolderExists(*level)) {
            return {};
        }
    }
    return folder;
}

std::string ReplacedFolder::FreeName(const std::string& folder, const std::string& name)
{
    const std::size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
    std::string candidate = JoinPath(folder, name);
    for (int number = 2; static_cast<bool>(fileSystem_.Stat(candidate)); ++number) {
        candidate = JoinPath(folder, stem + " (" + std::to_string(number) + ")" + extension);
    }
    return candidate;
}

bool ReplacedFolder::KeepFile(const std::string& item, const std::string& path,
                              std::string* movedTo)
{
    if (!fileSystem_.Stat(path)) {
        return true;
    }
    const std::string folder = ItemFolder(item);
    if (folder.empty()) {
        return false;
    }
    const std::string kept = FreeName(folder, BareName(path));
    if (fileSystem_.RenameFile(path, kept)) {
        used_ = true;
        if (movedTo != nullptr) {
            *movedTo = kept;
        }
        return true;
    }
    // Another volume: the copy must be whole and on the disk before the original may go.
    if (fileSystem_.CopyFileTo(path, kept) && fileSystem_.FlushToDisk(kept)) {
        used_ = true;
        return true;
    }
    fileSystem_.RemoveFile(kept);
    return false;
}

bool ReplacedFolder::KeepKeyTree(RegistryAccess& registry, const std::string& item,
                                 const std::string& keyPath, const std::string& fileName)
{
    if (!registry.KeyExists(keyPath)) {
        return true;
    }
    std::vector<RegFileKey> keys = ReadRegistryTree(registry, keyPath);
    if (keys.empty()) {
        return false;
    }
    // Importing adds to what is there; removing the key first drops what the restore added.
    RegFileKey removal;
    removal.path = keyPath;
    removal.remove = true;
    keys.insert(keys.begin(), removal);
    const std::string folder = ItemFolder(item);
    if (folder.empty() || !IsBareFileName(fileName)) {
        return false;
    }
    if (ReplaceFile(fileSystem_, FreeName(folder, fileName), FormatRegFile(keys))) {
        return false;
    }
    used_ = true;
    return true;
}

}  // namespace kestrel
