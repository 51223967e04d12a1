#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace kestrel {

// Reads until `data` holds `size` bytes or the file ends: the bytes read, -1 on a read error
// (see the file's Failure). For readers that need whole buffers (blocks, pieces to compare).
std::int64_t ReadFully(InputFile& in, void* data, std::size_t size);

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
