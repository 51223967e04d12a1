#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryAccess.h"

namespace kestrel {

// Registry files as Windows' registry editor writes and reads them: "Windows Registry Editor
// Version 5.00" in UTF-16LE with a byte-order mark (string data inside hex(N) lists is UTF-16LE
// too), and the older "REGEDIT4" in ANSI. The files are parsed whole into this model before
// anything touches the registry, so a malformed file changes nothing.

struct RegFileValue {
    std::string name;     // UTF-8; empty for the default value, written "@"
    bool remove = false;  // "name"=-
    std::uint32_t type = 0;
    // The bytes as the ANSI registry calls take them: string types in ANSI, with their NULs.
    std::string data;
};

struct RegFileKey {
    std::string path;     // UTF-8, starting with a full root name ("HKEY_CURRENT_USER\...")
    bool remove = false;  // [-path]: the key and everything below it
    std::vector<RegFileValue> values;
};

struct RegFileError {
    std::size_t line = 0;  // 1-based
    std::string message;
};

// Accepts keys as "[path]" and "[-path]" with the full or the short root names (HKCU, ...),
// values as "name"= or @= followed by "text" (escapes \\ \" \n \r \0), -, dword:, hex: or
// hex(N): byte lists continued over lines ending in a backslash, blank lines and ";" comments.
std::optional<std::vector<RegFileKey>> ParseRegFile(std::string_view bytes, RegFileError& error);

// The file in the version 5 form, UTF-16LE with its byte-order mark and CR LF line ends.
// String values that a quoted text cannot hold exactly (no single final NUL, a line break) are
// written as hex(1), hex(2) or hex(7) lists so that they come back byte for byte.
std::string FormatRegFile(const std::vector<RegFileKey>& keys);

// The tree at keyPath: each key, then its values (every type), then its subkeys. Empty when
// the key cannot be opened.
std::vector<RegFileKey> ReadRegistryTree(RegistryAccess& access, const std::string& keyPath);

// Applies the keys in order inside one registry batch. Stops at the first key or value the
// registry refuses, abandons the batch and returns what failed; on the SQLite store nothing
// has changed then.
std::optional<std::string> ApplyRegFile(RegistryAccess& access,
                                        const std::vector<RegFileKey>& keys);

}  // namespace kestrel
