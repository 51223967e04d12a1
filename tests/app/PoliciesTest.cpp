#include "app/Policies.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/PolicyFixture.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"

namespace kestrel {
namespace {

using testing::PolicyKeys;
constexpr reg::Key Machine = reg::HkeyLocalMachine;
constexpr reg::Key User = reg::HkeyCurrentUser;

class PoliciesTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        keys = std::make_unique<PolicyKeys>(*api_);
        system.variables["%USERPROFILE%\\Backups\\%COMPUTERNAME%.ksb"] =
            "C:\\Users\\ann\\Backups\\OFFICE-PC.ksb";
    }
    void TearDown() override
    {
        keys.reset();
        RegistryFixture::TearDown();
    }
    Policies Read() { return ReadPolicies(*api_, &system); }

    std::unique_ptr<PolicyKeys> keys;
    testing::FakeSystemInfo system;
};

// What the reader made of one value: the field it set, as text, or "unusable" when it named it
// among the values it could not use, or "" when it is not configured.
struct ReadCase {
    const char* what;
    std::function<void(PolicyKeys&)> seed;
    std::function<std::string(const Policies&)> field;
    std::string expected;
};

std::string Flag(const std::optional<bool>& value)
{
    return value ? (*value ? "1" : "0") : "";
}

TEST_F(PoliciesTest, ReadsEachValueMachineFirst)
{
    const auto keep = [](const Policies& p) { return p.keep ? std::to_string(*p.keep) : ""; };
    const auto days = [](const Policies& p) { return p.days ? DayCodesOf(*p.days) : ""; };
    const auto time = [](const Policies& p) { return p.time.value_or(""); };
    const auto items = [](const Policies& p) { return p.items ? ItemFlagsOf(*p.items) : ""; };
    const auto target = [](const Policies& p) { return p.target.value_or(""); };
    const auto restore = [](const Policies& p) { return Flag(p.allowRestore); };
    const auto way = [](const Policies& p) {
        return p.whenOutlookRuns ? std::to_string(static_cast<int>(*p.whenOutlookRuns)) : "";
    };
    const std::vector<ReadCase> cases = {
        {"nothing configured", [](PolicyKeys&) {}, keep, ""},
        {"the user's value alone", [](PolicyKeys& k) { k.Number(User, "Keep", 3); }, keep, "3"},
        {"the machine's wins",
         [](PolicyKeys& k) {
             k.Number(User, "Keep", 3);
             k.Number(Machine, "Keep", 7);
         },
         keep, "7"},
        {"an unusable machine value is not replaced by the user's",
         [](PolicyKeys& k) {
             k.Number(User, "Keep", 3);
             k.Number(Machine, "Keep", 0);
         },
         keep, "unusable"},
        {"keep above 99", [](PolicyKeys& k) { k.Number(Machine, "Keep", 100); }, keep, "unusable"},
        {"keep as text", [](PolicyKeys& k) { k.Text(Machine, "Keep", "3"); }, keep, "unusable"},
        {"daily", [](PolicyKeys& k) { k.Text(Machine, "Days", "Daily"); }, days, "M,T,W,TH,F,S,SU"},
        {"named days in any case", [](PolicyKeys& k) { k.Text(Machine, "Days", "mon,WED,fri"); },
         days, "M,W,F"},
        {"an empty day", [](PolicyKeys& k) { k.Text(Machine, "Days", "mon,,fri"); }, days,
         "unusable"},
        {"a day spelt out", [](PolicyKeys& k) { k.Text(Machine, "Days", "monday"); }, days,
         "unusable"},
        {"time with a leading zero", [](PolicyKeys& k) { k.Text(Machine, "Time", "07:05"); }, time,
         "7:05"},
        {"time past the day", [](PolicyKeys& k) { k.Text(Machine, "Time", "24:00"); }, time,
         "unusable"},
        {"fewer than nine items", [](PolicyKeys& k) { k.Text(Machine, "Items", "101"); }, items,
         "101000000"},
        {"no item", [](PolicyKeys& k) { k.Text(Machine, "Items", "000000000"); }, items,
         "unusable"},
        {"ten items", [](PolicyKeys& k) { k.Text(Machine, "Items", "1111111111"); }, items,
         "unusable"},
        {"a target with variables",
         [](PolicyKeys& k) {
             k.Text(Machine, "Target", "%USERPROFILE%\\Backups\\%COMPUTERNAME%.ksb");
         },
         target, "C:\\Users\\ann\\Backups\\OFFICE-PC.ksb"},
        {"a share", [](PolicyKeys& k) { k.Text(User, "Target", "\\\\srv\\backups\\ann.ksb"); },
         target, "\\\\srv\\backups\\ann.ksb"},
        {"a variable nobody knows",
         [](PolicyKeys& k) { k.Text(Machine, "Target", "C:\\%TEAM%\\x.ksb"); }, target, "unusable"},
        {"a relative target", [](PolicyKeys& k) { k.Text(Machine, "Target", "backups\\x.ksb"); },
         target, "unusable"},
        {"a target with =", [](PolicyKeys& k) { k.Text(Machine, "Target", "C:\\a=b.ksb"); }, target,
         "unusable"},
        {"restore off", [](PolicyKeys& k) { k.Number(Machine, "AllowRestore", 0); }, restore, "0"},
        {"a switch of 2", [](PolicyKeys& k) { k.Number(Machine, "AllowRestore", 2); }, restore,
         "unusable"},
        {"a switch as text", [](PolicyKeys& k) { k.Text(Machine, "AllowRestore", "0"); }, restore,
         "unusable"},
        {"snapshot", [](PolicyKeys& k) { k.Text(Machine, "WhenOutlookRuns", "Snapshot"); }, way,
         std::to_string(static_cast<int>(IfOutlookRuns::Snapshot))},
        {"an unknown way", [](PolicyKeys& k) { k.Text(Machine, "WhenOutlookRuns", "kill"); }, way,
         "unusable"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        keys->Clear();
        c.seed(*keys);
        const Policies policies = Read();
        const std::string got = policies.unusable.empty() ? c.field(policies) : "unusable";
        EXPECT_EQ(c.expected, got);
    }
}

TEST_F(PoliciesTest, NamesTheUnusableValueAndWhy)
{
    keys->Number(Machine, "Keep", 0);
    keys->Text(User, "Days", "someday");
    const Policies policies = Read();
    EXPECT_EQ((std::vector<std::string>{
                  "HKEY_CURRENT_USER\\Software\\Policies\\Kestrel\\Days: \"someday\" cannot be "
                  "used",
                  "HKEY_LOCAL_MACHINE\\Software\\Policies\\Kestrel\\Keep: 0 is not 1 to 99"}),
              policies.unusable);
    EXPECT_EQ("", PoliciesLogText(policies));
}

TEST_F(PoliciesTest, LogTextNamesWhatIsSet)
{
    keys->Text(Machine, "Target", "\\\\srv\\b\\ann.ksb");
    keys->Number(User, "Keep", 4);
    keys->Number(Machine, "Differential", 1);
    keys->Text(User, "WhenOutlookRuns", "skip");
    EXPECT_EQ("Target=\\\\srv\\b\\ann.ksb, Keep=4, Differential=1, WhenOutlookRuns=skip",
              PoliciesLogText(Read()));
}

struct OverrideCase {
    const char* what;
    std::function<void(CommandLineChoices&)> ask;
    std::string expected;
};

TEST(PolicyOverrideTest, RefusesOnlyWhatDiffersFromAPolicy)
{
    Policies policies;
    policies.target = "\\\\srv\\backups\\ann.ksb";
    policies.items = PolicyItems("1101");
    policies.days = PolicyDays("mon,fri");
    policies.time = "7:30";
    policies.keep = 5;
    policies.passwordRequired = true;
    policies.verifyAfterWriting = false;
    policies.whenOutlookRuns = IfOutlookRuns::Skip;
    const std::vector<OverrideCase> cases = {
        {"nothing asked", [](CommandLineChoices&) {}, ""},
        {"the same values",
         [](CommandLineChoices& c) {
             c.target = "\\\\SRV\\Backups\\ann.ksb";
             c.items = PolicyItems("110100000");
             c.days = PolicyDays("fri,mon");
             c.time = "07:30";
             c.keep = 5;
             c.protect = true;
             c.verify = false;
             c.outlookWay = IfOutlookRuns::Skip;
         },
         ""},
        {"other items", [](CommandLineChoices& c) { c.items = PolicyItems("1"); },
         "--items is set by your administrator to 110100000"},
        {"another archive", [](CommandLineChoices& c) { c.target = "C:\\mine.ksb"; },
         "the archive is set by your administrator to \"\\\\srv\\backups\\ann.ksb\""},
        {"other days", [](CommandLineChoices& c) { c.days = PolicyDays("daily"); },
         "--days is set by your administrator to M,F"},
        {"another time", [](CommandLineChoices& c) { c.time = "9:00"; },
         "--time is set by your administrator to 7:30"},
        {"another keep", [](CommandLineChoices& c) { c.keep = 1; },
         "--keep is set by your administrator to 5"},
        {"no password", [](CommandLineChoices& c) { c.protect = false; },
         "a password is required by your administrator: give --password-stdin or "
         "--password-file"},
        {"verify asked for", [](CommandLineChoices& c) { c.verify = true; },
         "--verify is turned off by your administrator"},
        {"another way", [](CommandLineChoices& c) { c.outlookWay = IfOutlookRuns::Close; },
         "--if-outlook-runs is set by your administrator to skip"},
    };
    for (const OverrideCase& c : cases) {
        SCOPED_TRACE(c.what);
        CommandLineChoices asked;
        c.ask(asked);
        EXPECT_EQ(c.expected, PolicyOverride(policies, asked));
    }
    CommandLineChoices anything;
    anything.target = "C:\\x.ksb";
    anything.keep = 9;
    anything.protect = false;
    EXPECT_EQ("", PolicyOverride(Policies{}, anything));
}

TEST(WindowBackupRefusalTest, NamesWhatTheAdministratorSet)
{
    Policies policies;
    const ItemBoxes one = *PolicyItems("1");
    EXPECT_EQ("", WindowBackupRefusal(policies, "D:\\a.ksb", one, false));
    policies.passwordRequired = true;
    EXPECT_EQ("Set by your administrator: a backup must have a password.",
              WindowBackupRefusal(policies, "D:\\a.ksb", one, false));
    EXPECT_EQ("", WindowBackupRefusal(policies, "D:\\a.ksb", one, true));
    policies.items = PolicyItems("11");
    EXPECT_EQ(
        "Set by your administrator: the items backed up are 110000000 (one 0 or 1 per "
        "item, in the order of the boxes).",
        WindowBackupRefusal(policies, "D:\\a.ksb", one, true));
    policies.target = "\\\\srv\\b.ksb";
    EXPECT_EQ("Set by your administrator: backups go to \"\\\\srv\\b.ksb\".",
              WindowBackupRefusal(policies, "D:\\a.ksb", *PolicyItems("11"), true));
    EXPECT_EQ("", WindowBackupRefusal(policies, "\\\\SRV\\B.ksb", *PolicyItems("11"), true));
}

}  // namespace
}  // namespace kestrel
