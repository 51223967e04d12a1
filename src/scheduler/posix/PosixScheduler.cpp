#include "scheduler/posix/PosixScheduler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <system_error>

#include "platform/posix/ToolRun.h"

namespace kestrel {
namespace {

constexpr std::uint32_t MillisecondsPerMinute = 60 * 1000;
constexpr const char* JobMark = "# kestrel-job ";
constexpr const char* UnitPrefix = "kestrel-backup-";
constexpr std::array<const char*, 7> DayNames{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

std::string TwoDigits(int value)
{
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
           static_cast<char>('0' + value % 10);
}

int HourOf(const JobInfo& job)
{
    return static_cast<int>(job.JobTime / MillisecondsPerMinute / 60 % 24);
}

int MinuteOf(const JobInfo& job)
{
    return static_cast<int>(job.JobTime / MillisecondsPerMinute % 60);
}

// The day (year, month, day of month) on which a job without weekdays runs: its Once date, or
// the day its time of day next comes round.
std::tm NextDay(const JobInfo& job, const std::tm& now)
{
    std::tm day{};
    day.tm_year = now.tm_year;
    day.tm_mon = now.tm_mon;
    day.tm_mday = now.tm_mday;
    if (job.OnceYear != 0) {
        day.tm_year = job.OnceYear - 1900;
        day.tm_mon = job.OnceMonth - 1;
        day.tm_mday = job.OnceDay;
    } else if (HourOf(job) * 60 + MinuteOf(job) <= now.tm_hour * 60 + now.tm_min) {
        ++day.tm_mday;
    }
    day.tm_hour = 12;
    timegm(&day);  // carries a day past the month's end into the next month and year
    return day;
}

std::tm LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// "# kestrel-job 3 time=34200000 days=5 flags=1": the record's fields that the entry's own
// text does not say plainly.
std::string MarkLine(std::uint32_t id, const JobInfo& job)
{
    return JobMark + std::to_string(id) + " time=" + std::to_string(job.JobTime) +
           " days=" + std::to_string(job.DaysOfWeek) + " flags=" + std::to_string(job.Flags) + "\n";
}

std::optional<std::uint32_t> Number(const std::string& text)
{
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(text));
}

// The id and fields of a mark line; nothing for any other line.
std::optional<std::pair<std::uint32_t, JobInfo>> ParseMark(const std::string& line)
{
    if (line.rfind(JobMark, 0) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> words;
    std::string word;
    for (char c : line.substr(std::string(JobMark).size()) + " ") {
        if (c == ' ' || c == '\n' || c == '\r') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    const std::optional<std::uint32_t> id = words.empty() ? std::nullopt : Number(words[0]);
    if (!id) {
        return std::nullopt;
    }
    JobInfo job;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::size_t equals = words[i].find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::uint32_t value = Number(words[i].substr(equals + 1)).value_or(0);
        const std::string name = words[i].substr(0, equals);
        if (name == "time") {
            job.JobTime = value;
        } else if (name == "days") {
            job.DaysOfWeek = static_cast<std::uint8_t>(value);
        } else if (name == "flags") {
            job.Flags = static_cast<std::uint8_t>(value);
        }
    }
    return std::make_pair(*id, job);
}

void SetCommand(JobInfo& job, const std::string& program, const std::string& arguments)
{
    job.Program = program;
    job.Arguments = arguments;
    job.Command = "\"" + program + "\" " + arguments;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

std::string WithoutLineBreak(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

Result<ToolOutput> RunChecked(const std::vector<std::string>& argv, const std::string& input = "")
{
    Result<ToolOutput> output = RunTool(argv, input);
    if (output && output->status != 0) {
        return ToolRefusal(argv, *output);
    }
    return output;
}

Error NoSuchJob(std::uint32_t id)
{
    return {"remove", "job " + std::to_string(id), 0, "the scheduler holds no such job of ours"};
}

// --- systemd -------------------------------------------------------------------------------

std::filesystem::path UnitFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config) {
        return std::filesystem::path(config) / "systemd" / "user";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / ".config" / "systemd" / "user";
}

std::string UnitName(std::uint32_t id, const char* kind)
{
    return UnitPrefix + std::to_string(id) + kind;
}

std::vector<std::uint32_t> TimerIds(const std::filesystem::path& folder)
{
    std::vector<std::uint32_t> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        for (const char* kind : {".timer", ".service"}) {
            const std::string suffix = kind;
            if (name.rfind(UnitPrefix, 0) == 0 && name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                const std::size_t start = std::string(UnitPrefix).size();
                if (auto id = Number(name.substr(start, name.size() - suffix.size() - start))) {
                    ids.push_back(*id);
                }
            }
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

// Writes a file only its owner can read: the argument text holds the archive's password.
std::optional<Error> WritePrivate(const std::filesystem::path& path, const std::string& text)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) {
        return SystemError("create", path.string(), errno);
    }
    std::optional<Error> failure;
    if (fchmod(file, 0600) != 0) {
        failure = SystemError("protect", path.string(), errno);
    }
    std::size_t written = 0;
    while (!failure && written < text.size()) {
        const ssize_t count = write(file, text.data() + written, text.size() - written);
        if (count < 0 && errno != EINTR) {
            failure = SystemError("write", path.string(), errno);
        } else if (count > 0) {
            written += static_cast<std::size_t>(count);
        }
    }
    if (close(file) != 0 && !failure) {
        failure = SystemError("write", path.string(), errno);
    }
    return failure;
}

std::string ReadText(const std::filesystem::path& path)
{
    std::string text;
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return text;
    }
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(file, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    close(file);
    return text;
}

bool SystemdAnswers()
{
    Result<ToolOutput> output = RunTool({"systemctl", "--user", "show-environment"});
    return output && output->status == 0;
}

std::optional<Error> Systemctl(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {"systemctl", "--user"});
    Result<ToolOutput> output = RunChecked(arguments);
    return output ? std::nullopt : std::optional<Error>(output.error());
}

void RemoveUnits(const std::filesystem::path& folder, std::uint32_t id)
{
    std::error_code error;
    std::filesystem::remove(folder / UnitName(id, ".timer"), error);
    std::filesystem::remove(folder / UnitName(id, ".service"), error);
}

Result<std::uint32_t> AddTimer(const JobInfo& job, const std::string& program,
                               const std::string& root)
{
    const std::filesystem::path folder = UnitFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return SystemError("create", folder.string(), error.value());
    }
    const std::vector<std::uint32_t> ids = TimerIds(folder);
    const std::uint32_t id = ids.empty() ? 1 : ids.back() + 1;
    std::optional<Error> failure =
        WritePrivate(folder / UnitName(id, ".service"), ServiceUnitText(id, job, program, root));
    if (!failure) {
        failure = WritePrivate(folder / UnitName(id, ".timer"), TimerUnitText(id, job, LocalNow()));
    }
    if (!failure) {
        failure = Systemctl({"daemon-reload"});
    }
    if (!failure) {
        failure = Systemctl({"enable", "--now", UnitName(id, ".timer")});
    }
    if (failure) {
        RemoveUnits(folder, id);
        Systemctl({"daemon-reload"});
        return *failure;
    }
    return id;
}

Result<std::vector<ListedJob>> ListTimers()
{
    const std::filesystem::path folder = UnitFolder();
    std::vector<ListedJob> jobs;
    for (std::uint32_t id : TimerIds(folder)) {
        ListedJob listed;
        listed.id = id;
        for (const std::string& line : Lines(ReadText(folder / UnitName(id, ".service")))) {
            const std::string text = WithoutLineBreak(line);
            if (auto mark = ParseMark(text)) {
                const JobInfo command = listed.job;
                listed.job = mark->second;
                SetCommand(listed.job, command.Program, command.Arguments);
            } else if (text.rfind("ExecStart=", 0) == 0) {
                auto words = SystemdExecWords(text.substr(std::string("ExecStart=").size()));
                if (words && !words->empty()) {
                    SetCommand(listed.job, words->front(), words->size() > 1 ? (*words)[1] : "");
                }
            }
        }
        Result<ToolOutput> next = RunTool({"systemctl", "--user", "show", "--value", "-p",
                                           "NextElapseUSecRealtime", UnitName(id, ".timer")});
        if (next && next->status == 0) {
            listed.nextRun = WithoutLineBreak(next->out);
        }
        jobs.push_back(std::move(listed));
    }
    return jobs;
}

std::optional<Error> RemoveTimer(std::uint32_t id)
{
    const std::filesystem::path folder = UnitFolder();
    const std::vector<std::uint32_t> ids = TimerIds(folder);
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
        return NoSuchJob(id);
    }
    if (auto failure = Systemctl({"disable", "--now", UnitName(id, ".timer")})) {
        return failure;
    }
    RemoveUnits(folder, id);
    return Systemctl({"daemon-reload"});
}

// --- crontab -------------------------------------------------------------------------------

// The user's crontab as it is; empty when the user has none.
Result<std::string> ReadCrontab()
{
    const std::vector<std::string> argv{"crontab", "-l"};
    Result<ToolOutput> output = RunTool(argv);
    if (!output) {
        return output.error();
    }
    if (output->status == 0) {
        return output->out;
    }
    if (output->err.find("no crontab") != std::string::npos) {
        return std::string();
    }
    return ToolRefusal(argv, *output);
}

std::optional<Error> WriteCrontab(const std::string& text)
{
    Result<ToolOutput> output = RunChecked({"crontab", "-"}, text);
    return output ? std::nullopt : std::optional<Error>(output.error());
}

// The words sh makes of a command that uses only quotes and backslashes, after cron has
// dropped the backslash of each "\%".
std::vector<std::string> CronCommandWords(const std::string& command)
{
    std::string text;
    for (std::size_t i = 0; i < command.size(); ++i) {
        if (command[i] == '\\' && i + 1 < command.size()) {
            if (command[i + 1] != '%') {
                text += command[i];
            }
            text += command[++i];
        } else {
            text += command[i];
        }
    }
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            word += text.substr(i + 1, end - i - 1);
            i = end == std::string::npos ? text.size() : end;
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// The command of a crontab line: what follows its five time fields.
std::string CronCommand(const std::string& line)
{
    std::size_t position = 0;
    for (int field = 0; field < 5; ++field) {
        position = line.find_first_not_of(" \t", position);
        position = line.find_first_of(" \t", position);
        if (position == std::string::npos) {
            return {};
        }
    }
    const std::size_t start = line.find_first_not_of(" \t", position);
    return start == std::string::npos ? std::string() : line.substr(start);
}

struct CronJob {
    ListedJob listed;
    std::size_t markLine = 0;
};

std::vector<CronJob> CronJobs(const std::vector<std::string>& lines)
{
    std::vector<CronJob> jobs;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto mark = ParseMark(WithoutLineBreak(lines[i]));
        if (!mark) {
            continue;
        }
        CronJob job{{mark->first, mark->second, "", false}, i};
        if (i + 1 < lines.size()) {
            std::vector<std::string> words =
                CronCommandWords(CronCommand(WithoutLineBreak(lines[i + 1])));
            const auto guard = std::find(words.begin(), words.end(), "&&");
            if (guard != words.end()) {
                words.erase(words.begin(), guard + 1);  // a job that runs once: its year test
            }
            if (!words.empty() && words.front().rfind("KESTREL_HOME=", 0) == 0) {
                words.erase(words.begin());
            }
            if (!words.empty()) {
                SetCommand(job.listed.job, words.front(), words.size() > 1 ? words[1] : "");
            }
        }
        jobs.push_back(std::move(job));
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const CronJob& a, const CronJob& b) { return a.listed.id < b.listed.id; });
    return jobs;
}

Result<std::uint32_t> AddCronJob(const JobInfo& job, const std::string& program,
                                 const std::string& root)
{
    Result<std::string> crontab = ReadCrontab();
    if (!crontab) {
        return crontab.error();
    }
    const std::vector<CronJob> jobs = CronJobs(Lines(*crontab));
    const std::uint32_t id = jobs.empty() ? 1 : jobs.back().listed.id + 1;
    Result<std::string> entry = CrontabEntry(id, job, program, root, LocalNow());
    if (!entry) {
        return entry.error();
    }
    std::string text = *crontab;
    if (!text.empty() && text.back() != '\n') {
        text += '\n';  // cron ignores a last line without its line break
    }
    if (auto failure = WriteCrontab(text + *entry)) {
        return *failure;
    }
    return id;
}

Result<std::vector<ListedJob>> ListCronJobs()
{
    Result<std::string> crontab = ReadCrontab();
    if (!crontab) {
        return crontab.error();
    }
    std::vector<ListedJob> listed;
    for (CronJob& job : CronJobs(Lines(*crontab))) {
        listed.push_back(std::move(job.listed));
    }
    return listed;
}

std::optional<Error> RemoveCronJob(std::uint32_t id)
{
    Result<std::string> crontab = ReadCrontab();
    if (!crontab) {
        return crontab.error();
    }
    std::vector<std::string> lines = Lines(*crontab);
    for (const CronJob& job : CronJobs(lines)) {
        if (job.listed.id != id) {
            continue;
        }
        const std::size_t end = std::min(lines.size(), job.markLine + 2);
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(job.markLine),
                    lines.begin() + static_cast<std::ptrdiff_t>(end));
        std::string text;
        for (const std::string& line : lines) {
            text += line;
        }
        return WriteCrontab(text);
    }
    return NoSuchJob(id);
}

}  // namespace

PosixScheduler::PosixScheduler(std::filesystem::path program, std::filesystem::path root)
    : program_(program.string()), root_(root.string())
{
}

Result<std::uint32_t> PosixScheduler::Add(const JobInfo& job)
{
    return SystemdAnswers() ? AddTimer(job, program_, root_) : AddCronJob(job, program_, root_);
}

Result<std::vector<ListedJob>> PosixScheduler::List()
{
    return SystemdAnswers() ? ListTimers() : ListCronJobs();
}

std::optional<Error> PosixScheduler::Remove(std::uint32_t id)
{
    return SystemdAnswers() ? RemoveTimer(id) : RemoveCronJob(id);
}

Result<std::string> PosixScheduler::ShowJobs()
{
    if (!SystemdAnswers()) {
        return ReadCrontab();
    }
    Result<ToolOutput> output =
        RunChecked({"systemctl", "--user", "list-timers", "--all", "kestrel-backup-*"});
    if (!output) {
        return output.error();
    }
    return output->out;
}

std::filesystem::path OwnKestrelBak()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return self.parent_path() / "kestrelbak";
}

std::string SystemdQuoted(const std::string& text, bool expandsVariables)
{
    static const char* hex = "0123456789abcdef";
    std::string quoted = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (c == '%') {
            quoted += "%%";
        } else if (c == '$' && expandsVariables) {
            quoted += "$$";
        } else if (byte < 0x20 || byte == 0x7f) {
            quoted += "\\x";
            quoted += hex[byte >> 4];
            quoted += hex[byte & 0x0f];
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::optional<std::vector<std::string>> SystemdExecWords(const std::string& value)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '%' || c == '$') {
            if (i + 1 >= value.size() || value[i + 1] != c) {
                return std::nullopt;  // a specifier or a variable: not a text of ours
            }
            word += c;
            ++i;
            inWord = true;
        } else if (c == '\\') {
            if (++i >= value.size()) {
                return std::nullopt;
            }
            static const std::map<char, char> simple{
                {'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                {'v', '\v'}, {'\\', '\\'}, {'"', '"'},  {'\'', '\''}, {' ', ' '},  {'s', ' '}};
            if (auto found = simple.find(value[i]); found != simple.end()) {
                word += found->second;
            } else if (value[i] == 'x' && i + 2 < value.size() && hexDigit(value[i + 1]) >= 0 &&
                       hexDigit(value[i + 2]) >= 0) {
                word += static_cast<char>(hexDigit(value[i + 1]) * 16 + hexDigit(value[i + 2]));
                i += 2;
            } else {
                return std::nullopt;
            }
            inWord = true;
        } else if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) {
        return std::nullopt;
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::string OnCalendarOf(const JobInfo& job, const std::tm& now)
{
    const std::string time = TwoDigits(HourOf(job)) + ":" + TwoDigits(MinuteOf(job)) + ":00";
    if (job.DaysOfWeek == 0) {
        const std::tm day = NextDay(job, now);
        return std::to_string(day.tm_year + 1900) + "-" + TwoDigits(day.tm_mon + 1) + "-" +
               TwoDigits(day.tm_mday) + " " + time;
    }
    std::string days;
    for (std::size_t day = 0; day < DayNames.size(); ++day) {
        if (job.DaysOfWeek & (1u << day)) {
            days += (days.empty() ? "" : ",") + std::string(DayNames[day]);
        }
    }
    return days + " *-*-* " + time;
}

std::string TimerUnitText(std::uint32_t id, const JobInfo& job, const std::tm& now)
{
    return MarkLine(id, job) + "[Unit]\nDescription=Kestrel backup " + std::to_string(id) +
           "\n\n[Timer]\nOnCalendar=" + OnCalendarOf(job, now) +
           "\n# A run missed while the machine was off happens when it next starts.\n"
           "Persistent=true\n\n[Install]\nWantedBy=timers.target\n";
}

std::string ServiceUnitText(std::uint32_t id, const JobInfo& job, const std::string& program,
                            const std::string& root)
{
    return MarkLine(id, job) + "[Unit]\nDescription=Kestrel backup " + std::to_string(id) +
           "\n\n[Service]\nType=oneshot\nEnvironment=" +
           SystemdQuoted("KESTREL_HOME=" + root, false) +
           "\nExecStart=" + SystemdQuoted(program, true) + " " +
           SystemdQuoted(job.Arguments, true) + "\n";
}

std::string CronQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else if (c == '%') {
            quoted += "\\%";
        } else if (c == '\\') {
            // Cron takes a backslash as escaping the character after it: a quote that sh
            // removes keeps it off a following "\%".
            quoted += "\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

Result<std::string> CrontabEntry(std::uint32_t id, const JobInfo& job, const std::string& program,
                                 const std::string& root, const std::tm& now)
{
    for (const std::string* text : {&job.Arguments, &program, &root}) {
        if (text->find_first_of("\r\n") != std::string::npos) {
            return Error{"schedule", "crontab", 0,
                         "a crontab line cannot hold a line break of the command"};
        }
    }
    std::string when = std::to_string(MinuteOf(job)) + " " + std::to_string(HourOf(job));
    if (job.DaysOfWeek == 0) {
        const std::tm day = NextDay(job, now);
        // Cron has no year: the entry would come round again a year later. The test lets it
        // run in its own year only.
        when += " " + std::to_string(day.tm_mday) + " " + std::to_string(day.tm_mon + 1) +
                " * test \"$(date +\\%Y)\" = " + std::to_string(day.tm_year + 1900) + " &&";
    } else {
        std::string days;
        for (int day = 0; day < 7; ++day) {
            if (job.DaysOfWeek & (1u << day)) {
                days += (days.empty() ? "" : ",") + std::to_string(day + 1);  // 7 is Sunday
            }
        }
        when += " * * " + days;
    }
    return MarkLine(id, job) + when + " KESTREL_HOME=" + CronQuoted(root) + " " +
           CronQuoted(program) + " " + CronQuoted(job.Arguments) + "\n";
}

}  // namespace kestrel
