// Jobs in the Task Scheduler through COM, and the AT fallback with its service stopped. Under
// Wine: its Task Scheduler keeps a registered task as a file, but without the task's triggers
// and actions, so what comes back from there is checked only for what Wine keeps (the task, its
// name and so its id); the document itself is checked in TaskXmlTest.

#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "platform/win32/Win32Scheduler.h"

namespace kestrel {
namespace {

JobInfo Job(std::uint8_t days, const std::string& arguments)
{
    JobInfo job;
    job.JobTime = 9 * 3600 * 1000;
    job.DaysOfWeek = days;
    job.Flags = JobRunPeriodically;
    job.Program = "C:\\Program Files\\Kestrel\\kestrelbak.exe";
    job.Arguments = arguments;
    job.Command = "\"" + job.Program + "\" " + arguments;
    return job;
}

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Where Wine's Task Scheduler service keeps the task "\Kestrel\<name>".
std::filesystem::path WineTaskFile(const std::string& name)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::filesystem::path(system) / L"tasks" / L"Kestrel" / name;
}

std::vector<std::uint32_t> Ids(Scheduler& scheduler)
{
    Result<std::vector<ListedJob>> jobs = scheduler.List();
    EXPECT_TRUE(jobs) << (jobs ? "" : jobs.error().Describe());
    std::vector<std::uint32_t> ids;
    for (const ListedJob& job : jobs ? *jobs : std::vector<ListedJob>()) {
        ids.push_back(job.id);
    }
    return ids;
}

// Stops the "Schedule" service and waits until it has stopped; false when it cannot.
bool StopScheduleService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? OpenServiceW(manager, L"Schedule", SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    bool stopped = service != nullptr && QueryServiceStatus(service, &status) &&
                   status.dwCurrentState == SERVICE_STOPPED;
    if (service != nullptr && !stopped) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        for (int wait = 0; wait < 100 && !stopped; ++wait) {
            stopped =
                QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
            if (!stopped) {
                Sleep(100);
            }
        }
    }
    if (service != nullptr) {
        CloseServiceHandle(service);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
    return stopped;
}

TEST(Win32Scheduler, AddsListsAndRemovesTasks)
{
    Win32Scheduler scheduler;
    for (std::uint32_t id : Ids(scheduler)) {
        ASSERT_FALSE(scheduler.Remove(id));
    }
    const struct {
        JobInfo job;
        std::uint32_t id;
    } adds[] = {
        {Job(0x15, "sf=Outlookxm=100000001ps=bf=D:\\b.ksb"), 1},
        {Job(0x00, "sf=Jürgen & \"Co\"xm=111111111ps=<%x%>bf=C:\\a b\\ä.ksb"), 2},
    };
    for (const auto& add : adds) {
        const Result<std::uint32_t> id = scheduler.Add(add.job);
        ASSERT_TRUE(id) << id.error().Describe();
        EXPECT_EQ(*id, add.id);
        if (UnderWine()) {
            EXPECT_TRUE(std::filesystem::exists(WineTaskFile("Backup " + std::to_string(add.id))));
        }
    }
    EXPECT_EQ(Ids(scheduler), (std::vector<std::uint32_t>{1, 2}));

    EXPECT_FALSE(scheduler.Remove(1));
    EXPECT_EQ(Ids(scheduler), (std::vector<std::uint32_t>{2}));
    if (UnderWine()) {
        EXPECT_FALSE(std::filesystem::exists(WineTaskFile("Backup 1")));
    }
    const std::optional<Error> again = scheduler.Remove(1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Describe(), "cannot remove job 1: the scheduler holds no such job of ours");
    // The next id follows the highest one held.
    const Result<std::uint32_t> third = scheduler.Add(adds[0].job);
    ASSERT_TRUE(third);
    EXPECT_EQ(*third, 3u);
    EXPECT_FALSE(scheduler.Remove(2));
    EXPECT_FALSE(scheduler.Remove(3));
    EXPECT_TRUE(Ids(scheduler).empty());
}

TEST(Win32Scheduler, AtFallbackRefusesWhileTheServiceIsStopped)
{
    if (!UnderWine()) {
        GTEST_SKIP() << "stops the Task Scheduler service, which only Wine lets a user do";
    }
    ASSERT_TRUE(StopScheduleService());
    AtScheduler scheduler;
    const Result<std::uint32_t> added = scheduler.Add(Job(0x01, "sf=a"));
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().Describe(),
              "cannot add AT job: the Task Scheduler service (Schedule) is not running");
    const Result<std::vector<ListedJob>> listed = scheduler.List();
    ASSERT_FALSE(listed);
    EXPECT_EQ(listed.error().systemText, "the Task Scheduler service (Schedule) is not running");
    const std::optional<Error> removed = scheduler.Remove(1);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->systemText, "the Task Scheduler service (Schedule) is not running");
}

}  // namespace
}  // namespace kestrel

#endif
