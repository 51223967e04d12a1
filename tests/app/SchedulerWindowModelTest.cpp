#include "app/SchedulerWindowModel.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "app/PolicyFixture.h"
#include "app/Startup.h"
#include "outlook/OutlookRunsSetting.h"
#include "registry/RegistryAccess.h"
#include "support/FakePlatform.h"
#include "support/SampleMachineFixture.h"
#include "support/ScriptedDialogs.h"

namespace kestrel {
namespace {

using testing::FakeScheduler;

struct RecordingHost final : SchedulerWindowHost {
    std::vector<std::string> calls;
    void OpenScheduler() override { calls.push_back("open"); }
    void CloseWindow() override { calls.push_back("close"); }
    void ShowJobListing(const std::string& listing) override { calls.push_back(listing); }
};

// The window over the Outlook 2003 sample machine, whose two profiles offer different boxes.
class SchedulerWindowModelTest : public testing::Outlook2003Machine {
protected:
    void SetUp() override
    {
        Outlook2003Machine::SetUp();
        LoadSharedState(state, fake.platform, messages_);
    }
    // The save dialog of the Browse button, answered with `answer` (nothing: cancelled).
    void ExpectTargetDialog(const std::optional<std::string>& answer)
    {
        char today[16] = {};
        const std::time_t now = std::time(nullptr);
        std::strftime(today, sizeof today, "%m-%d-%Y", std::localtime(&now));
        dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                       {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                        std::string("xebackup") + today, "ksb"},
                       answer);
    }
    // Per box: x ticked, 1 enabled, 0 disabled.
    std::string Offered() const
    {
        std::string offered;
        for (const ItemBox& box : model.Items()) {
            offered += box.checked ? 'x' : box.enabled ? '1' : '0';
        }
        return offered;
    }

    std::unique_ptr<FakeScheduler> ownedScheduler = std::make_unique<FakeScheduler>();
    FakeScheduler* scheduler = ownedScheduler.get();
    AppState state;
    testing::ScriptedDialogs dialogs;
    RecordingHost host;
    SchedulerWindowModel model{state, fake.platform, scheduler, messages_, dialogs, host};
};

TEST_F(SchedulerWindowModelTest, FillsTheControlsAndAddsOneJobPerPress)
{
    model.Load();
    EXPECT_EQ((std::vector<std::string>{"Outlook", "Personal"}), model.Profiles());
    EXPECT_EQ("9:00", model.StartTime());
    model.SetItemChecked(2, true);
    model.SetItemChecked(8, true);  // disabled
    EXPECT_EQ("11x111110", Offered());
    const std::string mainWindows = state.ProfileLocations.AccountKeyPath;
    model.ProfileChosen(1);
    EXPECT_EQ("101101110", Offered());
    EXPECT_EQ(mainWindows, state.ProfileLocations.AccountKeyPath);
    model.SetItemChecked(0, true);
    model.DailyClicked(true);
    EXPECT_EQ((WeekdayBoxes{true, true, true, true, true, true, true}), model.Days());
    model.DailyClicked(false);
    model.SetDayChecked(Weekday::Monday, true);
    model.SetDayChecked(Weekday::Sunday, true);
    model.StartTimeChosen(47);
    model.StartTimeChosen(48);
    model.SetPasswords("typed", "while disabled");
    model.ProtectClicked(true);
    EXPECT_EQ("", model.Password());
    model.SetPasswords("p\xC3\xA4ss", "p\xC3\xA4ss");

    model.SetTargetFileText("D:\\typed.ksb");
    messages_.Expect("Invalid backup file name.", MessageIcon::Exclamation, MessageAnswer::Ok);
    model.AddTaskClicked();
    for (auto answer :
         {std::optional<std::string>("D:\\weekly.ksb"), std::optional<std::string>()}) {
        ExpectTargetDialog(answer);
        model.TargetFileClicked();
        EXPECT_EQ("D:\\weekly.ksb", model.TargetFileText());  // cancelling keeps it
    }

    scheduler->refusal = "Access is denied.";
    messages_.Expect("The task could not be scheduled: Access is denied.", MessageIcon::Stop,
                     MessageAnswer::Ok);
    model.AddTaskClicked();
    EXPECT_TRUE(host.calls.empty());
    scheduler->refusal.clear();
    for (const char* shown : {"Task 1 has been scheduled.", "Task 2 has been scheduled."}) {
        messages_.Expect(shown, MessageIcon::None, MessageAnswer::Ok);
        model.AddTaskClicked();
    }
    ASSERT_EQ(2u, scheduler->added.size());
    EXPECT_EQ(84600000u, scheduler->added[0].JobTime);
    EXPECT_EQ(0x41, scheduler->added[0].DaysOfWeek);
    EXPECT_EQ(0x01, scheduler->added[0].Flags);
    // The password is kept as the user's secret, which the command line names; the refused
    // add left none behind.
    EXPECT_EQ(
        "\"C:\\Program Files\\Kestrel\\kestrelbak.exe\" "
        "--password-key job-2 sf=Personalxm=100000000ps=bf=D:\\weekly.ksb",
        scheduler->added[0].Command);
    EXPECT_EQ(
        (std::map<std::string, std::string>{{"job-2", "p\xC3\xA4ss"}, {"job-3", "p\xC3\xA4ss"}}),
        fake.secrets.kept);

    model.OpenSchedulerClicked();
    model.CancelClicked();
    EXPECT_EQ((std::vector<std::string>{"close", "close", "open", "close"}), host.calls);
}

TEST_F(SchedulerWindowModelTest, WithoutASchedulerEachButtonSaysSo)
{
    SchedulerWindowModel bare{state, fake.platform, nullptr, messages_, dialogs, host};
    bare.Load();
    bare.SetItemChecked(0, true);
    bare.SetDayChecked(Weekday::Monday, true);
    ExpectTargetDialog(std::optional<std::string>("D:\\weekly.ksb"));
    bare.TargetFileClicked();
    messages_.Expect(
        "The task could not be scheduled: this system offers no scheduler to add it to.",
        MessageIcon::Stop, MessageAnswer::Ok);
    bare.AddTaskClicked();
    messages_.Expect("The scheduler could not be opened: this system offers no scheduler.",
                     MessageIcon::Stop, MessageAnswer::Ok);
    bare.OpenSchedulerClicked();
    messages_.Expect("The scheduler could not be opened: this system offers no scheduler.",
                     MessageIcon::Stop, MessageAnswer::Ok);
    bare.JobListingClicked();
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(SchedulerWindowModelTest, KeepsTheOutlookChoiceForEveryRunOnlyWhenATaskIsAdded)
{
    RegistryAccess registry(*fake.platform.registry, messages_);
    const auto saved = [&] { return ReadUnattendedOutlookWay(registry); };
    EXPECT_EQ((std::vector<std::string>{"close it and start it again",
                                        "use a shadow copy (needs administrator rights)",
                                        "leave the data files out"}),
              SchedulerWindowModel::OutlookWayList());
    // Windows' registry is the machine's own and keeps what an earlier run saved.
    ASSERT_TRUE(WriteUnattendedOutlookWay(registry, IfOutlookRuns::Close));
    model.Load();
    EXPECT_EQ(0, model.OutlookWaySelection());
    model.OutlookWayChosen(2);
    model.OutlookWayChosen(3);  // outside the list
    EXPECT_EQ(2, model.OutlookWaySelection());
    model.SetItemChecked(0, true);
    ExpectTargetDialog("D:\\nightly.ksb");
    model.TargetFileClicked();

    scheduler->refusal = "Access is denied.";
    messages_.Expect("The task could not be scheduled: Access is denied.", MessageIcon::Stop,
                     MessageAnswer::Ok);
    model.AddTaskClicked();
    EXPECT_EQ(IfOutlookRuns::Close, saved());
    model.CancelClicked();
    EXPECT_EQ(IfOutlookRuns::Close, saved());

    scheduler->refusal.clear();
    messages_.Expect("Task 1 has been scheduled.", MessageIcon::None, MessageAnswer::Ok);
    model.AddTaskClicked();
    EXPECT_EQ(IfOutlookRuns::Skip, saved());

    // The next window shows the choice saved.
    SchedulerWindowModel next{state, fake.platform, scheduler, messages_, dialogs, host};
    next.Load();
    EXPECT_EQ(2, next.OutlookWaySelection());
    next.OutlookWayChosen(1);
    EXPECT_EQ(1, next.OutlookWaySelection());
    EXPECT_TRUE(WriteUnattendedOutlookWay(registry, IfOutlookRuns::Close));
}

// The way chosen in the window decides the job's run level, though it is saved only once the
// job is added: a shadow-copy job of an administrator runs elevated, whatever was saved before.
TEST_F(SchedulerWindowModelTest, TheWayChosenInTheWindowSetsTheJobsRunLevel)
{
    RegistryAccess registry(*fake.platform.registry, messages_);
    fake.system.administrator = true;
    const struct {
        IfOutlookRuns saved;
        int chosen;
        bool highest;
    } cases[] = {{IfOutlookRuns::Close, 1, true}, {IfOutlookRuns::Snapshot, 0, false}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteUnattendedOutlookWay(registry, c.saved));
        SchedulerWindowModel window{state, fake.platform, scheduler, messages_, dialogs, host};
        window.Load();
        window.OutlookWayChosen(c.chosen);
        window.SetItemChecked(0, true);
        ExpectTargetDialog("D:\\nightly.ksb");
        window.TargetFileClicked();
        messages_.Expect(
            "Task " + std::to_string(scheduler->added.size() + 1) + " has been scheduled.",
            MessageIcon::None, MessageAnswer::Ok);
        window.AddTaskClicked();
        ASSERT_FALSE(scheduler->added.empty());
        EXPECT_EQ(c.highest, scheduler->added.back().HighestRunLevel) << c.chosen;
    }
    EXPECT_TRUE(WriteUnattendedOutlookWay(registry, IfOutlookRuns::Close));
}

// A program any process of the user could replace never runs at the highest run level: the
// window says why, adds the job, and saves the close way every run of the user's jobs reads.
TEST_F(SchedulerWindowModelTest, APerUserInstallSavesTheCloseWayInsteadOfAShadowCopy)
{
    RegistryAccess registry(*fake.platform.registry, messages_);
    ASSERT_TRUE(WriteUnattendedOutlookWay(registry, IfOutlookRuns::Close));
    fake.system.administrator = true;
    fake.system.programAdministratorsOnly = false;
    fake.system.programFolder = "C:\\Users\\ann\\AppData\\Local\\Programs\\Kestrel";
    model.Load();
    model.OutlookWayChosen(1);
    model.SetItemChecked(0, true);
    ExpectTargetDialog("D:\\nightly.ksb");
    model.TargetFileClicked();
    messages_.Expect(
        "A shadow copy needs administrator rights, and a scheduled task is given them only for a "
        "program installed for all users (in Program Files): any program you run could replace "
        "Kestrel in C:\\Users\\ann\\AppData\\Local\\Programs\\Kestrel and have it run with "
        "those rights. The task closes Outlook and starts it again instead.",
        MessageIcon::Information, MessageAnswer::Ok);
    messages_.Expect("Task 1 has been scheduled.", MessageIcon::None, MessageAnswer::Ok);
    model.AddTaskClicked();
    ASSERT_EQ(1u, scheduler->added.size());
    EXPECT_FALSE(scheduler->added.back().HighestRunLevel);
    EXPECT_EQ(IfOutlookRuns::Close, ReadUnattendedOutlookWay(registry));
    EXPECT_EQ(0, model.OutlookWaySelection());
}

// What the administrator set is what the window shows and what the job gets, whatever the user
// does with the locked controls; what is not set stays the user's.
TEST_F(SchedulerWindowModelTest, PoliciesLockTheirControlsAndMakeTheJob)
{
    testing::PolicyKeys policies(*fake.platform.registry);
    policies.Text(reg::HkeyLocalMachine, "Items", "100000001");
    policies.Text(reg::HkeyLocalMachine, "Days", "mon,fri");
    policies.Text(reg::HkeyCurrentUser, "Time", "07:15");
    policies.Text(reg::HkeyLocalMachine, "Target", "\\\\srv\\b\\ann.ksb");
    policies.Number(reg::HkeyLocalMachine, "Keep", 3);
    policies.Text(reg::HkeyLocalMachine, "WhenOutlookRuns", "skip");
    policies.Number(reg::HkeyLocalMachine, "PasswordRequired", 1);
    RegistryAccess registry(*fake.platform.registry, messages_);
    ASSERT_TRUE(WriteUnattendedOutlookWay(registry, IfOutlookRuns::Close));

    model.Load();
    const auto shown = [&] {
        return Offered() + " " + model.StartTime() + " " + DayCodesOf(model.Days()) + " " +
               model.TargetFileText() + " " + std::to_string(model.Keep()) + " " +
               std::to_string(model.OutlookWaySelection()) + " " + (model.Protect() ? "p" : "-");
    };
    const std::string locked = "x00000000 7:15 M,F \\\\srv\\b\\ann.ksb 3 2 p";
    EXPECT_EQ(locked, shown());
    EXPECT_EQ("7:15", model.StartTimeList().back());
    EXPECT_TRUE(model.ItemsLocked() && model.StartTimeLocked() && model.DaysLocked() &&
                model.TargetLocked() && model.KeepLocked() && model.OutlookWayLocked() &&
                model.ProtectLocked());

    model.SetItemChecked(0, false);
    model.SetItemChecked(1, true);
    model.StartTimeChosen(0);
    model.SetDayChecked(Weekday::Tuesday, true);
    model.DailyClicked(true);
    model.SetKeep(9);
    model.OutlookWayChosen(0);
    model.ProtectClicked(false);
    model.TargetFileClicked();  // no save dialog: the scripted dialogs fail on one
    model.SetTargetFileText("D:\\typed.ksb");
    EXPECT_EQ(locked, shown());
    model.ProfileChosen(1);  // another profile's boxes: the policy's ticks again
    EXPECT_EQ(locked, shown());

    model.SetPasswords("s3cret", "s3cret");
    messages_.Expect("Task 1 has been scheduled.", MessageIcon::None, MessageAnswer::Ok);
    model.AddTaskClicked();
    ASSERT_EQ(1u, scheduler->added.size());
    EXPECT_EQ(26100000u, scheduler->added[0].JobTime);
    EXPECT_EQ(0x11, scheduler->added[0].DaysOfWeek);
    EXPECT_EQ(
        "\"C:\\Program Files\\Kestrel\\kestrelbak.exe\" --keep 3 --password-key job-1 "
        "sf=Personalxm=100000000ps=bf=\\\\srv\\b\\ann.ksb",
        scheduler->added[0].Command);
    // The user's own choice is not overwritten by the policy's.
    EXPECT_EQ(IfOutlookRuns::Close, ReadUnattendedOutlookWay(registry));
}

TEST_F(SchedulerWindowModelTest, WithoutPoliciesNothingIsLocked)
{
    testing::PolicyKeys policies(*fake.platform.registry);
    policies.Number(reg::HkeyLocalMachine, "PasswordRequired", 0);
    policies.Number(reg::HkeyLocalMachine, "AllowRestore", 0);
    model.Load();
    EXPECT_FALSE(model.ItemsLocked() || model.StartTimeLocked() || model.DaysLocked() ||
                 model.TargetLocked() || model.KeepLocked() || model.OutlookWayLocked() ||
                 model.ProtectLocked());
    model.SetItemChecked(1, true);
    model.SetKeep(4);
    EXPECT_EQ("1x1111110", Offered());
    EXPECT_EQ(4, model.Keep());
}

}  // namespace
}  // namespace kestrel
