#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/BlockMap.h"
#include "archive/ZipComponent.h"
#include "platform/FileSystem.h"

namespace kestrel {

// A differential archive holds, for a data file member named N of its full archive, the member
// N + ChangedBlocksSuffix (file comment ChangedBlocksComment) and the file's new map
// N + BlockMapSuffix, stored and encrypted as every member is; N itself is absent. The changed
// blocks are those ChangedBlocks(full's map of N, the new map) names, so their positions are
// not stored again. Its bytes, numbers little-endian:
//
//   offset  size  field
//        0     4  "KCB1" (the version is the last character)
//        4     4  blockSize, that of both maps
//        8     8  fileSize: the file's new size, that of the new map
//       16     -  the changed blocks' bytes, ascending, each as long as the new map says
//
// Rebuilding takes every block from the full's member but those, which come from here, and
// stops at the new size (a file may shrink); each block is checked against the new map while
// it is written (the map's whole-file digest was checked against its blocks when it was read).
inline constexpr std::string_view ChangedBlocksSuffix = ".changed-blocks";
inline constexpr std::string_view ChangedBlocksComment = "Kestrel changed blocks";
inline constexpr std::size_t ChangedBlocksHeaderSize = 16;

// The member's size for the blocks ChangedBlocks names.
std::uint64_t ChangedBlocksSize(const BlockMap& now, const std::vector<std::uint64_t>& changed);

// What writing the changed blocks of a data file came to.
struct ChangedBlocksResult {
    enum class Kind {
        Written,  // both files are complete and on the disk
        TooMany,  // more than half of the file changed: a full archive is due
        Failed,   // a read or write failed: `why` names the file
        Stopped,  // the caller's progress said to stop
    };
    Kind kind = Kind::Failed;
    std::string why;
    BlockMap map;  // the file's new map, when written
    std::uint64_t changedBytes = 0;
};

// Told the bytes of the file read so far and its size, now and then while it is read; false
// stops the read (the user cancelled).
using ChangedBlocksProgress = std::function<bool(std::uint64_t read, std::uint64_t size)>;

// Reads the file at `path` once, hashing each block and comparing it with `full` (same block
// size); writes the blocks that differ into `blocksPath` (the format above) and the new map into
// `mapPath`. Stops with TooMany as soon as the changed bytes pass half of the file, and with
// Stopped when `progress` says so; the files are then incomplete.
ChangedBlocksResult WriteChangedBlocks(FileSystem& reads, const std::string& path,
                                       const BlockMap& full, FileSystem& writes,
                                       const std::string& blocksPath, const std::string& mapPath,
                                       const ChangedBlocksProgress& progress = {});

// Where the pieces of one data file's rebuild lie.
struct RebuildParts {
    ZipComponent& full;    // the full archive, open for reading
    ZipMember fullData;    // its member of the data file
    BlockMap fullMap;      // the map of that member, already checked against the differential
    ZipComponent& diff;    // the differential, open for reading
    ZipMember changed;     // its changed-blocks member of the file
    BlockMap newMap;       // its map of the file (as ParseBlockMap read it: whole digest checked)
    std::string fullPath;  // for messages
    std::string diffPath;
    std::string fileName;       // the data file's name, for messages
    std::string scratchFolder;  // the changed blocks are extracted there first, then removed
};

// Writes the rebuilt file into `output` (created or emptied) and puts it on the disk; an empty
// `output` only checks every block. False with
// `why` naming the archive and the block when anything does not match; the output is then left
// for the caller to remove, and nothing else was touched.
bool RebuildDataFile(FileSystem& files, const RebuildParts& parts, const std::string& output,
                     std::string& why);

}  // namespace kestrel
