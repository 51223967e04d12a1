#include "platform/posix/PosixAutomation.h"

#include <cctype>

#include "platform/RegistryRead.h"

namespace kestrel {
namespace {

class RegisteredServer final : public AutomationObject {
public:
    explicit RegisteredServer(std::string version) : version_(std::move(version)) {}

    std::optional<std::string> GetTextProperty(const std::string& name) override
    {
        if (name == "Version") {
            return version_;
        }
        return std::nullopt;
    }
    bool CallMethod(const std::string& name) override { return name == "Quit"; }

private:
    std::string version_;
};

// "Word.Application.8" -> "Word.Application": a version-dependent ProgID without its number.
std::string VersionIndependentProgId(const std::string& progId)
{
    std::size_t lastDot = progId.rfind('.');
    if (lastDot != std::string::npos && lastDot + 1 < progId.size() &&
        std::isdigit(static_cast<unsigned char>(progId[lastDot + 1])) &&
        progId.find('.') != lastDot) {
        return progId.substr(0, lastDot);
    }
    return progId;
}

}  // namespace

std::unique_ptr<AutomationObject> PosixAutomation::CreateObject(const std::string& progId)
{
    auto current = ReadRegistryString(registry_, reg::HkeyClassesRoot,
                                      VersionIndependentProgId(progId) + "\\CurVer", "");
    if (!current) {
        return nullptr;
    }
    std::size_t lastDot = current->rfind('.');
    std::string number = lastDot == std::string::npos ? "" : current->substr(lastDot + 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return nullptr;  // a CurVer that names no numbered server cannot be started
    }
    return std::make_unique<RegisteredServer>(number + ".0");
}

}  // namespace kestrel
