#include "backup/UnattendedBackup.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "archive/MemberName.h"
#include "backup/BackupGenerations.h"
#include "platform/LocalTime.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "platform/UserSecrets.h"

namespace kestrel {
namespace {

// The name of the part that follows a value ("xm", "ps", "bf") ends the field before it.
constexpr std::size_t PartNameLength = 2;
constexpr std::size_t FieldCount = 5;

std::optional<int> KeepCount(const std::string& text)
{
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int count = std::stoi(text);
    return count >= MinimumKept && count <= MaximumKept ? std::optional(count) : std::nullopt;
}

std::vector<std::string> SplitFields(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t equals = text.find('=', start);
        fields.push_back(text.substr(start, equals - start));
        if (equals == std::string::npos) {
            return fields;
        }
        start = equals + 1;
    }
}

std::string LogTime(std::time_t time)
{
    const std::string text = FormatLocalTime(time, "%Y-%m-%d %H:%M:%S");
    return text.empty() ? "?" : text;
}

// A log entry is one line whatever a message holds.
std::string OneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    return text;
}

// "removed A, B" and a tab; nothing when there are no paths.
std::string PathsField(const char* opening, const std::vector<std::string>& paths)
{
    std::string field;
    for (const std::string& path : paths) {
        field += (field.empty() ? opening : ", ") + OneLine(path);
    }
    return field.empty() ? field : field + "\t";
}

std::string ResultText(const BackupOutcome& outcome)
{
    const int status = BackupExitStatus(outcome);
    std::string text = "status " + std::to_string(status) + ": ";
    switch (outcome.result) {
        case BackupResult::Written:
            text += status == 0             ? "written"
                    : outcome.writtenBeside ? "written beside the target, an item failed; the "
                                              "previous archive is kept"
                                            : "written, but an item failed";
            break;
        case BackupResult::Cancelled:
            text += "cancelled, nothing written";
            break;
        default:
            text += "nothing written: " + outcome.error;
            break;
    }
    for (const std::string& missing : outcome.leftOut) {
        text += "; not in the backup: " + missing;
    }
    return OneLine(text);
}

}  // namespace

std::optional<UnattendedArguments> ParseUnattendedArguments(const std::string& text,
                                                            std::string* why)
{
    auto refuse = [why](std::string reason) -> std::optional<UnattendedArguments> {
        if (why) {
            *why = std::move(reason);
        }
        return std::nullopt;
    };
    UnattendedArguments arguments;
    std::string rest = text;
    while (rest.rfind("--", 0) == 0) {
        const std::size_t nameEnd = rest.find(' ');
        const std::size_t valueEnd =
            nameEnd == std::string::npos ? nameEnd : rest.find(' ', nameEnd + 1);
        const std::string name = rest.substr(0, nameEnd);
        if (valueEnd == std::string::npos) {
            return refuse("the option " + name + " has no value before the parts");
        }
        const std::string value = rest.substr(nameEnd + 1, valueEnd - nameEnd - 1);
        if (name == "--keep" && KeepCount(value)) {
            arguments.keep = *KeepCount(value);
        } else if (name == "--differential" && FullAfterDaysCount(value)) {
            arguments.differentialDays = *FullAfterDaysCount(value);
        } else if (name == "--password-key" && IsSecretName(value)) {
            arguments.passwordKey = value;
        } else {
            return refuse("the option " + name + " " + value + " is not known");
        }
        rest.erase(0, valueEnd + 1);
    }
    std::vector<std::string> fields = SplitFields(rest);
    if (fields.size() != FieldCount) {
        return refuse("the argument text has " + std::to_string(fields.size()) +
                      " parts, not five (a value holding \"=\" shifts them)");
    }
    // Each part's name ends the field before it. Checking them, not only their number, keeps
    // a text in another order (a password "ps" where the path belongs) from being run. Names
    // compare without regard to case, as every name the program reads.
    constexpr std::array<std::string_view, FieldCount - 1> PartNames{"sf", "xm", "ps", "bf"};
    // Blanks before the first name are what a command line leaves between the program and it.
    const std::size_t firstName = fields[0].find_first_not_of(" \t");
    const std::string_view first = std::string_view(fields[0]).substr(
        firstName == std::string::npos ? fields[0].size() : firstName);
    if (!EqualsIgnoringCase(first, PartNames[0])) {
        return refuse("the first part is named \"" + std::string(first) + "\", not \"sf\"");
    }
    for (std::size_t i = 1; i + 1 < fields.size(); ++i) {
        const std::string_view field = fields[i];
        const std::string_view partName =
            field.substr(field.size() - std::min(field.size(), PartNameLength));
        if (!EqualsIgnoringCase(partName, PartNames[i])) {
            return refuse("part " + std::to_string(i + 1) + " is named \"" + std::string(partName) +
                          "\", not \"" + std::string(PartNames[i]) + "\"");
        }
        fields[i].resize(fields[i].size() - PartNameLength);
    }
    arguments.profileName = fields[1];
    arguments.itemFlags = fields[2];
    arguments.password = fields[3];
    arguments.archivePath = fields[4];
    if (arguments.profileName.empty()) {
        return refuse("the profile (sf=) is empty");
    }
    if (arguments.itemFlags.empty()) {
        return refuse("the item flags (xm=) are empty");
    }
    if (arguments.archivePath.empty()) {
        return refuse("the archive (bf=) is empty");
    }
    if (!arguments.passwordKey.empty() && !arguments.password.empty()) {
        return refuse("the password is given both by --password-key and in ps=");
    }
    return arguments;
}

ItemBoxes BoxesFromFlags(const std::string& itemFlags)
{
    ItemBoxes boxes{};
    for (std::size_t box = 0; box < boxes.size() && box < itemFlags.size(); ++box) {
        boxes[box] = itemFlags[box] == '1';
    }
    return boxes;
}

BackupRequest UnattendedRequest(const UnattendedArguments& arguments, std::time_t now)
{
    BackupRequest request;
    request.profileName = arguments.profileName;
    request.boxes = BoxesFromFlags(arguments.itemFlags);
    request.protect = !arguments.password.empty();
    request.password = arguments.password;
    request.description = "Automatic Backup";
    request.targetPath = arguments.archivePath;
    request.startTime = now;
    return request;
}

std::string BackupLogLine(std::time_t started, const std::string& profileName,
                          const std::string& archivePath, const BackupOutcome& outcome,
                          double seconds, const std::string& heldFiles)
{
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%.1f", seconds);
    const std::string& archive = outcome.archivePath.empty() ? archivePath : outcome.archivePath;
    return LogTime(started) + "\tprofile " + OneLine(profileName) + "\tarchive " +
           OneLine(archive) + "\titems " + BackupItemValue(outcome.succeeded) + "\tbytes " +
           std::to_string(outcome.archiveBytes) + "\tseconds " + secondsText + "\t" +
           (heldFiles.empty() ? std::string() : OneLine(heldFiles) + "\t") +
           (outcome.differentialOf.empty()
                ? std::string()
                : "differential of " + OneLine(outcome.differentialOf) + "\t") +
           (outcome.fullBecause.empty() ? std::string()
                                        : "full: " + OneLine(outcome.fullBecause) + "\t") +
           PathsField("removed ", outcome.removed) +
           PathsField("removed, as its full backup is gone: ", outcome.removedUnrestorable) +
           PathsField("dated after this run, so not taken for the newest: ", outcome.datedAfter) +
           ResultText(outcome);
}

std::string HeldFilesLogField(const HeldCheck& check)
{
    if (check.held.empty()) {
        return {};
    }
    const auto listed = [](const std::vector<std::string>& paths, const std::string& path) {
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    };
    std::string files;
    for (const HeldFile& file : check.held) {
        const bool leftOut =
            std::any_of(check.stillHeld.begin(), check.stillHeld.end(),
                        [&](const HeldFile& still) { return still.path == file.path; });
        const char* how = leftOut                                 ? " left out"
                          : listed(check.fromSnapshot, file.path) ? " read from a snapshot"
                                                                  : " closed and restarted";
        files += (files.empty() ? "" : ", ") + file.path + how;
    }
    const std::string fellBack =
        check.snapshotFailure.empty()
            ? std::string()
            : "no shadow copy (" + check.snapshotFailure + "), so Outlook was asked to close; ";
    return fellBack + "held by " + HolderNames(check.held) + ": " + files;
}

std::optional<LoggedRun> ParseBackupLogLine(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            break;
        }
        start = tab + 1;
    }
    LoggedRun run;
    run.time = fields.front();
    bool haveStatus = false;
    for (const std::string& field : fields) {
        const auto named = [&](const char* name) { return field.rfind(name, 0) == 0; };
        if (named("profile ")) {
            run.profile = field.substr(8);
        } else if (named("archive ")) {
            run.archive = field.substr(8);
        } else if (named("status ") && field.size() > 9 && field[8] == ':' && field[7] >= '0' &&
                   field[7] <= '2') {
            run.status = field[7] - '0';
            run.result = field.substr(field.size() > 10 ? 10 : field.size());
            haveStatus = true;
        }
    }
    if (!haveStatus || run.profile.empty() || run.archive.empty()) {
        return std::nullopt;
    }
    return run;
}

std::optional<LoggedRun> LastRunOf(const std::vector<std::string>& logLines,
                                   const std::string& profile, const std::string& target)
{
    for (auto line = logLines.rbegin(); line != logLines.rend(); ++line) {
        const std::optional<LoggedRun> run = ParseBackupLogLine(*line);
        if (!run || !EqualsIgnoringCase(run->profile, profile)) {
            continue;
        }
        const std::string name = BareName(run->archive);
        if (EqualsIgnoringCase(run->archive, target) ||
            (EqualsIgnoringCase(ParentFolder(run->archive), ParentFolder(target)) &&
             (IsGenerationName(target, name) || IsIncompleteName(target, name)))) {
            return run;
        }
    }
    return std::nullopt;
}

std::string SystemLogText(const std::string& logLine)
{
    std::string text;
    for (char c : logLine) {
        text += c == '\t' ? std::string(", ") : std::string(1, c);
    }
    return text;
}

std::string InvalidArgumentsLogLine(std::time_t started, const std::string& why)
{
    return LogTime(started) +
           "\tstatus 2: nothing written: the argument text cannot be used: " + OneLine(why);
}

}  // namespace kestrel
