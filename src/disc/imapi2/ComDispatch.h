#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::imapi2 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// The system's words for a result, or its number when it has none.
std::string ResultText(HRESULT result);

// Arguments for Dispatch calls. Each one is handed over with its BSTR or reference, which the
// call releases.
VARIANT LongArgument(long value);
VARIANT BoolArgument(bool value);
VARIANT StringArgument(const std::wstring& value);
VARIANT ObjectArgument(IDispatch* object);
VARIANT UnknownArgument(IUnknown* object);

// One reference to an automation object, driven by member names (late binding).
class Dispatch {
public:
    Dispatch() = default;
    // Takes over the reference.
    explicit Dispatch(IDispatch* object) : object_(object) {}
    Dispatch(const Dispatch& other);
    Dispatch& operator=(const Dispatch& other);
    ~Dispatch();

    // A new object of the class, or the reason there is none.
    static Dispatch Create(const GUID& classId, HRESULT* result);

    explicit operator bool() const { return object_ != nullptr; }
    IDispatch* get() const { return object_; }

    // The property, or the method called with `arguments` (in order); `out` gets the result and
    // must be cleared by the caller.
    HRESULT Get(const wchar_t* name, VARIANT& out, std::vector<VARIANT> arguments = {}) const;
    HRESULT Put(const wchar_t* name, VARIANT value) const;
    HRESULT Call(const wchar_t* name, std::vector<VARIANT> arguments = {}) const;

    std::optional<long> GetLong(const wchar_t* name, std::vector<VARIANT> arguments = {}) const;
    std::optional<bool> GetBool(const wchar_t* name, std::vector<VARIANT> arguments = {}) const;
    std::optional<std::wstring> GetString(const wchar_t* name,
                                          std::vector<VARIANT> arguments = {}) const;
    Dispatch GetObject(const wchar_t* name, std::vector<VARIANT> arguments = {}) const;
    // A SAFEARRAY property of VARIANTs holding numbers or strings, as text and as numbers.
    std::vector<std::wstring> GetStrings(const wchar_t* name) const;
    std::vector<long> GetLongs(const wchar_t* name) const;

private:
    HRESULT Invoke(const wchar_t* name, WORD flags, std::vector<VARIANT>& arguments,
                   VARIANT* out) const;

    IDispatch* object_ = nullptr;
};

// The elements of a VARIANT array (VT_ARRAY | VT_VARIANT), each copied; empty for anything else.
std::vector<VARIANT> ArrayElements(const VARIANT& array);

// Listens on one event interface of an object for as long as it lives: every call of the
// interface's Update reaches `update` with the call's arguments in their declared order.
class EventConnection {
public:
    using Update = std::function<void(const std::vector<VARIANT>& arguments)>;

    EventConnection(const Dispatch& source, const GUID& events, Update update);
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;
    ~EventConnection();

private:
    class Sink;
    Sink* sink_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
};

// COM for one thread for as long as it lives.
class ComThread {
public:
    explicit ComThread(DWORD model);
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;
    ~ComThread();

private:
    HRESULT result_;
};

}  // namespace kestrel::imapi2
