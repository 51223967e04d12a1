#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace kestrel {

// A file system that reads some files from elsewhere (a held data file from its shadow copy)
// while everything else, the files' names included, stays as it is: a reader names the
// original path and gets the other file's bytes, size and time. Everything but opening for
// reading and Stat goes to the direct file system unchanged.
class RedirectedReads final : public FileSystem {
public:
    // `readFrom` maps original paths (compared without regard to case) to the paths to read.
    RedirectedReads(FileSystem& direct, std::map<std::string, std::string> readFrom);

    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    std::vector<std::string> FilesIn(const std::string& folder) override;
    std::vector<std::string> FoldersIn(const std::string& folder) override;
    bool CanListFolder(const std::string& folder) override;
    bool CreateFolder(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    bool RemoveFolderTree(const std::string& folder) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool MoveOver(const std::string& from, const std::string& to) override;
    bool CopyFileTo(const std::string& from, const std::string& to) override;
    bool SetNormalAttributes(const std::string& path) override;
    std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) override;
    bool AppendTextLine(const std::string& path, const std::string& line) override;
    bool AppendLogLine(const std::string& path, const std::string& line) override;
    std::string CreateTempFile(const std::string& folder, const std::string& prefix) override;
    Result<std::unique_ptr<OutputFile>> CreateOutputFile(const std::string& path) override;
    Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override;
    Result<FileFacts> Stat(const std::string& path) override;
    std::optional<FileIdentity> Identity(const std::string& path) override;
    bool FlushToDisk(const std::string& path) override;
    std::filesystem::path NativePath(const std::string& path) override;

private:
    const std::string& ReadPath(const std::string& path) const;

    FileSystem& direct_;
    std::map<std::string, std::string> readFrom_;
};

}  // namespace kestrel
