#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// COM for the Windows backends, written once: an apartment for a thread, owned references, BSTRs,
// VARIANT arguments and late-bound automation objects driven by member names. Text crosses as
// UTF-8 (platform/win32/WideText.h).
namespace kestrel::com {

// The system's words for a result, or its number ("error 0x80004001") when it has none.
std::string ResultText(HRESULT result);

// COM for the calling thread for as long as it lives, in the apartment asked for. A thread that
// has COM already (the windows' thread, or one in the other apartment) keeps its own, and
// nothing is undone at the end.
class ComThread {
public:
    explicit ComThread(DWORD model);
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;
    ~ComThread();

private:
    HRESULT result_;
};

// One owned reference to a COM interface, released when it goes.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }
    // For the calls that hand a new reference out. What it held before is overwritten, not
    // released: a failed call may leave anything there (Abandon drops that).
    T** Out() { return &pointer_; }
    void Reset()
    {
        if (pointer_ != nullptr) {
            pointer_->Release();
            pointer_ = nullptr;
        }
    }
    // Whatever a failed call left in Out() is no reference: it is dropped without a release.
    void Abandon() { pointer_ = nullptr; }
    T* get() const { return pointer_; }
    T& operator*() const { return *pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    T* pointer_ = nullptr;
};

// One owned BSTR, for calls that take one or hand one out.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr();
    BSTR* Out() { return &value_; }
    operator BSTR() const { return value_; }  // NOLINT: handed to COM calls as it is
    std::string Utf8() const;

private:
    BSTR value_ = nullptr;
};

// A VARIANT that holds nothing (VT_EMPTY): an optional argument left out.
VARIANT EmptyVariant();

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

    // A new object of the class, or the reason there is none, from the servers `context` allows.
    static Dispatch Create(const GUID& classId, HRESULT* result, DWORD context = CLSCTX_ALL);

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

}  // namespace kestrel::com
