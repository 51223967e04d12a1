// A stand-in for Office's automation server, for running the Windows build on a sample machine
// under Wine, which has no Office. Registered as the in-process server of "Word.Application.8",
// it answers what the program asks Word (the "Version" property and "Quit") as the machine's
// Word would: its version is the number of HKEY_CLASSES_ROOT\Word.Application\CurVer
// ("Word.Application.15" is 15.0), the value the Linux build emulates Office from. Without
// that value no object is created, as on a machine without Office.

#include <windows.h>

#include <oleauto.h>

#include <string>

namespace {

constexpr DISPID VersionId = 1;
constexpr DISPID QuitId = 2;

// The version text, or empty when no numbered server is registered.
std::wstring RegisteredVersion()
{
    wchar_t value[128] = {};
    LONG size = sizeof value;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, L"Word.Application\\CurVer", value, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    const std::wstring current(value);
    const std::size_t dot = current.rfind(L'.');
    const std::wstring number = dot == std::wstring::npos ? L"" : current.substr(dot + 1);
    if (number.empty() || number.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return {};
    }
    return number + L".0";
}

class Application final : public IDispatch {
public:
    explicit Application(std::wstring version) : version_(std::move(version)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            if (lstrcmpiW(names[i], L"Version") == 0) {
                ids[i] = VersionId;
            } else if (lstrcmpiW(names[i], L"Quit") == 0) {
                ids[i] = QuitId;
            } else {
                ids[i] = DISPID_UNKNOWN;
                result = DISP_E_UNKNOWNNAME;
            }
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id == VersionId && (flags & DISPATCH_PROPERTYGET) != 0) {
            if (result == nullptr) {
                return E_INVALIDARG;
            }
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(version_.c_str());
            return result->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
        }
        if (id == QuitId && (flags & DISPATCH_METHOD) != 0) {
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    LONG references_ = 1;
    std::wstring version_;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One factory for the life of the process: nothing to count.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override
    {
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        std::wstring version = RegisteredVersion();
        if (version.empty()) {
            return CO_E_APPNOTFOUND;
        }
        Application* application = new Application(std::move(version));
        const HRESULT result = application->QueryInterface(id, object);
        application->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

// Whatever class is asked for: the registration names this server for one class only.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID id, void** object)
{
    return factory.QueryInterface(id, object);
}

// Stays loaded until the process ends; objects may still be alive when COM asks.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;
}
