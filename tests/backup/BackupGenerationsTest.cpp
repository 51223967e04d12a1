// The runs of a scheduled job that keeps a history: which files a run may remove or replace,
// in which order whatever the clock did, and the faults (an item left out, an archive that does
// not read back) that must never cost the last complete backup.

#include "backup/BackupGenerations.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <set>

#include "archive/ArchiveTestSupport.h"
#include "archive/MemberName.h"
#include "archive/ZipFileSource.h"
#include "backup/BackupDialogue.h"
#include "backup/UnattendedBackup.h"
#include "outlook/DataStorePaths.h"
#include "platform/PathJoin.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/MemoryFileSystem.h"
#include "support/StoreIdentifier.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;

constexpr const char* Folder = "C:\\Backups";
constexpr const char* Target = "C:\\Backups\\Work.ksb";
constexpr const char* Mail = "C:\\Mail\\Outlook.pst";
constexpr const char* Signatures = "C:\\Users\\ann\\Signatures";
constexpr const char* Users = "the user's";

// 7 December 2026, 23:30 local time, plus whole minutes.
std::time_t Evening(int minutes = 0)
{
    std::tm evening{};
    evening.tm_year = 2026 - 1900;
    evening.tm_mon = 11;
    evening.tm_mday = 7;
    evening.tm_hour = 23;
    evening.tm_min = 30 + minutes;
    evening.tm_isdst = -1;
    return std::mktime(&evening);
}

// A moment of 2026 given in UTC.
std::time_t Utc(unsigned month, unsigned day, int hour, int minute)
{
    using namespace std::chrono;
    return system_clock::to_time_t(sys_days{year{2026} / month / day} + hours{hour} +
                                   minutes{minute});
}

// The machine's time zone for as long as it lives (a POSIX TZ text).
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* saved = std::getenv("TZ")) {
            saved_ = saved;
        }
        Set(zone);
    }
    ~TimeZone() { Set(saved_ ? saved_->c_str() : nullptr); }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    static void Set(const char* zone)
    {
#ifdef _WIN32
        _putenv_s("TZ", zone != nullptr ? zone : "");
        _tzset();
#else
        if (zone != nullptr) {
            setenv("TZ", zone, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
#endif
    }
    std::optional<std::string> saved_;
};

class BackupGenerationsTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
        fake_.platform.fileSystem = std::unique_ptr<FileSystem>(files_);
        fake_.automation.version = "15.0.4420.1017";
        SetRaw("Profiles\\Mail\\a1", StoreIdentifierValue, reg::TypeBinary,
               testing::StoreIdentifier(u"C:\\Mail\\Outlook.pst"));
        files_->AddFolder("C:\\Kestrel\\run-1");
        files_->AddFolder(Folder);
        files_->AddFile(Mail, "mail");
        files_->AddFile(std::string(Signatures) + "\\ann.txt", "Ann");
        machine_ = {"OFFICE-PC", "ann", "C:\\Kestrel\\run-1", base_ + "\\Profiles", {}};
        machine_.locations.SignaturesFolder = Signatures;
        machine_.locations.RulesFolder = "C:\\Users\\ann\\Outlook";
        // The previous backup at the target, a complete one of ours.
        ASSERT_EQ(0, BackupExitStatus(Run("101000000", Evening(-24 * 60), {1, true})));
        previous_ = files_->Data(Target);
    }

    // The data files (with the rules, which this profile lacks) and the signatures, or the
    // signatures alone.
    BackupOutcome Run(const char* boxes, std::time_t when, const KeepPolicy& policy,
                      const char* target = Target)
    {
        BackupRequest request;
        request.profileName = "Mail";
        for (std::size_t i = 0; i < request.boxes.size(); ++i) {
            request.boxes[i] = boxes[i] == '1';
        }
        request.protect = true;
        request.password = "pa55";
        request.targetPath = target;
        request.startTime = when;
        BackupJob job(fake_.platform, messages_);
        SilentProgress progress;
        return RunKeptBackup(job, request, machine_, progress, policy, *files_);
    }

    // A complete archive of ours under the name, as an earlier run left it.
    void Plant(const std::string& name) { files_->AddFile(JoinPath(Folder, name), previous_); }

    std::set<std::string> Names()
    {
        const std::vector<std::string> names = files_->FilesIn(Folder);
        return {names.begin(), names.end()};
    }

    std::set<std::string> IncompleteNames(const char* target = Target)
    {
        std::set<std::string> incomplete;
        for (const std::string& name : Names()) {
            if (IsIncompleteName(target, name)) {
                incomplete.insert(name);
            }
        }
        return incomplete;
    }

    MemoryFileSystem* files_ = new MemoryFileSystem;
    testing::FakePlatform fake_;
    BackupMachine machine_;
    std::string previous_;
};

TEST_F(BackupGenerationsTest, KeepsTheNewestGenerationsAndNoFileOfAnyOtherName)
{
    const std::set<std::string> users{"Work.ksb.old", "Work final.ksb", "Home 2020-01-01 0000.ksb"};
    for (const std::string& name : users) {
        files_->AddFile(JoinPath(Folder, name), Users);
    }
    for (int run = 0; run < 5; ++run) {
        const BackupOutcome outcome = Run("101000000", Evening(run), {3, true});
        ASSERT_EQ(0, BackupExitStatus(outcome)) << outcome.error;
        EXPECT_EQ(GenerationPath(Target, Evening(run)), outcome.archivePath);
        EXPECT_EQ(run < 3 ? 0u : 1u, outcome.removed.size());
    }
    std::set<std::string> expected = users;
    expected.insert("Work.ksb");
    for (int run = 2; run < 5; ++run) {
        expected.insert(BareName(GenerationPath(Target, Evening(run))));
    }
    EXPECT_EQ(expected, Names());
    EXPECT_EQ(previous_, files_->Data(Target));
    for (int run = 2; run < 5; ++run) {
        EXPECT_FALSE(ArchiveReadBackProblem(*files_, GenerationPath(Target, Evening(run)), "pa55"));
        EXPECT_EQ("mail", testing::ReadMembers(*files_, GenerationPath(Target, Evening(run)),
                                               "pa55")["Outlook.pst"]);
    }
}

// Runs of a job that keeps a history while the clock goes back (set back, a daylight-saving
// fall-back, a trip west with the names of an earlier build): each run's archive is there when
// it ends, and the ones removed are the oldest by the time they were really written.
TEST_F(BackupGenerationsTest, TheRunsArchiveStaysWhateverTheClockDid)
{
    const struct {
        const char* clock;
        const char* zone;
        std::vector<std::time_t> planted;        // generations of ours, by their UTC stamp
        std::vector<std::string> plantedByName;  // generations an earlier build named
        std::vector<std::time_t> runs;           // the clock at each run's start
        int keep;
        std::vector<std::size_t> plantedLeft;  // of `planted`
        std::vector<std::string> plantedByNameLeft;
        std::vector<std::size_t> runsLeft;
    } cases[] = {
        {"in order",
         "UTC0",
         {Utc(12, 4, 23, 30), Utc(12, 5, 23, 30), Utc(12, 6, 23, 30)},
         {},
         {Utc(12, 7, 23, 30)},
         3,
         {1, 2},
         {},
         {0}},
        {"set back below every stamp",
         "UTC0",
         {Utc(12, 5, 23, 30), Utc(12, 6, 23, 30), Utc(12, 7, 23, 30)},
         {},
         {Utc(12, 1, 23, 30)},
         3,
         {1, 2},
         {},
         {0}},
        {"set back, three runs",
         "UTC0",
         {Utc(12, 5, 23, 30), Utc(12, 6, 23, 30), Utc(12, 7, 23, 30)},
         {},
         {Utc(12, 1, 23, 30), Utc(12, 2, 23, 30), Utc(12, 3, 23, 30)},
         3,
         {},
         {},
         {0, 1, 2}},
#ifndef _WIN32
        // 25 October 2026, 03:00 summer time becomes 02:00: runs at 02:50 summer time, then
        // 02:10 and 02:20 winter time.
        {"daylight-saving fall-back",
         "CET-1CEST,M3.5.0,M10.5.0/3",
         {},
         {},
         {Utc(10, 25, 0, 50), Utc(10, 25, 1, 10), Utc(10, 25, 1, 20)},
         2,
         {},
         {},
         {1, 2}},
        // 02:30 twice.
        {"daylight-saving fall-back, the same local minute",
         "CET-1CEST,M3.5.0,M10.5.0/3",
         {},
         {},
         {Utc(10, 25, 0, 30), Utc(10, 25, 1, 30)},
         2,
         {},
         {},
         {0, 1}},
#endif
        // Written in Tokyo at 14:30 and 23:00 UTC; the run in Honolulu at 01:00 UTC.
        {"time zone west, names of an earlier build",
         "HST10",
         {},
         {"Work 2026-12-07 2330.ksb", "Work 2026-12-08 0800.ksb"},
         {Utc(12, 8, 1, 0)},
         2,
         {},
         {"Work 2026-12-08 0800.ksb"},
         {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clock);
        const TimeZone zone(c.zone);
        for (const std::string& name : Names()) {
            if (name != "Work.ksb") {
                files_->RemoveFile(JoinPath(Folder, name));
            }
        }
        for (std::time_t when : c.planted) {
            Plant(BareName(GenerationPath(Target, when)));
        }
        for (const std::string& name : c.plantedByName) {
            Plant(name);
        }
        for (std::time_t when : c.runs) {
            const BackupOutcome outcome = Run("101000000", when, {c.keep, true});
            EXPECT_EQ(0, BackupExitStatus(outcome)) << outcome.error;
            EXPECT_EQ(GenerationPath(Target, when), outcome.archivePath);
            EXPECT_TRUE(files_->FileExists(outcome.archivePath));
        }
        std::set<std::string> expected{"Work.ksb"};
        for (std::size_t i : c.plantedLeft) {
            expected.insert(BareName(GenerationPath(Target, c.planted[i])));
        }
        expected.insert(c.plantedByNameLeft.begin(), c.plantedByNameLeft.end());
        for (std::size_t i : c.runsLeft) {
            expected.insert(BareName(GenerationPath(Target, c.runs[i])));
        }
        EXPECT_EQ(expected, Names());
    }
}

// Names dated after the run are reported, in the log line, as not taken for the newest.
TEST_F(BackupGenerationsTest, NamesDatedAfterTheRunAreReported)
{
    const TimeZone zone("UTC0");
    const std::time_t ahead = Utc(12, 6, 23, 30);
    Plant(BareName(GenerationPath(Target, ahead)));
    Plant(BareName(GenerationPath(Target, Utc(11, 30, 23, 30))));
    const BackupOutcome outcome = Run("101000000", Utc(12, 1, 23, 30), {5, true});
    ASSERT_EQ(0, BackupExitStatus(outcome)) << outcome.error;
    const std::string line =
        BackupLogLine(Utc(12, 1, 23, 30), "Mail", Target, outcome, 1.0, std::string());
    EXPECT_NE(std::string::npos, line.find("\tdated after this run, so not taken for the newest: " +
                                           GenerationPath(Target, ahead) + "\tstatus 0: written"))
        << line;
}

// Files named as a generation or an incomplete archive of the target that are not archives of
// ours, and the archives of a target that differs only by its extension, stay.
TEST_F(BackupGenerationsTest, RemovesOnlyArchivesOfOursOfThisTarget)
{
    const std::set<std::string> users{"Work 2020-01-01 0000.ksb", "Work 2020-01-01 0000 UTC.ksb",
                                      "Work (incomplete 2020-01-01 0000).ksb",
                                      "Work (incomplete 2020-01-01 0000 UTC).ksb"};
    for (const std::string& name : users) {
        files_->AddFile(JoinPath(Folder, name), Users);
    }
    const char* other = "C:\\Backups\\Work";
    for (int run = 0; run < 3; ++run) {
        for (const char* target : {Target, other}) {
            const BackupOutcome outcome = Run("101000000", Evening(run), {2, true}, target);
            ASSERT_EQ(0, BackupExitStatus(outcome)) << target << ": " << outcome.error;
            EXPECT_EQ(GenerationPath(target, Evening(run)), outcome.archivePath);
        }
    }
    // Complete keep-1 runs clear incomplete archives away: only ours.
    ASSERT_EQ(0, BackupExitStatus(Run("101000000", Evening(3), {1, true})));
    for (const std::string& name : users) {
        EXPECT_EQ(Users, files_->Data(JoinPath(Folder, name))) << name;
    }
    std::set<std::string> expected = users;
    expected.insert("Work.ksb");
    for (const char* target : {Target, other}) {
        for (int run : {1, 2}) {
            expected.insert(BareName(GenerationPath(target, Evening(run))));
        }
    }
    EXPECT_EQ(expected, Names());
}

// A data file held open without sharing: the archive lacks the mail, so it must not take the
// place of the one that holds it; the next complete run clears it away.
TEST_F(BackupGenerationsTest, AnIncompleteRunGoesBesideTheCompleteArchive)
{
    for (int keep : {1, 2}) {
        SCOPED_TRACE(keep);
        const std::string generation = GenerationPath(Target, Evening(-60));
        Plant(BareName(generation));
        files_->RefuseOpening(Mail);
        const BackupOutcome incomplete = Run("101000000", Evening(), {keep, true});
        EXPECT_EQ(1, BackupExitStatus(incomplete));
        EXPECT_TRUE(incomplete.writtenBeside);
        EXPECT_EQ(IncompletePath(Target, Evening()), incomplete.archivePath);
        EXPECT_TRUE(incomplete.removed.empty());
        EXPECT_EQ(previous_, files_->Data(Target));
        EXPECT_TRUE(files_->FileExists(generation));
        EXPECT_EQ("Ann", testing::ReadMembers(*files_, incomplete.archivePath, "pa55")["ann.txt"]);
        EXPECT_NE(std::string::npos, BackupResultText(incomplete).find(texts::KeptPreviousBackup));

        files_->AllowOpening(Mail);
        const BackupOutcome complete = Run("001000000", Evening(1), {keep, true});
        EXPECT_EQ(0, BackupExitStatus(complete));
        EXPECT_FALSE(complete.writtenBeside);
        EXPECT_FALSE(files_->FileExists(IncompletePath(Target, Evening())));
        EXPECT_TRUE(files_->FileExists(generation));
        EXPECT_EQ(keep == 1 ? Target : GenerationPath(Target, Evening(1)), complete.archivePath);
        files_->RemoveFile(GenerationPath(Target, Evening(1)));
        files_->AddFile(Target, previous_);
    }
}

// A data file held all week: each night's incomplete archive replaces the one before, so no
// more than `keep` of them are there, and the log names the one removed.
TEST_F(BackupGenerationsTest, IncompleteArchivesAreBounded)
{
    for (int keep : {1, 2, 3}) {
        SCOPED_TRACE(keep);
        for (const std::string& name : IncompleteNames()) {
            files_->RemoveFile(JoinPath(Folder, name));
        }
        Plant(BareName(GenerationPath(Target, Evening(-60))));
        files_->RefuseOpening(Mail);
        for (int night = 0; night < 5; ++night) {
            const BackupOutcome outcome = Run("101000000", Evening(night * 24 * 60), {keep, true});
            ASSERT_EQ(1, BackupExitStatus(outcome)) << outcome.error;
            EXPECT_TRUE(outcome.writtenBeside);
            if (night < keep) {
                EXPECT_TRUE(outcome.removed.empty());
                continue;
            }
            const std::string removed = IncompletePath(Target, Evening((night - keep) * 24 * 60));
            EXPECT_EQ(std::vector<std::string>{removed}, outcome.removed);
            const std::string line =
                BackupLogLine(Evening(night * 24 * 60), "Mail", Target, outcome, 1.0);
            EXPECT_NE(std::string::npos, line.find("\tremoved " + removed + "\t")) << line;
        }
        EXPECT_EQ(static_cast<std::size_t>(keep), IncompleteNames().size());
        EXPECT_EQ(previous_, files_->Data(Target));
        EXPECT_TRUE(files_->FileExists(GenerationPath(Target, Evening(-60))));
        files_->AllowOpening(Mail);
    }
}

// With no complete backup of ours to keep, the run that lacks an item is written where a
// complete one would be, and nothing says a previous backup was kept.
TEST_F(BackupGenerationsTest, WithNothingToKeepAnIncompleteRunIsWrittenAtTheTarget)
{
    const struct {
        const char* what;
        int keep;
        const char* besideTarget;  // a file of the user's named as a generation
    } cases[] = {
        {"keep 1, no target", 1, nullptr},
        {"keep 2, no generation", 2, nullptr},
        {"keep 2, a file of the user's named as a generation", 2, "Work 2026-01-01 0000 UTC.ksb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : Names()) {
            files_->RemoveFile(JoinPath(Folder, name));
        }
        if (c.besideTarget != nullptr) {
            files_->AddFile(JoinPath(Folder, c.besideTarget), Users);
        }
        files_->RefuseOpening(Mail);
        const BackupOutcome outcome = Run("101000000", Evening(), {c.keep, true});
        files_->AllowOpening(Mail);
        EXPECT_EQ(1, BackupExitStatus(outcome));
        EXPECT_FALSE(outcome.writtenBeside);
        const std::string placed = c.keep == 1 ? Target : GenerationPath(Target, Evening());
        EXPECT_EQ(placed, outcome.archivePath);
        EXPECT_TRUE(HoldsBackup(*files_, placed));
        EXPECT_TRUE(IncompleteNames().empty());
        EXPECT_EQ(std::string::npos, BackupResultText(outcome).find("kept"));
        const std::string line = BackupLogLine(Evening(), "Mail", Target, outcome, 1.0);
        EXPECT_EQ(std::string::npos, line.find("kept")) << line;
        EXPECT_NE(std::string::npos, line.find("\tstatus 1: written, but an item failed; "))
            << line;
        if (c.besideTarget != nullptr) {
            EXPECT_EQ(Users, files_->Data(JoinPath(Folder, c.besideTarget)));
        }
    }
}

// An item whose folder is there and empty has nothing to back up: it is reported as failed,
// but the archive lacks nothing, so it replaces the previous one. A missing folder, or a file
// in it that cannot be read, leaves the previous archive as it was.
TEST_F(BackupGenerationsTest, AnEmptyFolderDoesNotMakeTheRunIncomplete)
{
    const std::string signature = std::string(Signatures) + "\\ann.txt";
    const struct {
        const char* folder;
        void (*arrange)(MemoryFileSystem&, const std::string& signature);
        bool replaces;
    } cases[] = {
        {"there and empty",
         [](MemoryFileSystem& files, const std::string& file) { files.RemoveFile(file); }, true},
        {"there, only a subfolder",
         [](MemoryFileSystem& files, const std::string& file) {
             files.RemoveFile(file);
             files.AddFolder(std::string(Signatures) + "\\ann_files");
         },
         true},
        {"missing",
         [](MemoryFileSystem& files, const std::string&) { files.RemoveFolderTree(Signatures); },
         false},
        {"a file that cannot be read",
         [](MemoryFileSystem& files, const std::string& file) { files.RefuseOpening(file); },
         false},
        {"there, but cannot be read",
         [](MemoryFileSystem& files, const std::string&) { files.RefuseListing(Signatures); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        MemoryFileSystem before = files_->DeepCopy();
        c.arrange(*files_, signature);
        const BackupOutcome outcome = Run("101000000", Evening(), {1, true});
        EXPECT_EQ(1, BackupExitStatus(outcome));
        EXPECT_NE(std::string::npos,
                  BackupResultText(outcome).find("\r\nBackup Signatures\tFail!\t"));
        EXPECT_EQ(c.replaces, !outcome.writtenBeside);
        EXPECT_EQ(c.replaces ? Target : IncompletePath(Target, Evening()), outcome.archivePath);
        EXPECT_EQ(c.replaces, files_->Data(Target) != previous_);
        EXPECT_EQ("mail",
                  testing::ReadMembers(*files_, outcome.archivePath, "pa55")["Outlook.pst"]);
        *files_ = before.DeepCopy();
    }
}

// A folder whose listing holds something is readable: the run asks no more about it, so the
// check for an unreadable folder costs a normal one nothing.
TEST_F(BackupGenerationsTest, AFolderThatListsIsNotAskedWhetherItCanBeListed)
{
    files_->AddFile(std::string(Signatures) + "\\ann_files\\logo.png", "png");
    const std::uint64_t before = files_->ListingQuestions();
    ASSERT_EQ(0, BackupExitStatus(Run("101000000", Evening(), {1, true})));
    EXPECT_EQ(before, files_->ListingQuestions());
}

// Whatever the disk returns, an archive that does not read back replaces and removes nothing.
TEST_F(BackupGenerationsTest, AnArchiveThatDoesNotReadBackKeepsThePreviousOnes)
{
    for (int keep : {1, 2}) {
        SCOPED_TRACE(keep);
        Plant(BareName(GenerationPath(Target, Evening(-2))));
        Plant(BareName(GenerationPath(Target, Evening(-1))));
        const std::set<std::string> before = files_->Paths();
        files_->DamageFilesMovedTo(std::string(Target) + ".part-");
        const BackupOutcome outcome = Run("001000000", Evening(), {keep, true});
        EXPECT_EQ(BackupResult::NotReadBack, outcome.result);
        EXPECT_EQ(2, BackupExitStatus(outcome));
        EXPECT_EQ(0u, outcome.error.find("the written archive did not read back ("))
            << outcome.error;
        EXPECT_TRUE(outcome.archivePath.empty());
        EXPECT_EQ(before, files_->Paths());
        EXPECT_EQ(previous_, files_->Data(Target));
    }
}

// Two runs to one target at once each write under a name of their own, one a killed run's
// leftovers share (ArchiveLeftovers clears those away).
TEST(BackupStaging, EachRunStagesUnderANameOfItsOwn)
{
    BackupRequest request;
    request.targetPath = Target;
    std::set<std::string> names;
    for (int run = 0; run < 20; ++run) {
        const std::string staged = StagedRequest(request).writePath;
        EXPECT_TRUE(IsPartialArchiveName(BareName(staged), "Work.ksb")) << staged;
        EXPECT_EQ(Folder, ParentFolder(staged));
        names.insert(staged);
    }
    EXPECT_EQ(20u, names.size());
}

}  // namespace
}  // namespace kestrel
