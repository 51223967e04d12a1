#include "platform/CodePage.h"

#include <windows.h>

#include "platform/win32/WideText.h"

namespace kestrel {

std::string Utf8ToAnsi(std::string_view utf8)
{
    return NarrowText(Utf8ToWide(utf8), CP_ACP);
}

std::string AnsiToUtf8(std::string_view ansi)
{
    return WideToUtf8(WidenText(ansi, CP_ACP));
}

std::string Utf8ToLogText(std::string_view utf8)
{
    return Utf8ToAnsi(utf8);
}

std::string LogTextToUtf8(std::string_view text)
{
    return AnsiToUtf8(text);
}

}  // namespace kestrel
