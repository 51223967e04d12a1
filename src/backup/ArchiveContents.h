#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "archive/ZipComponent.h"
#include "platform/FileSystem.h"

namespace kestrel {

// The files a backup puts into its archive and the member name each gets: its bare name, or
// the relative path (with "/") it has below its item's folder. Names must differ: a file added
// a second time (the rules file is both an item of its own and a file of the preferences
// folder) keeps the name it got first, and another file whose name is taken gets the first free
// "name (2).ext", "name (3).ext", ... in the same subfolder. The info file's name is never
// given to a collected file.
class ArchiveContents {
public:
    ArchiveContents(FileSystem& fileSystem, ZipComponent& zip);

    // Adds the file and returns its member name. A file that cannot be opened for reading now
    // (held open without sharing by another program, no permission) is not added: nothing comes
    // back and `why` names the file and the reason, so the backup learns of it before it
    // writes rather than failing the whole archive then. memberPath, when given, is the name
    // wanted instead of the bare one.
    std::optional<std::string> Add(const std::string& path, std::string& why,
                                   const std::string& memberPath = {});
    // Adds the info file under its own name.
    bool AddInfoFile(const std::string& path, std::string& why);
    // Collected files added so far (the info file does not count).
    std::size_t CollectedCount() const { return added_.size(); }

private:
    struct Added {
        std::string path;
        std::string memberName;
    };
    bool NameTaken(const std::string& name) const;
    std::string FreeName(const std::string& bareName) const;

    FileSystem& fileSystem_;
    ZipComponent& zip_;
    std::vector<Added> added_;
};

}  // namespace kestrel
