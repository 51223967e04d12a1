#pragma once

#include <cstddef>
#include <ctime>
#include <string>

#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

// Where one restore run keeps what it replaces, so that nothing the user had is lost:
// <data folder>\Replaced\<YYYY-MM-DD HH-MM-SS>\<item>\. Files are moved in before they are
// overwritten or deleted; registry trees are exported as registry-editor files before they are
// replaced. Folders are made on first use only, so a run that replaces nothing leaves none.
class ReplacedFolder {
public:
    // The run's folder is named after `started`, in local time.
    ReplacedFolder(FileSystem& fileSystem, const std::string& dataFolder, std::time_t started);

    const std::string& Path() const { return path_; }
    // Whether anything was kept, so the result message names the folder only then.
    bool Used() const { return used_; }

    // Moves the file at `path` into the item's folder (`item` may go on with subfolders of it,
    // joined by "\", each a bare file name; a rename where it is on the same volume, a copy
    // that leaves the original in place otherwise), under its own name or, when a file
    // of that name was kept already, a numbered one. True when there is no file at the path or
    // it is kept; false when it could not be kept, and the caller must then leave the file
    // alone. `movedTo`, when given, receives where the file went when it was moved (so it is
    // no longer at the path); it stays empty when the original is still in place.
    bool KeepFile(const std::string& item, const std::string& path, std::string* movedTo = nullptr);

    // Writes the tree at keyPath into the item's folder as `fileName`, a version-5 registry file
    // that first removes the key, so that importing it puts the tree back exactly as it was.
    // True when the key does not exist (nothing to keep) or the file is written.
    bool KeepKeyTree(RegistryAccess& registry, const std::string& item, const std::string& keyPath,
                     const std::string& fileName);

private:
    // The item's folder, every missing level created; empty when it cannot be made.
    std::string ItemFolder(const std::string& item);
    // A name for the kept file that is not taken yet in the folder.
    std::string FreeName(const std::string& folder, const std::string& name);

    FileSystem& fileSystem_;
    std::string dataFolder_;
    std::string path_;
    bool used_ = false;
};

// "YYYY-MM-DD HH-MM-SS" in local time: sorts as the runs happened and is a valid file name.
std::string ReplacedRunName(std::time_t started);

// How many earlier runs' folders a restore leaves in place when it starts.
inline constexpr std::size_t KeptReplacedRuns = 3;

// Removes the folders of earlier runs in <data folder>\Replaced but the `keep` newest, for a
// restore to call when it starts, before its own folder exists: with KeptReplacedRuns the three
// newest stay, and the new run's folder may then be a fourth. Only folders whose names have the
// form ReplacedRunName gives count, ordered by that name; anything else there (a folder the user
// made, a file) stays. A folder that cannot be removed, wholly or in part (a file in it held
// open), stays as it is left: the restore goes on without a word about it.
void RemoveOldReplacedFolders(FileSystem& fileSystem, const std::string& dataFolder,
                              std::size_t keep);

}  // namespace kestrel
