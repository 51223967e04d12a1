#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "scheduler/Scheduler.h"

namespace kestrel {

// Jobs on Linux: a systemd user timer (kestrel-backup-<id>.timer and .service in
// $XDG_CONFIG_HOME/systemd/user) where the user's systemd manager answers, else an entry of
// the user's crontab below a line "# kestrel-job <id>". A job starts `program` (this build's
// kestrelbak) with the job's argument text as its one argument and KESTREL_HOME set to
// `root`. The tools (systemctl, crontab) are found on PATH.
//
// A job without weekdays runs once: the timer gets the date of the next time JobTime comes
// round. Cron has no "once": its entry names that day of that month and lets the command run
// only in that year.
class PosixScheduler final : public Scheduler {
public:
    PosixScheduler(std::filesystem::path program, std::filesystem::path root);

    Result<std::uint32_t> Add(const JobInfo& job) override;
    Result<std::vector<ListedJob>> List() override;
    std::optional<Error> Remove(std::uint32_t id) override;
    Result<std::string> ShowJobs() override;

private:
    std::string program_;
    std::string root_;
};

// The kestrelbak beside the running program.
std::filesystem::path OwnKestrelBak();

// --- the texts each backend writes and reads back ------------------------------------------

// A word of a unit file's command line or assignment, in double quotes, that systemd reads
// back as `text`: backslash escapes for \ " and control characters, "%%" for %, and "$$" for $
// when the line expands variables (ExecStart=, not Environment=).
std::string SystemdQuoted(const std::string& text, bool expandsVariables);
// The words systemd makes of an ExecStart= value: quotes, C escapes, %% and $$ undone. Nothing
// for a value it would refuse (an open quote, a bad escape, a lone % or $).
std::optional<std::vector<std::string>> SystemdExecWords(const std::string& value);

// The OnCalendar= value: "Mon,Wed *-*-* 09:30:00", or for a job without weekdays the next
// time JobTime comes round after `now`: "2026-12-08 09:30:00".
std::string OnCalendarOf(const JobInfo& job, const std::tm& now);
std::string TimerUnitText(std::uint32_t id, const JobInfo& job, const std::tm& now);
std::string ServiceUnitText(std::uint32_t id, const JobInfo& job, const std::string& program,
                            const std::string& root);

// A word that sh reads back as `text` after cron's own reading of its line (cron turns every %
// not escaped by a backslash into a line break, and drops the backslash of "\%").
std::string CronQuoted(const std::string& text);
// The two lines of a job's crontab entry, each ending in a line break:
//   # kestrel-job 3 time=34200000 days=5 flags=1
//   30 9 * * 1,3 KESTREL_HOME='/root' '/bin/kestrelbak' 'sf=...'
// An Error for argument text with a line break, which no crontab line can hold.
Result<std::string> CrontabEntry(std::uint32_t id, const JobInfo& job, const std::string& program,
                                 const std::string& root, const std::tm& now);

}  // namespace kestrel
