#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kestrel::testing {

// A folder of one test's own below the system's temporary folder: empty when the test starts,
// removed with all it holds when the object goes. Named after the test and the process, so
// that runs at the same time (another checkout, the other target under Wine) never share it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The host path of the folder, or of a path inside it given in UTF-8 with "/".
    std::filesystem::path Native(const std::string& relative = "") const;
    // The same path as the program names files: on Windows its real path, on Linux the host
    // path (which the file system backend takes as it is).
    std::string Path(const std::string& relative = "") const;
    // The file system backend of the target, for naming files by Path.
    FileSystem& Files();

    // Writes a file (folders must exist) and returns its Path.
    std::string Make(const std::string& relative, const std::string& bytes) const;
    // Creates a folder with its parents and returns its Path.
    std::string Folder(const std::string& relative) const;
    std::string Read(const std::string& relative) const;
    // The names in a folder, sorted.
    std::vector<std::string> List(const std::string& relative = "") const;

private:
    std::filesystem::path native_;
    std::unique_ptr<FileSystem> fileSystem_;
};

}  // namespace kestrel::testing
