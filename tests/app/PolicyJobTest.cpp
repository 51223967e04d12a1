#include "app/PolicyJob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/PolicyFixture.h"
#include "app/Startup.h"
#include "support/SampleMachineFixture.h"

namespace kestrel {
namespace {

// Keeps its jobs; ids count up from 1 and are never given twice.
struct KeepingScheduler final : Scheduler {
    std::vector<ListedJob> jobs;
    std::uint32_t lastId = 0;
    Result<std::uint32_t> Add(const JobInfo& job) override
    {
        jobs.push_back({++lastId, job, ""});
        return lastId;
    }
    Result<std::vector<ListedJob>> List() override { return jobs; }
    std::optional<Error> Remove(std::uint32_t id) override
    {
        std::erase_if(jobs, [id](const ListedJob& job) { return job.id == id; });
        return std::nullopt;
    }
    Result<std::string> ShowJobs() override { return std::string(); }
};

class PolicyJobTest : public testing::Outlook2003Machine {
protected:
    void SetUp() override
    {
        Outlook2003Machine::SetUp();
        LoadSharedState(state, fake.platform, messages_);
        keys = std::make_unique<testing::PolicyKeys>(*fake.platform.registry);
    }
    void TearDown() override
    {
        keys.reset();
        Outlook2003Machine::TearDown();
    }
    // What a start of the program does, and what the scheduler then holds: "id days time
    // arguments" a job.
    PolicyJobResult Start()
    {
        why.clear();
        return BringPolicyJobInLine(ReadPolicies(*fake.platform.registry, &fake.system), state,
                                    fake.platform, scheduler, why);
    }
    std::vector<std::string> Jobs() const
    {
        std::vector<std::string> listed;
        for (const ListedJob& job : scheduler->jobs) {
            listed.push_back(std::to_string(job.id) + " " + std::to_string(job.job.DaysOfWeek) +
                             " " + std::to_string(job.job.JobTime / 60000) + " " +
                             job.job.Arguments);
        }
        return listed;
    }

    std::unique_ptr<KeepingScheduler> ownedScheduler = std::make_unique<KeepingScheduler>();
    KeepingScheduler* scheduler = ownedScheduler.get();
    AppState state;
    std::unique_ptr<testing::PolicyKeys> keys;
    std::string why;
};

TEST_F(PolicyJobTest, EachStartMakesTheJobOnceAndKeepsItInLine)
{
    EXPECT_EQ(PolicyJobResult::NotSet, Start());
    keys->Text(reg::HkeyLocalMachine, "Days", "mon,wed,fri");
    keys->Text(reg::HkeyLocalMachine, "Time", "21:30");
    EXPECT_EQ(PolicyJobResult::NotSet, Start());  // no target yet
    keys->Text(reg::HkeyLocalMachine, "Target", "\\\\srv\\b\\ann.ksb");
    // The user's own job is no business of the policy.
    JobInfo mine;
    mine.JobTime = 9 * 3600000;
    mine.DaysOfWeek = 0x40;
    mine.Arguments = "sf=Outlookxm=1ps=bf=D:\\mine.ksb";
    scheduler->Add(mine);
    const std::string own = "1 64 540 sf=Outlookxm=1ps=bf=D:\\mine.ksb";

    EXPECT_EQ(PolicyJobResult::Added, Start());
    // Every item the first profile offers, as the options window offers them.
    EXPECT_EQ((std::vector<std::string>{
                  own, "2 21 1290 sf=Outlookxm=111111110ps=bf=\\\\srv\\b\\ann.ksb"}),
              Jobs());
    EXPECT_EQ(PolicyJobResult::InLine, Start());
    EXPECT_EQ(2u, scheduler->jobs.size());

    keys->Text(reg::HkeyCurrentUser, "Items", "1");
    keys->Number(reg::HkeyLocalMachine, "Keep", 3);
    keys->Text(reg::HkeyLocalMachine, "Time", "06:00");
    EXPECT_EQ(PolicyJobResult::Replaced, Start());
    EXPECT_EQ((std::vector<std::string>{
                  own, "3 21 360 --keep 3 sf=Outlookxm=100000000ps=bf=\\\\srv\\b\\ann.ksb"}),
              Jobs());
    EXPECT_EQ(PolicyJobResult::InLine, Start());

    // Nobody is there to give a required password: the job is left to the options window.
    keys->Number(reg::HkeyLocalMachine, "PasswordRequired", 1);
    EXPECT_EQ(PolicyJobResult::NotSet, Start());
    EXPECT_EQ("a password is required", why);
    EXPECT_EQ(2u, scheduler->jobs.size());
}

}  // namespace
}  // namespace kestrel
