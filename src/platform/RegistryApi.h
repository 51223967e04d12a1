#pragma once

#include <cstdint>

namespace kestrel {

// Handles, result codes, types and access masks of the Win32 registry, under names of our own
// so that no OS header is needed to use them. Values are those of the Windows SDK.
namespace reg {

using Key = std::uint64_t;

constexpr Key HkeyClassesRoot = 0x80000000;
constexpr Key HkeyCurrentUser = 0x80000001;
constexpr Key HkeyLocalMachine = 0x80000002;
constexpr Key HkeyUsers = 0x80000003;
constexpr Key HkeyPerformanceData = 0x80000004;
constexpr Key HkeyCurrentConfig = 0x80000005;
constexpr Key HkeyDynData = 0x80000006;

constexpr long Success = 0;
constexpr long FileNotFound = 2;
constexpr long AccessDenied = 5;
constexpr long InvalidHandle = 6;
constexpr long InvalidParameter = 87;
constexpr long MoreData = 234;
constexpr long NoMoreItems = 259;

constexpr std::uint32_t TypeNone = 0;
constexpr std::uint32_t TypeSz = 1;
constexpr std::uint32_t TypeExpandSz = 2;
constexpr std::uint32_t TypeBinary = 3;
constexpr std::uint32_t TypeDword = 4;
constexpr std::uint32_t TypeDwordBigEndian = 5;
constexpr std::uint32_t TypeMultiSz = 7;
constexpr std::uint32_t TypeQword = 11;

constexpr std::uint32_t KeyQueryValue = 0x0001;
constexpr std::uint32_t KeySetValue = 0x0002;
constexpr std::uint32_t KeyCreateSubKey = 0x0004;
constexpr std::uint32_t KeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t KeyRead = 0x20019;
constexpr std::uint32_t KeyWrite = 0x20006;
constexpr std::uint32_t KeyAllAccess = 0xF003F;

constexpr bool IsStringType(std::uint32_t type)
{
    return type == TypeSz || type == TypeExpandSz || type == TypeMultiSz;
}

}  // namespace reg

// The subset of advapi32's ANSI registry calls the program uses, with their Win32 contracts:
// results are Win32 error codes (reg::Success on success), names and string data are bytes in
// the system ANSI code page, key and value names compare without regard to case.
//
// Buffers follow the Win32 rules: sizes are in bytes (in characters for names) and are
// updated on return; a data buffer too small gives reg::MoreData with the needed size; a
// null data pointer with a size asks only for the size. String data written with a count
// that leaves out the terminating NUL is kept NUL-terminated, as Windows does for the
// ANSI calls. Handles opened or created here must be closed with CloseKey.
class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // RegOpenKeyExA with options 0. A null or empty subKey opens a new handle to `key`.
    virtual long OpenKeyEx(reg::Key key, const char* subKey, std::uint32_t samDesired,
                           reg::Key* result) = 0;
    // RegCloseKey. Closing a predefined root handle succeeds and does nothing.
    virtual long CloseKey(reg::Key key) = 0;
    // RegQueryValueExA. A null or empty name is the key's default value.
    virtual long QueryValueEx(reg::Key key, const char* valueName, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* dataSize) = 0;
    // RegSetValueExA. Needs a handle opened with KEY_SET_VALUE (KEY_WRITE includes it).
    virtual long SetValueEx(reg::Key key, const char* valueName, std::uint32_t type,
                            const std::uint8_t* data, std::uint32_t dataSize) = 0;
    // RegCreateKeyA: opens the key, creating it and any missing parents, with full access.
    virtual long CreateKey(reg::Key key, const char* subKey, reg::Key* result) = 0;
    // RegDeleteKeyA: deletes a key that has no subkeys; a key with subkeys is refused with
    // reg::AccessDenied.
    virtual long DeleteKey(reg::Key key, const char* subKey) = 0;
    // RegDeleteValueA.
    virtual long DeleteValue(reg::Key key, const char* valueName) = 0;
    // RegEnumKeyExA without class or time. nameSize: in, the buffer's size in characters
    // including room for the NUL; out, the name's length without it.
    virtual long EnumKeyEx(reg::Key key, std::uint32_t index, char* name,
                           std::uint32_t* nameSize) = 0;
    // RegEnumValueA. type, data and dataSize may be null. Values enumerate in creation order
    // on Windows and in this program's own store, and in name order under Wine.
    virtual long EnumValue(reg::Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                           std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) = 0;

    // Batches let a caller that makes thousands of calls in a row (an import) pay for one
    // commit instead of one per call. Every call made through this object between BeginBatch
    // and EndBatch belongs to the batch; batches nest, and only the outermost EndBatch counts.
    // Other objects and processes see the batch's writes when it ends with commit true, all at
    // once, and reads inside a batch see one state of the registry. EndBatch(false), or a
    // commit that fails, undoes the whole batch where the backend can (the SQLite store); the
    // Windows registry has no such undo and keeps what each call did. Returns reg::Success,
    // or the error that made the batch fail.
    virtual void BeginBatch() = 0;
    virtual long EndBatch(bool commit) = 0;
};

// A batch for one scope: commits on Commit(), undoes on leaving the scope without it (an
// early return or an exception), so a half-done import is never left behind in the store.
class RegistryBatch {
public:
    explicit RegistryBatch(RegistryApi& api) : api_(api) { api_.BeginBatch(); }
    ~RegistryBatch()
    {
        if (!ended_) {
            api_.EndBatch(false);
        }
    }
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;

    long Commit()
    {
        ended_ = true;
        return api_.EndBatch(true);
    }

private:
    RegistryApi& api_;
    bool ended_ = false;
};

}  // namespace kestrel
