#include "platform/posix/PosixSystemLog.h"

#include "platform/posix/ToolRun.h"

namespace kestrel {

std::optional<Error> PosixSystemLog::Write(LogLevel level, const std::string& line)
{
    const char* priority = level == LogLevel::Error     ? "user.err"
                           : level == LogLevel::Warning ? "user.warning"
                                                        : "user.info";
    const std::vector<std::string> argv{"logger", "-t", "kestrel", "-p", priority, "--", line};
    Result<ToolOutput> output = RunTool(argv);
    if (!output) {
        return output.error();
    }
    if (output->status != 0) {
        return ToolRefusal(argv, *output);
    }
    return std::nullopt;
}

}  // namespace kestrel
