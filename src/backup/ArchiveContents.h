#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/Differential.h"
#include "archive/ZipComponent.h"
#include "platform/FileSystem.h"
#include "ui/ProgressSink.h"

namespace kestrel {

namespace texts {
// The file text while a data file is read and compared with the full backup's map.
inline constexpr const char* ComparingFile = "Comparing File ";
}  // namespace texts

// The files a backup puts into its archive and the member name each gets: its bare name, or
// the relative path (with "/") it has below its item's folder. Names must differ: a file added
// a second time (the rules file is both an item of its own and a file of the preferences
// folder) keeps the name it got first, and another file whose name is taken gets the first free
// "name (2).ext", "name (3).ext", ... in the same subfolder. The info file's name is never
// given to a collected file.
// The full archive a differential backup is made against, with the maps of its data files.
struct DifferentialBase {
    std::string fullPath;
    std::string fullName;  // bare
    std::string fullId;
    std::vector<MemberMap> maps;
};

// One data file as it went into the archive: whole with its map, or as its changed blocks and
// new map (changedName set, and the hash of the full's map it was compared with).
struct DataFileEntry {
    std::string name;
    std::string mapName;
    std::string changedName;
    std::string fullMapHash;
};

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
    // Adds a data file (see Add): whole, followed by its block map, or, with a differential
    // base, as the blocks changed since the full and its new map, two temporary files in
    // `scratchFolder` that WriteChangedBlocks fills. The data file's name is chosen so that
    // neither map nor changed blocks can take another file's name. When the file cannot go into
    // a differential (the full lacks it, or maps it in another block size) it is added whole and
    // NeedsFull says why: the run then writes a full instead.
    std::optional<std::string> AddDataFile(const std::string& path, std::string& why);
    // What WriteChangedBlocks came to.
    enum class BlocksWritten {
        Done,       // every data file's changed blocks and map are ready for the write
        NeedsFull,  // more than half of a data file changed: NeedsFull says which
        Failed,     // a read or write failed: `why` says which
        Cancelled,  // `cancelled` became true
    };
    // Reads each data file added as changed blocks once, hashing it and writing its changed
    // blocks and new map into the temporary files the archive takes them from. This reads
    // every byte of the data files, so it belongs to the write (the worker), never to the
    // collection. Shows the file and how much of it was read on `progress`.
    BlocksWritten WriteChangedBlocks(ProgressSink& progress, const std::atomic<bool>& cancelled,
                                     std::string& why);
    void SetDifferentialBase(const DifferentialBase* base, const std::string& scratchFolder);
    void SetBlockSize(std::uint32_t blockSize) { blockSize_ = blockSize; }
    const std::vector<DataFileEntry>& DataFiles() const { return dataFiles_; }
    const std::string& NeedsFull() const { return needsFull_; }
    // The temporary files the differential made, for the run to remove after the write.
    const std::vector<std::string>& TemporaryFiles() const { return temporaryFiles_; }
    // Adds the info file under its own name.
    bool AddInfoFile(const std::string& path, std::string& why);
    // Collected files added so far (the info file does not count).
    std::size_t CollectedCount() const { return added_.size(); }

private:
    struct Added {
        std::string path;
        std::string memberName;
    };
    // A data file that goes in as its changed blocks, once WriteChangedBlocks has read it.
    struct PendingBlocks {
        std::string path;
        std::string name;
        const MemberMap* full = nullptr;
        std::string blocksPath;
        std::string mapPath;
    };
    std::optional<std::string> AddedAs(const std::string& path) const;
    bool CanRead(const std::string& path, std::string& why);
    bool NameTaken(const std::string& name) const;
    std::string FreeName(const std::string& bareName) const;
    std::string FreeDataName(const std::string& bareName) const;
    std::optional<std::string> AddChangedBlocks(const std::string& path, const std::string& name,
                                                const MemberMap& full, std::string& why);

    FileSystem& fileSystem_;
    ZipComponent& zip_;
    std::vector<Added> added_;
    // Names a data file's map and changed blocks take, kept from every other file.
    std::vector<std::string> reserved_;
    std::vector<DataFileEntry> dataFiles_;
    std::vector<PendingBlocks> pendingBlocks_;
    const DifferentialBase* base_ = nullptr;
    std::string scratchFolder_;
    std::uint32_t blockSize_ = DefaultBlockSize;
    std::string needsFull_;
    std::vector<std::string> temporaryFiles_;
};

}  // namespace kestrel
