#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backup/UnattendedBackup.h"
#include "scheduler/Scheduler.h"

namespace kestrel {

// The scheduled backups as people see them, in the options window's job listing and in
// `kestrel schedule list`: what each job does, read from its argument text as the unattended
// backup reads it (the password never, only whether there is one), and its last run as the
// program's log records it.

struct JobFields {
    std::string id;
    // Empty unless readable.
    std::string profile;
    std::string items;
    bool protect = false;
    int keep = 1;
    std::string target;
    std::optional<LoggedRun> lastRun;
    // "mon", "tue", ... of the days it runs.
    std::vector<std::string> days;
    // "9:30"
    std::string time;
    std::string nextRun;
    // Whether the argument text is one of a backup.
    bool readable = false;
};

// `logLines`: the lines of kestrel.log (ReadBackupLog).
JobFields JobFieldsOf(const ListedJob& listed, const std::vector<std::string>& logLines);

// "daily", "once", or the days joined by commas: "mon,wed,fri".
std::string DaysText(const ListedJob& listed, const JobFields& fields);

// One line per job under a heading, in columns; then a line per job with its last run, and a
// note when a job does not make up a run missed while the machine was off.
std::string JobListingTable(const std::vector<ListedJob>& jobs,
                            const std::vector<std::string>& logLines);

}  // namespace kestrel
