// kestrel backup: the backup the window and the scheduled job make, from the command line, with
// the same job, collectors and exit statuses.

#include "cli/BackupCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>

#include "app/BackupSetup.h"
#include "app/Policies.h"
#include "app/Startup.h"
#include "archive/ItemTable.h"
#include "backup/BackupGenerations.h"
#include "backup/BackupRun.h"
#include "backup/UnattendedBackup.h"
#include "cli/ConsoleProgress.h"
#include "cli/OutlookRunning.h"
#include "cli/PrintedMessages.h"
#include "cli/ToolCommands.h"

namespace kestrel {
namespace {

constexpr const char* Usage =
    "usage: kestrel backup --profile NAME --items FLAGS [--description TEXT]\n"
    "                      [--password-stdin | --password-file FILE] [--keep N] [--verify]\n"
    "                      [--if-outlook-runs skip|close|snapshot]\n"
    "                      [--differential [--full-after-days N]] ARCHIVE.ksb\n"
    "  FLAGS     one 0 or 1 per item box, in the order kestrel profiles lists them:\n"
    "            data files, accounts, signatures, stationery, address book, options,\n"
    "            templates, preferences, contacts (111111111: all; fewer than 9: the rest 0)\n"
    "  password  protects the archive with AES-256; read from the first line of standard\n"
    "            input or of FILE, never from the command line\n"
    "  --if-outlook-runs  when Outlook holds a data file: skip leaves the file out (the\n"
    "            default), close asks Outlook to close, waits up to 60 seconds and starts\n"
    "            it again after the backup; Outlook is never ended by force; snapshot\n"
    "            (needs administrator rights) reads the file from a shadow copy, and\n"
    "            closes Outlook when no shadow copy can be made\n"
    "  ARCHIVE   a Windows path (C:\\..., \\\\server\\share\\...) or a path of this system\n"
    "  --keep N  keep the last N archives (1 to 99), each named \"NAME YYYY-MM-DD HHMM UTC.ksb\"\n"
    "            (NAME: ARCHIVE without .ksb); 1 (the default) replaces ARCHIVE\n"
    "  --verify  read the new archive back before it replaces or removes anything\n"
    "  --differential  with --keep: only the blocks of the data files changed since the\n"
    "            newest full archive, named \"NAME YYYY-MM-DD HHMM UTC differential.ksb\";\n"
    "            a full one instead when there is none, it does not match, more than half\n"
    "            of a data file changed or it is older than N days (--full-after-days N,\n"
    "            7 unless given), with the reason in a line \"full: REASON\"\n"
    "  a run in which an item failed never replaces a complete archive: it writes\n"
    "  \"NAME (incomplete YYYY-MM-DD HHMM UTC).ksb\" beside it (at most N of them)\n"
    "exit status: 0 written with every item, 1 written but an item failed, 2 nothing written\n";

constexpr int ItemColumn = 32;

int Refuse(const std::string& why)
{
    std::fprintf(stderr, "kestrel backup: %s\n", why.c_str());
    return 2;
}

// The administrator's policies decide what the options leave open; an option that asks for
// something else is why the run is refused (empty when it is not).
std::string FollowPolicies(BackupOptions& options, Platform& platform)
{
    const Policies policies = ReadPolicies(*platform.registry, platform.system.get());
    CommandLineChoices asked;
    asked.items = BoxesFromFlags(options.items);
    asked.target = ArchiveArgumentPath(options.target);
    asked.protect = options.passwordFrom != PasswordFrom::None;
    if (options.keepGiven) {
        asked.keep = options.keep;
    }
    if (options.verify) {
        asked.verify = true;
    }
    if (options.ifOutlookRunsGiven) {
        asked.outlookWay = options.ifOutlookRuns;
    }
    if (std::string why = PolicyOverride(policies, asked); !why.empty()) {
        return why;
    }
    options.keep = policies.keep.value_or(options.keep);
    options.verify = policies.verifyAfterWriting.value_or(options.verify);
    options.ifOutlookRuns = policies.whenOutlookRuns.value_or(options.ifOutlookRuns);
    return {};
}

}  // namespace

std::variant<BackupOptions, std::string> ParseBackupOptions(
    const std::vector<std::string>& arguments)
{
    BackupOptions options;
    bool haveItems = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        }
        std::string why;
        if (TakePasswordOption(arguments, i, options.passwordFrom, options.passwordFile, why)) {
            if (!why.empty()) {
                return why;
            }
        } else if (TakeIfOutlookRunsOption(arguments, i, false, options.ifOutlookRuns, why)) {
            if (!why.empty()) {
                return why;
            }
            options.ifOutlookRunsGiven = true;
        } else if (argument == "--verify") {
            options.verify = true;
        } else if (argument == "--differential") {
            options.differential = true;
        } else if (argument == "--full-after-days") {
            const std::optional<int> days =
                hasValue ? FullAfterDaysCount(arguments[++i]) : std::nullopt;
            if (!days) {
                return "--full-after-days takes a number from 1 to 365";
            }
            options.fullAfterDays = *days;
        } else if (argument == "--keep") {
            const std::optional<int> keep = hasValue ? KeepArgument(arguments[++i]) : std::nullopt;
            if (!keep) {
                return "--keep takes a number from 1 to 99";
            }
            options.keep = *keep;
            options.keepGiven = true;
        } else if (argument == "--profile" || argument == "--items" ||
                   argument == "--description") {
            if (!hasValue) {
                return argument + " needs a value";
            }
            const std::string& value = arguments[++i];
            if (argument == "--profile") {
                options.profile = value;
            } else if (argument == "--items") {
                options.items = value;
                haveItems = true;
            } else {
                options.description = value;
            }
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "-") {
            return "unknown option " + argument;
        } else if (!options.target.empty()) {
            return "one archive only, not " + options.target + " and " + argument;
        } else {
            options.target = argument;
        }
    }
    if (options.profile.empty()) {
        return "--profile NAME is missing";
    }
    if (!haveItems) {
        return "--items FLAGS is missing";
    }
    if (std::string why = ItemFlagsProblem(options.items); !why.empty()) {
        return why;
    }
    if (options.target.empty()) {
        return "the archive to write is missing";
    }
    return options;
}

std::string BackupReport(const BackupOutcome& outcome, const std::string& targetPath)
{
    std::string report;
    for (std::size_t i = 0; i < ItemTable.size(); ++i) {
        if (!outcome.ran[i]) {
            continue;
        }
        std::string name = ItemTable[i].reportTitle ? ItemTable[i].reportTitle : ItemTable[i].name;
        name.resize(std::max<std::size_t>(name.size(), ItemColumn), ' ');
        const char* result = !outcome.succeeded[i] ? (FailureCounts(i) ? "FAILED" : "none")
                             : outcome.Written()   ? "ok"
                                                   : "not written";
        report += name + " " + result + "\n";
    }
    for (const std::string& missing : outcome.leftOut) {
        report += "not in the backup: " + missing + "\n";
    }
    const std::string& written = outcome.archivePath.empty() ? targetPath : outcome.archivePath;
    if (outcome.Written()) {
        report += (outcome.AnyItemFailed() ? "written, but an item failed: " : "written: ") +
                  written + " (" + std::to_string(outcome.archiveBytes) + " bytes)\n";
    } else {
        report += "nothing written: " + outcome.error + "\n";
    }
    if (outcome.writtenBeside) {
        report += "kept: " + outcome.keptBackup +
                  (outcome.keptBackup == targetPath ? ", which this archive would have replaced\n"
                                                    : ", the newest complete backup\n");
    }
    if (outcome.Written() && !outcome.differentialOf.empty()) {
        report += "differential of: " + outcome.differentialOf + "\n";
    }
    if (!outcome.fullBecause.empty()) {
        report += "full: " + outcome.fullBecause + "\n";
    }
    for (const std::string& path : outcome.removed) {
        report += "removed: " + path + "\n";
    }
    for (const std::string& path : outcome.removedUnrestorable) {
        report +=
            "removed, as its full backup is gone and it can no longer be restored: " + path + "\n";
    }
    for (const std::string& path : outcome.datedAfter) {
        report += "dated after this run, so not taken for the newest: " + path + "\n";
    }
    return report;
}

int RunBackupCommand(const std::vector<std::string>& arguments, Platform& platform,
                     const ToolConsole& console)
{
    const auto parsed = ParseBackupOptions(arguments);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "kestrel backup: %s\n", why->c_str());
        std::fputs(Usage, stderr);
        return 2;
    }
    BackupOptions options = std::get<BackupOptions>(parsed);
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!platform.fileSystem || !platform.registry) {
        return Refuse("no file system or registry to back up from");
    }
    if (std::string why = FollowPolicies(options, platform); !why.empty()) {
        return Refuse(why + "; nothing written");
    }
    if (options.ifOutlookRuns == IfOutlookRuns::Snapshot &&
        !(platform.system && platform.system->HasAdministratorRights())) {
        return Refuse(
            "--if-outlook-runs snapshot needs administrator rights (start kestrel from a "
            "command prompt run as administrator); nothing written");
    }
    // The password first: a refused one stops the run before anything is looked at.
    std::string password;
    if (options.passwordFrom != PasswordFrom::None) {
        std::string why;
        const std::optional<std::string> read =
            ReadPassword(options.passwordFrom, options.passwordFile, platform, why);
        if (!read) {
            return Refuse("cannot read the password: " + why);
        }
        if (read->empty()) {
            return Refuse("the password is empty; nothing written");
        }
        password = *read;
    }

    AppState state;
    PrintedMessages messages;
    LoadSharedState(state, platform, messages);
    if (state.NoOutlookFlag) {
        return Refuse("no Outlook profile on this machine; nothing written");
    }
    const std::optional<std::string> profile = FindProfile(state, options.profile);
    if (!profile) {
        return Refuse("no profile named \"" + options.profile + "\" (there are " +
                      QuotedProfileNames(state) + "); nothing written");
    }

    BackupPlan plan;
    plan.request.profileName = *profile;
    plan.request.boxes = BoxesFromFlags(options.items);
    plan.request.protect = !password.empty();
    plan.request.password = password;
    plan.request.description = options.description;
    plan.request.targetPath = ArchiveArgumentPath(options.target);
    if (std::string why = HostTargetProblem(plan.request.targetPath); !why.empty()) {
        return Refuse(why + "; nothing written");
    }
    plan.request.startTime = std::time(nullptr);
    plan.machine = BackupMachineFor(state, *profile, platform, messages);
    plan.keep = {options.keep, options.verify};
    plan.differential = {options.differential, options.fullAfterDays};
    // Without the rights the option is refused above.
    plan.snapshotsAllowed = true;
    const BackupRequest& request = plan.request;

    const auto clockStart = std::chrono::steady_clock::now();
    BackupRunOutcome run;
    {
        ConsoleProgress progress(std::cerr, console.errorIsTerminal);
        BackupRun backup(platform, messages, plan);
        const IfOutlookRuns way = options.ifOutlookRuns;
        if (backup.Decide([way](const std::vector<HeldFile>&) { return way; }) &&
            backup.Prepare(progress)) {
            std::fputs(HeldFilesLines(backup.Held(), way, false).c_str(), stderr);
            backup.Collect(progress);
            backup.Write(progress);
        }
        run = backup.Finish(progress);
    }
    if (!run.snapshotNotDeleted.empty()) {
        std::fprintf(stderr, "the shadow copy could not be deleted: %s\n",
                     run.snapshotNotDeleted.c_str());
    }
    std::fputs(StartedAgainLine(run.startedAgain).c_str(), stderr);
    const BackupOutcome& outcome = run.backup;
    std::fputs(BackupReport(outcome, request.targetPath).c_str(), stdout);
    // A differential run says in the log which full it took, or why it wrote a full one.
    if (options.differential) {
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - clockStart;
        if (const std::string log = BackupLogPath(platform); !log.empty()) {
            platform.fileSystem->AppendLogLine(
                log, BackupLogLine(request.startTime, request.profileName, request.targetPath,
                                   outcome, seconds.count(), {}));
        }
    }
    return BackupExitStatus(outcome);
}

}  // namespace kestrel
