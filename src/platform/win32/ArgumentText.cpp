#include "platform/ArgumentText.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/win32/WideText.h"

namespace kestrel {

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
    return start == std::wstring::npos ? std::string() : WideToUtf8(line.substr(start));
}

std::vector<std::string> ProgramArguments(int, char**)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) {
        arguments.push_back(WideToUtf8(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace kestrel
