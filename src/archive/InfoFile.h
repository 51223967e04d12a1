#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace kestrel {

// The info file "ksbackup.dat" that describes a backup and names the members of each item:
// ANSI text, one "key=value" line per entry, CR LF, no section header.
//
// A value the ANSI code page cannot hold (a file name in another script, a description) would
// lose its characters to "?". The file is then UTF-8 instead, all of it, and says so in its
// first line, InfoFileUtf8Line, which the reader checks; any other file is read as ANSI, as
// every earlier build wrote it. A file whose every value fits the code page stays ANSI, byte
// for byte.

inline constexpr const char* InfoFileName = "ksbackup.dat";
// An info file is a few hundred bytes; a larger one is not a backup of ours, and reading it
// whole would let an archive fill the memory. Whatever reads one from an archive holds it to
// this size.
inline constexpr std::uint64_t MaxInfoFileBytes = 1u << 20;
inline constexpr const char* InfoFileUtf8Line = "BackupText=UTF-8";
// Line breaks cannot live in a value, so the description stores each one (CR LF, a lone LF or a
// lone CR) as this text, which reads back as CR LF.
inline constexpr const char* DescriptionLineBreak = "PS$KSB";

// Info keys beside "BackupDatas" and "BackupPab": the source path of each member, in the order
// of the names, joined by "|" (which no Windows path holds), so a restore can point each
// profile entry at its own file even when a name had to be changed.
inline constexpr const char* DatasSourcesKey = "BackupDatasSources";
inline constexpr const char* PabSourcesKey = "BackupPabSources";

// Appends one line "key=value", creating the file when missing. Never looks for an earlier
// line of the same key: saving a key twice leaves two lines. False when it cannot be written.
// A line the code page cannot hold turns the file into UTF-8 (above) before it is appended.
bool SaveINI(FileSystem& fileSystem, const std::string& keyName, const std::string& keyValue,
             const std::string& fileName);

// The value of the first line whose key (the text before its first "=") equals keyName
// without regard to case; "" when none does. An empty line ends the search as the end of the
// file does. Empty (no value) when the file cannot be read.
std::optional<std::string> GetINI(FileSystem& fileSystem, const std::string& keyName,
                                  const std::string& fileName);

// The same lookup in an info file's bytes held in memory (read from an archive), UTF-8 or ANSI
// as above; "" when no line has the key.
std::string InfoValueIn(std::string_view bytes, const std::string& keyName);

// A new, empty file in the run folder named by the system from the first three characters of
// sPrefix, a hexadecimal number and ".tmp"; its full path, or "" when none could be made. Its
// bare name is both the archive member's name and the info-key value.
std::string sGetTempFile(FileSystem& fileSystem, const std::string& runFolder,
                         const std::string& sPrefix);

// The description as stored (every line break replaced) and as shown again (with CR LF).
std::string EncodeDescription(const std::string& text);
std::string DecodeDescription(const std::string& stored);

}  // namespace kestrel
