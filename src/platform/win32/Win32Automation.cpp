#include "platform/win32/Win32Automation.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

class DispatchObject final : public AutomationObject {
public:
    DispatchObject(IDispatch* dispatch, bool uninitialize)
        : dispatch_(dispatch), uninitialize_(uninitialize)
    {
    }
    ~DispatchObject() override
    {
        dispatch_->Release();
        if (uninitialize_) {
            CoUninitialize();
        }
    }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    std::optional<std::string> GetTextProperty(const std::string& name) override
    {
        VARIANT result;
        VariantInit(&result);
        if (!Invoke(name, DISPATCH_PROPERTYGET, &result)) {
            return std::nullopt;
        }
        std::optional<std::string> text;
        if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR)) && result.bstrVal) {
            text = WideToUtf8(std::wstring_view(result.bstrVal, SysStringLen(result.bstrVal)));
        }
        VariantClear(&result);
        return text;
    }

    bool CallMethod(const std::string& name) override
    {
        VARIANT result;
        VariantInit(&result);
        bool called = Invoke(name, DISPATCH_METHOD, &result);
        VariantClear(&result);
        return called;
    }

private:
    bool Invoke(const std::string& name, WORD flags, VARIANT* result)
    {
        std::wstring wide = Utf8ToWide(name);
        LPOLESTR names[] = {wide.data()};
        DISPID id = 0;
        if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
            return false;
        }
        DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
        return SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &noArguments,
                                           result, nullptr, nullptr));
    }

    IDispatch* dispatch_;
    bool uninitialize_;
};

}  // namespace

std::unique_ptr<AutomationObject> Win32Automation::CreateObject(const std::string& progId)
{
    HRESULT initialized = CoInitialize(nullptr);
    bool uninitialize = SUCCEEDED(initialized);
    CLSID classId{};
    IDispatch* dispatch = nullptr;
    if (FAILED(CLSIDFromProgID(Utf8ToWide(progId).c_str(), &classId)) ||
        FAILED(CoCreateInstance(classId, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        if (uninitialize) {
            CoUninitialize();
        }
        return nullptr;
    }
    return std::make_unique<DispatchObject>(dispatch, uninitialize);
}

}  // namespace kestrel
