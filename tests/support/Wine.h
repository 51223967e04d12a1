#pragma once

#ifdef _WIN32
#include <windows.h>

namespace kestrel::testing {

// True when the Windows build runs under Wine rather than on Windows.
inline bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace kestrel::testing
#endif
