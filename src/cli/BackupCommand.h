#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "backup/BackupJob.h"

namespace kestrel {

// The pieces of `kestrel backup` (RunBackupCommand in ToolCommands.h) that decide what the
// user sees.

enum class PasswordFrom { None, StandardInput, File };

struct BackupOptions {
    std::string profile;
    // One "0" or "1" per item box, as in the unattended argument text.
    std::string items;
    std::string description;
    PasswordFrom passwordFrom = PasswordFrom::None;
    std::string passwordFile;
    std::string target;
    bool help = false;
};

// The options, or why they cannot be used. A password is never an argument: the process list
// shows arguments to every user of the machine.
std::variant<BackupOptions, std::string> ParseBackupOptions(
    const std::vector<std::string>& arguments);

// The password a line of text holds: up to its first line break, without a CR before it.
std::string PasswordLine(std::string_view text);

// The archive path as the backup takes it: a Windows path (drive letter or UNC) as given,
// anything else a host path, made absolute.
std::string BackupTargetPath(const std::string& argument);

// What the run did, for standard output: a line per item that ran, what the archive lacks,
// and where the archive is and its size, or why nothing was written.
std::string BackupReport(const BackupOutcome& outcome, const std::string& targetPath);

}  // namespace kestrel
