#pragma once

#include <chrono>
#include <string>

#include "platform/FileSystem.h"

namespace kestrel {

// A write that was killed leaves its temporary file beside the target ("<target>.part-" and six
// letters or digits, see ZipFileSource.h). This removes such files of this target only, when
// untouched for at least minimumAge: a write still running keeps its file fresh (on Windows it
// also holds it open, so it cannot be removed). Any other file, of whatever name or content,
// is never touched. Returns how many were removed.
int RemoveArchiveLeftovers(FileSystem& fileSystem, const std::string& target,
                           std::chrono::seconds minimumAge = std::chrono::minutes(1));

}  // namespace kestrel
