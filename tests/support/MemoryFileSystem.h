#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/FileSystem.h"

namespace kestrel::testing {

// A file system held in memory, for testing core code against failures a real disk produces
// only by chance: the N-th write refused as on a full disk, a file that cannot be opened
// (another program holds it), a rename that fails. Paths are Windows paths, names compare
// without regard to case; "C:" exists from the start, folders are made with AddFolder.
class MemoryFileSystem final : public FileSystem {
public:
    // Creates every missing level of the folder.
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, std::string data, bool hidden = false);
    // The file's data; empty when missing.
    std::string Data(const std::string& path) const;
    // Every file and folder below the root, as stored (original case), sorted.
    std::set<std::string> Paths() const;

    // The n-th call of Write or WriteAt from now on (1 = the next one), on any file, fails as
    // on a full disk; 0 turns it off.
    void FailWriteNumber(std::uint64_t n) { failingWrite_ = n == 0 ? 0 : writes_ + n; }
    // The program dies at the n-th change from now on (1 = the next one): that change and every
    // later one (a write, a new file or folder, a rename, a copy, a removal) fail without
    // effect, as if nothing ran any more; 0 brings the program back, as a new start does.
    void CrashAtChange(std::uint64_t n) { crashingChange_ = n == 0 ? 0 : changes_ + n; }
    std::uint64_t ChangesSoFar() const { return changes_; }
    // A copy that shares no data with this one (a plain copy shares each file's data).
    MemoryFileSystem DeepCopy() const;
    std::uint64_t WritesSoFar() const { return writes_; }
    void RefuseOpening(const std::string& path) { refusedOpens_.insert(Key(path)); }
    // The folder exists but lists as empty, as one the user may not read.
    void RefuseListing(const std::string& folder) { refusedListings_.insert(Key(folder)); }
    // How often CanListFolder was asked.
    std::uint64_t ListingQuestions() const { return listingQuestions_; }
    void AllowOpening(const std::string& path) { refusedOpens_.erase(Key(path)); }
    void FailRenamesTo(const std::string& path) { failingRenames_.insert(Key(path)); }
    // A file moved to a path that begins with the text arrives with one byte in its middle
    // changed, as a bad sector or a faulty network share would return it.
    void DamageFilesMovedTo(const std::string& pathStart) { damagedMoves_.insert(Key(pathStart)); }

    bool FileExists(const std::string& path) override
    {
        const Node* node = Find(path);
        return node != nullptr && !node->folder && !node->hidden;
    }
    bool FolderExists(const std::string& path) override
    {
        const Node* node = Find(path);
        return node != nullptr && node->folder;
    }
    std::vector<std::string> FilesIn(const std::string& folder) override
    {
        return NamesIn(folder, false);
    }
    std::vector<std::string> FoldersIn(const std::string& folder) override;
    bool CanListFolder(const std::string& folder) override
    {
        ++listingQuestions_;
        return FolderExists(folder) && refusedListings_.count(Key(folder)) == 0;
    }
    bool CreateFolder(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    // A file refused by RefuseOpening stays, as one held open does on Windows, with the folders
    // it is in.
    bool RemoveFolderTree(const std::string& folder) override;
    bool RenameFile(const std::string& from, const std::string& to) override
    {
        return Find(to) == nullptr && MoveOver(from, to);
    }
    bool MoveOver(const std::string& from, const std::string& to) override;
    bool CopyFileTo(const std::string& from, const std::string& to) override;
    bool SetNormalAttributes(const std::string& path) override;
    std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) override;
    bool AppendTextLine(const std::string& path, const std::string& line) override;
    // Held as UTF-8, the program's own text, like every file here.
    bool AppendLogLine(const std::string& path, const std::string& line) override
    {
        return AppendTextLine(path, line);
    }
    std::string CreateTempFile(const std::string& folder, const std::string& prefix) override;
    Result<std::unique_ptr<OutputFile>> CreateOutputFile(const std::string& path) override;
    Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override;
    Result<FileFacts> Stat(const std::string& path) override;
    bool FlushToDisk(const std::string& path) override;
    // Names differing in case reach the same node, and so the same file number.
    std::optional<FileIdentity> Identity(const std::string& path) override
    {
        if (Find(path) == nullptr) {
            return std::nullopt;
        }
        return FileIdentity{1, Find(path)->number};
    }
    // There is none: code that still opens files by their native path fails here.
    std::filesystem::path NativePath(const std::string&) override { return {}; }

    struct Node {
        std::string path;  // as created
        bool folder = false;
        bool hidden = false;
        std::shared_ptr<std::string> data = std::make_shared<std::string>();
        // The time of the last change Stat reports: each new or rewritten file gets a later one
        // (a rename keeps it), so code that tells a changed file by its time can be tested.
        std::time_t modified = 0;
        // The file number: each new node gets its own, a rename keeps it.
        std::uint64_t number = NextNumber();
    };
    // Counts a write; false when this one is to fail.
    bool TakeWrite() { return TakeChange() && ++writes_ != failingWrite_; }
    // Counts a change; false once the program has crashed.
    bool TakeChange() { return ++changes_ < crashingChange_ || crashingChange_ == 0; }

private:
    static std::uint64_t NextNumber()
    {
        static std::uint64_t last = 0;
        return ++last;
    }
    static std::string Key(const std::string& path);
    static std::string ParentKey(const std::string& key);
    std::vector<std::string> NamesIn(const std::string& folder, bool folders);
    Node* Find(const std::string& path);
    bool ParentIsFolder(const std::string& path);

    std::map<std::string, Node> nodes_;
    std::set<std::string> refusedOpens_;
    std::set<std::string> refusedListings_;
    std::set<std::string> failingRenames_;
    std::set<std::string> damagedMoves_;
    std::uint64_t writes_ = 0;
    std::uint64_t listingQuestions_ = 0;
    std::uint64_t failingWrite_ = 0;
    std::uint64_t changes_ = 0;
    std::uint64_t crashingChange_ = 0;
    int tempNumber_ = 0;
    std::time_t clock_ = 1700000000;
};

}  // namespace kestrel::testing
