#include "platform/win32/Win32Registry.h"

#include <windows.h>

namespace kestrel {

namespace {

// The SDK's predefined handles are 32-bit values sign-extended to pointer width
// (HKEY_CURRENT_USER is 0xFFFFFFFF80000001 on x64); reg::Key holds them zero-extended.
bool IsPredefined(std::uint64_t value)
{
    return value >= reg::HkeyClassesRoot && value <= reg::HkeyDynData;
}

HKEY ToHkey(reg::Key key)
{
    if (IsPredefined(key)) {
        return reinterpret_cast<HKEY>(
            static_cast<LONG_PTR>(static_cast<LONG>(static_cast<ULONG>(key))));
    }
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(key));
}

reg::Key ToKey(HKEY hkey)
{
    const auto value = static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(hkey));
    const std::uint64_t low = value & 0xFFFFFFFFu;
    return IsPredefined(low) && (value >> 32) == 0xFFFFFFFFu ? low : value;
}

// Keeps the caller's variable untouched unless the call produced a value for it.
bool Produced(LSTATUS rc)
{
    return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

}  // namespace

long Win32Registry::OpenKeyEx(reg::Key key, const char* subKey, std::uint32_t samDesired,
                              reg::Key* result)
{
    if (result == nullptr) {
        return reg::InvalidParameter;
    }
    HKEY opened = nullptr;
    const LSTATUS rc = RegOpenKeyExA(ToHkey(key), subKey, 0, samDesired, &opened);
    *result = rc == ERROR_SUCCESS ? ToKey(opened) : 0;
    return rc;
}

long Win32Registry::CloseKey(reg::Key key)
{
    return RegCloseKey(ToHkey(key));
}

long Win32Registry::QueryValueEx(reg::Key key, const char* valueName, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* dataSize)
{
    DWORD localType = 0;
    DWORD localSize = dataSize != nullptr ? *dataSize : 0;
    const LSTATUS rc =
        RegQueryValueExA(ToHkey(key), valueName, nullptr, type != nullptr ? &localType : nullptr,
                         data, dataSize != nullptr ? &localSize : nullptr);
    if (Produced(rc)) {
        if (type != nullptr) {
            *type = localType;
        }
        if (dataSize != nullptr) {
            *dataSize = localSize;
        }
    }
    return rc;
}

long Win32Registry::SetValueEx(reg::Key key, const char* valueName, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t dataSize)
{
    return RegSetValueExA(ToHkey(key), valueName, 0, type, data, dataSize);
}

long Win32Registry::CreateKey(reg::Key key, const char* subKey, reg::Key* result)
{
    if (result == nullptr) {
        return reg::InvalidParameter;
    }
    HKEY created = nullptr;
    const LSTATUS rc =
        RegCreateKeyExA(ToHkey(key), subKey != nullptr ? subKey : "", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, &created, nullptr);
    *result = rc == ERROR_SUCCESS ? ToKey(created) : 0;
    return rc;
}

long Win32Registry::DeleteKey(reg::Key key, const char* subKey)
{
    return RegDeleteKeyA(ToHkey(key), subKey != nullptr ? subKey : "");
}

long Win32Registry::DeleteValue(reg::Key key, const char* valueName)
{
    return RegDeleteValueA(ToHkey(key), valueName);
}

long Win32Registry::EnumKeyEx(reg::Key key, std::uint32_t index, char* name,
                              std::uint32_t* nameSize)
{
    DWORD localSize = nameSize != nullptr ? *nameSize : 0;
    const LSTATUS rc =
        RegEnumKeyExA(ToHkey(key), index, name, nameSize != nullptr ? &localSize : nullptr, nullptr,
                      nullptr, nullptr, nullptr);
    if (Produced(rc) && nameSize != nullptr) {
        *nameSize = localSize;
    }
    return rc;
}

long Win32Registry::EnumValue(reg::Key key, std::uint32_t index, char* name,
                              std::uint32_t* nameSize, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataSize)
{
    DWORD localNameSize = nameSize != nullptr ? *nameSize : 0;
    DWORD localType = 0;
    DWORD localSize = dataSize != nullptr ? *dataSize : 0;
    const LSTATUS rc = RegEnumValueA(
        ToHkey(key), index, name, nameSize != nullptr ? &localNameSize : nullptr, nullptr,
        type != nullptr ? &localType : nullptr, data, dataSize != nullptr ? &localSize : nullptr);
    if (Produced(rc)) {
        if (nameSize != nullptr) {
            *nameSize = localNameSize;
        }
        if (type != nullptr) {
            *type = localType;
        }
        if (dataSize != nullptr) {
            *dataSize = localSize;
        }
    }
    return rc;
}

}  // namespace kestrel
