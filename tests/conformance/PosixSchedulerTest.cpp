// Linux jobs: the crontab line and the systemd units hand the program exactly the argument
// text, read back the way cron with sh and systemd read them; and both backends against
// stand-ins for crontab and systemctl first on PATH.

#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "backup/UnattendedBackup.h"
#include "platform/posix/ToolRun.h"
#include "scheduler/posix/PosixScheduler.h"
#include "support/ScheduledJobs.h"
#include "support/ScratchFolder.h"

namespace kestrel {
namespace {

using testing::At;
using testing::Job;
using testing::ListedIds;

std::string Output(const std::vector<std::string>& argv)
{
    Result<ToolOutput> output = RunTool(argv);
    if (!output) {
        ADD_FAILURE() << argv[0] << " missing (scripts/install-deps.sh installs it): "
                      << output.error().Describe();
        return {};
    }
    EXPECT_EQ(output->status, 0) << argv[0] << " " << argv.back() << ": " << output->err;
    return output->out + output->err;
}

// The command cron hands to sh: what follows the five time fields, each "\%" made "%" and cut
// at the first other "%".
std::string CronCommandOf(const std::string& entry)
{
    std::string line = entry.substr(entry.find('\n') + 1);
    std::size_t position = 0;
    for (int field = 0; field < 5; ++field) {
        position = line.find(' ', line.find_first_not_of(' ', position));
    }
    line = line.substr(position + 1, line.find('\n') - position - 1);
    std::string command;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            command += line[i + 1] == '%' ? "" : "\\";
            command += line[++i];
        } else if (line[i] == '%') {
            break;
        } else {
            command += line[i];
        }
    }
    return command;
}

// Writes an executable script.
void MakeScript(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), 0700);
}

// Sets an environment variable for the life of the object.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const std::string& value) : name_(name)
    {
        const char* old = std::getenv(name);
        old_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv(name, value.c_str(), 1);
    }
    ~EnvironmentValue() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(PosixSchedulerTexts, WhenAJobRuns)
{
    struct Case {
        JobInfo job;
        std::tm now;
        const char* calendar;
        const char* cronTime;
    };
    JobInfo onDate = Job(6, 15, 0);
    onDate.OnceYear = 2027;
    onDate.OnceMonth = 3;
    onDate.OnceDay = 14;
    const Case cases[] = {
        {Job(9, 30, 0x01 | 0x04), At(2026, 12, 7, 4, 0), "Mon,Wed *-*-* 09:30:00", "30 9 * * 1,3"},
        // Once, on the day chosen (kestrel schedule add --once).
        {onDate, At(2026, 12, 7, 4, 0), "2027-03-14 06:15:00",
         "15 6 14 3 * test \"$(date +\\%Y)\" = 2027 &&"},
        {Job(0, 0, 0x7f), At(2026, 12, 7, 4, 0), "Mon,Tue,Wed,Thu,Fri,Sat,Sun *-*-* 00:00:00",
         "0 0 * * 1,2,3,4,5,6,7"},
        {Job(23, 30, 0x40), At(2026, 12, 7, 4, 0), "Sun *-*-* 23:30:00", "30 23 * * 7"},
        // No weekday: once, at the next time the start time comes round.
        {Job(9, 30, 0), At(2026, 12, 7, 4, 0), "2026-12-07 09:30:00",
         "30 9 7 12 * test \"$(date +\\%Y)\" = 2026 &&"},
        {Job(9, 30, 0), At(2026, 12, 7, 9, 30), "2026-12-08 09:30:00",
         "30 9 8 12 * test \"$(date +\\%Y)\" = 2026 &&"},
        {Job(22, 30, 0), At(2026, 12, 31, 23, 0), "2027-01-01 22:30:00",
         "30 22 1 1 * test \"$(date +\\%Y)\" = 2027 &&"},
        {Job(0, 0, 0), At(2028, 2, 28, 12, 0), "2028-02-29 00:00:00",
         "0 0 29 2 * test \"$(date +\\%Y)\" = 2028 &&"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OnCalendarOf(c.job, c.now), c.calendar);
        Result<std::string> entry = CrontabEntry(1, c.job, "/p", "/r", c.now);
        ASSERT_TRUE(entry);
        const std::string line = entry->substr(entry->find('\n') + 1);
        EXPECT_EQ(line.substr(0, line.find(" KESTREL_HOME")), c.cronTime);
        EXPECT_NE(Output({"systemd-analyze", "calendar", c.calendar}).find("Normalized form"),
                  std::string::npos)
            << c.calendar;
    }
    EXPECT_FALSE(
        CrontabEntry(1, Job(9, 30, 1, "sf=a\nxm=1ps=bf=/b"), "/p", "/r", At(2026, 1, 1, 0, 0)));
}

// The program gets the argument text as one argument, and KESTREL_HOME, from both entries.
TEST(PosixSchedulerTexts, ArgumentTextRoundTrip)
{
    testing::ScratchFolder scratch;
    const std::string dump = scratch.Path("bin/dump args");
    MakeScript(dump, "#!/bin/sh\nprintf '%s\\0' \"$KESTREL_HOME\" \"$@\"\n");
    const std::string root = scratch.Path("home $USER 100% 'x' \\");
    const std::string units = scratch.Folder("config/systemd/user");
    // The user manager's sockets live in the runtime folder: its path must stay short.
    char runtimeName[] = "/tmp/kestrel-runtime-XXXXXX";
    ASSERT_NE(mkdtemp(runtimeName), nullptr);
    const std::string runtime = runtimeName;
    const std::unique_ptr<char, void (*)(char*)> removeRuntime(
        runtimeName, [](char* name) { std::filesystem::remove_all(name); });
    EnvironmentValue runtimeDir("XDG_RUNTIME_DIR", runtime);
    EnvironmentValue configDir("XDG_CONFIG_HOME", scratch.Path("config"));

    const char* texts[] = {
        "sf=Outlook  Mailxm=110000000ps=pa  ssbf=/home/ann/Backups/mail.ksb",
        " sf=Annxm=1ps=bf=/b.ksb  ",
        "sf=Ann's \"main\"xm=1ps='\"bf=C:\\Backups\\a b.ksb",
        "sf=100%xm=1ps=%HOME%%%dbf=/x/a\\%d.ksb",
        "sf=$HOME${x}xm=1ps=$$bf=$(id)`id`;|&.ksb",
        "sf=a\\bxm=1ps=\\\\\\'bf=C:\\Users\\ann\\x.ksb\\",
        "sf=J\u00fcrgens Postfach \u2013 \u65e5\u672cxm=1ps=p\u00e4ss\tbf=/tmp/\u00e9.ksb",
    };
    for (const std::string text : texts) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(ParseUnattendedArguments(text));  // text the program takes
        const JobInfo job = Job(9, 30, 0x01, text);

        Result<std::string> entry = CrontabEntry(1, job, dump, root, At(2026, 12, 7, 4, 0));
        ASSERT_TRUE(entry);
        EXPECT_EQ(Output({"sh", "-c", CronCommandOf(*entry)}), root + '\0' + text + '\0');

        const std::string service = ServiceUnitText(1, job, dump, root);
        scratch.Make("config/systemd/user/kestrel-backup-1.service", service);
        scratch.Make("config/systemd/user/kestrel-backup-1.timer",
                     TimerUnitText(1, job, At(2026, 12, 7, 4, 0)));
        EXPECT_EQ(Output({"systemd-analyze", "--user", "verify",
                          units + "/kestrel-backup-1.service", units + "/kestrel-backup-1.timer"}),
                  "");
        const std::size_t exec = service.find("ExecStart=") + 10;
        const auto words = SystemdExecWords(service.substr(exec, service.find('\n', exec) - exec));
        ASSERT_TRUE(words);
        EXPECT_EQ(*words, (std::vector<std::string>{dump, text}));
    }

    // A job that runs once tests the year before starting the program, so that its entry
    // starts nothing when the day comes round again.
    const std::time_t now = std::time(nullptr);
    std::tm thisYear{};
    localtime_r(&now, &thisYear);
    // From the year's first minute, so that the next 9:30 is still in this year (on 31 December
    // after 9:30 it would be in the next).
    thisYear.tm_mon = 0;
    thisYear.tm_mday = 1;
    thisYear.tm_hour = thisYear.tm_min = 0;
    std::tm lastYear = thisYear;
    --lastYear.tm_year;
    const JobInfo once = Job(9, 30, 0, texts[0]);
    EXPECT_EQ(Output({"sh", "-c", CronCommandOf(*CrontabEntry(1, once, dump, root, thisYear))}),
              root + '\0' + texts[0] + '\0');
    const std::string skipped = CronCommandOf(*CrontabEntry(1, once, dump, root, lastYear));
    EXPECT_EQ(RunTool({"sh", "-c", skipped + "; echo $?"})->out, "1\n");
}

// The backends against stand-ins for crontab and systemctl, first on PATH. The crontab stand-in
// keeps the table in a file; the systemctl one logs its arguments and refuses `refused`.
struct PosixSchedulerBackends : ::testing::Test {
    testing::ScratchFolder scratch;
    EnvironmentValue path{"PATH", scratch.Path("bin") + ":" + std::getenv("PATH")};
    EnvironmentValue config{"XDG_CONFIG_HOME", scratch.Path("config")};
    const std::string program = scratch.Path("kestrelbak");
    PosixScheduler scheduler{program, "/home/ann/kestrel"};

    void FakeCrontab(const std::string& refused = "none")
    {
        const std::string table = "'" + scratch.Path("crontab") + "'";
        MakeScript(scratch.Native("bin/crontab"),
                   "#!/bin/sh\ncase \"$1\" in\n" + refused +
                       ") echo 'crontab: no changes made' >&2; exit 1;;\n"
                       "-l) [ -f " +
                       table +
                       " ] || { echo 'no crontab for ann' >&2; exit 1; }; "
                       "cat " +
                       table + ";;\n-) cat > " + table + ";;\nesac\n");
    }

    void FakeSystemctl(const std::string& refused)
    {
        MakeScript(scratch.Native("bin/systemctl"),
                   "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + scratch.Path("log") +
                       "'\ncase \"$2\" in\n" + refused +
                       ") echo ' Failed to connect to bus: No medium found' >&2; exit 1;;\n"
                       "show) echo 'Mon 2026-12-14 09:30:00 CET';;\n"
                       "list-timers) echo 'NEXT UNIT'; echo 'Mon kestrel-backup-2.timer';;\n"
                       "esac\n");
    }
};

// Both backends keep, list and remove the same jobs; without a systemd user manager the jobs go
// to the crontab, among the lines that are not ours, and the crontab is what the user is shown.
struct PosixSchedulerJobs : PosixSchedulerBackends, ::testing::WithParamInterface<bool> {};

TEST_P(PosixSchedulerJobs, AddsListsAndRemoves)
{
    const bool systemd = GetParam();
    FakeSystemctl(systemd ? "none" : "show-environment");
    FakeCrontab();
    EXPECT_EQ(ListedIds(scheduler), std::vector<std::uint32_t>{});  // no crontab yet
    const std::string others = "MAILTO=ann\n# nightly\n0 3 * * * updatedb \\% 50%\n\n \t\n";
    scratch.Make("crontab", others);

    const std::string arguments = "sf=Annxm=1ps=a%b'c$xbf=/b c.ksb";
    ASSERT_EQ(*scheduler.Add(Job(9, 30, 0x05, arguments)), 1u);
    ASSERT_EQ(*scheduler.Add(Job(21, 0, 0, "sf=Bxm=1ps=bf=/d.ksb")), 2u);
    Result<std::vector<ListedJob>> jobs = scheduler.List();
    ASSERT_TRUE(jobs);
    ASSERT_EQ(jobs->size(), 2u);
    EXPECT_EQ((*jobs)[0].job.Arguments, arguments);
    EXPECT_EQ((*jobs)[0].job.Program, program);
    EXPECT_EQ((*jobs)[0].job.JobTime, 34200000u);
    EXPECT_EQ((*jobs)[0].job.DaysOfWeek, 0x05);
    EXPECT_EQ((*jobs)[0].nextRun, systemd ? "Mon 2026-12-14 09:30:00 CET" : "");
    EXPECT_EQ((*jobs)[1].job.Arguments, "sf=Bxm=1ps=bf=/d.ksb");
    EXPECT_EQ((*jobs)[1].job.JobTime, 75600000u);

    EXPECT_FALSE(scheduler.Remove(1));
    EXPECT_TRUE(scheduler.Remove(1));  // no longer held
    EXPECT_EQ(*scheduler.Add(Job(1, 0, 0x40, "sf=Cxm=1ps=bf=/e.ksb")), 3u);
    EXPECT_EQ(ListedIds(scheduler), (std::vector<std::uint32_t>{2, 3}));
    if (systemd) {
        struct stat status {};
        const std::string service = "config/systemd/user/kestrel-backup-2.service";
        ASSERT_EQ(stat(scratch.Native(service).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        EXPECT_EQ(scratch.List("config/systemd/user"),
                  (std::vector<std::string>{"kestrel-backup-2.service", "kestrel-backup-2.timer",
                                            "kestrel-backup-3.service", "kestrel-backup-3.timer"}));
        const std::string log = scratch.Read("log");
        for (const char* call :
             {"--user enable --now kestrel-backup-1.timer\n",
              "--user disable --now kestrel-backup-1.timer\n", "--user daemon-reload\n"}) {
            EXPECT_NE(log.find(call), std::string::npos) << call;
        }
    } else {
        EXPECT_EQ(scratch.Read("crontab").substr(0, others.size()), others);
    }
    EXPECT_FALSE(scheduler.Remove(3));
    EXPECT_FALSE(scheduler.Remove(2));
    EXPECT_EQ(ListedIds(scheduler), std::vector<std::uint32_t>{});
    EXPECT_EQ(scratch.Read("crontab"), others);
    EXPECT_EQ(*scheduler.ShowJobs(), systemd ? "NEXT UNIT\nMon kestrel-backup-2.timer\n" : others);
    if (systemd) {
        EXPECT_NE(scratch.Read("log").find("--user list-timers --all kestrel-backup-*\n"),
                  std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, PosixSchedulerJobs, ::testing::Bool(),
                         [](const auto& backend) { return backend.param ? "Systemd" : "Crontab"; });

TEST_F(PosixSchedulerBackends, RefusalsCarryTheToolsText)
{
    struct Case {
        const char* systemctlRefuses;
        const char* crontabRefuses;
        const char* text;
    };
    const Case cases[] = {
        {"enable", "none", "Failed to connect to bus: No medium found"},
        {"show-environment", "-", "crontab: no changes made"},
    };
    for (const Case& c : cases) {
        FakeSystemctl(c.systemctlRefuses);
        FakeCrontab(c.crontabRefuses);
        Result<std::uint32_t> added = scheduler.Add(Job(9, 30, 0x01, "sf=Axm=1ps=bf=/b.ksb"));
        ASSERT_FALSE(added);
        EXPECT_EQ(added.error().systemText, c.text);
        EXPECT_EQ(ListedIds(scheduler), std::vector<std::uint32_t>{});
    }
}

}  // namespace
}  // namespace kestrel

#endif
