#include "backup/UnattendedBackup.h"

#include <cstdio>
#include <vector>

#include "platform/LocalTime.h"

namespace kestrel {
namespace {

// The name of the part that follows a value ("xm", "ps", "bf") ends the field before it.
constexpr std::size_t PartNameLength = 2;
constexpr std::size_t FieldCount = 5;

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

std::string ResultText(const BackupOutcome& outcome)
{
    const int status = BackupExitStatus(outcome);
    std::string text = "status " + std::to_string(status) + ": ";
    switch (outcome.result) {
        case BackupResult::Written:
            text += status == 0 ? "written" : "written, but an item failed";
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

std::optional<UnattendedArguments> ParseUnattendedArguments(const std::string& text)
{
    std::vector<std::string> fields = SplitFields(text);
    if (fields.size() != FieldCount) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i + 1 < fields.size(); ++i) {
        if (fields[i].size() < PartNameLength) {
            return std::nullopt;
        }
        fields[i].resize(fields[i].size() - PartNameLength);
    }
    UnattendedArguments arguments{fields[1], fields[2], fields[3], fields[4]};
    if (arguments.profileName.empty() || arguments.itemFlags.empty() ||
        arguments.archivePath.empty()) {
        return std::nullopt;
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
                          double seconds)
{
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%.1f", seconds);
    return LogTime(started) + "\tprofile " + OneLine(profileName) + "\tarchive " +
           OneLine(archivePath) + "\titems " + BackupItemValue(outcome.succeeded) + "\tbytes " +
           std::to_string(outcome.archiveBytes) + "\tseconds " + secondsText + "\t" +
           ResultText(outcome);
}

std::string InvalidArgumentsLogLine(std::time_t started)
{
    return LogTime(started) +
           "\tstatus 2: nothing written: the argument text is not \"sf=PROFILE xm=FLAGS "
           "ps=PASSWORD bf=ARCHIVE\" with five parts";
}

}  // namespace kestrel
