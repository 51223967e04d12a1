// kestrel_window_probe: what a top-level window of another process shows, for the installer
// check (scripts/installer-test.sh), which cannot read a window's controls from outside Wine.
//   kestrel_window_probe TITLE SECONDS [--close]
// Waits up to SECONDS for a visible top-level window titled TITLE, then prints one line per
// control: "tab N" (the selected page of each tab control) and "edit TEXT" (each edit box).
// With --close it then asks the window to close. Exit status 0 when found, 1 otherwise.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

// Sent, not read with GetWindowText: another process's edit boxes answer only WM_GETTEXT.
std::wstring ControlText(HWND control)
{
    const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::wcslen(text.c_str()));
    return text;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    wchar_t kind[64] = {};
    GetClassNameW(control, kind, 64);
    // wxWidgets registers the tab control under a class of its own that behaves as the original.
    if (_wcsicmp(kind, WC_TABCONTROLW) == 0 || _wcsicmp(kind, L"_wx_SysTabCtl32") == 0) {
        std::printf("tab %d\n", static_cast<int>(SendMessageW(control, TCM_GETCURSEL, 0, 0)));
    } else if (_wcsicmp(kind, L"Edit") == 0) {
        std::printf("edit %s\n", Utf8(ControlText(control)).c_str());
    }
    return TRUE;
}

std::wstring Wide(const char* text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(size > 0 ? static_cast<std::size_t>(size) : 1u, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    out.resize(std::wcslen(out.c_str()));
    return out;
}

HWND WaitForWindow(const std::wstring& title, int seconds)
{
    for (int tenth = 0; tenth <= seconds * 10; ++tenth) {
        HWND window = FindWindowW(nullptr, title.c_str());
        if (window != nullptr && IsWindowVisible(window)) {
            return window;
        }
        Sleep(100);
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: kestrel_window_probe TITLE SECONDS [--close]\n");
        return 2;
    }
    HWND window = WaitForWindow(Wide(argv[1]), std::atoi(argv[2]));
    if (window == nullptr) {
        std::printf("no window titled %s\n", argv[1]);
        return 1;
    }
    EnumChildWindows(window, PrintControl, 0);
    std::fflush(stdout);
    if (argc > 3 && std::strcmp(argv[3], "--close") == 0) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return 0;
}
