#include "platform/Error.h"

namespace kestrel {

std::string Error::Describe() const
{
    std::string text = "cannot " + operation + " " + subject;
    if (!systemText.empty()) {
        text += ": " + systemText;
    }
    if (systemCode != 0) {
        text += " (error " + std::to_string(systemCode) + ")";
    }
    return text;
}

std::string Error::Reason() const
{
    return systemText.empty() ? Describe() : systemText;
}

}  // namespace kestrel
