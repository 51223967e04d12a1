#include "archive/ChangedBlocks.h"

#include <algorithm>

#include "archive/ChangedBlocksWriter.h"
#include "platform/FileContents.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

std::string ByteRange(const BlockMap& map, std::uint64_t position)
{
    const std::uint64_t start = position * map.blockSize;
    return "block " + std::to_string(position) + " (bytes " + std::to_string(start) + " to " +
           std::to_string(start + map.BlockBytes(position) - 1) + ")";
}

// One rebuild: the blocks written so far, in order, each checked against the new map.
class Rebuild {
public:
    Rebuild(const RebuildParts& parts, OutputFile& out, InputFile& blocks, std::string& why)
        : parts_(parts),
          out_(out),
          blocks_(blocks),
          why_(why),
          changed_(ChangedBlocks(parts.fullMap, parts.newMap)),
          blockHash_(CreateBlockHasher(parts.newMap.hash))
    {
    }

    bool Run();

private:
    bool TakeFullBlock(const std::uint8_t* data, std::size_t size);
    bool WriteChanged(std::uint64_t position);
    bool WriteChecked(const std::uint8_t* data, std::size_t size, std::uint64_t position,
                      const std::string& from);
    bool Fail(std::string why)
    {
        why_ = parts_.fileName + " was not rebuilt: " + std::move(why);
        return false;
    }

    const RebuildParts& parts_;
    OutputFile& out_;
    InputFile& blocks_;
    std::string& why_;
    std::vector<std::uint64_t> changed_;
    std::unique_ptr<BlockHasher> blockHash_;
    std::vector<std::uint8_t> buffer_;         // a block of the full's member
    std::vector<std::uint8_t> changedBuffer_;  // a block of the differential
    std::size_t nextChanged_ = 0;
    std::uint64_t written_ = 0;  // blocks of the new file
    std::uint64_t fullBlock_ = 0;
    bool failed_ = false;
};

bool Rebuild::Run()
{
    const BlockMap& now = parts_.newMap;
    if (!blockHash_) {
        return Fail("the system's hash could not be made");
    }
    std::vector<std::uint8_t> header(ChangedBlocksHeaderSize);
    if (ReadFully(blocks_, header.data(), header.size()) !=
            static_cast<std::int64_t>(header.size()) ||
        header != ChangedBlocksHeader(now.blockSize, now.fileSize)) {
        return Fail("the changed blocks in " + parts_.diffPath + " do not fit its block map");
    }
    const std::uint64_t blockCount = now.blocks.size();
    bool complete = true;
    if (blockCount > 0 && parts_.fullMap.fileSize > 0) {
        buffer_.reserve(parts_.fullMap.blockSize);
        const bool read =
            parts_.full.ReadMember(parts_.fullData, [&](const char* data, std::size_t size) {
                auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
                while (size > 0 && written_ < blockCount) {
                    const std::size_t wanted = parts_.fullMap.BlockBytes(fullBlock_);
                    const std::size_t take = std::min(size, wanted - buffer_.size());
                    buffer_.insert(buffer_.end(), bytes, bytes + take);
                    bytes += take;
                    size -= take;
                    if (buffer_.size() == wanted && !TakeFullBlock(buffer_.data(), wanted)) {
                        failed_ = true;
                        return false;
                    }
                }
                // The rest of a file that shrank is not needed.
                complete = written_ < blockCount;
                return complete;
            });
        if (failed_) {
            return false;
        }
        if (!read && complete) {
            return Fail("the full backup " + parts_.fullPath +
                        " could not be read: " + parts_.full.LastError());
        }
    }
    while (written_ < blockCount) {
        if (nextChanged_ >= changed_.size() || changed_[nextChanged_] != written_) {
            return Fail("the full backup " + parts_.fullPath + " lacks " +
                        ByteRange(now, written_));
        }
        if (!WriteChanged(written_)) {
            return false;
        }
        ++nextChanged_;
    }
    std::uint8_t extra = 0;
    if (blocks_.Read(reinterpret_cast<char*>(&extra), 1) != 0) {
        return Fail("the changed blocks in " + parts_.diffPath + " hold more than its map names");
    }
    // Every block matched its digest in the map, whose whole-file digest was checked against
    // them when it was read.
    return true;
}

// A block of the full's member has arrived: it goes into the new file unless the differential
// changed it.
bool Rebuild::TakeFullBlock(const std::uint8_t* data, std::size_t size)
{
    const std::uint64_t position = fullBlock_++;
    const bool changed = nextChanged_ < changed_.size() && changed_[nextChanged_] == position;
    bool written = false;
    if (changed) {
        ++nextChanged_;
        written = WriteChanged(position);
    } else {
        written = WriteChecked(data, size, position, "the full backup " + parts_.fullPath);
    }
    buffer_.clear();
    return written;
}

bool Rebuild::WriteChanged(std::uint64_t position)
{
    const std::size_t size = parts_.newMap.BlockBytes(position);
    std::vector<std::uint8_t>& block = changedBuffer_;
    block.resize(size);
    if (ReadFully(blocks_, block.data(), size) != static_cast<std::int64_t>(size)) {
        return Fail("the changed blocks in " + parts_.diffPath + " end before " +
                    ByteRange(parts_.newMap, position));
    }
    return WriteChecked(block.data(), size, position, parts_.diffPath);
}

bool Rebuild::WriteChecked(const std::uint8_t* data, std::size_t size, std::uint64_t position,
                           const std::string& from)
{
    const BlockMap& now = parts_.newMap;
    blockHash_->Update(data, size);
    if (size != now.BlockBytes(position) || blockHash_->Finish() != now.blocks[position]) {
        return Fail(ByteRange(now, position) + " from " + from +
                    " does not match the block map in " + parts_.diffPath);
    }
    if (!out_.Write(reinterpret_cast<const char*>(data), size)) {
        return Fail(out_.Failure().Describe());
    }
    ++written_;
    return true;
}

// Where a rebuild that only checks writes: nowhere.
class CheckOnlyOutput final : public OutputFile {
public:
    bool Write(const char*, std::size_t) override { return true; }
    bool WriteAt(std::uint64_t, const char*, std::size_t) override { return true; }
    bool Commit() override { return true; }
    const Error& Failure() const override { return failure_; }

private:
    Error failure_;
};

}  // namespace

std::uint64_t ChangedBlocksSize(const BlockMap& now, const std::vector<std::uint64_t>& changed)
{
    std::uint64_t size = ChangedBlocksHeaderSize;
    for (const std::uint64_t position : changed) {
        size += now.BlockBytes(position);
    }
    return size;
}

ChangedBlocksResult WriteChangedBlocks(FileSystem& reads, const std::string& path,
                                       const BlockMap& full, FileSystem& writes,
                                       const std::string& blocksPath, const std::string& mapPath,
                                       const ChangedBlocksProgress& progress)
{
    ChangedBlocksResult result;
    auto opened = reads.OpenInputFile(path);
    if (!opened) {
        result.why = opened.error().Describe();
        return result;
    }
    auto created = writes.CreateOutputFile(blocksPath);
    if (!created) {
        result.why = created.error().Describe();
        return result;
    }
    ChangedBlocksWriter writer(**opened, full, **created, progress);
    result = writer.Run();
    if (result.kind != ChangedBlocksResult::Kind::Written) {
        if (result.kind == ChangedBlocksResult::Kind::Failed && result.why.empty()) {
            result.why = path + " changed while it was read";
        }
        return result;
    }
    auto mapFile = writes.CreateOutputFile(mapPath);
    if (!mapFile) {
        result.kind = ChangedBlocksResult::Kind::Failed;
        result.why = mapFile.error().Describe();
        return result;
    }
    const auto mapBytes = SerializeBlockMap(result.map);
    if (!(*mapFile)->Write(reinterpret_cast<const char*>(mapBytes.data()), mapBytes.size()) ||
        !(*mapFile)->Commit()) {
        result.kind = ChangedBlocksResult::Kind::Failed;
        result.why = (*mapFile)->Failure().Describe();
        return result;
    }
    return result;
}

bool RebuildDataFile(FileSystem& files, const RebuildParts& parts, const std::string& output,
                     std::string& why)
{
    const std::vector<std::uint64_t> changed = ChangedBlocks(parts.fullMap, parts.newMap);
    if (parts.fullMap.blockSize != parts.newMap.blockSize ||
        parts.fullMap.hash != parts.newMap.hash ||
        parts.fullData.size != parts.fullMap.fileSize) {
        why = parts.fileName + " was not rebuilt: its member in the full backup " + parts.fullPath +
              " does not fit its block map";
        return false;
    }
    if (parts.changed.size != ChangedBlocksSize(parts.newMap, changed)) {
        why = parts.fileName + " was not rebuilt: the changed blocks in " + parts.diffPath +
              " hold " + std::to_string(parts.changed.size) + " bytes, not the " +
              std::to_string(ChangedBlocksSize(parts.newMap, changed)) + " its block maps call for";
        return false;
    }
    const std::string scratch = files.CreateTempFile(parts.scratchFolder, "ksb");
    if (scratch.empty()) {
        why = "cannot create a temporary file in " + parts.scratchFolder;
        return false;
    }
    bool rebuilt = false;
    if (!parts.diff.ExtractMemberToFile(parts.changed, scratch)) {
        why = parts.fileName + " was not rebuilt: " + parts.diff.LastError();
    } else if (auto blocks = files.OpenInputFile(scratch); !blocks) {
        why = blocks.error().Describe();
    } else if (output.empty()) {
        CheckOnlyOutput nowhere;
        rebuilt = Rebuild(parts, nowhere, **blocks, why).Run();
    } else if (auto created = files.CreateOutputFile(output); !created) {
        why = created.error().Describe();
    } else {
        rebuilt = Rebuild(parts, **created, **blocks, why).Run();
        if (rebuilt && !(*created)->Commit()) {
            why = (*created)->Failure().Describe();
            rebuilt = false;
        }
    }
    files.RemoveFile(scratch);
    return rebuilt;
}

}  // namespace kestrel
