#include <windows.h>

#include "platform/Error.h"
#include "platform/win32/WideText.h"

namespace kestrel {

Error SystemError(std::string operation, std::string subject, long systemCode)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(systemCode), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
        nullptr);
    std::string text = length > 0 ? WideToUtf8(std::wstring_view(buffer, length)) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return {std::move(operation), std::move(subject), systemCode, std::move(text)};
}

}  // namespace kestrel
