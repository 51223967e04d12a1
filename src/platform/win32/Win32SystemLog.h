#pragma once

#include "platform/SystemLog.h"

namespace kestrel {

// ReportEventW to the Application log under the source "Kestrel". The source is not registered
// (that takes a key under HKEY_LOCAL_MACHINE, so administrator rights): Windows takes the
// entry all the same and the Event Viewer shows the line after a note that the source has no
// message file.
class Win32SystemLog final : public SystemLog {
public:
    std::optional<Error> Write(LogLevel level, const std::string& line) override;
};

}  // namespace kestrel
