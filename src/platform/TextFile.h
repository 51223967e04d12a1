#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// The program's own text files, shared by the file-system backends once a path is native:
// ANSI on disk, UTF-8 in the program, CR LF written.

// Lines end at CR LF or LF; a break at the very end does not start another line. Empty when
// the file cannot be read.
std::optional<std::vector<std::string>> ReadAnsiTextLines(const std::filesystem::path& file);
bool AppendAnsiTextLine(const std::filesystem::path& file, const std::string& line);
// The same in the log's encoding (Utf8ToLogText).
bool AppendLogTextLine(const std::filesystem::path& file, const std::string& line);

}  // namespace kestrel
