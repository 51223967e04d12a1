// Jobs in the Task Scheduler through COM, and the AT fallback with its service stopped. Under
// Wine: its Task Scheduler keeps a registered task as a file, but without the task's triggers
// and actions, so what comes back from there is checked only for what Wine keeps (the task, its
// name and so its id); the document itself is checked in TaskXmlTest.

#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "scheduler/win32/Win32Scheduler.h"
#include "support/ScheduledJobs.h"
#include "support/Wine.h"

namespace kestrel {
namespace {

using testing::ListedIds;

JobInfo Job(std::uint8_t days, const std::string& arguments)
{
    return testing::Job(9, 0, days, arguments, "C:\\Program Files\\Kestrel\\kestrelbak.exe");
}

using testing::UnderWine;

// Where Wine's Task Scheduler service keeps the task "\Kestrel\<name>".
std::filesystem::path WineTaskFile(const std::string& name)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::filesystem::path(system) / L"tasks" / L"Kestrel" / name;
}

// The stored task document (Wine writes it as UTF-8).
std::string StoredDocument(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A service installed for the test and never started, removed again afterwards: the AT
// fallback is pointed at it, since Wine's "Schedule" service runs from the session's start and
// does not accept a stop.
class StoppedService {
public:
    static constexpr const wchar_t* Name = L"KestrelStoppedTest";

    StoppedService()
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
        if (manager_ != nullptr) {
            service_ = CreateServiceW(manager_, Name, Name, SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_IGNORE, L"C:\\windows\\system32\\cmd.exe",
                                      nullptr, nullptr, nullptr, nullptr, nullptr);
        }
        if (service_ == nullptr && manager_ != nullptr) {
            service_ = OpenServiceW(manager_, Name, SERVICE_ALL_ACCESS);
        }
        why = "error " + std::to_string(GetLastError());
    }
    StoppedService(const StoppedService&) = delete;
    StoppedService& operator=(const StoppedService&) = delete;
    ~StoppedService()
    {
        if (service_ != nullptr) {
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_ != nullptr) {
            CloseServiceHandle(manager_);
        }
    }

    bool Installed() const { return service_ != nullptr; }
    std::string why;

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

TEST(Win32Scheduler, AtFallbackRefusesWhileItsServiceIsStopped)
{
    const StoppedService service;
    ASSERT_TRUE(service.Installed()) << service.why;
    AtScheduler scheduler("KestrelStoppedTest");
    const Result<std::uint32_t> added = scheduler.Add(Job(0x01, "sf=a"));
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().Describe(),
              "cannot add AT job: the Task Scheduler service (KestrelStoppedTest) is not running");
    const Result<std::vector<ListedJob>> listed = scheduler.List();
    ASSERT_FALSE(listed);
    EXPECT_EQ(listed.error().systemText,
              "the Task Scheduler service (KestrelStoppedTest) is not running");
    const std::optional<Error> removed = scheduler.Remove(1);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->systemText,
              "the Task Scheduler service (KestrelStoppedTest) is not running");
    // A service that is not installed at all is refused as cleanly.
    const Result<std::uint32_t> missing =
        AtScheduler("KestrelNoSuchService").Add(Job(0x01, "sf=a"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().systemCode, 1060);  // ERROR_SERVICE_DOES_NOT_EXIST
}

TEST(Win32Scheduler, AddsListsAndRemovesTasks)
{
    Win32Scheduler scheduler;
    if (!UnderWine() && !ListedIds(scheduler).empty()) {
        GTEST_SKIP()
            << "this machine has scheduled backups of its own, which the test would remove";
    }
    for (std::uint32_t id : ListedIds(scheduler)) {
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
            const std::string stored =
                StoredDocument(WineTaskFile("Backup " + std::to_string(add.id)));
            for (const char* part : {"<Description>Kestrel scheduled backup</Description>",
                                     "<StartWhenAvailable>true</StartWhenAvailable>",
                                     "<DisallowStartIfOnBatteries>false"}) {
                EXPECT_NE(stored.find(part), std::string::npos)
                    << add.id << ": " << stored.size() << " characters";
            }
        }
    }
    EXPECT_EQ(ListedIds(scheduler), (std::vector<std::uint32_t>{1, 2}));

    EXPECT_FALSE(scheduler.Remove(1));
    EXPECT_EQ(ListedIds(scheduler), (std::vector<std::uint32_t>{2}));
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
    EXPECT_TRUE(ListedIds(scheduler).empty());
}

}  // namespace
}  // namespace kestrel

#endif
