#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace kestrel {

// How an entry of the system's own log is marked.
enum class LogLevel { Information, Warning, Error };

// The log the system keeps for its administrator, where an unattended run leaves its result
// beside the program's own log: the Application event log on Windows (source "Kestrel"), the
// journal or syslog on Linux (through `logger`, tag "kestrel"). A line is one entry; the caller
// keeps it to one line.
class SystemLog {
public:
    virtual ~SystemLog() = default;

    // Nothing when the system took the entry; its refusal otherwise.
    virtual std::optional<Error> Write(LogLevel level, const std::string& line) = 0;
};

}  // namespace kestrel
