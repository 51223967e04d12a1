#include "platform/win32/Win32SystemLog.h"

#include <windows.h>

#include "platform/win32/WideText.h"

namespace kestrel {

std::optional<Error> Win32SystemLog::Write(LogLevel level, const std::string& line)
{
    HANDLE source = RegisterEventSourceW(nullptr, L"Kestrel");
    if (source == nullptr) {
        return SystemError("open", "the Application event log", static_cast<long>(GetLastError()));
    }
    const WORD type = level == LogLevel::Error     ? EVENTLOG_ERROR_TYPE
                      : level == LogLevel::Warning ? EVENTLOG_WARNING_TYPE
                                                   : EVENTLOG_INFORMATION_TYPE;
    const std::wstring text = Utf8ToWide(line);
    LPCWSTR strings[] = {text.c_str()};
    std::optional<Error> failure;
    if (!ReportEventW(source, type, 0, 0, nullptr, 1, 0, strings, nullptr)) {
        failure =
            SystemError("write", "the Application event log", static_cast<long>(GetLastError()));
    }
    DeregisterEventSource(source);
    return failure;
}

}  // namespace kestrel
