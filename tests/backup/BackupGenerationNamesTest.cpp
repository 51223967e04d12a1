// Which files a target's history stands for, and the order its generations are removed in,
// whatever the clock and the time zone did between the runs.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "archive/MemberName.h"
#include "backup/BackupGenerations.h"

namespace kestrel {
namespace {

constexpr const char* Target = "C:\\Backups\\Work.ksb";

// A moment of 2026 given in UTC.
std::time_t Utc(unsigned month, unsigned day, int hour, int minute)
{
    using namespace std::chrono;
    return system_clock::to_time_t(sys_days{year{2026} / month / day} + hours{hour} +
                                   minutes{minute});
}

std::string Generation(std::time_t when)
{
    return BareName(GenerationPath(Target, when));
}

TEST(BackupGenerationNames, StampTheStartInUtcBeforeTheTargetsExtension)
{
    EXPECT_EQ("C:\\Backups\\Work 2026-12-07 2330 UTC.ksb",
              GenerationPath(Target, Utc(12, 7, 23, 30) + 59));
    EXPECT_EQ("C:\\Backups\\Work (incomplete 2026-12-08 0001 UTC).ksb",
              IncompletePath(Target, Utc(12, 8, 0, 1)));
    EXPECT_EQ("C:\\Backups\\Work 2026-12-07 2330 UTC",
              GenerationPath("C:\\Backups\\Work", Utc(12, 7, 23, 30)));
    EXPECT_EQ("/srv/b/mail 2026-01-02 0905 UTC.zip",
              GenerationPath("/srv/b/mail.zip", Utc(1, 2, 9, 5)));
    EXPECT_EQ(Utc(12, 7, 23, 30), NamedTime(Target, "Work 2026-12-07 2330 UTC.ksb"));
    EXPECT_EQ(Utc(2, 28, 0, 0), NamedTime(Target, "Work (incomplete 2026-02-28 0000 UTC).ksb"));
}

TEST(BackupGenerationNames, OnlyTheTargetsOwnPatternsMatch)
{
    const char* NoExtension = "C:\\Backups\\Work";
    const struct {
        const char* target;
        const char* name;
        bool generation;
        bool incomplete;
    } cases[] = {
        {Target, "Work 2026-12-07 2330 UTC.ksb", true, false},
        {Target, "WORK 2026-12-07 2330 utc.KSB", true, false},  // Windows finds names in any case
        {Target, "Work 2026-12-07 2330.ksb", true, false},      // an earlier build's local stamp
        {Target, "Work (incomplete 2026-12-07 2330 UTC).ksb", false, true},
        {Target, "Work (incomplete 2026-12-07 2330).ksb", false, true},
        {Target, "Work.ksb", false, false},
        {Target, "Work.ksb.old", false, false},
        {Target, "Work final.ksb", false, false},
        {Target, "Work 2026-12-07 2330 UTC.ksb.old", false, false},
        {Target, "Work 2026-12-07 233 UTC.ksb", false, false},
        {Target, "Work 2026-12-07-2330 UTC.ksb", false, false},
        {Target, "Work 2026-12-07 2330 GMT.ksb", false, false},
        {Target, "Work copy 2026-12-07 2330 UTC.ksb", false, false},
        {Target, "Home 2026-12-07 2330 UTC.ksb", false, false},  // another job's
        {Target, "Work (incomplete 2026-12-07 2330 UTC) (2).ksb", false, false},
        // Dates and times that do not exist.
        {Target, "Work 2026-13-07 2330 UTC.ksb", false, false},
        {Target, "Work 2026-02-29 2330 UTC.ksb", false, false},
        {Target, "Work 2026-12-07 2460 UTC.ksb", false, false},
        {Target, "Work (incomplete 2026-12-00 2330).ksb", false, false},
        // "Work" and "Work.ksb" are two targets, each with names of its own.
        {Target, "Work 2026-12-07 2330 UTC", false, false},
        {Target, "Work (incomplete 2026-12-07 2330 UTC)", false, false},
        {NoExtension, "Work 2026-12-07 2330 UTC", true, false},
        {NoExtension, "Work (incomplete 2026-12-07 2330 UTC)", false, true},
        {NoExtension, "Work 2026-12-07 2330 UTC.ksb", false, false},
        {NoExtension, "Work (incomplete 2026-12-07 2330 UTC).ksb", false, false},
        // The local names of earlier builds were the same for both: only "Work.ksb" has them.
        {NoExtension, "Work 2026-12-07 2330.ksb", false, false},
        {NoExtension, "Work 2026-12-07 2330", false, false},
        {"C:\\Backups\\Work.ksb.ksb", "Work.ksb 2026-12-07 2330 UTC.ksb", true, false},
        {"C:\\Backups\\Work.ksb.ksb", "Work 2026-12-07 2330 UTC.ksb", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.generation, IsGenerationName(c.target, c.name)) << c.target << " " << c.name;
        EXPECT_EQ(c.incomplete, IsIncompleteName(c.target, c.name)) << c.target << " " << c.name;
    }
}

// The generations removed so that `keep` remain, when the run that has just written one
// started at `now`: the names a clock set back leaves dated ahead go first, and the run's own
// is never among them.
TEST(BackupGenerationOrder, TheNewestStayWhateverTheClockSays)
{
    const std::string dec5 = Generation(Utc(12, 5, 23, 30));
    const std::string dec6 = Generation(Utc(12, 6, 23, 30));
    const std::string dec7 = Generation(Utc(12, 7, 23, 30));
    const std::string dec1 = Generation(Utc(12, 1, 23, 30));
    const std::string dec2 = Generation(Utc(12, 2, 23, 30));
    const struct {
        const char* clock;
        std::vector<std::string> names;
        std::time_t now;
        std::string written;
        int keep;
        std::vector<std::string> beyond;
    } cases[] = {
        {"in order, listed in any order",
         {dec7, dec5, "Work final.ksb", dec6, dec2},
         Utc(12, 7, 23, 31),
         dec7,
         2,
         {dec2, dec5}},
        {"in order, nothing beyond", {dec5, dec6}, Utc(12, 6, 23, 30), dec6, 2, {}},
        {"set back below every stamp",
         {dec5, dec6, dec7, dec1},
         Utc(12, 1, 23, 30),
         dec1,
         3,
         {dec5}},
        {"set back, the next run", {dec6, dec7, dec1, dec2}, Utc(12, 2, 23, 30), dec2, 3, {dec6}},
        {"set back, keep 1 of them",
         {dec6, dec7, dec1, dec2},
         Utc(12, 2, 23, 30),
         dec2,
         1,
         {dec6, dec7, dec1}},
        {"set back a few minutes",
         {dec7, Generation(Utc(12, 7, 23, 20))},
         Utc(12, 7, 23, 20),
         Generation(Utc(12, 7, 23, 20)),
         1,
         {dec7}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.beyond, GenerationsBeyond(Target, c.names, c.keep, c.now, c.written))
            << c.clock;
    }
    // Incomplete archives count by the same order, among themselves.
    EXPECT_EQ((std::vector<std::string>{"Work (incomplete 2026-12-09 0000 UTC).ksb"}),
              IncompleteBeyond(Target,
                               {"Work (incomplete 2026-12-09 0000 UTC).ksb", dec7,
                                "Work (incomplete 2026-12-02 0000 UTC).ksb",
                                "Work (incomplete 2026-12-03 0000 UTC).ksb"},
                               2, Utc(12, 3, 0, 0), "Work (incomplete 2026-12-03 0000 UTC).ksb"));
    EXPECT_EQ((std::vector<std::string>{dec6, dec7}),
              DatedAfter(Target, {dec1, dec6, "Work final.ksb", dec7, dec2}, Utc(12, 5, 0, 0)));
}

}  // namespace
}  // namespace kestrel
