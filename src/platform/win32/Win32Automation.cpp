#include "platform/win32/Win32Automation.h"

#include <windows.h>

#include <objbase.h>

#include <memory>

#include "platform/win32/Com.h"
#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

// The object, and COM for the thread for as long as it lives: the apartment is made first and
// ends last.
class DispatchObject final : public AutomationObject {
public:
    DispatchObject(std::unique_ptr<com::ComThread> apartment, com::Dispatch dispatch)
        : apartment_(std::move(apartment)), dispatch_(std::move(dispatch))
    {
    }

    std::optional<std::string> GetTextProperty(const std::string& name) override
    {
        const std::optional<std::wstring> text = dispatch_.GetString(Utf8ToWide(name).c_str());
        if (!text) {
            return std::nullopt;
        }
        return WideToUtf8(*text);
    }

    bool CallMethod(const std::string& name) override
    {
        return SUCCEEDED(dispatch_.Call(Utf8ToWide(name).c_str()));
    }

private:
    std::unique_ptr<com::ComThread> apartment_;
    com::Dispatch dispatch_;
};

}  // namespace

std::unique_ptr<AutomationObject> Win32Automation::CreateObject(const std::string& progId)
{
    auto apartment = std::make_unique<com::ComThread>(COINIT_APARTMENTTHREADED);
    CLSID classId{};
    if (FAILED(CLSIDFromProgID(Utf8ToWide(progId).c_str(), &classId))) {
        return nullptr;
    }
    HRESULT created = S_OK;
    com::Dispatch dispatch =
        com::Dispatch::Create(classId, &created, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER);
    if (!dispatch) {
        return nullptr;
    }
    return std::make_unique<DispatchObject>(std::move(apartment), std::move(dispatch));
}

}  // namespace kestrel
