#include "app/CommandLineRun.h"

#include <chrono>
#include <ctime>

#include "app/BackupSetup.h"
#include "app/Startup.h"
#include "backup/BackupGenerations.h"
#include "backup/BackupJob.h"
#include "backup/UnattendedBackup.h"
#include "platform/LocalTime.h"
#include "ui/Messages.h"
#include "ui/ProgressSink.h"

namespace kestrel {
namespace {

// The program's own log, and the system's, where an administrator looks; neither can fail the
// run, whose archive is written by now.
void Report(Platform& platform, const std::string& line, int status)
{
    const std::string log = BackupLogPath(platform);
    if (!log.empty()) {
        platform.fileSystem->AppendLogLine(log, line);
    }
    if (platform.systemLog) {
        const LogLevel level = status == 0   ? LogLevel::Information
                               : status == 1 ? LogLevel::Warning
                                             : LogLevel::Error;
        platform.systemLog->Write(level, SystemLogText(line));
    }
}

// One line, as every entry of the log is.
std::string RecoveryLogLine(std::time_t started, std::string report)
{
    for (std::size_t lineBreak; (lineBreak = report.find("\r\n")) != std::string::npos;) {
        report.replace(lineBreak, 2, "; ");
    }
    return FormatLocalTime(started, "%Y-%m-%d %H:%M:%S") + "\t" + report;
}

}  // namespace

int RunFromCommandLine(const std::string& commandLineText, Platform& platform)
{
    const std::time_t started = std::time(nullptr);
    const auto clockStart = std::chrono::steady_clock::now();
    std::optional<UnattendedArguments> arguments = ParseUnattendedArguments(commandLineText);
    if (!arguments) {
        Report(platform, InvalidArgumentsLogLine(started), 2);
        return 2;
    }
    BackupOutcome outcome;
    if (!arguments->passwordKey.empty()) {
        Result<std::string> password =
            platform.secrets ? platform.secrets->Read(arguments->passwordKey)
                             : Result<std::string>(Error{"read", "secret " + arguments->passwordKey,
                                                         0, "this system keeps no secrets"});
        if (!password || password->empty()) {
            outcome.error = "the job's password cannot be read (" +
                            (password ? std::string("it is empty") : password.error().Describe()) +
                            ")";
        } else {
            arguments->password = *password;
        }
    }
    if (outcome.error.empty()) {
        AppState state;
        state.CommandLineText = commandLineText;
        SilentMessages silent;
        LoadSharedState(state, platform, silent);
        if (!state.RecoveryReport.empty()) {
            Report(platform, RecoveryLogLine(started, state.RecoveryReport), 1);
        }
        const BackupMachine machine =
            BackupMachineFor(state, arguments->profileName, platform, silent);
        SilentProgress progress;
        BackupJob job(platform, silent);
        // Every scheduled run reads its archive back before it replaces or removes anything.
        const KeepPolicy policy{arguments->keep, true};
        outcome = RunKeptBackup(job, UnattendedRequest(*arguments, started), machine, progress,
                                policy, *platform.fileSystem);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - clockStart;
    const int status = BackupExitStatus(outcome);
    Report(platform,
           BackupLogLine(started, arguments->profileName, arguments->archivePath, outcome,
                         seconds.count()),
           status);
    return status;
}

}  // namespace kestrel
