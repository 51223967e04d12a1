#pragma once

#include "platform/FileSystem.h"

namespace kestrel {

// The Win32 file API through its wide functions, so that any name the program holds in UTF-8
// reaches the disk unchanged.
class Win32FileSystem final : public FileSystem {
public:
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
};

}  // namespace kestrel
