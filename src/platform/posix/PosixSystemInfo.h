#pragma once

#include <optional>
#include <string>

#include "platform/RegistryApi.h"
#include "platform/SystemInfo.h"

namespace kestrel {

// The emulated machine's identity. Values that real Windows keeps in the registry are read
// from the store under the same keys; what the store lacks comes from the Linux host or from
// defaults that make a fresh environment look like a Windows 7 machine.
class PosixSystemInfo final : public SystemInfo {
public:
    explicit PosixSystemInfo(RegistryApi& registry) : registry_(registry) {}

    std::string ComputerName() override;
    std::string LogonUserName() override;
    std::string WindowsFolder() override;
    std::string WindowsVersion() override;
    std::string ExpandEnvironmentText(const std::string& text) override;
    std::string ProgramFolder() override;
    bool HasAdministratorRights() override;
    bool ProgramIsAdministratorsOnly() override;

private:
    std::optional<std::string> EnvironmentVariable(const std::string& name);
    std::string UserProfileFolder();
    bool UsesModernLayout();
    std::string ExpandOnce(const std::string& text);

    RegistryApi& registry_;
    bool expanding_ = false;
};

}  // namespace kestrel
