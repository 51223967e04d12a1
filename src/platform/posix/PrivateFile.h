#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace kestrel {

enum class PrivateWrite {
    // Fails when the file exists (a name taken by another writer is never written over).
    CreateNew,
    // Writes over the file, and makes an existing one private too.
    Replace,
};

// Writes a file only its owner (and root) can read, for what holds a password: mode 0600 is set
// before any data is in it, the data reaches the disc before this returns, and a failed write
// leaves no file behind. `existed`, when given, says whether CreateNew failed because the file
// was there.
std::optional<Error> WritePrivateFile(const std::filesystem::path& path, const std::string& text,
                                      PrivateWrite how, bool* existed = nullptr);

// Makes `path` a file only its owner can read or write, for what names the user's files and
// accounts (the program's log, the registry store): creates it empty with mode 0600 when it is
// missing and narrows an existing one (made by an older version under the umask), keeping every
// byte it holds. False when the file can neither be created nor narrowed.
bool MakePrivateFile(const std::filesystem::path& path);

}  // namespace kestrel
