#include "scheduler/ScheduledBackup.h"

#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "scheduler/SchedulerTexts.h"

namespace kestrel {
namespace {

constexpr std::array<const char*, WeekdayCount> DayCodes{"M", "T", "W", "TH", "F", "S", "SU"};
constexpr std::array<const char*, WeekdayCount> ShortDayNames{"mon", "tue", "wed", "thu",
                                                              "fri", "sat", "sun"};
constexpr std::array<const char*, WeekdayCount> LongDayNames{
    "monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};

constexpr std::uint32_t MillisecondsPerMinute = 60 * 1000;

std::optional<int> Digits(const std::string& text)
{
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string UpperCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool Refuse(Messages& messages, const char* text, MessageIcon icon)
{
    messages.Show(text, texts::ApplicationTitle, icon, MessageButtons::Ok);
    return false;
}

bool HoldsEquals(const std::string& text)
{
    return text.find('=') != std::string::npos;
}

// The password a job carries: none when the archive is not to be protected.
std::string JobPassword(const ScheduleChoices& choices)
{
    return choices.protect ? choices.password : std::string();
}

}  // namespace

std::optional<CalendarDate> CalendarDateOf(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const std::optional<int> century = Digits(text.substr(0, 2));
    const std::optional<int> yearInCentury = Digits(text.substr(2, 2));
    const std::optional<int> month = Digits(text.substr(5, 2));
    const std::optional<int> day = Digits(text.substr(8, 2));
    if (!century || !yearInCentury || !month || !day || *month < 1 || *month > 12 || *day < 1) {
        return std::nullopt;
    }
    const int year = *century * 100 + *yearInCentury;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr std::array<int, 12> lengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int length = *month == 2 && leap ? 29 : lengths[static_cast<std::size_t>(*month - 1)];
    if (year < 1970 || *day > length) {
        return std::nullopt;
    }
    return CalendarDate{year, *month, *day};
}

std::vector<std::string> StartTimes()
{
    std::vector<std::string> times;
    for (int hour = 0; hour < 24; ++hour) {
        times.push_back(std::to_string(hour) + ":00");
        times.push_back(std::to_string(hour) + ":30");
    }
    return times;
}

std::optional<std::uint32_t> JobTimeOf(const std::string& startTime)
{
    const std::size_t colon = startTime.find(':');
    if (colon == std::string::npos || startTime.size() - colon - 1 != 2) {
        return std::nullopt;
    }
    const std::optional<int> hour = Digits(startTime.substr(0, colon));
    const std::optional<int> minute = Digits(startTime.substr(colon + 1));
    if (!hour || !minute || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*hour * 60 + *minute) * MillisecondsPerMinute;
}

std::string ItemFlagsOf(const ItemBoxes& items)
{
    std::string flags;
    for (bool ticked : items) {
        flags += ticked ? '1' : '0';
    }
    return flags;
}

std::string DayCodesOf(const WeekdayBoxes& days)
{
    std::string codes;
    for (std::size_t day = 0; day < days.size(); ++day) {
        if (days[day]) {
            codes += codes.empty() ? "" : ",";
            codes += DayCodes[day];
        }
    }
    return codes;
}

std::optional<WeekdayBoxes> WeekdaysOf(const std::string& text, WeekdayNames names)
{
    WeekdayBoxes days{};
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma - start);
        bool known = false;
        for (std::size_t day = 0; day < days.size(); ++day) {
            if (EqualsIgnoringCase(name, ShortDayNames[day]) ||
                (names == WeekdayNames::ShortOrLong &&
                 EqualsIgnoringCase(name, LongDayNames[day]))) {
                days[day] = true;
                known = true;
            }
        }
        if (!known) {
            return std::nullopt;
        }
        if (comma == std::string::npos) {
            return days;
        }
        start = comma + 1;
    }
}

std::uint8_t DaysOfWeekOf(const std::string& dayCodes)
{
    std::uint8_t mask = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = dayCodes.find(',', start);
        const std::string part = UpperCase(dayCodes.substr(start, comma - start));
        for (std::size_t day = 0; day < DayCodes.size(); ++day) {
            if (part == DayCodes[day]) {
                mask = static_cast<std::uint8_t>(mask | (1u << day));
                break;
            }
        }
        if (comma == std::string::npos) {
            return mask;
        }
        start = comma + 1;
    }
}

std::string JobArguments(const std::string& profile, const std::string& itemFlags,
                         const std::string& password, const std::string& targetFile)
{
    return "sf=" + profile + "xm=" + itemFlags + "ps=" + password + "bf=" + targetFile;
}

std::string JobOptionsText(int keep, const std::string& passwordKey, int differentialDays)
{
    std::string text;
    if (keep > 1) {
        text += "--keep " + std::to_string(keep) + " ";
    }
    if (differentialDays > 0) {
        text += "--differential " + std::to_string(differentialDays) + " ";
    }
    if (!passwordKey.empty()) {
        text += "--password-key " + passwordKey + " ";
    }
    return text;
}

bool CheckScheduleChoices(const ScheduleChoices& choices, Messages& messages)
{
    // With no profile on the machine the job would back up nothing, every time it runs.
    if (choices.profile.empty()) {
        return Refuse(messages, texts::ScheduleNeedsProfile, MessageIcon::Exclamation);
    }
    if (ItemFlagsOf(choices.items).find('1') == std::string::npos) {
        return Refuse(messages, texts::ScheduleNeedsItem, MessageIcon::Exclamation);
    }
    if (choices.targetFile.empty()) {
        return Refuse(messages, texts::ScheduleNeedsTarget, MessageIcon::Exclamation);
    }
    if (choices.protect && choices.password.empty() && choices.retypedPassword.empty()) {
        return Refuse(messages, texts::ScheduleNeedsPassword, MessageIcon::Stop);
    }
    if (choices.protect && choices.password != choices.retypedPassword) {
        return Refuse(messages, texts::ScheduleIncorrectPassword, MessageIcon::Stop);
    }
    // The program reads its arguments back by splitting them at "=": one more would shift the
    // fields, and a weekly run would write an unprotected archive somewhere else.
    if (HoldsEquals(choices.profile) || HoldsEquals(JobPassword(choices)) ||
        HoldsEquals(choices.targetFile)) {
        return Refuse(messages, texts::ScheduleValueWithEquals, MessageIcon::Exclamation);
    }
    return true;
}

std::optional<JobInfo> BuildJobInfo(const ScheduleChoices& choices,
                                    const std::string& programFolder,
                                    const std::string& passwordKey)
{
    const std::optional<std::uint32_t> jobTime = JobTimeOf(choices.startTime);
    if (!jobTime) {
        return std::nullopt;
    }
    JobInfo job;
    if (!choices.onceDate.empty()) {
        const std::optional<CalendarDate> date = CalendarDateOf(choices.onceDate);
        if (!date) {
            return std::nullopt;
        }
        job.OnceYear = date->year;
        job.OnceMonth = date->month;
        job.OnceDay = date->day;
    }
    job.JobTime = *jobTime;
    job.DaysOfMonth = 0;
    job.DaysOfWeek = DaysOfWeekOf(DayCodesOf(choices.days));
    job.Flags = JobRunPeriodically;
    job.Program = JoinPath(programFolder, ScheduledProgramName);
    job.Arguments = JobOptionsText(choices.keep, passwordKey, choices.differentialDays) +
                    JobArguments(choices.profile, ItemFlagsOf(choices.items), std::string(),
                                 choices.targetFile);
    job.Command = "\"" + job.Program + "\" " + job.Arguments;
    return job;
}

}  // namespace kestrel
