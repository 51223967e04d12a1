#include "backup/RedirectedReads.h"

#include "platform/NameCase.h"

namespace kestrel {

RedirectedReads::RedirectedReads(FileSystem& direct, std::map<std::string, std::string> readFrom)
    : direct_(direct), readFrom_(std::move(readFrom))
{
}

const std::string& RedirectedReads::ReadPath(const std::string& path) const
{
    for (const auto& [original, elsewhere] : readFrom_) {
        if (EqualsIgnoringCase(original, path)) {
            return elsewhere;
        }
    }
    return path;
}

Result<std::unique_ptr<InputFile>> RedirectedReads::OpenInputFile(const std::string& path)
{
    return direct_.OpenInputFile(ReadPath(path));
}

Result<FileFacts> RedirectedReads::Stat(const std::string& path)
{
    return direct_.Stat(ReadPath(path));
}

bool RedirectedReads::FileExists(const std::string& path)
{
    return direct_.FileExists(path);
}

bool RedirectedReads::FolderExists(const std::string& path)
{
    return direct_.FolderExists(path);
}

std::vector<std::string> RedirectedReads::FilesIn(const std::string& folder)
{
    return direct_.FilesIn(folder);
}

bool RedirectedReads::CanListFolder(const std::string& folder)
{
    return direct_.CanListFolder(folder);
}

std::vector<std::string> RedirectedReads::FoldersIn(const std::string& folder)
{
    return direct_.FoldersIn(folder);
}

bool RedirectedReads::CreateFolder(const std::string& path)
{
    return direct_.CreateFolder(path);
}

bool RedirectedReads::RemoveFile(const std::string& path)
{
    return direct_.RemoveFile(path);
}

bool RedirectedReads::RemoveFolderTree(const std::string& folder)
{
    return direct_.RemoveFolderTree(folder);
}

bool RedirectedReads::RenameFile(const std::string& from, const std::string& to)
{
    return direct_.RenameFile(from, to);
}

bool RedirectedReads::MoveOver(const std::string& from, const std::string& to)
{
    return direct_.MoveOver(from, to);
}

bool RedirectedReads::CopyFileTo(const std::string& from, const std::string& to)
{
    return direct_.CopyFileTo(from, to);
}

bool RedirectedReads::SetNormalAttributes(const std::string& path)
{
    return direct_.SetNormalAttributes(path);
}

std::optional<std::vector<std::string>> RedirectedReads::ReadTextLines(const std::string& path)
{
    return direct_.ReadTextLines(path);
}

bool RedirectedReads::AppendTextLine(const std::string& path, const std::string& line)
{
    return direct_.AppendTextLine(path, line);
}

bool RedirectedReads::AppendLogLine(const std::string& path, const std::string& line)
{
    return direct_.AppendLogLine(path, line);
}

std::string RedirectedReads::CreateTempFile(const std::string& folder, const std::string& prefix)
{
    return direct_.CreateTempFile(folder, prefix);
}

Result<std::unique_ptr<OutputFile>> RedirectedReads::CreateOutputFile(const std::string& path)
{
    return direct_.CreateOutputFile(path);
}

// The file the user named, not its copy: a backup compares its target with the live files.
std::optional<FileIdentity> RedirectedReads::Identity(const std::string& path)
{
    return direct_.Identity(path);
}

bool RedirectedReads::FlushToDisk(const std::string& path)
{
    return direct_.FlushToDisk(path);
}

std::filesystem::path RedirectedReads::NativePath(const std::string& path)
{
    return direct_.NativePath(path);
}

}  // namespace kestrel
