#pragma once

#include <functional>
#include <string>
#include <vector>

#include "disc/DiscEngine.h"
#include "platform/FileSystem.h"

namespace kestrel {

// The files and folders of an image, kept in memory over the files of a FileSystem until a
// write turns them into the engine's own image. Names compare without regard to case; every
// change is told to the engine's listeners through `raise` before the call returns.
class MemoryDiscImage final : public DiscImage {
public:
    // Hands one event to every listener (DiscEngine::RaiseEvent of the owning engine).
    using RaiseEvent = std::function<void(const std::function<void(DiscEvents&)>&)>;

    MemoryDiscImage(FileSystem& files, RaiseEvent raise) : files_(files), raise_(std::move(raise))
    {
    }

    bool AddFile(const std::string& source, const std::string& imagePath) override;
    bool AddFolder(const std::string& source, const std::string& imagePath) override;
    bool RenameFile(const std::string& imagePath, const std::string& newName) override;
    bool RenameFolder(const std::string& imagePath, const std::string& newName) override;
    bool Remove(const std::string& imagePath) override;
    int FileCount() const override;
    int FolderCount() const override { return static_cast<int>(items_.size()) - FileCount(); }
    std::vector<ImageItem> ListFolder(const std::string& imagePath) const override;
    void Clear() override;

    // The sources' bytes added up.
    double Size() const;
    // Every file and folder, folders before what they hold.
    const std::vector<ImageItem>& Items() const { return items_; }

private:
    static bool IsValidPath(const std::string& imagePath);
    ImageItem* Find(const std::string& imagePath);
    const ImageItem* Find(const std::string& imagePath) const;
    // Every missing folder down to `imagePath`; false when a file stands in the way.
    bool MakeFolders(const std::string& imagePath);
    void Insert(const ImageItem& item);
    bool Rename(const std::string& imagePath, const std::string& newName, bool folder);

    FileSystem& files_;
    RaiseEvent raise_;
    std::vector<ImageItem> items_;
};

// Image paths: "\" is the root, "\Mail\Old" a folder below it.
std::string JoinImagePath(const std::string& folder, const std::string& name);
std::string ImageParentOf(const std::string& imagePath);
std::string ImageNameOf(const std::string& imagePath);
// Whether `path` is `folder` or lies inside it, without regard to case.
bool IsWithinImageFolder(const std::string& path, const std::string& folder);

}  // namespace kestrel
