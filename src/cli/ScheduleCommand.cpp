// kestrel schedule: the jobs of the Task Scheduler window from the command line. `add` makes the
// window's checks and the window's job; `list` and `remove` reach the jobs the window leaves to
// the system's own tools.

#include "cli/ScheduleCommand.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "app/BackupSetup.h"
#include "app/JobListing.h"
#include "app/Policies.h"
#include "app/ScheduleJobAdd.h"
#include "app/Startup.h"
#include "backup/UnattendedBackup.h"
#include "cli/JsonText.h"
#include "cli/PrintedMessages.h"
#include "cli/ToolCommands.h"
#include "outlook/OutlookRunsSetting.h"
#include "registry/RegistryAccess.h"
#include "scheduler/SchedulerTexts.h"

namespace kestrel {
namespace {

constexpr const char* Usage =
    "usage: kestrel schedule add --profile NAME --items FLAGS\n"
    "                            (--days DAYS | --daily | --once YYYY-MM-DD)\n"
    "                            [--time H:MM] --target ARCHIVE.ksb\n"
    "                            [--password-stdin | --password-file FILE] [--keep N]\n"
    "       kestrel schedule list [--json]\n"
    "       kestrel schedule remove ID\n"
    "  add       a weekly backup, checked and made as the Task Scheduler window makes it;\n"
    "            prints \"Task ID has been scheduled.\"\n"
    "  FLAGS     one 0 or 1 per item box, in the order kestrel profiles lists them\n"
    "  DAYS      weekdays joined by commas: mon,tue,wed,thu,fri,sat,sun\n"
    "  --once    the window's one-time job (no weekday), on that day\n"
    "  H:MM      the start time, 0:00 to 23:59 (9:00 when not given)\n"
    "  password  protects the archive; read from the first line of standard input or of\n"
    "            FILE, never from the command line; the job keeps it where only this user\n"
    "            can read it, and its command line names that place\n"
    "  --keep N  keep the last N complete archives (1 to 99), each named\n"
    "            \"NAME YYYY-MM-DD HHMM UTC.ksb\"; 1 (the default) replaces ARCHIVE\n"
    "  ARCHIVE   a Windows path (C:\\..., \\\\server\\share\\...) or a path of this system\n"
    "  list      the jobs this program added, with their next run\n"
    "  remove    removes the job with that id\n"
    "exit status: 0 done, 1 refused or failed, 2 usage error\n";

// Ticks the days a "mon,wed" text names; why it cannot be read, or empty.
std::string TakeDays(const std::string& text, WeekdayBoxes& days)
{
    const std::optional<WeekdayBoxes> named = WeekdaysOf(text, WeekdayNames::ShortOrLong);
    if (!named) {
        return "--days takes weekdays joined by commas (mon,tue,wed,thu,fri,sat,sun), not \"" +
               text + "\"";
    }
    for (std::size_t day = 0; day < days.size(); ++day) {
        days[day] = days[day] || (*named)[day];
    }
    return {};
}

std::optional<std::uint32_t> JobId(const std::string& text)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const auto id = static_cast<std::uint32_t>(std::stoul(text));
    return id == 0 ? std::nullopt : std::optional(id);
}

std::variant<ScheduleOptions, std::string> ParseAdd(const std::vector<std::string>& arguments)
{
    ScheduleOptions options;
    options.action = ScheduleAction::Add;
    bool haveItems = false;
    bool haveTarget = false;
    bool haveDays = false;
    bool daily = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string why;
        if (argument == "--help" || argument == "-h") {
            options.action = ScheduleAction::Help;
            return options;
        }
        if (TakePasswordOption(arguments, i, options.passwordFrom, options.passwordFile, why)) {
            if (!why.empty()) {
                return why;
            }
        } else if (argument == "--daily") {
            daily = true;
        } else if (argument == "--keep") {
            const std::optional<int> keep =
                i + 1 < arguments.size() ? KeepArgument(arguments[++i]) : std::nullopt;
            if (!keep) {
                return "--keep takes a number from 1 to 99";
            }
            options.keep = *keep;
            options.keepGiven = true;
        } else if (argument == "--profile" || argument == "--items" || argument == "--time" ||
                   argument == "--days" || argument == "--target" || argument == "--once") {
            if (i + 1 >= arguments.size()) {
                return argument + " needs a value";
            }
            const std::string& value = arguments[++i];
            if (argument == "--profile") {
                options.profile = value;
            } else if (argument == "--items") {
                options.items = value;
                haveItems = true;
            } else if (argument == "--time") {
                if (!JobTimeOf(value)) {
                    return "--time takes H:MM, 0:00 to 23:59, not \"" + value + "\"";
                }
                options.startTime = value;
                options.timeGiven = true;
            } else if (argument == "--once") {
                if (!CalendarDateOf(value)) {
                    return "--once takes a date YYYY-MM-DD, not \"" + value + "\"";
                }
                options.onceDate = value;
            } else if (argument == "--days") {
                if (std::string problem = TakeDays(value, options.days); !problem.empty()) {
                    return problem;
                }
                haveDays = true;
            } else {
                options.target = value;
                haveTarget = true;
            }
        } else {
            return (argument.size() > 1 && argument[0] == '-' ? "unknown option "
                                                              : "unexpected argument ") +
                   argument;
        }
    }
    if (daily) {
        options.days.fill(true);
    }
    if (options.profile.empty()) {
        return "--profile NAME is missing";
    }
    if (!haveItems) {
        return "--items FLAGS is missing";
    }
    if (std::string why = ItemFlagsFormatProblem(options.items); !why.empty()) {
        return why;
    }
    const int chosen = (haveDays ? 1 : 0) + (daily ? 1 : 0) + (options.onceDate.empty() ? 0 : 1);
    if (chosen != 1) {
        return chosen == 0 ? "--days DAYS, --daily or --once DATE is missing"
                           : "choose one of --days, --daily and --once";
    }
    if (!haveTarget) {
        return "--target ARCHIVE is missing";
    }
    return options;
}

// Whether a one-time job's day and time lie before now (local time).
bool OnceIsPast(const ScheduleOptions& options)
{
    const std::optional<CalendarDate> date = CalendarDateOf(options.onceDate);
    const std::optional<std::uint32_t> jobTime = JobTimeOf(options.startTime);
    if (!date || !jobTime) {
        return false;
    }
    std::tm when{};
    when.tm_year = date->year - 1900;
    when.tm_mon = date->month - 1;
    when.tm_mday = date->day;
    when.tm_min = static_cast<int>(*jobTime / 60000);  // mktime carries the minutes into hours
    when.tm_isdst = -1;
    return std::mktime(&when) <= std::time(nullptr);
}

int Refuse(Messages& messages, const std::string& text)
{
    messages.Show(text, texts::ApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
    return 1;
}

// The administrator's policies decide what the options leave open; an option that asks for
// something else is why nothing is scheduled (empty when it is not).
std::string FollowPolicies(const ScheduleOptions& options, Platform& platform,
                           ScheduleChoices& choices)
{
    const Policies policies = ReadPolicies(*platform.registry, platform.system.get());
    CommandLineChoices asked;
    asked.items = choices.items;
    asked.target = choices.targetFile;
    asked.protect = choices.protect;
    if (options.onceDate.empty()) {
        asked.days = choices.days;
    }
    if (options.timeGiven) {
        asked.time = choices.startTime;
    }
    if (options.keepGiven) {
        asked.keep = choices.keep;
    }
    if (std::string why = PolicyOverride(policies, asked); !why.empty()) {
        return why;
    }
    if (!options.onceDate.empty() && policies.days) {
        return "--once: the days are set by your administrator to " + DayCodesOf(*policies.days);
    }
    choices.startTime = policies.time.value_or(choices.startTime);
    choices.keep = policies.keep.value_or(choices.keep);
    return {};
}

// The system's reason as it gave it, or the whole description when it gave none.
constexpr const char* NoScheduler = "this system offers no scheduler";

int AddJob(const ScheduleOptions& options, const std::optional<std::string>& password,
           Platform& platform, Scheduler* scheduler, Messages& messages, std::string& out)
{
    if (!platform.registry || !platform.fileSystem || !platform.system) {
        return Refuse(messages, "no registry to find the profile in; nothing scheduled");
    }
    // A relative path means the folder the command runs in, not the one the job will run in.
    const std::string target = options.target.empty() ? "" : ArchiveArgumentPath(options.target);
    if (std::string why = HostTargetProblem(target); !why.empty()) {
        return Refuse(messages, why + "; nothing scheduled");
    }
    ScheduleChoices choices;
    choices.profile = options.profile;
    choices.items = BoxesFromFlags(options.items);
    choices.startTime = options.startTime;
    choices.days = options.days;
    choices.targetFile = target;
    choices.protect = options.passwordFrom != PasswordFrom::None;
    choices.password = password.value_or("");
    choices.retypedPassword = choices.password;
    choices.keep = options.keep;
    choices.onceDate = options.onceDate;
    if (std::string why = FollowPolicies(options, platform, choices); !why.empty()) {
        return Refuse(messages, why + "; nothing scheduled");
    }
    if (OnceIsPast(options)) {
        return Refuse(messages, options.onceDate + " " + options.startTime +
                                    " has passed; nothing scheduled");
    }
    // The window's checks come first, as the window makes them before it looks any further.
    if (!CheckScheduleChoices(choices, messages)) {
        return 1;
    }
    AppState state;
    LoadSharedState(state, platform, messages);
    const std::optional<std::string> profile = FindProfile(state, options.profile);
    if (!profile) {
        return Refuse(messages, "no profile named \"" + options.profile + "\" (there are " +
                                    (state.ProfileNames.empty() ? std::string("none")
                                                                : QuotedProfileNames(state)) +
                                    "); nothing scheduled");
    }
    choices.profile = *profile;
    // The job runs the way the options window chose for every unattended run.
    if (platform.registry) {
        RegistryAccess registry(*platform.registry, messages);
        choices.outlookWay = ReadPolicies(*platform.registry, platform.system.get())
                                 .whenOutlookRuns.value_or(ReadUnattendedOutlookWay(registry));
    }
    const std::optional<std::uint32_t> added =
        AddScheduledJob(choices, platform, scheduler, messages);
    if (!added) {
        return 1;
    }
    out += texts::TaskScheduledBefore + std::to_string(*added) + texts::TaskScheduledAfter + "\n";
    return 0;
}

int ListJobs(bool json, Platform& platform, Scheduler* scheduler, Messages& messages,
             std::string& out)
{
    if (!scheduler) {
        return Refuse(messages, "The jobs cannot be listed: " + std::string(NoScheduler) + ".");
    }
    const Result<std::vector<ListedJob>> jobs = scheduler->List();
    if (!jobs) {
        return Refuse(messages, "The jobs cannot be listed: " + jobs.error().Reason());
    }
    const std::vector<std::string> log = ReadBackupLog(platform);
    out += json ? ScheduleJson(*jobs, log) : JobListingTable(*jobs, log);
    return 0;
}

int RemoveJob(std::uint32_t id, Platform& platform, Scheduler* scheduler, Messages& messages,
              std::string& out)
{
    const std::string task = texts::TaskScheduledBefore + std::to_string(id);
    if (!scheduler) {
        return Refuse(messages, task + " cannot be removed: " + NoScheduler + ".");
    }
    // The job's password goes with it; the listing names where it is kept.
    std::string passwordKey;
    if (const Result<std::vector<ListedJob>> jobs = scheduler->List()) {
        for (const ListedJob& listed : *jobs) {
            const auto arguments = ParseUnattendedArguments(listed.job.Arguments);
            if (listed.id == id && arguments) {
                passwordKey = arguments->passwordKey;
            }
        }
    }
    if (const std::optional<Error> failure = scheduler->Remove(id)) {
        return Refuse(messages, task + " cannot be removed: " + failure->Reason());
    }
    if (!passwordKey.empty() && platform.secrets) {
        platform.secrets->Remove(passwordKey);
    }
    out += task + " has been removed.\n";
    return 0;
}

}  // namespace

std::variant<ScheduleOptions, std::string> ParseScheduleOptions(
    const std::vector<std::string>& arguments)
{
    ScheduleOptions options;
    const std::string action = arguments.empty() ? "" : arguments.front();
    if (action == "--help" || action == "-h" || action == "help") {
        return options;
    }
    if (action == "add") {
        return ParseAdd(arguments);
    }
    if (action == "list") {
        options.action = ScheduleAction::List;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] != "--json") {
                return "list takes only --json, not " + arguments[i];
            }
            options.json = true;
        }
        return options;
    }
    if (action == "remove") {
        options.action = ScheduleAction::Remove;
        const std::optional<std::uint32_t> id =
            arguments.size() == 2 ? JobId(arguments[1]) : std::nullopt;
        if (!id) {
            return "remove takes one job id, a number as list shows it";
        }
        options.id = *id;
        return options;
    }
    return action.empty() ? std::string("add, list or remove is missing")
                          : "unknown action " + action + " (add, list or remove)";
}

int RunSchedule(const ScheduleOptions& options, const std::optional<std::string>& password,
                Platform& platform, Scheduler* scheduler, Messages& messages, std::string& out)
{
    switch (options.action) {
        case ScheduleAction::Add:
            return AddJob(options, password, platform, scheduler, messages, out);
        case ScheduleAction::List:
            return ListJobs(options.json, platform, scheduler, messages, out);
        case ScheduleAction::Remove:
            return RemoveJob(options.id, platform, scheduler, messages, out);
        case ScheduleAction::Help:
            break;
    }
    out += Usage;
    return 0;
}

std::string ScheduleJson(const std::vector<ListedJob>& jobs,
                         const std::vector<std::string>& logLines)
{
    std::string json = "[";
    for (const ListedJob& listed : jobs) {
        const JobFields fields = JobFieldsOf(listed, logLines);
        std::string days;
        for (const std::string& day : fields.days) {
            days += (days.empty() ? "" : ",") + JsonString(day);
        }
        const std::optional<LoggedRun>& run = fields.lastRun;
        const std::string lastRun = run ? "{\"time\": " + JsonString(run->time) +
                                              ", \"status\": " + std::to_string(run->status) +
                                              ", \"result\": " + JsonString(run->result) +
                                              ", \"archive\": " + JsonString(run->archive) + "}"
                                        : std::string("null");
        json += std::string(json.size() > 1 ? "," : "") + "\n  {\"id\": " + fields.id +
                ", \"readable\": " + (fields.readable ? "true" : "false") +
                ", \"profile\": " + JsonString(fields.profile) +
                ", \"items\": " + JsonString(fields.items) +
                ", \"protected\": " + (fields.protect ? "true" : "false") +
                ", \"keep\": " + std::to_string(fields.keep) + ", \"days\": [" + days +
                "], \"time\": " + JsonString(fields.time) +
                ", \"nextRun\": " + JsonString(fields.nextRun) +
                ", \"catchesUp\": " + (listed.catchesUp ? "true" : "false") +
                ", \"archive\": " + JsonString(fields.target) + ", \"lastRun\": " + lastRun + "}";
    }
    return json + (jobs.empty() ? "]\n" : "\n]\n");
}

int RunScheduleCommand(const std::vector<std::string>& arguments, Platform& platform,
                       Scheduler* scheduler)
{
    const auto parsed = ParseScheduleOptions(arguments);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "kestrel schedule: %s\n", why->c_str());
        std::fputs(Usage, stderr);
        return 2;
    }
    const ScheduleOptions& options = std::get<ScheduleOptions>(parsed);
    std::optional<std::string> password;
    if (options.action == ScheduleAction::Add && options.passwordFrom != PasswordFrom::None) {
        std::string why;
        password = ReadPassword(options.passwordFrom, options.passwordFile, platform, why);
        if (!password) {
            std::fprintf(stderr, "kestrel schedule: cannot read the password: %s\n", why.c_str());
            return 1;
        }
    }
    PrintedMessages messages;
    std::string out;
    const int status = RunSchedule(options, password, platform, scheduler, messages, out);
    std::fputs(out.c_str(), stdout);
    return status;
}

}  // namespace kestrel
