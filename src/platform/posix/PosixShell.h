#pragma once

#include <filesystem>

#include "platform/Shell.h"

namespace kestrel {

// Desktop hand-over on Linux: xdg-open for documents and pages, posix_spawn for programs.
// Windows paths (drive letters, UNC) are mapped onto the environment root first.
class PosixShell final : public Shell {
public:
    explicit PosixShell(std::filesystem::path root) : root_(std::move(root)) {}

    bool OpenDocument(const std::string& target) override;
    bool StartProcess(const std::string& program, const std::string& arguments) override;

private:
    std::string NativeTarget(const std::string& target) const;

    std::filesystem::path root_;
};

}  // namespace kestrel
