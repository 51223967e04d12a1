#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupJob.h"
#include "backup/BackupRequest.h"
#include "outlook/HeldFiles.h"

namespace kestrel {

// The backup a scheduled job starts the program for, with an argument text of five parts
// read by position: "sf=" profile "xm=" nine item flags "ps=" password "bf=" archive path.
// A job made by this program puts options before it, each a word and its value, and keeps the
// password out of the text (any user of the machine can read a running program's command
// line):
//   --keep N        keep the last N complete archives (1 to 99) instead of one
//   --password-key NAME   the password is the user's secret NAME (platform/UserSecrets.h), "ps="
//   empty

struct UnattendedArguments {
    std::string profileName;
    std::string itemFlags;
    std::string password;
    std::string archivePath;
    int keep = 1;
    std::string passwordKey;
    // "--differential N": differential archives, a full one again after N days; 0 for none.
    int differentialDays = 0;
};

// The values, or nothing when the text does not split into exactly five fields at its "="
// signs (a password or path holding "=" would shift the fields and write an unprotected
// archive somewhere else), the profile, the flags or the path is empty, or an option is
// unknown, lacks its value or comes with a password in "ps=" as well; `why`, when given, then
// says which (the part named wrongly, the field that is empty, ...). The part names "sf", "xm",
// "ps" and "bf" compare without regard to case.
std::optional<UnattendedArguments> ParseUnattendedArguments(const std::string& text,
                                                            std::string* why = nullptr);

// Flag k (from 1) ticks box k - 1 when it is "1"; missing flags tick nothing.
ItemBoxes BoxesFromFlags(const std::string& itemFlags);

// The request an unattended run makes: its description is "Automatic Backup".
BackupRequest UnattendedRequest(const UnattendedArguments& arguments, std::time_t now);

// One line of the program's log for a run: local time, profile, archive, the eleven item
// flags, bytes written, seconds taken and the result with its exit status. Never the password.
// The archive is the one the run wrote (a generation, or the file beside the target for a run
// that left an item out), else the target. `heldFiles` (HeldFilesLogField), the older
// archives the run removed ("removed A, B") and those dated after the run go before the result,
// each when not empty.
std::string BackupLogLine(std::time_t started, const std::string& profileName,
                          const std::string& archivePath, const BackupOutcome& outcome,
                          double seconds, const std::string& heldFiles = {});
// How the run read each file another program held when it began, for the log line:
// "held by OUTLOOK.EXE (process 412): C:\...\a.pst closed and restarted, C:\...\b.pst left out";
// empty when nothing was held. A file still held after the check was left out; the others were
// read from the snapshot when the check made one for them, else after their program closed. A
// snapshot that could not be made is named first, with why.
std::string HeldFilesLogField(const HeldCheck& check);
// The same for an argument text that could not be used, and why (ParseUnattendedArguments).
std::string InvalidArgumentsLogLine(std::time_t started, const std::string& why);

// What a line of the log says about one run.
struct LoggedRun {
    std::string time;  // "2026-12-07 23:30:00", local time
    std::string profile;
    // The archive the run wrote, or its target when it wrote none.
    std::string archive;
    int status = 2;
    // "written", "nothing written: ...": what follows the status.
    std::string result;
};

// The facts of a line BackupLogLine wrote; nothing for any other line (an argument text that
// could not be used names no job).
std::optional<LoggedRun> ParseBackupLogLine(const std::string& line);

// The last run the log records of the job with this profile and target: a line whose archive
// is the target, one of its generations or an incomplete archive of it (BackupGenerations.h).
std::optional<LoggedRun> LastRunOf(const std::vector<std::string>& logLines,
                                   const std::string& profile, const std::string& target);

// A log line as the system's log shows it best: its fields joined by ", " instead of tabs,
// which the journal and the Event Viewer show as escapes or not at all.
std::string SystemLogText(const std::string& logLine);

}  // namespace kestrel
