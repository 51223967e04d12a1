// The system's log on the backend of the system built for. Linux: what `logger` is given (a
// stand-in first on PATH records it, so the test writes nothing into the machine's journal).
// Windows: the entry read back from the Application log; Wine takes entries but keeps none
// (its ReadEventLogW reads an empty log), which the test states instead.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

#include "support/ScratchFolder.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32SystemLog.h"
#include "support/Wine.h"
#else
#include <sys/stat.h>

#include "platform/posix/PosixSystemLog.h"
#endif

namespace kestrel {
namespace {

#ifdef _WIN32

// The newest entry of the Application log from the source Kestrel: its type and first string.
std::optional<std::pair<WORD, std::string>> NewestKestrelEntry()
{
    HANDLE log = OpenEventLogW(nullptr, L"Application");
    if (log == nullptr) {
        return std::nullopt;
    }
    std::vector<BYTE> buffer(64 * 1024);
    DWORD read = 0, needed = 0;
    std::optional<std::pair<WORD, std::string>> found;
    while (!found &&
           ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &read, &needed)) {
        for (DWORD at = 0; at < read && !found;) {
            const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + at);
            const auto* source = reinterpret_cast<const wchar_t*>(record + 1);
            if (std::wstring(source) == L"Kestrel" && record->NumStrings > 0) {
                const auto* text =
                    reinterpret_cast<const wchar_t*>(buffer.data() + at + record->StringOffset);
                found = std::make_pair(record->EventType, WideToUtf8(text));
            }
            at += record->Length;
        }
    }
    CloseEventLog(log);
    return found;
}

TEST(SystemLogConformance, AnEntryOfEachLevelReachesTheApplicationLog)
{
    Win32SystemLog systemLog;
    const struct {
        LogLevel level;
        WORD type;
    } cases[] = {{LogLevel::Information, EVENTLOG_INFORMATION_TYPE},
                 {LogLevel::Warning, EVENTLOG_WARNING_TYPE},
                 {LogLevel::Error, EVENTLOG_ERROR_TYPE}};
    for (const auto& c : cases) {
        const std::string line =
            "2026-12-07 23:30:00, profile Outlook, archive C:\\J\xC3\xBCrgen\\a.ksb, "
            "status " +
            std::to_string(c.type);
        const std::optional<Error> failure = systemLog.Write(c.level, line);
        ASSERT_FALSE(failure) << failure->Describe();
        if (testing::UnderWine()) {
            HANDLE log = OpenEventLogW(nullptr, L"Application");
            BYTE buffer[512];
            DWORD read = 0, needed = 0;
            EXPECT_FALSE(ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                                       buffer, sizeof buffer, &read, &needed));
            EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), GetLastError());
            CloseEventLog(log);
            continue;
        }
        const auto entry = NewestKestrelEntry();
        ASSERT_TRUE(entry);
        EXPECT_EQ(c.type, entry->first);
        EXPECT_EQ(line, entry->second);
    }
}

#else

TEST(SystemLogConformance, EachLevelGoesToLoggerAsOneEntry)
{
    testing::ScratchFolder scratch;
    const std::string record = scratch.Path("logged");
    const std::string standIn =
        scratch.Make("logger", "#!/bin/sh\nprintf '%s|' \"$@\" >>'" + record +
                                   "'\nprintf '\\n' >>'" + record + "'\n");
    chmod(standIn.c_str(), 0755);
    const char* path = std::getenv("PATH");
    const std::string saved = path ? path : "";
    setenv("PATH", (scratch.Path() + ":" + saved).c_str(), 1);
    PosixSystemLog systemLog;
    const std::optional<Error> failure =
        systemLog.Write(LogLevel::Information, "a, b -c J\xC3\xBCrgen");
    systemLog.Write(LogLevel::Warning, "-p user.err");
    systemLog.Write(LogLevel::Error, "");
    setenv("PATH", saved.c_str(), 1);
    EXPECT_FALSE(failure);
    EXPECT_EQ(
        "-t|kestrel|-p|user.info|--|a, b -c J\xC3\xBCrgen|\n"
        "-t|kestrel|-p|user.warning|--|-p user.err|\n"
        "-t|kestrel|-p|user.err|--||\n",
        scratch.Read("logged"));
}

#endif

}  // namespace
}  // namespace kestrel
