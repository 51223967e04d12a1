#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

// Whole key trees to and from the export text format (ExportText.h), the form in which a
// backup holds registry items. Key paths are full paths with their root name, as everywhere in
// RegistryAccess; a malformed one shows "Incorrect Format:" once and does nothing.

// Writes the tree at keyPath depth-first: each key's line, its values, then its subkeys in the
// registry's order. With an empty relative path the file is replaced and the key's line is a
// single backslash; otherwise the lines are appended, under relativePath (which starts with a
// backslash). A key that cannot be opened still gets its line, with nothing under it. The file
// is replaced whole once the text is complete (ReplaceFile). Returns false only when the file
// cannot be written.
//
// What the import could not read back is left out and the rest kept: a value whose line would
// not read back (ValueLineReadsBack: "=" or a line break in its name, a line break in string
// data) and a subkey whose name cannot stand in a key line (KeyNameReadsBack), the latter with
// everything below it. Each adds one entry to *leftOut, when given: the full path of the key
// holding it, a backslash and its name, in UTF-8. Types the format does not hold are skipped
// without an entry.
bool ExportKeyTree(RegistryAccess& access, const std::string& keyPath,
                   const std::string& relativePath, FileSystem& fileSystem, const std::string& file,
                   std::vector<std::string>* leftOut = nullptr);
bool ExportKeyTree(RegistryAccess& access, const std::string& keyPath,
                   const std::string& relativePath, std::ostream& out,
                   std::vector<std::string>* leftOut = nullptr);

// Appends the value lines of one key (no key line); nothing when the key cannot be opened.
// Values are left out and listed as by ExportKeyTree.
bool ExportKeyValues(RegistryAccess& access, const std::string& keyPath, FileSystem& fileSystem,
                     const std::string& file, std::vector<std::string>* leftOut = nullptr);
void ExportKeyValues(RegistryAccess& access, const std::string& keyPath, std::ostream& out,
                     std::vector<std::string>* leftOut = nullptr);

struct ImportError {
    std::size_t line = 0;  // 1-based line of the file, 0 when the error is not about a line
    std::string message;
};

// Rebuilds the tree of an export file at basePath: the whole file is read and checked first,
// then the tree at basePath is replaced by the file's tree in one registry batch. A file that
// cannot be read or holds a malformed line, a malformed base path and a base path that is a
// root key alone change nothing and come back as the error. Registry failures while writing
// are silent: a key that cannot be created loses its values.
// The most an import may bring. A tree from an archive is held to ArchivedTreeLimits, so a
// crafted export cannot fill the registry: a real profile or options tree has tens to a few
// hundred keys and a few thousand values, well inside.
struct ImportLimits {
    std::uint64_t maxBytes = 0;
    std::size_t maxKeys = 0;
    std::size_t maxValues = 0;
};
inline constexpr ImportLimits ArchivedTreeLimits{16u << 20, 5000, 100000};

// A file over a limit is refused as a whole, before anything is imported; no limits: any
// file up to ReadWholeFile's size.
std::optional<ImportError> ImportKeyFile(RegistryAccess& access, const std::string& basePath,
                                         FileSystem& fileSystem, const std::string& file,
                                         const std::optional<ImportLimits>& limits = {});
std::optional<ImportError> ImportKeyText(RegistryAccess& access, const std::string& basePath,
                                         std::string_view text);

// Deletes the key and everything below it, children before their parents; what cannot be
// deleted stays.
void DeleteKeyTree(RegistryAccess& access, const std::string& keyPath);

}  // namespace kestrel
