#include "backup/ArchiveContents.h"

#include "archive/ChangedBlocks.h"
#include "archive/InfoFile.h"
#include "archive/MemberName.h"
#include "platform/NameCase.h"

namespace kestrel {

ArchiveContents::ArchiveContents(FileSystem& fileSystem, ZipComponent& zip)
    : fileSystem_(fileSystem), zip_(zip)
{
}

std::optional<std::string> ArchiveContents::AddedAs(const std::string& path) const
{
    for (const Added& added : added_) {
        if (EqualsIgnoringCase(added.path, path)) {
            return added.memberName;
        }
    }
    return std::nullopt;
}

// Opened now, so that a file that cannot be read is left out with a reason instead of failing
// the whole write later.
bool ArchiveContents::CanRead(const std::string& path, std::string& why)
{
    auto opened = fileSystem_.OpenInputFile(path);
    if (!opened) {
        why = opened.error().Describe();
        return false;
    }
    return true;
}

std::optional<std::string> ArchiveContents::Add(const std::string& path, std::string& why,
                                                const std::string& memberPath)
{
    if (std::optional<std::string> name = AddedAs(path)) {
        return name;
    }
    if (!CanRead(path, why)) {
        return std::nullopt;
    }
    const std::string name = FreeName(memberPath.empty() ? BareName(path) : memberPath);
    if (!zip_.AddFile(path, name)) {
        why = zip_.LastError();
        return std::nullopt;
    }
    added_.push_back({path, name});
    return name;
}

void ArchiveContents::SetDifferentialBase(const DifferentialBase* base,
                                          const std::string& scratchFolder)
{
    base_ = base;
    scratchFolder_ = scratchFolder;
}

std::optional<std::string> ArchiveContents::AddDataFile(const std::string& path, std::string& why)
{
    if (std::optional<std::string> name = AddedAs(path)) {
        return name;
    }
    if (!CanRead(path, why)) {
        return std::nullopt;
    }
    const std::string name = FreeDataName(BareName(path));
    const MemberMap* full = nullptr;
    if (base_ != nullptr) {
        for (const MemberMap& map : base_->maps) {
            if (map.dataName == name) {
                full = &map;
            }
        }
        if (full == nullptr && needsFull_.empty()) {
            needsFull_ = name + " is not in the full backup " + base_->fullName;
        } else if (full != nullptr && full->map.blockSize != blockSize_ && needsFull_.empty()) {
            needsFull_ = "the full backup " + base_->fullName + " maps " + name + " in blocks of " +
                         std::to_string(full->map.blockSize) + " bytes, not " +
                         std::to_string(blockSize_);
        }
    }
    if (full != nullptr && needsFull_.empty()) {
        return AddChangedBlocks(path, name, *full, why);
    }
    if (!zip_.AddFileWithBlockMap(path, name, blockSize_)) {
        why = zip_.LastError();
        return std::nullopt;
    }
    added_.push_back({path, name});
    reserved_.push_back(name + std::string(BlockMapSuffix));
    reserved_.push_back(name + std::string(ChangedBlocksSuffix));
    dataFiles_.push_back({name, name + std::string(BlockMapSuffix), {}, {}});
    return name;
}

std::optional<std::string> ArchiveContents::AddChangedBlocks(const std::string& path,
                                                             const std::string& name,
                                                             const MemberMap& full,
                                                             std::string& why)
{
    const std::string blocks = fileSystem_.CreateTempFile(scratchFolder_, "KCB");
    const std::string map = fileSystem_.CreateTempFile(scratchFolder_, "KBM");
    for (const std::string& made : {blocks, map}) {
        if (!made.empty()) {
            temporaryFiles_.push_back(made);
        }
    }
    if (blocks.empty() || map.empty()) {
        why = "cannot create a temporary file in " + scratchFolder_;
        return std::nullopt;
    }
    const std::string mapName = name + std::string(BlockMapSuffix);
    const std::string changedName = name + std::string(ChangedBlocksSuffix);
    if (!zip_.AddFile(blocks, changedName) || !zip_.AddFile(map, mapName)) {
        why = zip_.LastError();
        return std::nullopt;
    }
    added_.push_back({path, name});
    reserved_.push_back(mapName);
    reserved_.push_back(changedName);
    dataFiles_.push_back({name, mapName, changedName, full.hash});
    pendingBlocks_.push_back({path, name, &full, blocks, map});
    return name;
}

ArchiveContents::BlocksWritten ArchiveContents::WriteChangedBlocks(
    ProgressSink& progress, const std::atomic<bool>& cancelled, std::string& why)
{
    for (const PendingBlocks& pending : pendingBlocks_) {
        progress.SetFileText(texts::ComparingFile + pending.name);
        int shown = -1;
        const auto read = [&](std::uint64_t done, std::uint64_t size) {
            const int percent = size == 0 ? 100 : static_cast<int>(done * 100 / size);
            if (percent != shown) {
                shown = percent;
                progress.SetProgress(percent, 100);
            }
            return !cancelled;
        };
        const ChangedBlocksResult result =
            kestrel::WriteChangedBlocks(fileSystem_, pending.path, pending.full->map, fileSystem_,
                                        pending.blocksPath, pending.mapPath, read);
        switch (result.kind) {
            case ChangedBlocksResult::Kind::Written:
                break;
            case ChangedBlocksResult::Kind::TooMany:
                if (needsFull_.empty()) {
                    needsFull_ = "more than half of " + pending.name +
                                 " changed since the full backup " + base_->fullName;
                }
                return BlocksWritten::NeedsFull;
            case ChangedBlocksResult::Kind::Stopped:
                return BlocksWritten::Cancelled;
            case ChangedBlocksResult::Kind::Failed:
                why = result.why;
                return BlocksWritten::Failed;
        }
    }
    pendingBlocks_.clear();
    return cancelled ? BlocksWritten::Cancelled : BlocksWritten::Done;
}

bool ArchiveContents::AddInfoFile(const std::string& path, std::string& why)
{
    if (!zip_.AddFile(path, InfoFileName)) {
        why = zip_.LastError();
        return false;
    }
    return true;
}

bool ArchiveContents::NameTaken(const std::string& name) const
{
    if (EqualsIgnoringCase(name, InfoFileName)) {
        return true;
    }
    for (const Added& added : added_) {
        if (EqualsIgnoringCase(added.memberName, name)) {
            return true;
        }
    }
    for (const std::string& taken : reserved_) {
        if (EqualsIgnoringCase(taken, name)) {
            return true;
        }
    }
    return false;
}

std::string ArchiveContents::FreeDataName(const std::string& bareName) const
{
    const auto free = [&](const std::string& name) {
        return !NameTaken(name) && !NameTaken(name + std::string(BlockMapSuffix)) &&
               !NameTaken(name + std::string(ChangedBlocksSuffix));
    };
    if (free(bareName)) {
        return bareName;
    }
    const std::size_t dot = bareName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? bareName.substr(0, dot) : bareName;
    const std::string extension = hasExtension ? bareName.substr(dot) : std::string();
    for (int number = 2;; ++number) {
        std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (free(candidate)) {
            return candidate;
        }
    }
}

std::string ArchiveContents::FreeName(const std::string& memberPath) const
{
    if (!NameTaken(memberPath)) {
        return memberPath;
    }
    // The number goes into the file's own name, never into a folder's.
    const std::size_t nameStart = memberPath.rfind('/') + 1;
    const std::size_t dot = memberPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const std::string stem = hasExtension ? memberPath.substr(0, dot) : memberPath;
    const std::string extension = hasExtension ? memberPath.substr(dot) : std::string();
    for (int number = 2;; ++number) {
        std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (!NameTaken(candidate)) {
            return candidate;
        }
    }
}

}  // namespace kestrel
