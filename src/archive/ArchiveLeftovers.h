#pragma once

#include <chrono>
#include <filesystem>

namespace kestrel {

// libzip writes an archive into a temporary file beside the target, "<name>.<6 letters or
// digits>" on Linux and "<name>.<8 hex digits>" on Windows, and renames it at the end; a run
// that was killed leaves it behind. This removes such files from the target's folder: names
// of that shape whose stem ends in the target's extension, holding the start of a ZIP file or
// nothing, and untouched for at least minimumAge (a write still running keeps its file fresh;
// on Windows it also holds it open, so it cannot be removed). Returns how many were removed.
int RemoveArchiveLeftovers(const std::filesystem::path& target,
                           std::chrono::seconds minimumAge = std::chrono::minutes(1));

}  // namespace kestrel
