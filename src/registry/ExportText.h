#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// The text format in which backups store registry trees, read and written without a registry:
//
//   \                       the exported key itself
//   "Name"= sz:text         REG_SZ; "=esz:" REG_EXPAND_SZ, "=bin:" REG_BINARY as decimal
//   "Count"= dw:-1          bytes joined by ",", "= dw:" REG_DWORD as a signed number
//   \Child\Grandchild       a key below it, relative to the exported key
//
// ANSI bytes, CR LF line ends, no escaping: a value's name ends at the line's first "=", and
// every marker is five characters long. What a line cannot hold is never written (see
// ValueLineReadsBack and KeyNameReadsBack). Every backup ever written holds this format, so the
// reader must keep accepting exactly what it accepts now.

struct ExportValue {
    std::string name;    // ANSI, as stored
    std::uint32_t type;  // reg::TypeSz, TypeExpandSz, TypeBinary or TypeDword
    std::string data;    // what the registry gets: strings without NUL, DWORDs as 4 bytes LE
};

struct ExportKey {
    std::string line;  // the key line as written, "\" for the exported key itself
    // A key line ending in a backslash stands for the exported key: the import clears the
    // target tree there and fills the target key itself.
    bool replacesTree = false;
    std::vector<ExportValue> values;
};

struct ExportTextError {
    std::size_t line = 0;  // 1-based
    std::string message;
};

// Reads the text up to its end or its first empty line. Values before the first key line
// have no key to go to and are dropped once checked; lines with an unknown marker are ignored.
// A value line without a name ended by "=", or a "dw" or "bin" datum that is not a number in
// range, makes the whole text malformed: the error names its line and no keys come back.
std::optional<std::vector<ExportKey>> ParseExportText(std::string_view text,
                                                      ExportTextError& error);

// "\" for an empty relative path, else the path (which starts with a backslash); with CR LF.
std::string FormatKeyLine(std::string_view relativePath);
// The value line of one registry value, with CR LF; nothing for types the format does not
// hold (REG_MULTI_SZ, REG_QWORD, REG_NONE, ...) and for a value whose line would not read back
// (ValueLineReadsBack). `data` is the value's bytes as stored.
std::optional<std::string> FormatValueLine(std::string_view name, std::uint32_t type,
                                           std::string_view data);

// REG_SZ, REG_EXPAND_SZ, REG_BINARY and REG_DWORD: the types that have a value line.
bool IsExportedType(std::uint32_t type);
// False when the reader would not get the value back from its line: a name holding "=" ends
// early, and a line break in the name or in REG_SZ / REG_EXPAND_SZ data splits the line into
// ones the reader refuses or takes for keys and values of their own. A CR counts as a line
// break as LF does, so that no line holds one anywhere but at its end. Binary and DWORD data
// always fit.
bool ValueLineReadsBack(std::string_view name, std::uint32_t type, std::string_view data);
// False for a subkey name that cannot stand as the last part of a key line: an empty one or
// one holding a backslash would make a line that names another key (a line ending in a
// backslash even stands for the exported key itself), a line break would split it.
bool KeyNameReadsBack(std::string_view name);

}  // namespace kestrel
