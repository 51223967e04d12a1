#include "app/CommandLineRun.h"

#include <chrono>
#include <ctime>

#include "app/BackupSetup.h"
#include "app/Startup.h"
#include "backup/BackupJob.h"
#include "backup/UnattendedBackup.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {
namespace {

void AppendLog(Platform& platform, const std::string& line)
{
    const std::string log = BackupLogPath(platform);
    if (!log.empty()) {
        platform.fileSystem->AppendTextLine(log, line);
    }
}

}  // namespace

int RunFromCommandLine(const std::string& commandLineText, Platform& platform)
{
    const std::time_t started = std::time(nullptr);
    const auto clockStart = std::chrono::steady_clock::now();
    const std::optional<UnattendedArguments> arguments = ParseUnattendedArguments(commandLineText);
    if (!arguments) {
        AppendLog(platform, InvalidArgumentsLogLine(started));
        return 2;
    }
    AppState state;
    state.CommandLineText = commandLineText;
    SilentMessages silent;
    LoadSharedState(state, platform, silent);

    const BackupMachine machine = BackupMachineFor(state, arguments->profileName, platform, silent);
    SilentProgress progress;
    BackupJob job(platform, silent);
    const BackupOutcome outcome =
        job.Run(UnattendedRequest(*arguments, started), machine, progress);

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - clockStart;
    AppendLog(platform, BackupLogLine(started, arguments->profileName, arguments->archivePath,
                                      outcome, seconds.count()));
    return BackupExitStatus(outcome);
}

}  // namespace kestrel
