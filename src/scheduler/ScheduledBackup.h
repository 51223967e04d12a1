#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/ItemTable.h"
#include "outlook/HeldFiles.h"
#include "scheduler/Scheduler.h"
#include "ui/Messages.h"

namespace kestrel {

// How a weekly backup becomes one scheduler job: the choices of the options window, the checks
// they must pass, and the job record whose command line starts the unattended backup.

enum class Weekday { Monday, Tuesday, Wednesday, Thursday, Friday, Saturday, Sunday };
inline constexpr int WeekdayCount = 7;
// Monday first, like Weekday.
using WeekdayBoxes = std::array<bool, WeekdayCount>;

// The executable a job starts, in the program's folder.
inline constexpr const char* ScheduledProgramName = "kestrelbak.exe";
// The start time the window shows first.
inline constexpr const char* DefaultStartTime = "9:00";

struct ScheduleChoices {
    // The profile list's text (sProfile).
    std::string profile;
    ItemBoxes items{};
    // One of StartTimes().
    std::string startTime = DefaultStartTime;
    WeekdayBoxes days{};
    // The file the save dialog chose (sTargetFile); a typed path never gets here.
    std::string targetFile;
    bool protect = false;
    std::string password;
    std::string retypedPassword;
    // "Keep the last N backups": 1 replaces one archive, more keep dated ones.
    int keep = 1;
    // "differential: only what changed since the last full backup": the days after which a
    // full archive is written again; 0 for full archives every run.
    int differentialDays = 0;
    // What the runs do when Outlook holds a data file. Every job of the user shares it: it is
    // kept as the user's setting (outlook/OutlookRunsSetting.h), not in the job.
    IfOutlookRuns outlookWay = IfOutlookRuns::Close;
    // For a job without weekdays: "YYYY-MM-DD", the day it runs once; empty: the next time its
    // start time comes round (the window's one-time job).
    std::string onceDate;
};

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The date of a "YYYY-MM-DD" text that names a day of the calendar; nothing otherwise.
std::optional<CalendarDate> CalendarDateOf(const std::string& text);

inline constexpr int KeepAtMost = 99;

// Every half hour of a day, "0:00", "0:30", "1:00", ... "23:30": hours without a leading zero.
std::vector<std::string> StartTimes();

// Milliseconds after midnight of a time "h:mm" or "hh:mm" (hours 0 to 23, minutes 00 to 59);
// nothing for any other text.
std::optional<std::uint32_t> JobTimeOf(const std::string& startTime);

// sItems: "1" for a ticked box and "0" for another, box 0 first.
std::string ItemFlagsOf(const ItemBoxes& items);

// sDays: the codes of the ticked days, Monday first, joined by ",": "M,W,F". The codes are
// M, T, W, TH, F, S and SU.
std::string DayCodesOf(const WeekdayBoxes& days);

// How a list of weekday names may name a day: by its first three letters ("wed") only, or also
// in full ("Wednesday").
enum class WeekdayNames { Short, ShortOrLong };

// The days a list of weekday names joined by commas ticks ("mon,WED,fri"), in any case. Nothing
// when a part names no day: an empty text, an empty part or a blank among them.
std::optional<WeekdayBoxes> WeekdaysOf(const std::string& text, WeekdayNames names);

// The weekday mask of a day-code text: each part between commas, in upper case, adds the bit of
// the code it equals; a part that is no code adds nothing.
std::uint8_t DaysOfWeekOf(const std::string& dayCodes);

// The argument text of the unattended backup: "sf=" profile "xm=" flags "ps=" password "bf="
// file, with nothing in between. It is read back by splitting at "=", so it holds the values
// as they are only when none of them contains "=".
std::string JobArguments(const std::string& profile, const std::string& itemFlags,
                         const std::string& password, const std::string& targetFile);

// The options a job puts before its argument text (read back by the unattended backup):
// "--keep 3 " when it keeps more than one archive, "--password-key NAME " when its password is
// the user's secret NAME, "--differential 7 " when it writes differential archives (a full after
// 7 days); empty for none.
std::string JobOptionsText(int keep, const std::string& passwordKey, int differentialDays = 0);

// The checks before a job is added, in this order: a profile, a ticked box, a chosen file, a
// password when protected, the same password twice, and no "=" in the profile, the password or the
// file. The first that fails shows its message and makes the result false.
bool CheckScheduleChoices(const ScheduleChoices& choices, Messages& messages);

// The job for choices that passed the checks: the start time, the weekday mask, a weekly job,
// and the command line that starts the program in programFolder. The password never goes into
// the command line, which every user of the machine can read while the job runs: a protected
// job names the secret `passwordKey` the password is kept as. Nothing when the start time is
// not a time of day, or a once date that is no date.
std::optional<JobInfo> BuildJobInfo(const ScheduleChoices& choices,
                                    const std::string& programFolder,
                                    const std::string& passwordKey = {});

}  // namespace kestrel
