#include "cli/ScheduleCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/PolicyFixture.h"
#include "outlook/OutlookRunsSetting.h"
#include "support/FakePlatform.h"
#include "support/SampleMachineFixture.h"
#include "support/ScheduledJobs.h"

namespace kestrel {
namespace {

using Arguments = std::vector<std::string>;

// Keeps what it is given; ids count up from 1 and are never given twice.
struct FakeScheduler final : Scheduler {
    std::vector<ListedJob> jobs;
    std::uint32_t lastId = 0;
    std::string refusal;  // empty: every call is taken

    Result<std::uint32_t> Add(const JobInfo& job) override
    {
        if (!refusal.empty()) {
            return Error{"add", "job", 0, refusal};
        }
        jobs.push_back({++lastId, job, ""});
        return lastId;
    }
    Result<std::vector<ListedJob>> List() override
    {
        if (!refusal.empty()) {
            return Error{"list", "jobs", 0, refusal};
        }
        return jobs;
    }
    std::optional<Error> Remove(std::uint32_t id) override
    {
        const auto found = std::find_if(jobs.begin(), jobs.end(),
                                        [&](const ListedJob& job) { return job.id == id; });
        if (found == jobs.end()) {
            return Error{"remove", "job " + std::to_string(id), 0,
                         "the scheduler holds no such job of ours"};
        }
        jobs.erase(found);
        return std::nullopt;
    }
    Result<std::string> ShowJobs() override { return std::string(); }
};

ScheduleOptions Parsed(const Arguments& arguments)
{
    const auto parsed = ParseScheduleOptions(arguments);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        ADD_FAILURE() << *why;
        return {};
    }
    return std::get<ScheduleOptions>(parsed);
}

TEST(ScheduleCommand, RefusesWhatCannotBeRunAndSaysWhy)
{
    const Arguments add{"add", "--profile", "Outlook", "--items", "1", "--target", "C:\\a.ksb"};
    auto with = [&](Arguments more) {
        Arguments arguments = add;
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    const std::pair<Arguments, const char*> cases[] = {
        {{}, "add, list or remove is missing"},
        {add, "--days DAYS, --daily or --once DATE is missing"},
        {with({"--daily", "--days", "mon"}), "choose one of --days, --daily and --once"},
        {with({"--once", "2031-02-03", "--days", "mon"}),
         "choose one of --days, --daily and --once"},
        {with({"--once", "2031-02-29"}), "--once takes a date YYYY-MM-DD, not \"2031-02-29\""},
        {with({"--once", "3.2.2031"}), "--once takes a date YYYY-MM-DD, not \"3.2.2031\""},
        {with({"--days", "mon,fri,", "--daily"}),
         "--days takes weekdays joined by commas (mon,tue,wed,thu,fri,sat,sun), not \"mon,fri,\""},
        {with({"--daily", "--time", "24:00"}), "--time takes H:MM, 0:00 to 23:59, not \"24:00\""},
        {with({"--daily", "--items", "2"}),
         "--items takes 1 to 9 characters, each 0 or 1, not \"2\""},
        {with({"--daily", "extra.ksb"}), "unexpected argument extra.ksb"},
        {with({"--daily", "--keep", "100"}), "--keep takes a number from 1 to 99"},
        {with({"--daily", "--keep"}), "--keep takes a number from 1 to 99"},
        {{"add", "--profile", "Outlook", "--items", "1", "--daily"}, "--target ARCHIVE is missing"},
        {{"list", "--all"}, "list takes only --json, not --all"},
        {{"remove", "0"}, "remove takes one job id, a number as list shows it"},
        {{"remove", "2", "3"}, "remove takes one job id, a number as list shows it"},
    };
    for (const auto& [arguments, why] : cases) {
        const auto parsed = ParseScheduleOptions(arguments);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << why;
        EXPECT_EQ(why, std::get<std::string>(parsed));
    }
}

// The add of the options window over the Outlook 2003 sample, whose profiles are "Outlook" and
// "Personal", against a scheduler that keeps its jobs in memory.
class ScheduleCommandTest : public testing::Outlook2003Machine {
protected:
    void SetUp() override { Outlook2003Machine::SetUp(); }
    // The exit status; the output goes to `out`, the messages to `shown`, one a line.
    int Run(const Arguments& arguments, const std::optional<std::string>& password = {})
    {
        RecordedMessages messages;
        out.clear();
        const int status =
            RunSchedule(Parsed(arguments), password, fake.platform, inUse, messages, out);
        shown = messages.shown;
        return status;
    }

    struct RecordedMessages final : Messages {
        std::string shown;
        MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon,
                           MessageButtons) override
        {
            EXPECT_EQ("Kestrel", caption);
            shown += text + "\n";
            return MessageAnswer::Ok;
        }
    };

    std::unique_ptr<FakeScheduler> ownedScheduler = std::make_unique<FakeScheduler>();
    FakeScheduler* scheduler = ownedScheduler.get();
    // What the command is given: null for a system that offers no scheduler.
    Scheduler* inUse = scheduler;
    std::string out;
    std::string shown;
};

TEST_F(ScheduleCommandTest, AddMakesTheWindowsChecksInItsOrder)
{
    struct Case {
        Arguments arguments;
        std::optional<std::string> password;
        const char* shown;
    };
    const Case cases[] = {
        {{"--items", "000000000", "--profile", "Nobody=1", "--target", ""},
         {},
         "Please select at least one item.\n"},
        {{"--items", "1", "--profile", "Outlook", "--password-stdin"},
         "",
         "Please enter Password!\n"},
        {{"--items", "1", "--profile", "Nobody=1"},
         {},
         "Profile, password and backup file must not contain \"=\".\n"},
        {{"--items", "1", "--profile", "Nobody"},
         {},
         "no profile named \"Nobody\" (there are \"Outlook\", \"Personal\"); nothing scheduled\n"},
    };
    for (const Case& c : cases) {
        Arguments arguments{"add", "--daily", "--target", "C:\\Backups\\mail.ksb"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(1, Run(arguments, c.password)) << c.shown;
        EXPECT_EQ(c.shown, shown);
        EXPECT_EQ("", out);
    }
    EXPECT_TRUE(scheduler->jobs.empty());
}

TEST_F(ScheduleCommandTest, EachAddIsANewJobOfTheWindowsKind)
{
    ASSERT_EQ(0,
              Run({"add", "--profile", "personal", "--items", "11", "--days", "Mon,wed,FRIDAY",
                   "--time", "23:30", "--target", "C:\\Backups\\a b.ksb", "--password-file", "pw"},
                  "pa ss"));
    EXPECT_EQ("Task 1 has been scheduled.\n", out);
    ASSERT_EQ(0, Run({"add", "--profile", "Outlook", "--items", "000000001", "--daily", "--target",
                      "\\\\srv\\share\\c.ksb", "--keep", "7"}));
    EXPECT_EQ("Task 2 has been scheduled.\n", out);
    EXPECT_EQ("", shown);

    ASSERT_EQ(2u, scheduler->jobs.size());
    const JobInfo& first = scheduler->jobs[0].job;
    EXPECT_EQ(84600000u, first.JobTime);
    EXPECT_EQ(0x15, first.DaysOfWeek);
    EXPECT_EQ(JobRunPeriodically, first.Flags);
    // The password is kept as a secret of the user; the command line only names it.
    EXPECT_EQ("--password-key job-1 sf=Personalxm=110000000ps=bf=C:\\Backups\\a b.ksb",
              first.Arguments);
    EXPECT_EQ((std::map<std::string, std::string>{{"job-1", "pa ss"}}), fake.secrets.kept);
    EXPECT_EQ("\"C:\\Program Files\\Kestrel\\kestrelbak.exe\" " + first.Arguments, first.Command);
    EXPECT_EQ(32400000u, scheduler->jobs[1].job.JobTime);
    EXPECT_EQ("--keep 7 sf=Outlookxm=000000001ps=bf=\\\\srv\\share\\c.ksb",
              scheduler->jobs[1].job.Arguments);

    // The window's one-time job, on a chosen day; a day gone by is refused.
    ASSERT_EQ(0, Run({"add", "--profile", "Outlook", "--items", "1", "--once", "2032-02-29",
                      "--time", "6:15", "--target", "C:\\once.ksb"}));
    const JobInfo& once = scheduler->jobs[2].job;
    EXPECT_EQ(0, once.DaysOfWeek);
    EXPECT_EQ(2032 * 10000 + 2 * 100 + 29,
              once.OnceYear * 10000 + once.OnceMonth * 100 + once.OnceDay);
    EXPECT_EQ(22500000u, once.JobTime);
    EXPECT_EQ(1, Run({"add", "--profile", "Outlook", "--items", "1", "--once", "2020-01-01",
                      "--target", "C:\\once.ksb"}));
    EXPECT_EQ("2020-01-01 9:00 has passed; nothing scheduled\n", shown);
    // Where a path of this system starts with "/", one that holds a backslash is refused when
    // the job is made, not weeks later when it runs.
    if (ArchiveArgumentPath("/srv").front() == '/') {
        EXPECT_EQ(1, Run({"add", "--profile", "Outlook", "--items", "1", "--daily", "--target",
                          "/srv/back\\ups.ksb"}));
        EXPECT_EQ(
            "the archive /srv/back\\ups.ksb holds a \"\\\", which the program reads as a "
            "folder separator as Windows does, so no archive can be written there; nothing "
            "scheduled\n",
            shown);
    }
    EXPECT_EQ(3u, scheduler->jobs.size());

    scheduler->refusal = "Access is denied.";
    EXPECT_EQ(1, Run({"add", "--profile", "Outlook", "--items", "1", "--daily", "--target",
                      "C:\\c.ksb", "--password-stdin"},
                     "pw"));
    EXPECT_EQ("The task could not be scheduled: Access is denied.\n", shown);
    EXPECT_EQ(1u, fake.secrets.kept.size());  // the refused job's password is gone again
    inUse = nullptr;
    EXPECT_EQ(1, Run({"add", "--profile", "Outlook", "--items", "1", "--daily", "--target",
                      "C:\\c.ksb"}));
    EXPECT_EQ("The task could not be scheduled: this system offers no scheduler to add it to.\n",
              shown);
}

// An option the administrator's policy sets to another value is refused, naming the value; what
// the options leave open, the policy fills in.
TEST_F(ScheduleCommandTest, AddRefusesToOverrideAPolicy)
{
    testing::PolicyKeys policies(*fake.platform.registry);
    policies.Text(reg::HkeyLocalMachine, "Target", "\\\\srv\\b\\ann.ksb");
    policies.Text(reg::HkeyLocalMachine, "Days", "mon,fri");
    policies.Text(reg::HkeyLocalMachine, "Time", "07:15");
    policies.Number(reg::HkeyLocalMachine, "Keep", 3);
    policies.Number(reg::HkeyCurrentUser, "PasswordRequired", 1);
    const Arguments allowed{
        "add",      "--profile",           "Outlook",         "--items", "1", "--days", "fri,mon",
        "--target", "\\\\SRV\\b\\ann.ksb", "--password-stdin"};
    struct Case {
        Arguments changed;
        const char* shown;
    };
    const Case cases[] = {
        {{"--target", "C:\\mine.ksb"},
         "the archive is set by your administrator to \"\\\\srv\\b\\ann.ksb\"; nothing "
         "scheduled\n"},
        {{"--days", "tue"}, "--days is set by your administrator to M,F; nothing scheduled\n"},
        {{"--time", "9:00"}, "--time is set by your administrator to 7:15; nothing scheduled\n"},
        {{"--keep", "1"}, "--keep is set by your administrator to 3; nothing scheduled\n"},
    };
    for (const Case& c : cases) {
        Arguments arguments = allowed;
        arguments.insert(arguments.end(), c.changed.begin(), c.changed.end());
        EXPECT_EQ(1, Run(arguments, "pw")) << c.shown;
        EXPECT_EQ(c.shown, shown);
    }
    Arguments unprotected = allowed;
    unprotected.pop_back();
    EXPECT_EQ(1, Run(unprotected));
    EXPECT_EQ(
        "a password is required by your administrator: give --password-stdin or "
        "--password-file; nothing scheduled\n",
        shown);
    EXPECT_TRUE(scheduler->jobs.empty());

    ASSERT_EQ(0, Run(allowed, "pw"));
    ASSERT_EQ(1u, scheduler->jobs.size());
    EXPECT_EQ(26100000u, scheduler->jobs[0].job.JobTime);
    EXPECT_EQ("--keep 3 --password-key job-1 sf=Outlookxm=100000000ps=bf=\\\\SRV\\b\\ann.ksb",
              scheduler->jobs[0].job.Arguments);
}

// The job of a user whose unattended runs read held files from a shadow copy runs with the
// administrator's elevated token, where the user has one; every other job as the user's plain
// token, as before.
TEST_F(ScheduleCommandTest, OnlyAnElevatedAdministratorsSnapshotJobRunsAtTheHighestLevel)
{
    const struct {
        bool administrator;
        std::optional<IfOutlookRuns> setting;  // none: a machine where it was never chosen
        bool highest;
    } cases[] = {
        {true, std::nullopt, false},
        {true, IfOutlookRuns::Snapshot, true},
        {false, IfOutlookRuns::Snapshot, false},
        {true, IfOutlookRuns::Close, false},
        {true, IfOutlookRuns::Skip, false},
    };
    for (const auto& c : cases) {
        fake.system.administrator = c.administrator;
        RecordedMessages messages;
        RegistryAccess registry(*fake.platform.registry, messages);
        if (c.setting) {
            ASSERT_TRUE(WriteUnattendedOutlookWay(registry, *c.setting));
        }
        ASSERT_EQ(0, Run({"add", "--profile", "Outlook", "--items", "1", "--daily", "--target",
                          "C:\\a.ksb"}));
        EXPECT_EQ(scheduler->jobs.back().job.HighestRunLevel, c.highest)
            << c.administrator << " " << (c.setting ? OutlookRunsSettingText(*c.setting) : "-");
    }
}

// The highest run level starts whatever file is at the job's program path: a program any
// process of the user could replace (a per-user install) never gets it, and the job closes
// Outlook instead, with a message that says why.
TEST_F(ScheduleCommandTest, OnlyAnAllUsersInstallGetsAShadowCopyJob)
{
    const std::string perUser =
        "A shadow copy needs administrator rights, and a scheduled task is given them only for "
        "a program installed for all users (in Program Files): any program you run could "
        "replace Kestrel in C:\\Users\\ann\\AppData\\Local\\Programs\\Kestrel and have it "
        "run with those rights. The task closes Outlook and starts it again instead.\n";
    const struct {
        bool administratorsOnly;
        bool administrator;
        IfOutlookRuns setting;
        bool highest;
        std::string shown;
    } cases[] = {
        {true, true, IfOutlookRuns::Snapshot, true, ""},
        {false, true, IfOutlookRuns::Snapshot, false, perUser},
        {false, false, IfOutlookRuns::Snapshot, false, perUser},
        {false, true, IfOutlookRuns::Close, false, ""},
        {false, true, IfOutlookRuns::Skip, false, ""},
    };
    for (const auto& c : cases) {
        fake.system.administrator = c.administrator;
        fake.system.programAdministratorsOnly = c.administratorsOnly;
        fake.system.programFolder = c.administratorsOnly
                                        ? "C:\\Program Files\\Kestrel"
                                        : "C:\\Users\\ann\\AppData\\Local\\Programs\\Kestrel";
        RecordedMessages messages;
        RegistryAccess registry(*fake.platform.registry, messages);
        ASSERT_TRUE(WriteUnattendedOutlookWay(registry, c.setting));
        ASSERT_EQ(0, Run({"add", "--profile", "Outlook", "--items", "1", "--daily", "--target",
                          "C:\\a.ksb"}));
        const std::string label = std::string(OutlookRunsSettingText(c.setting)) + " " +
                                  (c.administratorsOnly ? "all users" : "per user");
        EXPECT_EQ(scheduler->jobs.back().job.HighestRunLevel, c.highest) << label;
        EXPECT_EQ(c.shown, shown) << label;
        EXPECT_EQ("Task " + std::to_string(scheduler->lastId) + " has been scheduled.\n", out)
            << label;
    }
}

TEST_F(ScheduleCommandTest, ListAndRemove)
{
    EXPECT_EQ(0, Run({"list"}));
    EXPECT_EQ("no scheduled backups\n", out);
    EXPECT_EQ(0, Run({"list", "--json"}));
    EXPECT_EQ("[]\n", out);

    // The log of the unattended runs: the job's last line is its last run, whether the run
    // wrote the target, a generation or an incomplete archive of it.
    fake.platform.dataFolder = "C:\\Kestrel";
    ASSERT_TRUE(fake.platform.fileSystem->CreateFolder(fake.platform.dataFolder));
    for (const char* line : {
             "2026-12-04 23:30:01\tprofile Outlook\tarchive C:\\Backups\\a b 2026-12-04 2330.ksb"
             "\titems 11000000000\tbytes 10\tseconds 1.0\tstatus 0: written",
             "2026-12-05 23:30:02\tprofile outlook\tarchive C:\\Backups\\A B (incomplete "
             "2026-12-05 "
             "2330).ksb\titems 10000000000\tbytes 9\tseconds 1.0\tstatus 1: written beside the "
             "target, an item failed; the previous archive is kept",
             "2026-12-06 23:30:00\tprofile Personal\tarchive C:\\Backups\\a b.ksb\titems "
             "00000000000\tbytes 0\tseconds 0.1\tstatus 2: nothing written: no item",
             "2026-12-06 23:31:00\tstatus 2: nothing written: the argument text is not five parts",
             "2026-12-06 23:32:00\tprofile Outlook\tarchive C:\\Backups\\a b final.ksb\titems "
             "11000000000\tbytes 10\tseconds 1.0\tstatus 0: written",
         }) {
        fake.platform.fileSystem->AppendLogLine("C:\\Kestrel\\kestrel.log", line);
    }
    scheduler->jobs = {
        {1, testing::Job(9, 30, 0x15, "sf=Outlookxm=110000000ps=pwbf=C:\\Backups\\a b.ksb"),
         "Mon 2026-12-14 09:30:00 CET"},
        {4, testing::Job(0, 0, 0x7f, "--keep 12 sf=J\u00fcrgen \"J\"xm=1ps=bf=/home/ann/j.ksb"), "",
         false},
        {7, testing::Job(23, 30, 0, "sf=xm=1ps=secretbf=/x.ksb"), ""},
    };
    EXPECT_EQ(0, Run({"list"}));
    EXPECT_EQ(
        "ID  PROFILE     ITEMS      PASSWORD  KEEP  DAYS         TIME   NEXT RUN                   "
        "  "
        "ARCHIVE\n"
        "1   Outlook     110000000  yes       1     mon,wed,fri  9:30   Mon 2026-12-14 09:30:00 "
        "CET  "
        "C:\\Backups\\a b.ksb\n"
        "4   J\u00fcrgen \"J\"  1          no        12    daily        0:00   -"
        "                            /home/ann/j.ksb\n"
        "7   ?           ?          ?         ?     once         23:30  -                          "
        "  "
        "(not the argument text of a backup)\n"
        "job 1 last ran 2026-12-05 23:30:02: status 1: written beside the target, an item failed; "
        "the previous archive is kept (C:\\Backups\\A B (incomplete 2026-12-05 2330).ksb)\n"
        "job 4 last ran never, as far as the log says\n"
        "jobs in the crontab do not make up a run missed while the machine was off (cron has no "
        "such thing): the next run is at the next time the job names\n",
        out);
    scheduler->jobs.erase(scheduler->jobs.begin() + 1);
    EXPECT_EQ(0, Run({"list", "--json"}));
    EXPECT_EQ(
        "[\n"
        "  {\"id\": 1, \"readable\": true, \"profile\": \"Outlook\", \"items\": \"110000000\", "
        "\"protected\": true, \"keep\": 1, \"days\": [\"mon\",\"wed\",\"fri\"], \"time\": "
        "\"9:30\", "
        "\"nextRun\": \"Mon 2026-12-14 09:30:00 CET\", \"catchesUp\": true, "
        "\"archive\": \"C:\\\\Backups\\\\a b.ksb\", \"lastRun\": {\"time\": \"2026-12-05 "
        "23:30:02\", "
        "\"status\": 1, \"result\": \"written beside the target, an item failed; the previous "
        "archive is kept\", \"archive\": \"C:\\\\Backups\\\\A B (incomplete 2026-12-05 "
        "2330).ksb\"}},\n"
        "  {\"id\": 7, \"readable\": false, \"profile\": \"\", \"items\": \"\", "
        "\"protected\": false, \"keep\": 1, \"days\": [], \"time\": \"23:30\", \"nextRun\": \"\", "
        "\"catchesUp\": true, \"archive\": \"\", \"lastRun\": null}\n"
        "]\n",
        out);
    EXPECT_EQ(std::string::npos, out.find("secret"));

    // Removing a job removes the password it kept, and no other.
    scheduler->jobs.push_back(
        {9, testing::Job(1, 0, 0, "--password-key job-9 sf=Outlookxm=1ps=bf=C:\\k.ksb"), ""});
    fake.secrets.kept = {{"job-9", "pw"}, {"job-8", "another job's"}};
    EXPECT_EQ(0, Run({"remove", "9"}));
    EXPECT_EQ((std::map<std::string, std::string>{{"job-8", "another job's"}}), fake.secrets.kept);
    EXPECT_EQ(0, Run({"remove", "7"}));
    EXPECT_EQ("Task 7 has been removed.\n", out);
    EXPECT_EQ(1, Run({"remove", "7"}));
    EXPECT_EQ("Task 7 cannot be removed: the scheduler holds no such job of ours\n", shown);
    scheduler->refusal = "Failed to connect to bus";
    EXPECT_EQ(1, Run({"list"}));
    EXPECT_EQ("The jobs cannot be listed: Failed to connect to bus\n", shown);
    inUse = nullptr;
    EXPECT_EQ(1, Run({"remove", "1"}));
    EXPECT_EQ("Task 1 cannot be removed: this system offers no scheduler.\n", shown);
}

}  // namespace
}  // namespace kestrel
