#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kestrel {

// The folder that stands for a Windows machine on Linux: $KESTREL_HOME, else
// $XDG_DATA_HOME/kestrel, else ~/.local/share/kestrel. It holds registry.db, drive_c/ (and
// other drives) and unc/.
std::filesystem::path EnvironmentRoot();

// Maps a Windows path onto the environment root: "C:\Users\ann\x.pst" is
// <root>/drive_c/Users/ann/x.pst and "\\srv\share\x" is <root>/unc/srv/share/x. Each
// component that already exists under another case (NameCase.h) is used as it is spelled on
// disk, as Windows compares names without regard to case. Empty for a path that is not absolute
// (no drive letter or UNC server and share) or that climbs out with "..".
std::optional<std::filesystem::path> MapWindowsPath(const std::filesystem::path& root,
                                                    const std::string& windowsPath);

}  // namespace kestrel
