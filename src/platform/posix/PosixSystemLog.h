#pragma once

#include "platform/SystemLog.h"

namespace kestrel {

// `logger -t kestrel -p user.info|user.warning|user.err -- LINE`: logger reaches the journal
// where systemd runs and syslog elsewhere, and is there on every Debian system (bsdutils).
class PosixSystemLog final : public SystemLog {
public:
    std::optional<Error> Write(LogLevel level, const std::string& line) override;
};

}  // namespace kestrel
