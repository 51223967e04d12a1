#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace kestrel::testing {

// A scratch folder named as the program names files: on Windows its real path, on Linux the
// host path (which the file system takes as it is).
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    FileSystem& Files() { return *fileSystem_; }
    std::string Path(const std::string& relative = "") const;
    std::filesystem::path Native(const std::string& relative = "") const;
    std::string Make(const std::string& relative, const std::string& bytes) const;
    std::string Folder(const std::string& relative) const;
    std::string Read(const std::string& relative) const;
    std::vector<std::string> List(const std::string& relative = "") const;

private:
    std::unique_ptr<FileSystem> fileSystem_;
    std::filesystem::path native_;
};

// Deterministic bytes that deflate poorly.
std::string RandomBytes(std::size_t size, unsigned seed);

// An archive made with libzip directly, for what the component itself never writes: the
// traditional PKWARE scheme and member names with folders or device names.
struct RawMember {
    std::string name;
    std::string data;
};
bool MakeRawArchive(const std::filesystem::path& path, const std::vector<RawMember>& members,
                    int encryption = 0, const std::string& password = "");

}  // namespace kestrel::testing
