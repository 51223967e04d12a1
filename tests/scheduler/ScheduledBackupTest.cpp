#include "scheduler/ScheduledBackup.h"

#include <gtest/gtest.h>

#include "backup/UnattendedBackup.h"
#include "support/ScriptedMessages.h"

namespace kestrel {
namespace {

ScheduleChoices Valid()
{
    ScheduleChoices choices;
    choices.profile = "Outlook";
    choices.items[0] = choices.items[8] = true;
    choices.targetFile = "D:\\b.ksb";
    return choices;
}

TEST(ScheduledBackupTest, StartTimesAndWeekdayMasks)
{
    const std::vector<std::string> times = StartTimes();
    ASSERT_EQ(48u, times.size());
    EXPECT_EQ("9:00", times[18]);
    EXPECT_EQ("23:30", times.back());
    for (std::size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(i * 1800000u, JobTimeOf(times[i])) << times[i];
    }
    EXPECT_FALSE(JobTimeOf("24:00") || JobTimeOf("9:60") || JobTimeOf("9:0") || JobTimeOf("9"));

    const bool x = true, o = false;
    const struct {
        WeekdayBoxes days;  // Monday first
        const char* codes;
        std::uint8_t mask;
    } cases[] = {
        {{x, o, x, o, x, o, o}, "M,W,F", 0x15},
        {{o, o, o, x, o, x, x}, "TH,S,SU", 0x68},
        {{x, x, x, x, x, x, x}, "M,T,W,TH,F,S,SU", 0x7F},
        {{o, o, o, o, o, o, o}, "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.codes, DayCodesOf(c.days));
        EXPECT_EQ(c.mask, DaysOfWeekOf(c.codes)) << c.codes;
    }
}

TEST(ScheduledBackupTest, WeekdayNamesJoinedByCommas)
{
    const bool x = true, o = false;
    const std::optional<WeekdayBoxes> none;
    const struct {
        const char* text;
        WeekdayNames names;
        std::optional<WeekdayBoxes> days;  // Monday first
    } cases[] = {
        {"mon,WED,Fri", WeekdayNames::Short, WeekdayBoxes{x, o, x, o, x, o, o}},
        {"sun", WeekdayNames::Short, WeekdayBoxes{o, o, o, o, o, o, x}},
        {"tue,tue", WeekdayNames::Short, WeekdayBoxes{o, x, o, o, o, o, o}},
        {"thu,sat,SUN,mon,tue,wed,fri", WeekdayNames::Short, WeekdayBoxes{x, x, x, x, x, x, x}},
        {"Thursday,sat", WeekdayNames::ShortOrLong, WeekdayBoxes{o, o, o, x, o, x, o}},
        {"MONDAY,sunday", WeekdayNames::ShortOrLong, WeekdayBoxes{x, o, o, o, o, o, x}},
        {"monday", WeekdayNames::Short, none},
        {"", WeekdayNames::ShortOrLong, none},
        {"mon,,fri", WeekdayNames::ShortOrLong, none},
        {"mon,fri,", WeekdayNames::ShortOrLong, none},
        {",mon", WeekdayNames::ShortOrLong, none},
        {"mon, fri", WeekdayNames::ShortOrLong, none},
        {"mo", WeekdayNames::ShortOrLong, none},
        {"mond", WeekdayNames::ShortOrLong, none},
        {"daily", WeekdayNames::ShortOrLong, none},
        {"mon;fri", WeekdayNames::ShortOrLong, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.days, WeekdaysOf(c.text, c.names)) << '"' << c.text << '"';
    }
}

TEST(ScheduledBackupTest, ChecksRefuseInOrder)
{
    const auto exclamation = MessageIcon::Exclamation, stop = MessageIcon::Stop;
    const char* equals = "Profile, password and backup file must not contain \"=\".";
    const struct {
        bool item;
        const char* target;
        bool protect;
        const char* password;
        const char* retyped;
        const char* profile;
        const char* message;  // null: accepted
        MessageIcon icon;
    } cases[] = {
        {false, "", true, "", "", "",
         "There is no Outlook profile to back up, so no task can be scheduled.", exclamation},
        {false, "", true, "", "", "a=b", "Please select at least one item.", exclamation},
        {true, "", true, "", "", "a=b", "Invalid backup file name.", exclamation},
        {true, "D:\\b.ksb", true, "", "", "a=b", "Please enter Password!", stop},
        {true, "D:\\b.ksb", true, "", "x", "a=b", "Incorect Password!", stop},
        {true, "D:\\b.ksb", true, "x=", "X=", "Outlook", "Incorect Password!", stop},
        {true, "D:\\b.ksb", true, "Pa=ss", "Pa=ss", "Outlook", equals, exclamation},
        {true, "D:\\b.ksb", false, "", "", "a=b", equals, exclamation},
        {true, "D:\\x=1.ksb", false, "", "", "Outlook", equals, exclamation},
        {true, "D:\\b.ksb", false, "Pa=ss", "", "Outlook", nullptr, exclamation},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "accepted");
        ScheduleChoices choices = Valid();
        choices.items = {};
        choices.items[7] = c.item;
        choices.targetFile = c.target;
        choices.protect = c.protect;
        choices.password = c.password;
        choices.retypedPassword = c.retyped;
        choices.profile = c.profile;
        testing::ScriptedMessages messages;
        if (c.message) {
            messages.Expect(c.message, c.icon, MessageAnswer::Ok);
        }
        EXPECT_EQ(c.message == nullptr, CheckScheduleChoices(choices, messages));
    }
}

// What the job holds is what the unattended backup reads back, whatever the values hold
// besides "=", which the checks refuse. The password itself is never in it: a protected job
// names the secret it is kept as.
TEST(ScheduledBackupTest, ArgumentsParseBackIntoTheSameValues)
{
    const struct {
        const char* profile;
        const char* password;
        const char* target;
        int keep;
    } cases[] = {
        {"Outlook", "", "D:\\b.ksb", 1},
        {"Ann's \"Work\" Mail", " p a s s ", "C:\\My Backups\\week 1.ksb", 2},
        {"100%", "$HOME%PATH%`x`", "\\\\srv\\share\\$x\\%TEMP%.ksb", 99},
        {"Pr\xC3\xB6"
         "fil \xE6\x9D\xB1\xE4\xBA\xAC",
         "p\xC3\xA4ss\xE2\x82\xAC", "C:\\Users\\Zo\xC3\xAB\\\xD0\x94\xD0\xBE\xD0\xBA\\b.ksb", 1},
        {"xm\\", "bfps\\\"", "D:\\\"quoted\"\\", 3},
        {"--keep 2 sf", "", "D:\\b.ksb", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        ScheduleChoices choices = Valid();
        choices.profile = c.profile;
        choices.protect = *c.password != '\0';
        choices.password = choices.retypedPassword = choices.protect ? c.password : "left over";
        choices.targetFile = c.target;
        choices.keep = c.keep;
        testing::ScriptedMessages none;
        ASSERT_TRUE(CheckScheduleChoices(choices, none));
        const std::string key = choices.protect ? "job-0123abcd" : "";
        const auto job = BuildJobInfo(choices, "C:\\Program Files\\Kestrel", key);
        ASSERT_TRUE(job);
        if (choices.protect) {
            EXPECT_EQ(std::string::npos, job->Command.find(c.password)) << job->Command;
        }
        const auto parsed = ParseUnattendedArguments(job->Arguments);
        ASSERT_TRUE(parsed) << job->Arguments;
        EXPECT_EQ(c.profile, parsed->profileName);
        EXPECT_EQ("100000001", parsed->itemFlags);
        EXPECT_EQ("", parsed->password);
        EXPECT_EQ(key, parsed->passwordKey);
        EXPECT_EQ(c.keep, parsed->keep);
        EXPECT_EQ(c.target, parsed->archivePath);
    }
}

}  // namespace
}  // namespace kestrel
