// Nights of a job asking for differential archives: when it writes one, when a full one instead
// and why, and each night's data file rebuilt byte for byte from the archives it left.

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "archive/ArchiveTestSupport.h"
#include "archive/BlockMap.h"
#include "archive/Differential.h"
#include "archive/MemberName.h"
#include "backup/BackupGenerations.h"
#include "backup/BackupRun.h"
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
constexpr std::time_t Day = 24 * 60 * 60;
constexpr std::size_t Block = DefaultBlockSize;

class DifferentialBackupTest : public testing::RegistryFixture {
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
        machine_ = {"OFFICE-PC", "ann", "C:\\Kestrel\\run-1", base_ + "\\Profiles", {}};
        machine_.locations.RulesFolder = "C:\\Users\\ann\\Outlook";
    }

    BackupOutcome Night(std::time_t when, const std::string& password)
    {
        BackupPlan plan;
        plan.request.profileName = "Mail";
        plan.request.boxes[0] = true;
        plan.request.protect = !password.empty();
        plan.request.password = password;
        plan.request.targetPath = Target;
        plan.request.startTime = when;
        plan.machine = machine_;
        plan.keep = {7, true};
        plan.differential = {true, DefaultFullAfterDays};
        BackupRun run(fake_.platform, messages_, plan);
        SilentProgress progress;
        return run.Run([](const std::vector<HeldFile>&) { return IfOutlookRuns::Skip; }, progress)
            .backup;
    }

    // The data file as the archive gives it back: extracted from a full, rebuilt from a
    // differential and the full beside it.
    std::string Restored(const std::string& archive, const std::string& password)
    {
        NoZipEvents events;
        ZipComponent zip(*files_, events);
        ZipComponent full(*files_, events);
        zip.SetReadPassword(password);
        EXPECT_TRUE(zip.Open(archive)) << zip.LastError();
        const std::optional<std::string> info = ReadInfoBytes(zip);
        if (!info || !IsDifferentialInfo(*info)) {
            return testing::ReadMembers(*files_, archive, password)["Outlook.pst"];
        }
        const std::optional<DifferentialFacts> facts = ReadDifferentialFacts(*info);
        EXPECT_TRUE(facts);
        const DifferentialParts parts =
            PrepareDifferential(zip, archive, *facts, full, FullBeside(archive, *facts), password);
        std::string why;
        const std::string output = "C:\\Kestrel\\run-1\\rebuilt.pst";
        EXPECT_TRUE(
            RebuildMember(*files_, parts, zip, "Outlook.pst", output, "C:\\Kestrel\\run-1", why))
            << why;
        return files_->Data(output);
    }

    MemoryFileSystem* files_ = new MemoryFileSystem;
    testing::FakePlatform fake_;
    BackupMachine machine_;
};

TEST_F(DifferentialBackupTest, WritesDifferentialsUntilAFullIsDueAndSaysWhy)
{
    const std::time_t start = std::time_t{1796688000};  // 2026-12-08 00:00 UTC
    std::string data = testing::RandomBytes(40 * Block + 300, 11);
    const std::string firstFull = BareName(GenerationPath(Target, start));
    const std::string compactFull = BareName(GenerationPath(Target, start + 3 * Day));
    struct NightCase {
        const char* what;
        std::time_t when;
        std::function<void(std::string&)> change;
        std::string password;
        bool differential;
        std::string because;
    };
    const NightCase nights[] = {
        {"the first night",
         start,
         {},
         "pa55",
         false,
         "there is no full backup of C:\\Backups\\Work.ksb yet"},
        {"mail arrived", start + Day,
         [](std::string& d) {
             d[0] ^= 1;
             d[7 * Block + 100] ^= 1;
             d += testing::RandomBytes(Block / 2, 12);
         },
         "pa55", true, ""},
        {"a quiet day", start + 2 * Day, {}, "pa55", true, ""},
        {"a Compact", start + 3 * Day,
         [](std::string& d) { d = testing::RandomBytes(d.size() - 3 * Block, 13); }, "pa55", false,
         "more than half of Outlook.pst changed since the full backup " + firstFull},
        {"the day after", start + 4 * Day, [](std::string& d) { d[5] ^= 1; }, "pa55", true, ""},
        {"a new password",
         start + 5 * Day,
         {},
         "n3w",
         false,
         "the password is not the one of the full backup " + compactFull},
        {"a week after the last full", start + 12 * Day, [](std::string& d) { d[9] ^= 1; }, "n3w",
         false,
         "the full backup " + BareName(GenerationPath(Target, start + 5 * Day)) +
             " is 7 days old, and a full backup is written after 7"},
    };
    for (const NightCase& night : nights) {
        SCOPED_TRACE(night.what);
        if (night.change) {
            night.change(data);
        }
        files_->AddFile(Mail, data);
        const BackupOutcome outcome = Night(night.when, night.password);
        ASSERT_EQ(0, BackupExitStatus(outcome)) << outcome.error;
        EXPECT_EQ(night.because, outcome.fullBecause);
        EXPECT_EQ(night.differential ? DifferentialPath(Target, night.when)
                                     : GenerationPath(Target, night.when),
                  outcome.archivePath);
        EXPECT_EQ(night.differential, !outcome.differentialOf.empty());
        EXPECT_TRUE(Restored(outcome.archivePath, night.password) == data)
            << "the night's data file comes back byte for byte";
        const auto facts = files_->Stat(outcome.archivePath);
        if (night.differential && facts) {
            EXPECT_LT(facts->size, data.size() / 4) << "a differential holds the changes only";
        }
    }
}

}  // namespace
}  // namespace kestrel
