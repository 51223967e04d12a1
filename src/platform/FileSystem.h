#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace kestrel {

// A file written from its start to its end, for data that must survive a crash once the caller
// relies on it (a restored mail file before it replaces the old one). The data goes to the disk
// while the caller produces more; Commit waits until all of it is there. Dropped without
// Commit, the file is closed with whatever part of the data reached it, on the disk or not,
// and stays where it is for the caller to remove.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends the bytes. False once the system has refused data (a full disk, an I/O error),
    // which a backend that writes in the background reports with a later Write, and at the
    // latest with Commit. The file is then failed: every later Write and Commit returns false.
    virtual bool Write(const char* data, std::size_t size) = 0;
    // Overwrites bytes written before (a header patched once its sizes are known); the range
    // must lie within what was written so far. Fails the file like Write does.
    virtual bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) = 0;
    // Puts the data on the disk and closes the file, whatever the outcome. True only when every
    // write succeeded and the data is on the disk; Write and Commit after it return false.
    virtual bool Commit() = 0;
    // Why the file failed, naming it; meaningful once Write, WriteAt or Commit returned false.
    virtual const Error& Failure() const = 0;
};

// A file read from anywhere in it. Opened sharing reading and writing with others, as a backup
// reads a file that another program may still have open.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Up to `size` bytes from the current position: fewer only at the end of the file, 0 there,
    // -1 on a read error (see Failure).
    virtual std::int64_t Read(char* data, std::size_t size) = 0;
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual std::uint64_t Size() const = 0;
    virtual const Error& Failure() const = 0;
};

// What a file is, for deciding whether and how to read it.
struct FileFacts {
    std::uint64_t size = 0;
    std::time_t modified = 0;
    bool isFolder = false;
};

// Which file or folder a path reaches, whatever name reached it: names differing in case, a
// short name, a "\\?\" path, a symbolic link or a hard link all give the same identity.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;

    bool operator==(const FileIdentity&) const = default;
};

// Files and folders named by Windows paths (UTF-8 text, backslashes, drive letters or UNC),
// as the registry and the info file hold them. On Linux they are mapped onto the environment
// root, each component found without regard to case; a path that begins with a single "/" is
// already a Linux path and is used as it is (the command-line tool names host files so).
// Every operation reports failure through its result and never throws.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True for a file with normal attributes: a folder, a hidden or a system file counts as
    // missing (on Linux a name that begins with "." is hidden).
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Bare names of the files directly inside the folder, hidden ones included, in the order
    // the system lists them; no folders. Empty when the folder is missing.
    virtual std::vector<std::string> FilesIn(const std::string& folder) = 0;
    // Bare names of the folders directly inside the folder, hidden ones included, in the order
    // the system lists them; no files, no "." or "..". Empty when the folder is missing.
    virtual std::vector<std::string> FoldersIn(const std::string& folder) = 0;
    // Whether the folder's contents can be listed: false for a missing folder and for one the
    // user may not read, whose FilesIn and FoldersIn are empty although it may hold files.
    virtual bool CanListFolder(const std::string& folder) = 0;
    // Creates one folder level; fails when the parent is missing or the folder exists.
    virtual bool CreateFolder(const std::string& path) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    // Removes the folder with everything inside it, read-only files and folders included. A
    // link inside (a symbolic link, a junction) is removed as a link: what it leads to stays as
    // it is. Whatever cannot be removed (a file another program holds open) stays, and the rest
    // goes. True when nothing is left at the path, so also when the folder was missing; false,
    // removing nothing, when the path names a file.
    virtual bool RemoveFolderTree(const std::string& folder) = 0;
    // Fails when the target exists.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
    // Puts `from` in place of `to` in one step, whether or not `to` exists: a reader sees the
    // old file or the new one, never a mix. Both must be in the same folder.
    virtual bool MoveOver(const std::string& from, const std::string& to) = 0;
    // Overwrites an existing target.
    virtual bool CopyFileTo(const std::string& from, const std::string& to) = 0;
    // Clears read-only, hidden and system.
    virtual bool SetNormalAttributes(const std::string& path) = 0;
    // The lines of an ANSI text file, converted to UTF-8, ended by CR LF, LF or the end of the
    // file; a line break at the end does not start another line. Empty when unreadable.
    virtual std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) = 0;
    // Appends the line in ANSI and CR LF, creating the file when missing.
    virtual bool AppendTextLine(const std::string& path, const std::string& line) = 0;
    // The same in the encoding of the program's log (CodePage.h: UTF-8 on Linux).
    virtual bool AppendLogLine(const std::string& path, const std::string& line) = 0;
    // As GetTempFileNameA with unique number 0: a new, empty file in `folder` named by the
    // first three characters of `prefix`, a hexadecimal number and ".tmp", never the name of a
    // file that exists. Returns its full path; empty on failure.
    virtual std::string CreateTempFile(const std::string& folder, const std::string& prefix) = 0;
    // Opens the file for writing from its start, creating it or emptying the one there. Fails
    // when it cannot be opened (a missing folder, a folder at the path, no access).
    virtual Result<std::unique_ptr<OutputFile>> CreateOutputFile(const std::string& path) = 0;
    // Opens an existing file for reading. Fails for a folder, a missing file, no access, or a
    // file another program holds open without sharing it.
    virtual Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) = 0;
    // Size, time of the last change and kind of whatever the path names, hidden or not.
    virtual Result<FileFacts> Stat(const std::string& path) = 0;
    // The identity of the file or folder at the path; nothing when the path reaches none.
    virtual std::optional<FileIdentity> Identity(const std::string& path) = 0;
    // Writes the file's data (or a folder's entries) through to the disk.
    virtual bool FlushToDisk(const std::string& path) = 0;
    // The path in the form the standard library opens; empty when it cannot be mapped. For
    // tests and tools that seed an environment only: core code opens every file through the
    // calls above (scripts/check-layers.sh holds it to that), so it runs on any FileSystem.
    virtual std::filesystem::path NativePath(const std::string& path) = 0;
};

}  // namespace kestrel
