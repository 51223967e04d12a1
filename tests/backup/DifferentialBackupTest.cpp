// Nights of a job asking for differential archives: when it writes one, when a full one instead
// and why, and each night's data file rebuilt byte for byte from the archives it left.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <map>

#include "archive/ArchiveTestSupport.h"
#include "archive/BlockMap.h"
#include "archive/Differential.h"
#include "archive/MemberName.h"
#include "backup/BackupGenerations.h"
#include "backup/BackupRun.h"
#include "outlook/DataStorePaths.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/ForwardingFileSystem.h"
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

// Counts the bytes read from the data file, and lets a test act on each read of it.
class WatchedReads final : public testing::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;

    Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override
    {
        auto opened = ForwardingFileSystem::OpenInputFile(path);
        if (!opened || !EqualsIgnoringCase(path, Mail)) {
            return opened;
        }
        return std::unique_ptr<InputFile>(new Watched(*this, std::move(*opened)));
    }

    std::uint64_t bytesRead = 0;
    std::function<void()> onRead;

private:
    class Watched final : public InputFile {
    public:
        Watched(WatchedReads& owner, std::unique_ptr<InputFile> inner)
            : owner_(owner), inner_(std::move(inner))
        {
        }
        std::int64_t Read(char* data, std::size_t size) override
        {
            const std::int64_t read = inner_->Read(data, size);
            if (read > 0) {
                owner_.bytesRead += static_cast<std::uint64_t>(read);
            }
            if (owner_.onRead) {
                owner_.onRead();
            }
            return read;
        }
        bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
        std::uint64_t Size() const override { return inner_->Size(); }
        const Error& Failure() const override { return inner_->Failure(); }

    private:
        WatchedReads& owner_;
        std::unique_ptr<InputFile> inner_;
    };
};

// What a run showed: the file texts, and the bar's values while it wrote.
struct ShownProgress final : ProgressSink {
    void SetStatus(const std::string&) override {}
    void SetProgress(int value, int maximum) override { bar.push_back(value * 100 / maximum); }
    void SetFileText(const std::string& text) override { fileTexts.push_back(text); }
    void SetWriteText(const std::string&) override {}
    void SetBusy(bool) override {}

    std::vector<int> bar;
    std::vector<std::string> fileTexts;
};

class DifferentialBackupTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
        fake_.platform.fileSystem = std::make_unique<WatchedReads>(*files_);
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
        BackupRun run(fake_.platform, messages_, Plan(when, password));
        SilentProgress progress;
        return run.Run([](const std::vector<HeldFile>&) { return IfOutlookRuns::Skip; }, progress)
            .backup;
    }

    BackupPlan Plan(std::time_t when, const std::string& password)
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
        return plan;
    }

    WatchedReads& Watch() { return static_cast<WatchedReads&>(*fake_.platform.fileSystem); }

    // The backup folder's files and their bytes.
    std::map<std::string, std::string> Backups() const
    {
        std::map<std::string, std::string> backups;
        for (const std::string& name : files_->FilesIn(Folder)) {
            backups[name] = files_->Data(JoinPath(Folder, name));
        }
        return backups;
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

    std::unique_ptr<MemoryFileSystem> memory_ = std::make_unique<MemoryFileSystem>();
    MemoryFileSystem* files_ = memory_.get();
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

// The window collects on its own thread and writes on a worker: a differential's data file must
// be read (every byte of it, hashed and compared with the full's map) in the write, where the
// bar moves and Cancel works, never in the collection.
TEST_F(DifferentialBackupTest, ReadsTheDataFileOnlyWhileWriting)
{
    const std::time_t start = std::time_t{1796688000};
    // Several of the reader's buffers, so that a Cancel can come while it reads.
    std::string data = testing::RandomBytes(200 * Block + 77, 21);
    const std::string firstFull = BareName(GenerationPath(Target, start));
    enum class Ends { Full, Differential, Cancelled };
    struct NightCase {
        const char* what;
        std::function<void(std::string&)> change;
        bool cancelWhileReading;
        Ends ends;
        std::string because;
    };
    const NightCase nights[] = {
        {"the first night",
         {},
         false,
         Ends::Full,
         "there is no full backup of C:\\Backups\\Work.ksb yet"},
        {"cancelled while the data file is compared", [](std::string& d) { d[3 * Block] ^= 1; },
         true, Ends::Cancelled, ""},
        {"mail arrived", [](std::string& d) { d[150 * Block + 9] ^= 1; }, false, Ends::Differential,
         ""},
        {"a Compact", [](std::string& d) { d = testing::RandomBytes(d.size() - Block, 22); }, false,
         Ends::Full, "more than half of Outlook.pst changed since the full backup " + firstFull},
    };
    std::time_t when = start;
    for (const NightCase& night : nights) {
        SCOPED_TRACE(night.what);
        if (night.change) {
            night.change(data);
        }
        files_->AddFile(Mail, data);
        const auto before = Backups();
        BackupRun run(fake_.platform, messages_, Plan(when, "pa55"));
        SilentProgress silent;
        ASSERT_TRUE(run.Decide([](const std::vector<HeldFile>&) { return IfOutlookRuns::Skip; }));
        ASSERT_TRUE(run.Prepare(silent));
        Watch().bytesRead = 0;
        run.Collect(silent);
        EXPECT_EQ(0u, Watch().bytesRead) << "the collection reads no byte of the data file";
        if (night.cancelWhileReading) {
            Watch().onRead = [&run] { run.Cancel(); };
        }
        ShownProgress shown;
        run.Write(shown);
        Watch().onRead = nullptr;
        const BackupOutcome outcome = run.Finish(silent).backup;
        if (night.ends == Ends::Cancelled) {
            EXPECT_EQ(BackupResult::Cancelled, outcome.result);
            EXPECT_LT(Watch().bytesRead, data.size()) << "the read stops at the Cancel";
            EXPECT_TRUE(before == Backups()) << "the backups are as they were";
            when += Day;
            continue;
        }
        ASSERT_EQ(0, BackupExitStatus(outcome)) << outcome.error;
        EXPECT_GE(Watch().bytesRead, data.size());
        EXPECT_EQ(night.because, outcome.fullBecause);
        EXPECT_EQ(night.ends == Ends::Differential ? DifferentialPath(Target, when)
                                                   : GenerationPath(Target, when),
                  outcome.archivePath);
        EXPECT_TRUE(Restored(outcome.archivePath, "pa55") == data);
        if (night.change) {
            // Compared with the full: the user saw which file, and the bar move.
            EXPECT_NE(std::find(shown.fileTexts.begin(), shown.fileTexts.end(),
                                "Comparing File Outlook.pst"),
                      shown.fileTexts.end());
            ASSERT_GE(shown.bar.size(), 2u);
            EXPECT_LT(shown.bar.front(), shown.bar.back());
        }
        when += Day;
    }
}

}  // namespace
}  // namespace kestrel
