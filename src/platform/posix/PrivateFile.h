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

}  // namespace kestrel
