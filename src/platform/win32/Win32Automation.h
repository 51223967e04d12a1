#pragma once

#include "platform/OfficeAutomation.h"

namespace kestrel {

// Late-bound COM automation: CLSIDFromProgID, CoCreateInstance and IDispatch. COM is
// initialised for the calling thread for as long as an object lives.
class Win32Automation final : public OfficeAutomation {
public:
    std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override;
};

}  // namespace kestrel
