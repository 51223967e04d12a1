// A job made before passwords were kept as secrets: its run moves the password out of the
// command line, or leaves the job exactly as it was.

#include "app/JobPasswordMove.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/FakePlatform.h"

namespace kestrel {
namespace {

// Keeps its jobs in memory, ids never given twice; adding or removing can be refused.
struct JobStore final : Scheduler {
    std::vector<ListedJob> jobs;
    std::uint32_t lastId = 0;
    bool refuseAdd = false;
    bool refuseRemove = false;

    Result<std::uint32_t> Add(const JobInfo& job) override
    {
        if (refuseAdd) {
            return Error{"add", "job", 5, "Access is denied."};
        }
        jobs.push_back({++lastId, job, ""});
        return lastId;
    }
    Result<std::vector<ListedJob>> List() override { return jobs; }
    std::optional<Error> Remove(std::uint32_t id) override
    {
        const auto found = std::find_if(jobs.begin(), jobs.end(),
                                        [&](const ListedJob& job) { return job.id == id; });
        if (found == jobs.end()) {
            return Error{"remove", "job", 2, "no such job"};
        }
        if (refuseRemove && found->job.Arguments.find("--password-key") == std::string::npos) {
            return Error{"remove", "job", 5, "Access is denied."};
        }
        jobs.erase(found);
        return std::nullopt;
    }
    Result<std::string> ShowJobs() override { return std::string(); }
};

JobInfo OldJob(const std::string& arguments)
{
    JobInfo job;
    job.JobTime = 84600000;
    job.DaysOfWeek = 0x15;
    job.Flags = JobRunPeriodically;
    job.Program = "C:\\Program Files\\Kestrel\\kestrelbak.exe";
    job.Arguments = arguments;
    job.Command = "\"" + job.Program + "\" " + arguments;
    job.HighestRunLevel = true;
    return job;
}

TEST(JobPasswordMove, APasswordInTheCommandLineBecomesASecretOrStaysWhereItWas)
{
    const std::string old = "sf=Outlookxm=110000000ps=s3cretbf=D:\\mail.ksb";
    const std::string unchanged = "(unchanged)";
    const struct {
        const char* name;
        std::string jobText;  // the job the scheduler holds
        std::string runText;  // the text the run was started with
        std::string secretRefusal;
        bool refuseAdd;
        bool refuseRemove;
        std::string jobAfter;  // the job's arguments after the run
        std::string log;
    } cases[] = {
        {"an old job", old, old, "", false, false,
         "--password-key job-1 sf=Outlookxm=110000000ps=bf=D:\\mail.ksb",
         "the job's password was moved from its command line into the user's secrets (job 1 "
         "is now job 2)"},
        {"an old job keeping three", "--keep 3 " + old, "--keep 3 " + old, "", false, false,
         "--keep 3 --password-key job-1 sf=Outlookxm=110000000ps=bf=D:\\mail.ksb",
         "the job's password was moved from its command line into the user's secrets (job 1 "
         "is now job 2)"},
        {"a differential job", "--keep 7 --differential 7 " + old,
         "--keep 7 --differential 7 " + old, "", false, false,
         "--keep 7 --differential 7 --password-key job-1 "
         "sf=Outlookxm=110000000ps=bf=D:\\mail.ksb",
         "the job's password was moved from its command line into the user's secrets (job 1 "
         "is now job 2)"},
        {"a job without a password", "sf=Outlookxm=1ps=bf=D:\\a.ksb",
         "sf=Outlookxm=1ps=bf=D:\\a.ksb", "", false, false, unchanged, ""},
        {"a run no job of ours starts", old, "sf=Outlookxm=1ps=typedbf=D:\\a.ksb", "", false, false,
         unchanged, ""},
        {"no place for the secret", old, old, "Access is denied.", false, false, unchanged,
         "the job's password stays in its command line: Access is denied."},
        {"the new job refused", old, old, "", true, false, unchanged,
         "the job's password stays in its command line: Access is denied."},
        {"the old job cannot go", old, old, "", false, true, unchanged,
         "the job's password stays in its command line: Access is denied."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePlatform fake;
        auto owned = std::make_unique<JobStore>();
        JobStore* jobs = owned.get();
        fake.secrets.refusal = c.secretRefusal;
        ASSERT_TRUE(jobs->Add(OldJob(c.jobText)));
        jobs->refuseAdd = c.refuseAdd;
        jobs->refuseRemove = c.refuseRemove;
        const auto arguments = ParseUnattendedArguments(c.runText);
        ASSERT_TRUE(arguments);

        const JobPasswordMove move =
            MoveJobPasswordToSecrets(fake.platform, jobs, c.runText, *arguments);

        EXPECT_EQ(c.log, move.logText);
        ASSERT_EQ(1u, jobs->jobs.size());
        const JobInfo& after = jobs->jobs.front().job;
        const bool moved = c.jobAfter != unchanged;
        EXPECT_EQ(moved, move.moved);
        EXPECT_EQ(moved ? c.jobAfter : c.jobText, after.Arguments);
        EXPECT_EQ("\"C:\\Program Files\\Kestrel\\kestrelbak.exe\" " + after.Arguments,
                  after.Command);
        EXPECT_EQ(84600000u, after.JobTime);
        EXPECT_EQ(0x15, after.DaysOfWeek);
        EXPECT_TRUE(after.HighestRunLevel);
        EXPECT_EQ(moved ? 1u : 0u, fake.secrets.kept.size());
        if (moved) {
            EXPECT_EQ("s3cret", fake.secrets.kept["job-1"]);
        }
    }
}

}  // namespace
}  // namespace kestrel
