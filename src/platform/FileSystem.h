#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // Puts the data on the disk and closes the file, whatever the outcome. True only when every
    // write succeeded and the data is on the disk; Write and Commit after it return false.
    virtual bool Commit() = 0;
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
    // Creates one folder level; fails when the parent is missing or the folder exists.
    virtual bool CreateFolder(const std::string& path) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
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
    // As GetTempFileNameA with unique number 0: a new, empty file in `folder` named by the
    // first three characters of `prefix`, a hexadecimal number and ".tmp", never the name of a
    // file that exists. Returns its full path; empty on failure.
    virtual std::string CreateTempFile(const std::string& folder, const std::string& prefix) = 0;
    // Opens the file for writing from its start, creating it or emptying the one there. Null
    // when it cannot be opened (a missing folder, a folder at the path, no access).
    virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) = 0;
    // Writes the file's data (or a folder's entries) through to the disk.
    virtual bool FlushToDisk(const std::string& path) = 0;
    // The path in the form the standard library and libzip open; empty when it cannot be
    // mapped.
    virtual std::filesystem::path NativePath(const std::string& path) = 0;
};

}  // namespace kestrel
