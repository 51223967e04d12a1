#include "platform/ArgumentText.h"

#include <windows.h>

#include <shellapi.h>

namespace kestrel {
namespace {

std::string ToUtf8(const std::wstring& wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

}  // namespace

std::string ProgramArgumentText(int, char**)
{
    // The program part ends at its closing quote, or at the first blank when unquoted.
    std::wstring line = GetCommandLineW();
    std::size_t end = 0;
    if (!line.empty() && line[0] == L'"') {
        end = line.find(L'"', 1);
        end = end == std::wstring::npos ? line.size() : end + 1;
    } else {
        end = line.find_first_of(L" \t");
        end = end == std::wstring::npos ? line.size() : end;
    }
    std::size_t start = line.find_first_not_of(L" \t", end);
    return start == std::wstring::npos ? std::string() : ToUtf8(line.substr(start));
}

std::vector<std::string> ProgramArguments(int, char**)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) {
        arguments.push_back(ToUtf8(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace kestrel
