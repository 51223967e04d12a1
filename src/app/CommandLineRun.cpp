#include "app/CommandLineRun.h"

#include <chrono>
#include <ctime>

#include "app/BackupSetup.h"
#include "app/JobPasswordMove.h"
#include "app/Policies.h"
#include "app/Startup.h"
#include "backup/BackupRun.h"
#include "backup/UnattendedBackup.h"
#include "outlook/HeldFiles.h"
#include "outlook/OutlookRunsSetting.h"
#include "platform/LocalTime.h"
#include "registry/RegistryAccess.h"
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

// Nobody is there to answer a message, so the user's standing choice decides what happens to
// the files Outlook holds (an administrator's policy before it); a job made before that choice
// existed gets its default. Without administrator rights no snapshot can be made: the run then
// says so and closes Outlook instead, the way a user who chose snapshots would rather have it
// than no mail. Every scheduled run reads its archive back before it replaces or removes
// anything.
BackupOutcome RunUnattended(Platform& platform, Messages& silent, BackupPlan plan,
                            const Policies& policies, std::string& heldFiles)
{
    RegistryAccess registry(*platform.registry, silent);
    const IfOutlookRuns way = policies.whenOutlookRuns.value_or(ReadUnattendedOutlookWay(registry));
    plan.keep.verify = true;
    plan.snapshotsAllowed = platform.system && platform.system->HasAdministratorRights();
    SilentProgress progress;
    BackupRun run(platform, silent, std::move(plan));
    const BackupRunOutcome outcome =
        run.Run([way](const std::vector<HeldFile>&) { return way; }, progress);
    heldFiles = HeldFilesLogField(outcome.held);
    if (!outcome.snapshotNotDeleted.empty()) {
        heldFiles += std::string(heldFiles.empty() ? "" : "; ") +
                     "the shadow copy could not be deleted: " + outcome.snapshotNotDeleted;
    }
    return outcome.backup;
}

// The job's own values give way to the ones the administrator set for every user; the log names
// the policies the run followed. A run the policies forbid writes nothing and says why. The
// differential policy is read but each run is a full one: no differential archive is made yet.
std::string FollowPolicies(const Policies& policies, UnattendedArguments& arguments)
{
    if (policies.target) {
        arguments.archivePath = *policies.target;
    }
    if (policies.items) {
        arguments.itemFlags = ItemFlagsOf(*policies.items);
    }
    if (policies.keep) {
        arguments.keep = *policies.keep;
    }
    if (policies.passwordRequired.value_or(false) && arguments.password.empty() &&
        arguments.passwordKey.empty()) {
        return "your administrator requires a password and this job has none";
    }
    return {};
}

std::string PolicyLogField(const Policies& policies)
{
    std::string field;
    if (const std::string set = PoliciesLogText(policies); !set.empty()) {
        field = "policy " + set;
    }
    for (const std::string& unusable : policies.unusable) {
        field += (field.empty() ? "" : "; ") + std::string("policy ignored: ") + unusable;
    }
    return field;
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

int RunFromCommandLine(const std::string& commandLineText, Platform& platform, Scheduler* scheduler)
{
    const std::time_t started = std::time(nullptr);
    const auto clockStart = std::chrono::steady_clock::now();
    // An interrupted restore is put in order first, whatever this run turns out to be: a job
    // whose text or password is wrong must not leave the user's data file out of its place.
    if (const std::string recovered = RecoverInterruptedRestore(platform); !recovered.empty()) {
        Report(platform, RecoveryLogLine(started, recovered), 1);
    }
    std::string unusable;
    std::optional<UnattendedArguments> arguments =
        ParseUnattendedArguments(commandLineText, &unusable);
    if (!arguments) {
        Report(platform, InvalidArgumentsLogLine(started, unusable), 2);
        return 2;
    }
    if (const JobPasswordMove move =
            MoveJobPasswordToSecrets(platform, scheduler, commandLineText, *arguments);
        !move.logText.empty()) {
        Report(platform, RecoveryLogLine(started, move.logText), move.moved ? 0 : 1);
    }
    const Policies policies =
        platform.registry ? ReadPolicies(*platform.registry, platform.system.get()) : Policies{};
    BackupOutcome outcome;
    outcome.error = FollowPolicies(policies, *arguments);
    std::string heldFiles;
    if (outcome.error.empty() && !arguments->passwordKey.empty()) {
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
        SilentMessages silent;
        LoadSharedState(state, platform, silent);
        BackupPlan plan;
        plan.request = UnattendedRequest(*arguments, started);
        plan.machine = BackupMachineFor(state, arguments->profileName, platform, silent);
        plan.keep.keep = arguments->keep;
        plan.differential = {
            policies.differential.value_or(arguments->differentialDays > 0),
            arguments->differentialDays > 0 ? arguments->differentialDays : DefaultFullAfterDays};
        outcome = RunUnattended(platform, silent, std::move(plan), policies, heldFiles);
    }
    if (const std::string followed = PolicyLogField(policies); !followed.empty()) {
        heldFiles = followed + (heldFiles.empty() ? "" : "; " + heldFiles);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - clockStart;
    const int status = BackupExitStatus(outcome);
    Report(platform,
           BackupLogLine(started, arguments->profileName, arguments->archivePath, outcome,
                         seconds.count(), heldFiles),
           status);
    return status;
}

}  // namespace kestrel
