#pragma once

#include "platform/SystemInfo.h"

namespace kestrel {

// The real kernel32/advapi32 calls.
class Win32SystemInfo final : public SystemInfo {
public:
    std::string ComputerName() override;
    std::string LogonUserName() override;
    std::string WindowsFolder() override;
    std::string WindowsVersion() override;
    std::string ExpandEnvironmentText(const std::string& text) override;
    std::string ProgramFolder() override;
    bool HasAdministratorRights() override;
    bool ProgramIsAdministratorsOnly() override;
};

}  // namespace kestrel
