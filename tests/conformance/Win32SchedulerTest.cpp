// Jobs in the Task Scheduler through COM, and the AT fallback with its service stopped. Under
// Wine: its Task Scheduler keeps a registered task as a file, but without the task's triggers
// and actions, so what comes back from there is checked only for what Wine keeps (the task, its
// name and so its id); the document itself is checked in TaskXmlTest.

#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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

// The stored task document, which Wine writes as UTF-16 with a byte order mark.
std::wstring StoredDocument(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stream)),
                            std::istreambuf_iterator<char>());
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return text;
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

// Stops the "Schedule" service for as long as it lives, and starts it again afterwards.
class StoppedScheduleService {
public:
    StoppedScheduleService()
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        service_ = manager_ ? OpenServiceW(manager_, L"Schedule",
                                           SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS)
                            : nullptr;
        SERVICE_STATUS status{};
        if (service_ != nullptr && QueryServiceStatus(service_, &status) &&
            status.dwCurrentState != SERVICE_STOPPED) {
            ControlService(service_, SERVICE_CONTROL_STOP, &status);
        }
        for (int wait = 0; service_ != nullptr && wait < 100 && !stopped; ++wait) {
            stopped =
                QueryServiceStatus(service_, &status) && status.dwCurrentState == SERVICE_STOPPED;
            if (!stopped) {
                Sleep(100);
            }
        }
    }
    StoppedScheduleService(const StoppedScheduleService&) = delete;
    StoppedScheduleService& operator=(const StoppedScheduleService&) = delete;
    ~StoppedScheduleService()
    {
        if (service_ != nullptr) {
            StartServiceW(service_, 0, nullptr);
            CloseServiceHandle(service_);
        }
        if (manager_ != nullptr) {
            CloseServiceHandle(manager_);
        }
    }

    bool stopped = false;

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

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
            // What Wine keeps of the document: its description and settings.
            const std::wstring stored =
                StoredDocument(WineTaskFile("Backup " + std::to_string(add.id)));
            for (const wchar_t* part : {L"<Description>Kestrel scheduled backup</Description>",
                                        L"<StartWhenAvailable>true</StartWhenAvailable>",
                                        L"<DisallowStartIfOnBatteries>false"}) {
                EXPECT_NE(stored.find(part), std::wstring::npos) << add.id;
            }
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
    const StoppedScheduleService service;
    ASSERT_TRUE(service.stopped);
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
