// The runs of a scheduled job that keeps a history: which files a target stands for, which a
// run may remove, and the faults (an item left out, an archive that does not read back) that
// must never cost the last complete backup.

#include "backup/BackupGenerations.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>

#include "archive/ArchiveTestSupport.h"
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
constexpr const char* Previous = "the previous backup";
constexpr const char* Mail = "C:\\Mail\\Outlook.pst";

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

TEST(BackupGenerationNames, OnlyTheJobsOwnPatternsMatch)
{
    EXPECT_EQ("C:\\Backups\\Work 2026-12-07 2330.ksb", GenerationPath(Target, Evening()));
    EXPECT_EQ("C:\\Backups\\Work (incomplete 2026-12-08 0001).ksb",
              IncompletePath(Target, Evening(31)));
    EXPECT_EQ("/srv/b/mail.zip 2026-12-07 2330.ksb", GenerationPath("/srv/b/mail.zip", Evening()));

    const struct {
        const char* name;
        bool generation;
        bool incomplete;
    } cases[] = {
        {"Work 2026-12-07 2330.ksb", true, false},
        {"WORK 2026-12-07 2330.KSB", true, false},  // Windows finds names in any case
        {"Work (incomplete 2026-12-07 2330).ksb", false, true},
        {"Work.ksb", false, false},
        {"Work.ksb.old", false, false},
        {"Work final.ksb", false, false},
        {"Work 2026-12-07 2330.ksb.old", false, false},
        {"Work 2026-12-07 233.ksb", false, false},
        {"Work 2026-12-07-2330.ksb", false, false},
        {"Work copy 2026-12-07 2330.ksb", false, false},
        {"Home 2026-12-07 2330.ksb", false, false},  // another job's
        {"Work (incomplete 2026-12-07 2330) (2).ksb", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.generation, IsGenerationName(Target, c.name)) << c.name;
        EXPECT_EQ(c.incomplete, IsIncompleteName(Target, c.name)) << c.name;
    }
    // Oldest first by the time in the name, whatever order the folder lists them in.
    EXPECT_EQ(
        (std::vector<std::string>{"Work 2025-12-31 2330.ksb", "work 2026-01-02 0900.ksb"}),
        GenerationsBeyond(Target,
                          {"Work 2026-12-07 2330.ksb", "work 2026-01-02 0900.ksb", "Work final.ksb",
                           "Work 2026-11-30 2330.ksb", "Work 2025-12-31 2330.ksb"},
                          2));
}

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
        files_->AddFile(Mail, "mail");
        files_->AddFile("C:\\Users\\ann\\Signatures\\ann.txt", "Ann");
        files_->AddFile(Target, Previous);
        machine_ = {"OFFICE-PC", "ann", "C:\\Kestrel\\run-1", base_ + "\\Profiles", {}};
        machine_.locations.SignaturesFolder = "C:\\Users\\ann\\Signatures";
        machine_.locations.RulesFolder = "C:\\Users\\ann\\Outlook";
    }

    // The data files (with the rules, which this profile lacks) and the signatures, or the
    // signatures alone.
    BackupOutcome Run(const char* boxes, std::time_t when, const KeepPolicy& policy)
    {
        BackupRequest request;
        request.profileName = "Mail";
        for (std::size_t i = 0; i < request.boxes.size(); ++i) {
            request.boxes[i] = boxes[i] == '1';
        }
        request.protect = true;
        request.password = "pa55";
        request.targetPath = Target;
        request.startTime = when;
        BackupJob job(fake_.platform, messages_);
        SilentProgress progress;
        return RunKeptBackup(job, request, machine_, progress, policy, *files_);
    }

    std::set<std::string> Names()
    {
        const std::vector<std::string> names = files_->FilesIn(Folder);
        return {names.begin(), names.end()};
    }

    MemoryFileSystem* files_ = new MemoryFileSystem;
    testing::FakePlatform fake_;
    BackupMachine machine_;
};

TEST_F(BackupGenerationsTest, KeepsTheNewestGenerationsAndNoFileOfAnyOtherName)
{
    const std::set<std::string> users{"Work.ksb", "Work.ksb.old", "Work final.ksb",
                                      "Home 2020-01-01 0000.ksb"};
    for (const std::string& name : users) {
        if (name != "Work.ksb") {
            files_->AddFile(JoinPath(Folder, name), "the user's");
        }
    }
    for (int run = 0; run < 5; ++run) {
        const BackupOutcome outcome = Run("101000000", Evening(run), {3, true});
        ASSERT_EQ(0, BackupExitStatus(outcome)) << outcome.error;
        EXPECT_EQ(GenerationPath(Target, Evening(run)), outcome.archivePath);
        EXPECT_EQ(run < 3 ? 0u : 1u, outcome.removed.size());
    }
    std::set<std::string> expected = users;
    expected.insert(
        {"Work 2026-12-07 2332.ksb", "Work 2026-12-07 2333.ksb", "Work 2026-12-07 2334.ksb"});
    EXPECT_EQ(expected, Names());
    EXPECT_EQ(Previous, files_->Data(Target));
    for (int run = 2; run < 5; ++run) {
        EXPECT_FALSE(ArchiveReadBackProblem(*files_, GenerationPath(Target, Evening(run)), "pa55"));
        EXPECT_EQ("mail", testing::ReadMembers(*files_, GenerationPath(Target, Evening(run)),
                                               "pa55")["Outlook.pst"]);
    }
}

// A data file held open without sharing: the archive lacks the mail, so it must not take the
// place of the one that holds it; the next complete run clears it away.
TEST_F(BackupGenerationsTest, AnIncompleteRunGoesBesideTheCompleteArchive)
{
    for (int keep : {1, 2}) {
        SCOPED_TRACE(keep);
        files_->AddFile(GenerationPath(Target, Evening(-60)), "an older generation");
        files_->RefuseOpening(Mail);
        const BackupOutcome incomplete = Run("101000000", Evening(), {keep, true});
        EXPECT_EQ(1, BackupExitStatus(incomplete));
        EXPECT_TRUE(incomplete.writtenBeside);
        EXPECT_EQ(IncompletePath(Target, Evening()), incomplete.archivePath);
        EXPECT_TRUE(incomplete.removed.empty());
        EXPECT_EQ(Previous, files_->Data(Target));
        EXPECT_TRUE(files_->FileExists(GenerationPath(Target, Evening(-60))));
        EXPECT_EQ("Ann", testing::ReadMembers(*files_, incomplete.archivePath, "pa55")["ann.txt"]);

        const BackupOutcome complete = Run("001000000", Evening(1), {keep, true});
        EXPECT_EQ(0, BackupExitStatus(complete));
        EXPECT_FALSE(complete.writtenBeside);
        EXPECT_FALSE(files_->FileExists(IncompletePath(Target, Evening())));
        EXPECT_TRUE(files_->FileExists(GenerationPath(Target, Evening(-60))));
        EXPECT_EQ(keep == 1 ? Target : GenerationPath(Target, Evening(1)), complete.archivePath);
        files_->RemoveFile(GenerationPath(Target, Evening(1)));
        files_->AddFile(Target, Previous);
    }
}

// Whatever the disk returns, an archive that does not read back replaces and removes nothing.
TEST_F(BackupGenerationsTest, AnArchiveThatDoesNotReadBackKeepsThePreviousOnes)
{
    for (int keep : {1, 2}) {
        SCOPED_TRACE(keep);
        files_->AddFile(GenerationPath(Target, Evening(-2)), "older");
        files_->AddFile(GenerationPath(Target, Evening(-1)), "old");
        const std::set<std::string> before = files_->Paths();
        files_->DamageFilesMovedTo(std::string(Target) + ".part-verify");
        const BackupOutcome outcome = Run("001000000", Evening(), {keep, true});
        EXPECT_EQ(BackupResult::NotReadBack, outcome.result);
        EXPECT_EQ(2, BackupExitStatus(outcome));
        EXPECT_EQ(0u, outcome.error.find("the written archive did not read back ("))
            << outcome.error;
        EXPECT_TRUE(outcome.archivePath.empty());
        EXPECT_EQ(before, files_->Paths());
        EXPECT_EQ(Previous, files_->Data(Target));
    }
}

}  // namespace
}  // namespace kestrel
