// kestrel restore: the restore the window's restore tab makes, from the command line, with the
// same session, restorers and result.

#include "cli/RestoreCommand.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <utility>

#include "app/MainWindowTexts.h"
#include "app/Policies.h"
#include "app/RestoreSetup.h"
#include "app/Startup.h"
#include "archive/ItemTable.h"
#include "backup/UnattendedBackup.h"
#include "cli/ConsoleProgress.h"
#include "cli/OutlookRunning.h"
#include "cli/PrintedMessages.h"
#include "cli/ToolCommands.h"
#include "restore/RestoreSession.h"

namespace kestrel {
namespace {

constexpr const char* Usage =
    "usage: kestrel restore ARCHIVE.ksb --profile NAME --items FLAGS\n"
    "                       [--password-stdin | --password-file FILE]\n"
    "                       [--if-outlook-runs close] [--full FULL.ksb]\n"
    "  NAME      the profile the items are written into (kestrel profiles lists them); it\n"
    "            need not be the one the backup was made of\n"
    "  FLAGS     one 0 or 1 per item box, in the order kestrel profiles lists them:\n"
    "            data files, accounts, signatures, stationery, address book, options,\n"
    "            templates, preferences, contacts (111111111: all; fewer than 9: the rest 0)\n"
    "  password  of a protected archive; read from the first line of standard input or of\n"
    "            FILE, never from the command line\n"
    "  --if-outlook-runs close  when Outlook holds a data file of the profile: ask it to\n"
    "            close, wait up to 60 seconds and start it again afterwards; without it, or\n"
    "            when Outlook does not close, nothing is restored\n"
    "  ARCHIVE   a Windows path (C:\\..., \\\\server\\share\\...) or a path of this system\n"
    "  --full    the full backup a differential ARCHIVE needs, when it is not beside it\n"
    "What a restored item replaces is kept in the Replaced folder the report names.\n"
    "exit status: 0 every selected item restored, 1 an item failed or was not in the backup,\n"
    "             2 nothing restored\n";

int Refuse(const std::string& why)
{
    std::fprintf(stderr, "kestrel restore: %s\n", why.c_str());
    return 2;
}

// The password prompt of the restore tab, answered with the password the command read; no
// answer (as when the prompt is cancelled) when none was given.
class GivenPassword final : public Dialogs {
public:
    explicit GivenPassword(std::optional<std::string> password) : password_(std::move(password)) {}
    std::optional<std::string> ChooseSaveFile(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> ChooseOpenFile(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> AskPassword() override { return password_; }

private:
    std::optional<std::string> password_;
};

// A restore moves the window's bar through its items and extracts each file in one go: the
// console's bar follows the items.
class RestoreProgress final : public ProgressSink {
public:
    explicit RestoreProgress(ConsoleProgress& console) : console_(console) {}
    void SetStatus(const std::string& text) override { console_.SetStatus(text); }
    void SetProgress(int value, int maximum) override
    {
        console_.SetWritePercent(
            maximum > 0 ? static_cast<int>(static_cast<long long>(value) * 100 / maximum) : 0);
    }
    void SetFileText(const std::string& text) override { console_.SetFileText(text); }
    void SetWriteText(const std::string&) override {}
    void SetBusy(bool busy) override { console_.SetBusy(busy); }

private:
    ConsoleProgress& console_;
};

}  // namespace

std::variant<RestoreOptions, std::string> ParseRestoreOptions(
    const std::vector<std::string>& arguments)
{
    RestoreOptions options;
    bool haveItems = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        }
        std::string why;
        if (TakePasswordOption(arguments, i, options.passwordFrom, options.passwordFile, why) ||
            TakeIfOutlookRunsOption(arguments, i, true, options.ifOutlookRuns, why)) {
            if (!why.empty()) {
                return why;
            }
        } else if (argument == "--profile" || argument == "--items" || argument == "--full") {
            if (i + 1 >= arguments.size()) {
                return argument + " needs a value";
            }
            const std::string& value = arguments[++i];
            if (argument == "--profile") {
                options.profile = value;
            } else if (argument == "--full") {
                options.full = value;
            } else {
                options.items = value;
                haveItems = true;
            }
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "-") {
            return "unknown option " + argument;
        } else if (!options.archive.empty()) {
            return "one archive only, not " + options.archive + " and " + argument;
        } else {
            options.archive = argument;
        }
    }
    if (options.archive.empty()) {
        return "the archive to restore from is missing";
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
    return options;
}

std::string RestoreReport(const RestoreOutcome& outcome)
{
    std::string report;
    for (const RestoreResultLine& line : RestoreResultLines(outcome)) {
        // The message box's titles end in blanks that line up its columns.
        std::string title = line.title;
        while (!title.empty() && title.back() == ' ') {
            title.pop_back();
        }
        if (!title.empty()) {
            report += title + (line.result.empty() ? "" : ": " + line.result) + "\n";
        }
    }
    return report;
}

int RunRestoreCommand(const std::vector<std::string>& arguments, Platform& platform,
                      const ToolConsole& console)
{
    const auto parsed = ParseRestoreOptions(arguments);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "kestrel restore: %s\n", why->c_str());
        std::fputs(Usage, stderr);
        return 2;
    }
    const RestoreOptions& options = std::get<RestoreOptions>(parsed);
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!platform.fileSystem || !platform.registry) {
        return Refuse("no file system or registry to restore into");
    }
    if (!ReadPolicies(*platform.registry, platform.system.get()).RestoreAllowed()) {
        return Refuse(std::string(RestoreTurnedOff) + " Nothing restored.");
    }
    std::optional<std::string> password;
    if (options.passwordFrom != PasswordFrom::None) {
        std::string why;
        password = ReadPassword(options.passwordFrom, options.passwordFile, platform, why);
        if (!password) {
            return Refuse("cannot read the password: " + why);
        }
        if (password->empty()) {
            return Refuse("the password is empty; nothing restored");
        }
    }

    AppState state;
    PrintedMessages messages;
    LoadSharedState(state, platform, messages);
    if (state.NoOutlookFlag) {
        return Refuse("no Outlook profile on this machine; nothing restored");
    }
    const std::optional<std::string> profile = FindProfile(state, options.profile);
    if (!profile) {
        return Refuse("no profile named \"" + options.profile + "\" (there are " +
                      QuotedProfileNames(state) + "); nothing restored");
    }

    const std::string archive = ArchiveArgumentPath(options.archive);
    RestoreSession session(platform);
    GivenPassword dialogs(password);
    OpenedBackup opened;
    const OpenResult result = session.Open(state.RunFolder, archive, dialogs, messages, opened);
    if (result == OpenResult::WrongPassword) {
        return Refuse(password ? "the password does not open " + archive + "; nothing restored"
                               : archive +
                                     " is protected: give its password with "
                                     "--password-stdin or --password-file; nothing "
                                     "restored");
    }
    if (result != OpenResult::Opened) {
        return Refuse(archive + " is not a backup; nothing restored");
    }
    if (!options.full.empty()) {
        session.UseFull(ArchiveArgumentPath(options.full));
    }
    if (opened.Differential) {
        const std::string full = session.FullFor(opened);
        std::printf("differential of: %s (%s)\n", opened.Differential->fullName.c_str(),
                    full.empty() ? "not found" : full.c_str());
    }

    RestoreRequest request;
    request.targetProfile = *profile;
    request.startTime = std::time(nullptr);
    const ItemBoxes wanted = BoxesFromFlags(options.items);
    std::string notHeld;
    for (std::size_t box = 0; box < wanted.size(); ++box) {
        request.ticked[box] = wanted[box] && opened.EnabledBoxes[box];
        if (wanted[box] && !opened.EnabledBoxes[box]) {
            notHeld += std::string("not in the backup: ") + texts::ItemCaptions[box] + "\n";
        }
    }
    if (!CheckRestoreRequest(opened.NoValidBackupFlag, request.ticked, messages)) {
        std::fputs(notHeld.c_str(), stdout);
        return Refuse("nothing restored");
    }
    const RestoreMachine machine = RestoreMachineFor(state, *profile, platform, messages);

    RestoreOutcome outcome;
    {
        ConsoleProgress lines(std::cerr, console.errorIsTerminal);
        const IfOutlookRuns way = options.ifOutlookRuns;
        session.Decide(request, machine, messages,
                       [way](const std::vector<HeldFile>&) { return way; });
        const bool go = session.Prepare(lines);
        std::fputs(HeldFilesLines(session.Held(), way, true).c_str(), stderr);
        if (!go) {
            // Whatever was closed is started again before nothing was restored.
            session.EndRun();
            return Refuse("nothing restored while " + HolderNames(session.Held().stillHeld) +
                          " holds the profile's data files");
        }
        RestoreProgress progress(lines);
        outcome = session.Run(opened, request, machine, progress);
        std::fputs(StartedAgainLine(session.EndRun()).c_str(), stderr);
    }
    LogRestoreFailures(platform, opened.SourceFile, outcome);
    std::fputs((RestoreReport(outcome) + notHeld).c_str(), stdout);
    const int status = RestoreExitStatus(outcome);
    return status == 0 && !notHeld.empty() ? 1 : status;
}

}  // namespace kestrel
