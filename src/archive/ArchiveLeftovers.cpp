#include "archive/ArchiveLeftovers.h"

#include <ctime>

#include "archive/MemberName.h"
#include "archive/ZipFileSource.h"
#include "platform/PathJoin.h"

namespace kestrel {

int RemoveArchiveLeftovers(FileSystem& fileSystem, const std::string& target,
                           std::chrono::seconds minimumAge)
{
    const std::string name = BareName(target);
    const std::string folder = ParentFolder(target);
    const std::time_t newest = std::time(nullptr) - minimumAge.count();
    int removed = 0;
    for (const std::string& file : fileSystem.FilesIn(folder)) {
        if (!IsPartialArchiveName(file, name)) {
            continue;
        }
        const std::string path = JoinPath(folder, file);
        const auto facts = fileSystem.Stat(path);
        if (facts && !facts->isFolder && facts->modified <= newest && fileSystem.RemoveFile(path)) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace kestrel
