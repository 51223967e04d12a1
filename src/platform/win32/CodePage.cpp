#include "platform/CodePage.h"

#include <windows.h>

namespace kestrel {
namespace {

std::wstring Widen(std::string_view text, UINT codePage)
{
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage)
{
    if (wide.empty()) {
        return {};
    }
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8)
{
    return Narrow(Widen(utf8, CP_UTF8), CP_ACP);
}

std::string AnsiToUtf8(std::string_view ansi)
{
    return Narrow(Widen(ansi, CP_ACP), CP_UTF8);
}

}  // namespace kestrel
