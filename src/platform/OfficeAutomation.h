#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kestrel {

// A late-bound automation object (an IDispatch server on Windows).
class AutomationObject {
public:
    virtual ~AutomationObject() = default;

    // Reads a property as text; empty when the property cannot be read.
    virtual std::optional<std::string> GetTextProperty(const std::string& name) = 0;
    // Calls a method without arguments; false when the call failed.
    virtual bool CallMethod(const std::string& name) = 0;
};

// Starts automation servers by ProgID.
class OfficeAutomation {
public:
    virtual ~OfficeAutomation() = default;

    // Null when no server is registered under the ProgID or it could not be started.
    virtual std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) = 0;
};

}  // namespace kestrel
