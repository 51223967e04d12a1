#include "app/JobListing.h"

#include <algorithm>
#include <array>

#include "backup/UnattendedBackup.h"
#include "scheduler/ScheduledBackup.h"

namespace kestrel {
namespace {

constexpr std::array<const char*, WeekdayCount> ShortDayNames{"mon", "tue", "wed", "thu",
                                                              "fri", "sat", "sun"};
constexpr std::uint8_t AllDays = 0x7f;
constexpr std::uint32_t MillisecondsPerMinute = 60 * 1000;

// "9:30", as the window's start-time list writes it.
std::string TimeOfDay(std::uint32_t jobTime)
{
    const std::uint32_t minutes = jobTime / MillisecondsPerMinute;
    const std::uint32_t minute = minutes % 60;
    return std::to_string(minutes / 60 % 24) + ":" + (minute < 10 ? "0" : "") +
           std::to_string(minute);
}

// Characters of UTF-8 text: every byte that does not continue a sequence.
std::size_t Width(const std::string& text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }));
}

// Columns wide enough for their widest cell, the last one as long as it is.
std::string Columns(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], Width(row[column]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size()) {
                line += std::string(widths[column] - Width(row[column]) + 2, ' ');
            }
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace

JobFields JobFieldsOf(const ListedJob& listed, const std::vector<std::string>& logLines)
{
    JobFields fields;
    fields.id = std::to_string(listed.id);
    for (std::size_t day = 0; day < ShortDayNames.size(); ++day) {
        if (listed.job.DaysOfWeek & (1u << day)) {
            fields.days.push_back(ShortDayNames[day]);
        }
    }
    fields.time = TimeOfDay(listed.job.JobTime);
    fields.nextRun = listed.nextRun;
    if (const auto arguments = ParseUnattendedArguments(listed.job.Arguments)) {
        fields.readable = true;
        fields.profile = arguments->profileName;
        fields.items = arguments->itemFlags;
        fields.protect = !arguments->password.empty() || !arguments->passwordKey.empty();
        fields.target = arguments->archivePath;
        fields.keep = arguments->keep;
        fields.lastRun = LastRunOf(logLines, fields.profile, fields.target);
    }
    return fields;
}

std::string DaysText(const ListedJob& listed, const JobFields& fields)
{
    if (listed.job.DaysOfWeek == AllDays) {
        return "daily";
    }
    if (fields.days.empty()) {
        return "once";
    }
    std::string text;
    for (const std::string& day : fields.days) {
        text += (text.empty() ? "" : ",") + day;
    }
    return text;
}

std::string JobListingTable(const std::vector<ListedJob>& jobs,
                            const std::vector<std::string>& logLines)
{
    if (jobs.empty()) {
        return "no scheduled backups\n";
    }
    std::vector<std::vector<std::string>> rows{
        {"ID", "PROFILE", "ITEMS", "PASSWORD", "KEEP", "DAYS", "TIME", "NEXT RUN", "ARCHIVE"}};
    std::string lastRuns;
    bool anyMissedRunsLost = false;
    for (const ListedJob& listed : jobs) {
        const JobFields fields = JobFieldsOf(listed, logLines);
        anyMissedRunsLost = anyMissedRunsLost || !listed.catchesUp;
        const std::string nextRun = fields.nextRun.empty() ? "-" : fields.nextRun;
        if (!fields.readable) {
            rows.push_back({fields.id, "?", "?", "?", "?", DaysText(listed, fields), fields.time,
                            nextRun, "(not the argument text of a backup)"});
            continue;
        }
        rows.push_back({fields.id, fields.profile, fields.items, fields.protect ? "yes" : "no",
                        std::to_string(fields.keep), DaysText(listed, fields), fields.time, nextRun,
                        fields.target});
        const std::optional<LoggedRun>& run = fields.lastRun;
        lastRuns += "job " + fields.id + " last ran " +
                    (run ? run->time + ": status " + std::to_string(run->status) + ": " +
                               run->result + " (" + run->archive + ")"
                         : std::string("never, as far as the log says")) +
                    "\n";
    }
    std::string text = Columns(rows) + lastRuns;
    if (anyMissedRunsLost) {
        text +=
            "jobs in the crontab do not make up a run missed while the machine was off (cron "
            "has no such thing): the next run is at the next time the job names\n";
    }
    return text;
}

}  // namespace kestrel
