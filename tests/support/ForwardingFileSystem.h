#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kestrel::testing {

// A file system that hands every call to another one; a test overrides the calls it wants to
// change (a staged archive that reads back as something else, say) and keeps the rest real.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
    bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
    std::vector<std::string> FilesIn(const std::string& folder) override
    {
        return inner_.FilesIn(folder);
    }
    std::vector<std::string> FoldersIn(const std::string& folder) override
    {
        return inner_.FoldersIn(folder);
    }
    bool CanListFolder(const std::string& folder) override { return inner_.CanListFolder(folder); }
    bool CreateFolder(const std::string& path) override { return inner_.CreateFolder(path); }
    bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
    bool RemoveFolderTree(const std::string& folder) override
    {
        return inner_.RemoveFolderTree(folder);
    }
    bool RenameFile(const std::string& from, const std::string& to) override
    {
        return inner_.RenameFile(from, to);
    }
    bool MoveOver(const std::string& from, const std::string& to) override
    {
        return inner_.MoveOver(from, to);
    }
    bool CopyFileTo(const std::string& from, const std::string& to) override
    {
        return inner_.CopyFileTo(from, to);
    }
    bool SetNormalAttributes(const std::string& path) override
    {
        return inner_.SetNormalAttributes(path);
    }
    std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) override
    {
        return inner_.ReadTextLines(path);
    }
    bool AppendTextLine(const std::string& path, const std::string& line) override
    {
        return inner_.AppendTextLine(path, line);
    }
    bool AppendLogLine(const std::string& path, const std::string& line) override
    {
        return inner_.AppendLogLine(path, line);
    }
    std::string CreateTempFile(const std::string& folder, const std::string& prefix) override
    {
        return inner_.CreateTempFile(folder, prefix);
    }
    Result<std::unique_ptr<OutputFile>> CreateOutputFile(const std::string& path) override
    {
        return inner_.CreateOutputFile(path);
    }
    Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override
    {
        return inner_.OpenInputFile(path);
    }
    Result<FileFacts> Stat(const std::string& path) override { return inner_.Stat(path); }
    std::optional<FileIdentity> Identity(const std::string& path) override
    {
        return inner_.Identity(path);
    }
    bool FlushToDisk(const std::string& path) override { return inner_.FlushToDisk(path); }
    std::filesystem::path NativePath(const std::string& path) override
    {
        return inner_.NativePath(path);
    }

private:
    FileSystem& inner_;
};

}  // namespace kestrel::testing
