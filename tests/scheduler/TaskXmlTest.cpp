// The Task Scheduler document of a job: its trigger for each kind of schedule, and argument
// text that comes back byte for byte through the same reader.

#include <gtest/gtest.h>

#include "scheduler/TaskXml.h"
#include "support/ScheduledJobs.h"

namespace kestrel {
namespace {

using testing::At;
using testing::Job;

// The document's text from its <Triggers> to its </Triggers>, blanks and line breaks removed.
std::string TriggersOf(const std::string& xml)
{
    const std::size_t start = xml.find("<Triggers>");
    const std::size_t end = xml.find("</Triggers>");
    std::string compact;
    for (char c : xml.substr(start, end + 11 - start)) {
        if (c != ' ' && c != '\n') {
            compact += c;
        }
    }
    return compact;
}

TEST(TaskXml, DocumentForEachSchedule)
{
    const struct {
        std::tm now;
        int hour, minute;
        std::uint8_t days;
        std::string triggers;
    } cases[] = {
        {At(2026, 12, 7, 8, 0), 9, 30, 0x15,
         "<Triggers><CalendarTrigger><StartBoundary>2026-12-07T09:30:00</StartBoundary>"
         "<Enabled>true</Enabled><ScheduleByWeek><DaysOfWeek><Monday/><Wednesday/><Friday/>"
         "</DaysOfWeek><WeeksInterval>1</WeeksInterval></ScheduleByWeek></CalendarTrigger>"
         "</Triggers>"},
        // Past today's time: the schedule starts tomorrow, so registering is no missed run.
        {At(2026, 12, 7, 10, 0), 9, 30, 0x40,
         "<Triggers><CalendarTrigger><StartBoundary>2026-12-08T09:30:00</StartBoundary>"
         "<Enabled>true</Enabled><ScheduleByWeek><DaysOfWeek><Sunday/></DaysOfWeek>"
         "<WeeksInterval>1</WeeksInterval></ScheduleByWeek></CalendarTrigger></Triggers>"},
        {At(2026, 12, 31, 23, 45), 0, 30, 0x00,
         "<Triggers><TimeTrigger><StartBoundary>2027-01-01T00:30:00</StartBoundary>"
         "<Enabled>true</Enabled></TimeTrigger></Triggers>"},
        {At(2028, 2, 28, 23, 30), 23, 30, 0x00,
         "<Triggers><TimeTrigger><StartBoundary>2028-02-29T23:30:00</StartBoundary>"
         "<Enabled>true</Enabled></TimeTrigger></Triggers>"},
        {At(2026, 6, 1, 0, 0), 23, 30, 0x7F,
         "<Triggers><CalendarTrigger><StartBoundary>2026-06-01T23:30:00</StartBoundary>"
         "<Enabled>true</Enabled><ScheduleByWeek><DaysOfWeek><Monday/><Tuesday/><Wednesday/>"
         "<Thursday/><Friday/><Saturday/><Sunday/></DaysOfWeek><WeeksInterval>1</WeeksInterval>"
         "</ScheduleByWeek></CalendarTrigger></Triggers>"},
    };
    for (const auto& c : cases) {
        const JobInfo job =
            Job(c.hour, c.minute, c.days, "a", "C:\\Program Files\\Kestrel\\kestrelbak.exe");
        const Result<std::string> xml = TaskXmlOf(job, c.now, "PC\\ann&");
        if (c.days == 0) {
            // Once on a chosen day (kestrel schedule add --once), whatever day it is now.
            JobInfo onDate = job;
            onDate.OnceYear = 2027;
            onDate.OnceMonth = 3;
            onDate.OnceDay = 14;
            const Result<std::string> once = TaskXmlOf(onDate, c.now, "");
            ASSERT_TRUE(once);
            EXPECT_NE(
                once->find("<StartBoundary>2027-03-14T" + std::string(c.hour < 10 ? "0" : "") +
                           std::to_string(c.hour) + ":" + (c.minute < 10 ? "0" : "") +
                           std::to_string(c.minute) + ":00</StartBoundary>"),
                std::string::npos);
        }
        ASSERT_TRUE(xml);
        EXPECT_EQ(TriggersOf(*xml), c.triggers);
        for (const char* part :
             {"<UserId>PC\\ann&amp;</UserId>", "<LogonType>InteractiveToken</LogonType>",
              "<StartWhenAvailable>true</StartWhenAvailable>",
              "<Command>C:\\Program Files\\Kestrel\\kestrelbak.exe</Command>",
              "<Arguments>a</Arguments>"}) {
            EXPECT_NE(xml->find(part), std::string::npos) << part;
        }
        const std::optional<JobInfo> back = JobOfTaskXml(*xml);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->JobTime, job.JobTime);
        EXPECT_EQ(back->DaysOfWeek, c.days);
        EXPECT_EQ(back->Flags, c.days ? JobRunPeriodically : 0);
    }
}

TEST(TaskXml, ArgumentsComeBackByteForByte)
{
    const std::string arguments[] = {
        "sf=Outlookxm=100000001ps=bf=D:\\b.ksb",
        "sf=My Profilexm=111111111ps=p a s sbf=C:\\My Backups\\a b.ksb",
        "sf=\"quoted\" 'single'xm=1ps=%PATH%$HOME$(x)bf=\\\\server\\share\\x.ksb",
        "ps=a&b<c>d&amp;&#65;]]>bf=x",
        "sf=Jürgen Ørsted 東京xm=1ps=€bf=C:\\Sicherung\\ä.ksb",
        "ps=tab\there\nline\r\nend",
        "",
    };
    for (const std::string& text : arguments) {
        JobInfo job = Job(9, 0, 0x01, text);
        job.Program = "C:\\Pro & Co <x>\\kestrel\"bak\".exe";
        const Result<std::string> xml = TaskXmlOf(job, At(2026, 12, 7, 8, 0), "");
        ASSERT_TRUE(xml) << text;
        EXPECT_EQ(xml->find("<UserId>"), std::string::npos);
        // Only entities and character references stand for markup and blanks a reader folds.
        const std::size_t start = xml->find("<Arguments>") + 11;
        const std::string escaped = xml->substr(start, xml->find("</Arguments>") - start);
        EXPECT_EQ(escaped.find_first_of("<>\"'\t\r\n"), std::string::npos) << escaped;
        const std::optional<JobInfo> back = JobOfTaskXml(*xml);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Arguments, text);
        EXPECT_EQ(back->Program, job.Program);
        EXPECT_EQ(back->Command, "\"" + job.Program + "\" " + text);
    }
}

TEST(TaskXml, TextADocumentCannotCarryIsRefused)
{
    for (const std::string& text : {std::string("ps=a\x01"), std::string("ps=\x7f"),
                                    std::string("ps=a\0b", 6), std::string("ps=\xff\xfe")}) {
        const Result<std::string> xml = TaskXmlOf(Job(9, 0, 0, text), At(2026, 1, 1, 0, 0), "");
        ASSERT_FALSE(xml);
        EXPECT_EQ(xml.error().systemText,
                  "the command line holds characters that a task cannot carry (control "
                  "characters or text that is not UTF-8)");
    }
}

TEST(TaskXml, ReadsWhatTheSystemWritesBack)
{
    // As the Task Scheduler gives a task back: other elements, attributes, its own layout.
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task version=\"1.2\" "
        "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Triggers>"
        "<CalendarTrigger id=\"t\"><StartBoundary>2026-12-08T21:00:00+01:00</StartBoundary>"
        "<ScheduleByWeek><WeeksInterval>1</WeeksInterval><DaysOfWeek><Tuesday />"
        "<Saturday /></DaysOfWeek></ScheduleByWeek></CalendarTrigger></Triggers><Settings>"
        "<ExecutionTimeLimit>PT72H</ExecutionTimeLimit></Settings><Actions Context=\"Author\">"
        "<Exec><Command>C:\\k.exe</Command><Arguments>ps=&#x41;&#66;&quot;</Arguments></Exec>"
        "</Actions></Task>";
    const std::optional<JobInfo> job = JobOfTaskXml(xml);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->JobTime, 75600000u);
    EXPECT_EQ(job->DaysOfWeek, 0x22);
    EXPECT_EQ(job->Program, "C:\\k.exe");
    EXPECT_EQ(job->Arguments, "ps=AB\"");
    EXPECT_FALSE(JobOfTaskXml("<Task><RegistrationInfo /></Task>"));
}

}  // namespace
}  // namespace kestrel
