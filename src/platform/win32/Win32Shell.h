#pragma once

#include "platform/Shell.h"

namespace kestrel {

// ShellExecuteA and CreateProcessA.
class Win32Shell final : public Shell {
public:
    bool OpenDocument(const std::string& target) override;
    bool StartProcess(const std::string& program, const std::string& arguments) override;
};

}  // namespace kestrel
