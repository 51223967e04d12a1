#include "support/FakePlatform.h"

namespace kestrel::testing {
namespace {

class FakeServer final : public AutomationObject {
public:
    FakeServer(std::string version, int& quitCalls)
        : version_(std::move(version)), quitCalls_(quitCalls)
    {
    }

    std::optional<std::string> GetTextProperty(const std::string& name) override
    {
        return name == "Version" ? std::optional<std::string>(version_) : std::nullopt;
    }
    bool CallMethod(const std::string& name) override
    {
        quitCalls_ += name == "Quit" ? 1 : 0;
        return true;
    }

private:
    std::string version_;
    int& quitCalls_;
};

template <typename T>
T& Install(std::unique_ptr<T> object, auto& slot)
{
    T& reference = *object;
    slot = std::move(object);
    return reference;
}

}  // namespace

std::unique_ptr<AutomationObject> FakeAutomation::CreateObject(const std::string& progId)
{
    created.push_back(progId);
    if (!version) {
        return nullptr;
    }
    return std::make_unique<FakeServer>(*version, quitCalls);
}

FakePlatform::FakePlatform()
    : system(Install(std::make_unique<FakeSystemInfo>(), platform.system)),
      shell(Install(std::make_unique<FakeShell>(), platform.shell)),
      automation(Install(std::make_unique<FakeAutomation>(), platform.automation)),
      runFolder(Install(std::make_unique<FakeRunFolder>(), platform.runFolder)),
      secrets(Install(std::make_unique<FakeSecrets>(), platform.secrets))
{
}

}  // namespace kestrel::testing
