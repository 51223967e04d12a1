#include "platform/win32/Com.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/WideText.h"

namespace kestrel::com {

std::string ResultText(HRESULT result)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? WideToUtf8(std::wstring_view(buffer, length)) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    if (text.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "error 0x%08lX", static_cast<unsigned long>(result));
        text = number;
    }
    return text;
}

ComThread::ComThread(DWORD model) : result_(CoInitializeEx(nullptr, model))
{
}

ComThread::~ComThread()
{
    if (SUCCEEDED(result_)) {
        CoUninitialize();
    }
}

Bstr::Bstr(const std::wstring& text)
    : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
{
}

Bstr::~Bstr()
{
    SysFreeString(value_);
}

std::string Bstr::Utf8() const
{
    return value_ ? WideToUtf8(std::wstring_view(value_, SysStringLen(value_))) : std::string();
}

VARIANT EmptyVariant()
{
    VARIANT value;
    VariantInit(&value);
    return value;
}

VARIANT LongArgument(long value)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    return argument;
}

VARIANT BoolArgument(bool value)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BOOL;
    argument.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return argument;
}

VARIANT StringArgument(const std::wstring& value)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return argument;
}

VARIANT ObjectArgument(IDispatch* object)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_DISPATCH;
    argument.pdispVal = object;
    if (object != nullptr) {
        object->AddRef();
    }
    return argument;
}

VARIANT UnknownArgument(IUnknown* object)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_UNKNOWN;
    argument.punkVal = object;
    if (object != nullptr) {
        object->AddRef();
    }
    return argument;
}

Dispatch::Dispatch(const Dispatch& other) : object_(other.object_)
{
    if (object_ != nullptr) {
        object_->AddRef();
    }
}

Dispatch& Dispatch::operator=(const Dispatch& other)
{
    if (other.object_ != nullptr) {
        other.object_->AddRef();
    }
    if (object_ != nullptr) {
        object_->Release();
    }
    object_ = other.object_;
    return *this;
}

Dispatch::~Dispatch()
{
    if (object_ != nullptr) {
        object_->Release();
    }
}

Dispatch Dispatch::Create(const GUID& classId, HRESULT* result, DWORD context)
{
    IDispatch* object = nullptr;
    const HRESULT created = CoCreateInstance(classId, nullptr, context, IID_IDispatch,
                                             reinterpret_cast<void**>(&object));
    if (result != nullptr) {
        *result = created;
    }
    return Dispatch(SUCCEEDED(created) ? object : nullptr);
}

HRESULT Dispatch::Invoke(const wchar_t* name, WORD flags, std::vector<VARIANT>& arguments,
                         VARIANT* out) const
{
    HRESULT result = E_POINTER;
    if (object_ != nullptr) {
        DISPID member = 0;
        auto* names = const_cast<LPOLESTR>(name);
        result = object_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &member);
        if (SUCCEEDED(result)) {
            // Automation takes the arguments last first.
            std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
            if (flags == DISPATCH_PROPERTYPUT) {
                parameters.rgdispidNamedArgs = &named;
                parameters.cNamedArgs = 1;
            }
            result = object_->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, out,
                                     nullptr, nullptr);
        }
    }
    for (VARIANT& argument : arguments) {
        VariantClear(&argument);
    }
    return result;
}

HRESULT Dispatch::Get(const wchar_t* name, VARIANT& out, std::vector<VARIANT> arguments) const
{
    VariantInit(&out);
    return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, arguments, &out);
}

HRESULT Dispatch::Put(const wchar_t* name, VARIANT value) const
{
    std::vector<VARIANT> arguments{value};
    return Invoke(name, DISPATCH_PROPERTYPUT, arguments, nullptr);
}

HRESULT Dispatch::Call(const wchar_t* name, std::vector<VARIANT> arguments) const
{
    VARIANT out;
    VariantInit(&out);
    const HRESULT result = Invoke(name, DISPATCH_METHOD, arguments, &out);
    VariantClear(&out);
    return result;
}

std::optional<long> Dispatch::GetLong(const wchar_t* name, std::vector<VARIANT> arguments) const
{
    VARIANT out;
    std::optional<long> value;
    if (SUCCEEDED(Get(name, out, std::move(arguments))) &&
        SUCCEEDED(VariantChangeType(&out, &out, 0, VT_I4))) {
        value = out.lVal;
    }
    VariantClear(&out);
    return value;
}

std::optional<bool> Dispatch::GetBool(const wchar_t* name, std::vector<VARIANT> arguments) const
{
    VARIANT out;
    std::optional<bool> value;
    if (SUCCEEDED(Get(name, out, std::move(arguments))) &&
        SUCCEEDED(VariantChangeType(&out, &out, 0, VT_BOOL))) {
        value = out.boolVal != VARIANT_FALSE;
    }
    VariantClear(&out);
    return value;
}

std::optional<std::wstring> Dispatch::GetString(const wchar_t* name,
                                                std::vector<VARIANT> arguments) const
{
    VARIANT out;
    std::optional<std::wstring> value;
    if (SUCCEEDED(Get(name, out, std::move(arguments))) &&
        SUCCEEDED(VariantChangeType(&out, &out, 0, VT_BSTR))) {
        value = out.bstrVal ? std::wstring(out.bstrVal, SysStringLen(out.bstrVal)) : L"";
    }
    VariantClear(&out);
    return value;
}

Dispatch Dispatch::GetObject(const wchar_t* name, std::vector<VARIANT> arguments) const
{
    VARIANT out;
    Dispatch object;
    if (SUCCEEDED(Get(name, out, std::move(arguments))) && out.vt == VT_DISPATCH &&
        out.pdispVal != nullptr) {
        out.pdispVal->AddRef();
        object = Dispatch(out.pdispVal);
    }
    VariantClear(&out);
    return object;
}

std::vector<VARIANT> ArrayElements(const VARIANT& array)
{
    std::vector<VARIANT> elements;
    if (array.vt != (VT_ARRAY | VT_VARIANT) || array.parray == nullptr) {
        return elements;
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array.parray, 1, &lower);
    SafeArrayGetUBound(array.parray, 1, &upper);
    for (LONG index = lower; index <= upper; ++index) {
        VARIANT element;
        VariantInit(&element);
        if (SUCCEEDED(SafeArrayGetElement(array.parray, &index, &element))) {
            elements.push_back(element);
        }
    }
    return elements;
}

std::vector<std::wstring> Dispatch::GetStrings(const wchar_t* name) const
{
    VARIANT out;
    std::vector<std::wstring> values;
    if (SUCCEEDED(Get(name, out))) {
        for (VARIANT& element : ArrayElements(out)) {
            if (SUCCEEDED(VariantChangeType(&element, &element, 0, VT_BSTR)) &&
                element.bstrVal != nullptr) {
                values.emplace_back(element.bstrVal, SysStringLen(element.bstrVal));
            }
            VariantClear(&element);
        }
    }
    VariantClear(&out);
    return values;
}

std::vector<long> Dispatch::GetLongs(const wchar_t* name) const
{
    VARIANT out;
    std::vector<long> values;
    if (SUCCEEDED(Get(name, out))) {
        for (VARIANT& element : ArrayElements(out)) {
            if (SUCCEEDED(VariantChangeType(&element, &element, 0, VT_I4))) {
                values.push_back(element.lVal);
            }
            VariantClear(&element);
        }
    }
    VariantClear(&out);
    return values;
}

// COM objects end through Release, never through a destructor their users call: IDispatch needs
// no virtual one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The listening object: answers as IUnknown, IDispatch and the event interface, and hands each
// Update on. Lives as long as the connection point holds it.
class EventConnection::Sink final : public IDispatch {
public:
    Sink(const GUID& events, Update update) : events_(events), update_(std::move(update)) {}
    virtual ~Sink() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDispatch) ||
            IsEqualIID(id, events_)) {
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
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                     VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (member != UpdateEvent || parameters == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        std::vector<VARIANT> arguments(parameters->rgvarg, parameters->rgvarg + parameters->cArgs);
        std::reverse(arguments.begin(), arguments.end());
        update_(arguments);
        return S_OK;
    }

private:
    static constexpr DISPID UpdateEvent = 0x200;
    GUID events_;
    Update update_;
    LONG references_ = 1;
};
#pragma GCC diagnostic pop

EventConnection::EventConnection(const Dispatch& source, const GUID& events, Update update)
{
    if (!source) {
        return;
    }
    IConnectionPointContainer* container = nullptr;
    if (FAILED(source.get()->QueryInterface(IID_IConnectionPointContainer,
                                            reinterpret_cast<void**>(&container)))) {
        return;
    }
    IConnectionPoint* point = nullptr;
    const HRESULT found = container->FindConnectionPoint(events, &point);
    container->Release();
    if (FAILED(found)) {
        return;
    }
    sink_ = new Sink(events, std::move(update));
    if (FAILED(point->Advise(sink_, &cookie_))) {
        point->Release();
        return;
    }
    point_ = point;
}

EventConnection::~EventConnection()
{
    if (point_ != nullptr) {
        point_->Unadvise(cookie_);
        point_->Release();
    }
    if (sink_ != nullptr) {
        sink_->Release();
    }
}

}  // namespace kestrel::com
