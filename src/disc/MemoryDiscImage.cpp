#include "disc/MemoryDiscImage.h"

#include <algorithm>

#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {

std::string JoinImagePath(const std::string& folder, const std::string& name)
{
    return (folder == "\\" ? "" : folder) + "\\" + name;
}

std::string ImageParentOf(const std::string& imagePath)
{
    const std::size_t separator = imagePath.find_last_of('\\');
    return separator == 0 || separator == std::string::npos ? "\\" : imagePath.substr(0, separator);
}

std::string ImageNameOf(const std::string& imagePath)
{
    return imagePath.substr(imagePath.find_last_of('\\') + 1);
}

bool IsWithinImageFolder(const std::string& path, const std::string& folder)
{
    if (EqualsIgnoringCase(path, folder)) {
        return true;
    }
    return path.size() > folder.size() && path[folder.size()] == '\\' &&
           EqualsIgnoringCase(std::string_view(path).substr(0, folder.size()), folder);
}

bool MemoryDiscImage::AddFile(const std::string& source, const std::string& imagePath)
{
    const Result<FileFacts> facts = files_.Stat(source);
    if (!facts || facts->isFolder || !IsValidPath(imagePath)) {
        return false;
    }
    if (!MakeFolders(ImageParentOf(imagePath))) {
        return false;
    }
    if (ImageItem* existing = Find(imagePath)) {
        if (existing->IsFolder) {
            return false;
        }
        bool replace = false;
        const ImageItem shown = *existing;
        raise_([&](DiscEvents& l) { l.ReplaceFileAsked(shown, source, replace); });
        if (replace) {
            ImageItem* still = Find(imagePath);
            if (still != nullptr) {
                still->SourcePath = source;
                still->Size = static_cast<double>(facts->size);
                still->Date = facts->modified;
            }
        }
        return true;
    }
    ImageItem item;
    item.Parent = ImageParentOf(imagePath);
    item.Name = ImageNameOf(imagePath);
    item.ImagePath = imagePath;
    item.SourcePath = source;
    item.Size = static_cast<double>(facts->size);
    item.Date = facts->modified;
    Insert(item);
    return true;
}

bool MemoryDiscImage::AddFolder(const std::string& source, const std::string& imagePath)
{
    if (!files_.FolderExists(source) || !IsValidPath(imagePath) || !MakeFolders(imagePath)) {
        return false;
    }
    bool all = true;
    for (const std::string& file : files_.FilesIn(source)) {
        all = AddFile(JoinPath(source, file), JoinImagePath(imagePath, file)) && all;
    }
    for (const std::string& folder : files_.FoldersIn(source)) {
        all = AddFolder(JoinPath(source, folder), JoinImagePath(imagePath, folder)) && all;
    }
    return all;
}

bool MemoryDiscImage::RenameFile(const std::string& imagePath, const std::string& newName)
{
    return Rename(imagePath, newName, false);
}

bool MemoryDiscImage::RenameFolder(const std::string& imagePath, const std::string& newName)
{
    return Rename(imagePath, newName, true);
}

bool MemoryDiscImage::Remove(const std::string& imagePath)
{
    const ImageItem* item = Find(imagePath);
    if (item == nullptr) {
        return false;
    }
    const std::string path = item->ImagePath;
    // Deepest first, so a folder goes after what it holds.
    std::vector<ImageItem> gone;
    for (const ImageItem& each : items_) {
        if (IsWithinImageFolder(each.ImagePath, path)) {
            gone.push_back(each);
        }
    }
    std::sort(gone.begin(), gone.end(), [](const ImageItem& a, const ImageItem& b) {
        return a.ImagePath.size() > b.ImagePath.size();
    });
    std::erase_if(items_,
                  [&](const ImageItem& each) { return IsWithinImageFolder(each.ImagePath, path); });
    for (const ImageItem& each : gone) {
        raise_([&](DiscEvents& l) { l.ItemRemoved(each); });
    }
    return true;
}

int MemoryDiscImage::FileCount() const
{
    return static_cast<int>(
        std::count_if(items_.begin(), items_.end(), [](auto& i) { return !i.IsFolder; }));
}

std::vector<ImageItem> MemoryDiscImage::ListFolder(const std::string& imagePath) const
{
    std::vector<ImageItem> listed;
    for (const ImageItem& item : items_) {
        if (EqualsIgnoringCase(item.Parent, imagePath)) {
            listed.push_back(item);
        }
    }
    std::sort(listed.begin(), listed.end(),
              [](const ImageItem& a, const ImageItem& b) { return a.Name < b.Name; });
    return listed;
}

void MemoryDiscImage::Clear()
{
    items_.clear();
    raise_([](DiscEvents& l) { l.ImageCleared(); });
}

double MemoryDiscImage::Size() const
{
    double total = 0;
    for (const ImageItem& item : items_) {
        total += item.Size;
    }
    return total;
}

bool MemoryDiscImage::IsValidPath(const std::string& imagePath)
{
    return imagePath.size() > 1 && imagePath.front() == '\\' && imagePath.back() != '\\' &&
           imagePath.find("\\\\") == std::string::npos;
}

ImageItem* MemoryDiscImage::Find(const std::string& imagePath)
{
    auto found = std::find_if(items_.begin(), items_.end(), [&](const ImageItem& item) {
        return EqualsIgnoringCase(item.ImagePath, imagePath);
    });
    return found == items_.end() ? nullptr : &*found;
}

const ImageItem* MemoryDiscImage::Find(const std::string& imagePath) const
{
    return const_cast<MemoryDiscImage*>(this)->Find(imagePath);
}

bool MemoryDiscImage::MakeFolders(const std::string& imagePath)
{
    if (imagePath == "\\") {
        return true;
    }
    if (!MakeFolders(ImageParentOf(imagePath))) {
        return false;
    }
    if (const ImageItem* existing = Find(imagePath)) {
        return existing->IsFolder;
    }
    ImageItem folder;
    folder.IsFolder = true;
    folder.Parent = ImageParentOf(imagePath);
    folder.Name = ImageNameOf(imagePath);
    folder.ImagePath = imagePath;
    Insert(folder);
    return true;
}

void MemoryDiscImage::Insert(const ImageItem& item)
{
    items_.push_back(item);
    raise_([&](DiscEvents& l) { l.ItemAdded(item); });
}

bool MemoryDiscImage::Rename(const std::string& imagePath, const std::string& newName, bool folder)
{
    ImageItem* item = Find(imagePath);
    if (item == nullptr || item->IsFolder != folder || newName.empty() ||
        newName.find('\\') != std::string::npos) {
        return false;
    }
    const std::string oldPath = item->ImagePath;
    const std::string newPath = JoinImagePath(item->Parent, newName);
    const ImageItem* taken = Find(newPath);
    if (taken != nullptr && taken != item) {
        return false;
    }
    // The item and everything inside it move; each is told, outermost first.
    std::vector<std::size_t> moved;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (IsWithinImageFolder(items_[i].ImagePath, oldPath)) {
            ImageItem& each = items_[i];
            each.PreviousPath = each.ImagePath;
            each.ImagePath = newPath + each.ImagePath.substr(oldPath.size());
            each.Parent = ImageParentOf(each.ImagePath);
            each.Name = ImageNameOf(each.ImagePath);
            moved.push_back(i);
        }
    }
    std::sort(moved.begin(), moved.end(), [&](std::size_t a, std::size_t b) {
        return items_[a].ImagePath.size() < items_[b].ImagePath.size();
    });
    for (std::size_t i : moved) {
        const ImageItem each = items_[i];
        raise_([&](DiscEvents& l) { l.ItemNameChanged(each); });
    }
    return true;
}

}  // namespace kestrel
