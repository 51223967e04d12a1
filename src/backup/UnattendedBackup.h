#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "backup/BackupJob.h"
#include "backup/BackupRequest.h"

namespace kestrel {

// The backup a scheduled job starts the program for, with an argument text of five parts
// read by position: "sf=" profile "xm=" nine item flags "ps=" password "bf=" archive path.

struct UnattendedArguments {
    std::string profileName;
    std::string itemFlags;
    std::string password;
    std::string archivePath;
};

// The four values, or nothing when the text does not split into exactly five fields at its
// "=" signs (a password or path holding "=" would shift the fields and write an unprotected
// archive somewhere else) or the profile, the flags or the path is empty.
std::optional<UnattendedArguments> ParseUnattendedArguments(const std::string& text);

// Flag k (from 1) ticks box k - 1 when it is "1"; missing flags tick nothing.
ItemBoxes BoxesFromFlags(const std::string& itemFlags);

// The request an unattended run makes: its description is "Automatic Backup".
BackupRequest UnattendedRequest(const UnattendedArguments& arguments, std::time_t now);

// One line of the program's log for a run: local time, profile, archive, the eleven item
// flags, bytes written, seconds taken and the result with its exit status. Never the password.
std::string BackupLogLine(std::time_t started, const std::string& profileName,
                          const std::string& archivePath, const BackupOutcome& outcome,
                          double seconds);
// The same for an argument text that could not be used.
std::string InvalidArgumentsLogLine(std::time_t started);

}  // namespace kestrel
