#pragma once

#include "platform/OfficeAutomation.h"
#include "platform/RegistryApi.h"

namespace kestrel {

// Stands in for Office's automation servers on Linux from what an installation leaves in the
// registry: HKEY_CLASSES_ROOT\<Application>\CurVer names the installed server, such as
// "Word.Application.15", whose "Version" is "15.0". No CurVer, no server.
class PosixAutomation final : public OfficeAutomation {
public:
    explicit PosixAutomation(RegistryApi& registry) : registry_(registry) {}

    std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override;

private:
    RegistryApi& registry_;
};

}  // namespace kestrel
