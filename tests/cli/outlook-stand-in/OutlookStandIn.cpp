// The stand-in for a running Outlook under Wine, which has none: it holds a data file open
// without sharing, as Outlook holds its .pst and .ost files, behind a top-level window. The
// checks copy it to a file named OUTLOOK.EXE, the image name Kestrel looks for where the
// Restart Manager cannot tell who holds a file.
//   OUTLOOK.EXE [--refuse-close] WINDOWS-PATH
// With --refuse-close it ignores WM_CLOSE, as Outlook does while it shows a question.
// Started without arguments (as Kestrel starts a program again, by its path alone) it uses
// those of its last start, kept beside it in OUTLOOK.EXE.args. Each start and each end add a
// line "started PID" or "closed PID" to OUTLOOK.EXE.log beside it, for the checks to read.
// Exit status 0 after a close, 1 when the file could not be opened.

#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

bool refuseClose = false;

std::wstring ProgramPath()
{
    std::wstring path(MAX_PATH * 2, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::vector<std::wstring> Arguments()
{
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int index = 1; index < count; ++index) {
        arguments.emplace_back(words[index]);
    }
    LocalFree(words);
    return arguments;
}

// The arguments of this start, or of the last one when there are none; one a line, in UTF-16.
std::vector<std::wstring> RememberedArguments(std::vector<std::wstring> arguments)
{
    const std::wstring file = ProgramPath() + L".args";
    if (arguments.empty()) {
        std::wifstream in(file.c_str());
        for (std::wstring line; std::getline(in, line);) {
            arguments.push_back(line);
        }
    } else {
        std::wofstream out(file.c_str(), std::ios::trunc);
        for (const std::wstring& argument : arguments) {
            out << argument << L'\n';
        }
    }
    return arguments;
}

void Record(const char* what)
{
    std::ofstream log((ProgramPath() + L".log").c_str(), std::ios::app | std::ios::binary);
    log << what << ' ' << GetCurrentProcessId() << '\n';
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_CLOSE:
            if (!refuseClose) {
                DestroyWindow(window);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND ShowWindowOf(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"KestrelOutlookStandIn";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Outlook stand-in",
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                                  nullptr, nullptr, instance, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNORMAL);
    }
    return window;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    std::vector<std::wstring> arguments = RememberedArguments(Arguments());
    if (!arguments.empty() && arguments.front() == L"--refuse-close") {
        refuseClose = true;
        arguments.erase(arguments.begin());
    }
    if (arguments.size() != 1) {
        return 2;
    }
    HANDLE file = CreateFileW(arguments.front().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    if (ShowWindowOf(instance) == nullptr) {
        CloseHandle(file);
        return 1;
    }
    Record("started");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CloseHandle(file);
    Record("closed");
    return 0;
}
