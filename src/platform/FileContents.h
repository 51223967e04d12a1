#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace kestrel {

// Whole small files (registry exports, .reg files) read and written through the FileSystem.

// The file's bytes; a file larger than maxSize is refused rather than read into memory.
Result<std::string> ReadWholeFile(FileSystem& fileSystem, const std::string& path,
                                  std::uint64_t maxSize = 256u << 20);

// The one way a whole file is replaced: the bytes are written beside it, put on the disk, and
// only then moved over it, so a failed or interrupted write leaves the old file as it was.
// Nothing on success.
std::optional<Error> ReplaceFile(FileSystem& fileSystem, const std::string& path,
                                 std::string_view bytes);

}  // namespace kestrel
