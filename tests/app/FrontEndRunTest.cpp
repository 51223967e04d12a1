// The three front ends of a backup (the window, `kestrel backup`, the scheduled job) run in
// process on a sample machine where "Outlook" holds the data file, for each way of dealing with
// it: each way must reach the archive, the programs and the shadow copy alike.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "app/BackupSetup.h"
#include "app/CommandLineRun.h"
#include "app/MainWindowModel.h"
#include "archive/ArchiveTestSupport.h"
#include "cli/ToolCommands.h"
#include "outlook/OutlookRunsSetting.h"
#include "platform/FileContents.h"
#include "registry/RegistryFixture.h"
#include "support/FakeHeldFiles.h"
#include "support/FakePlatform.h"
#include "support/ForwardingFileSystem.h"
#include "support/RecordingHost.h"
#include "support/SampleEnvironment.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedMessages.h"

// windows.h, which the registry fixture includes, makes ReplaceFile a macro of its own.
#undef ReplaceFile

namespace kestrel {
namespace {

constexpr const char* DataFile = "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst";
constexpr const char* Member = "bob@example.com.pst";
constexpr const char* SnapshotBytes = "the data file as the shadow copy holds it";
constexpr const char* NotReadBack = "the written archive did not read back";

// Reads every archive staged beside the target (its name is the target's, ".part-" and a name
// of the run's own) as another file, so the run's read-back finds no archive there.
class StagedArchiveReadsAs final : public testing::ForwardingFileSystem {
public:
    StagedArchiveReadsAs(FileSystem& inner, std::string stagedPrefix, std::string readAs)
        : ForwardingFileSystem(inner),
          stagedPrefix_(std::move(stagedPrefix)),
          readAs_(std::move(readAs))
    {
    }
    Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override
    {
        return ForwardingFileSystem::OpenInputFile(Read(path));
    }
    Result<FileFacts> Stat(const std::string& path) override
    {
        return ForwardingFileSystem::Stat(Read(path));
    }

private:
    std::string Read(const std::string& path) const
    {
        // The staged archive itself, not the temporary file the ZIP writer writes it through
        // ("<staged>.part-" and letters of its own).
        const bool staged = path.starts_with(stagedPrefix_) &&
                            path.find(".part-", stagedPrefix_.size()) == std::string::npos;
        return staged ? readAs_ : path;
    }

    std::string stagedPrefix_;
    std::string readAs_;
};

enum class Way { Skip, Close, Snapshot, SnapshotFails, Refuses, ReadBackFails, CancelWait };

// One way, and what every front end must make of it.
struct WayCase {
    Way way;
    const char* name;
    // The archive is in place, holding the data file read from the shadow copy or directly.
    bool written;
    bool fromSnapshot;
    std::vector<std::string> holderCalls;
    std::vector<std::string> snapshotCalls;
};

const WayCase Ways[] = {
    {Way::Skip, "skip", true, false, {}, {}},
    {Way::Close, "close", true, false, {"ask", "start after the run"}, {}},
    {Way::Snapshot, "snapshot", true, true, {}, {"create", "delete"}},
    {Way::SnapshotFails,
     "snapshot failing",
     true,
     false,
     {"ask", "start after the run"},
     {"create"}},
    {Way::Refuses, "refusing to close", true, false, {"ask"}, {}},
    {Way::ReadBackFails, "read-back failing", false, false, {"ask", "start"}, {}},
    {Way::CancelWait, "cancel during the wait", false, false, {"ask", "start"}, {}},
};

class FrontEndRunTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake.platform.fileSystem = testing::TargetFileSystem(scratch_.Native("root"));
        direct = fake.platform.fileSystem.get();
        sample = std::make_unique<testing::SampleEnvironment>("outlook2013-win7", *access_,
                                                              *fake.platform.fileSystem);
        fake.platform.registry = std::move(api_);
        fake.system.variables["%UserProfile%"] = "C:\\Users\\bob";
        fake.automation.version = "15.0";
        fake.runFolder.path = scratch_.Folder("run");
        fake.platform.dataFolder = scratch_.Folder("data");
        original = *ReadWholeFile(*fake.platform.fileSystem, DataFile, 1u << 20);
        ASSERT_NE(SnapshotBytes, original);
        ASSERT_FALSE(ReplaceFile(*direct, snapshotCopy, SnapshotBytes));
    }
    void TearDown() override
    {
        access_->DeleteValue(KestrelSettingsKey, WhenOutlookRunsValue);
        sample.reset();
        RegistryFixture::TearDown();
    }

    // The holders and shadow copies of one case, the way saved for the scheduled job and, for
    // a read-back that fails, reads of the staged archive that find something else.
    void Arrange(const WayCase& c)
    {
        FileSystem& files = *direct;
        files.RemoveFile(target);
        holders = new testing::FakeHolders;
        holders->dataFile = DataFile;
        holders->refuses = c.way == Way::Refuses;
        holders->archiveWritten = [this] { return direct->FileExists(target); };
        fake.platform.fileHolders.reset(holders);
        copies = new testing::FakeShadowCopies;
        copies->copies[DataFile] = snapshotCopy;
        if (c.way == Way::SnapshotFails) {
            copies->refusal = "not implemented";
        }
        fake.platform.shadowCopies.reset(copies);
        fake.system.administrator = true;
        const bool snapshot = c.way == Way::Snapshot || c.way == Way::SnapshotFails;
        ASSERT_TRUE(WriteUnattendedOutlookWay(*access_, c.way == Way::Skip ? IfOutlookRuns::Skip
                                                        : snapshot         ? IfOutlookRuns::Snapshot
                                                                           : IfOutlookRuns::Close));
        // The staged archive reads back as something else.
        if (c.way == Way::ReadBackFails) {
            ASSERT_FALSE(ReplaceFile(files, scratch_.Path("not-an-archive"), "no archive"));
            ownDirect = std::move(fake.platform.fileSystem);
            fake.platform.fileSystem = std::make_unique<StagedArchiveReadsAs>(
                files, target + ".part-", scratch_.Path("not-an-archive"));
        }
    }
    // Back to the direct file system after a case that misread the staged archive.
    void Tidy()
    {
        if (ownDirect) {
            fake.platform.fileSystem = std::move(ownDirect);
        }
    }
    void ExpectOutcome(const WayCase& c)
    {
        EXPECT_EQ(c.written, direct->FileExists(target));
        if (c.written) {
            const auto members = testing::ReadMembers(*direct, target, "");
            ASSERT_TRUE(members.count(Member)) << "no " << Member;
            EXPECT_EQ(c.fromSnapshot ? std::string(SnapshotBytes) : original, members.at(Member));
        }
        EXPECT_FALSE(direct->FileExists(target + ".part-verify"));
        EXPECT_EQ(c.holderCalls, holders->calls);
        EXPECT_EQ(c.snapshotCalls, copies->calls);
        EXPECT_TRUE(holders->running);
        EXPECT_FALSE(copies->taken);
    }

    testing::FakePlatform fake;
    std::unique_ptr<testing::SampleEnvironment> sample;
    FileSystem* direct = nullptr;
    std::unique_ptr<FileSystem> ownDirect;
    testing::FakeHolders* holders = nullptr;
    testing::FakeShadowCopies* copies = nullptr;
    std::string original;
    const std::string target = scratch_.Path("front-end.ksb");
    const std::string snapshotCopy = scratch_.Path("shadow-copy.pst");
};

// The held-files lines on standard error say what became of the file, and the archive, the
// programs and the shadow copy are as the way says. The command has no Cancel, and waits its
// full minute for a program that refuses to close.
TEST_F(FrontEndRunTest, BackupCommandDealsWithHeldFilesAsItsOptionSays)
{
    const std::string holder = "OUTLOOK.EXE (process 412)";
    for (const WayCase& c : Ways) {
        if (c.way == Way::CancelWait || c.way == Way::Refuses) {
            continue;
        }
        SCOPED_TRACE(c.name);
        Arrange(c);
        const bool snapshot = c.way == Way::Snapshot || c.way == Way::SnapshotFails;
        const std::vector<std::string> arguments{
            "--profile",         "Outlook",
            "--items",           "1",
            "--if-outlook-runs", c.way == Way::Skip ? "skip" : snapshot ? "snapshot" : "close",
            "--verify",          target};
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int status = RunBackupCommand(arguments, fake.platform, ToolConsole{});
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        Tidy();
        EXPECT_EQ(c.written ? 0 : 2, status) << out << err;
        ExpectOutcome(c);
        const std::string said =
            c.way == Way::Skip ? holder + " holds " + DataFile +
                                     "; left out of the backup (--if-outlook-runs close closes "
                                     "it and starts it again)\n"
            : c.way == Way::Snapshot ? std::string(DataFile) + " is read from a shadow copy\n"
            : c.way == Way::SnapshotFails
                ? "no shadow copy (no shadow copy could be made: not implemented); closing "
                  "Outlook instead\n"
                : "closed " + holder + " and started it again\n";
        EXPECT_NE(std::string::npos, err.find(said)) << err;
        if (!c.written) {
            EXPECT_NE(std::string::npos, out.find("nothing written: ")) << out;
        }
        EXPECT_EQ(c.way == Way::ReadBackFails, out.find(NotReadBack) != std::string::npos) << out;
    }
}

// The scheduled job takes the way saved in the options window, reads its archive back every
// time and logs what became of the held file.
TEST_F(FrontEndRunTest, ScheduledJobDealsWithHeldFilesAsTheSavedSettingSays)
{
    const std::string held = "held by OUTLOOK.EXE (process 412): " + std::string(DataFile);
    for (const WayCase& c : Ways) {
        if (c.way == Way::CancelWait || c.way == Way::Refuses) {
            continue;
        }
        SCOPED_TRACE(c.name);
        Arrange(c);
        const int status =
            RunFromCommandLine("sf=Outlookxm=1ps=bf=" + target, fake.platform, nullptr);
        Tidy();
        EXPECT_EQ(c.written ? 0 : 2, status);
        ExpectOutcome(c);
        const std::vector<std::string> log = ReadBackupLog(fake.platform);
        ASSERT_FALSE(log.empty());
        const std::string logged =
            c.way == Way::Skip       ? held + " left out"
            : c.way == Way::Snapshot ? held + " read from a snapshot"
            : c.way == Way::SnapshotFails
                ? "no shadow copy (no shadow copy could be made: not implemented), so Outlook was "
                  "asked to close; " +
                      held + " closed and restarted"
                : held + " closed and restarted";
        EXPECT_NE(std::string::npos, log.back().find("\t" + logged + "\t")) << log.back();
        EXPECT_EQ(c.way == Way::ReadBackFails, log.back().find(NotReadBack) != std::string::npos)
            << log.back();
    }
}

// A message recorder that answers the held-files question as told and everything else with
// OK or Cancel (the offer of a disc).
struct AnsweringMessages final : Messages {
    MessageAnswer Show(const std::string& text, const std::string&, MessageIcon,
                       MessageButtons buttons) override
    {
        shown.push_back(text);
        if (buttons == MessageButtons::YesNoCancel) {
            return answer;
        }
        return buttons == MessageButtons::OkCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    }
    MessageAnswer answer = MessageAnswer::Yes;
    std::vector<std::string> shown;
};

// Backup Now: Yes closes the program, or reads from a shadow copy when the options window
// chose one and the user is an administrator; No leaves the files alone; Cancel during the
// wait ends the run with the program started again.
TEST_F(FrontEndRunTest, BackupNowDealsWithHeldFilesAsTheAnswerSays)
{
    const std::string holder = "OUTLOOK.EXE (process 412)";
    const std::string asked = holder + " is using these files:\r\n\r\n" + DataFile + "\r\n\r\n";
    const std::string closeAnswers = "Yes: close " + holder +
                                     ", back up and start it again afterwards.\r\n"
                                     "No: back up without these files.\r\n"
                                     "Cancel: do not back up now.";
    const std::string snapshotAnswers =
        "Yes: back up these files from a shadow copy while " + holder +
        " keeps running (it is closed and started again when no shadow copy can be made).\r\n"
        "No: back up without these files.\r\n"
        "Cancel: do not back up now.";
    for (const WayCase& c : Ways) {
        SCOPED_TRACE(c.name);
        Arrange(c);
        const bool snapshot = c.way == Way::Snapshot || c.way == Way::SnapshotFails;
        AppState state;
        AnsweringMessages messages;
        messages.answer = c.way == Way::Skip ? MessageAnswer::No : MessageAnswer::Yes;
        testing::ScriptedDialogs dialogs;
        testing::RecordingHost host;
        {
            MainWindowModel model(state, fake.platform, nullptr, messages, dialogs, host);
            model.Load();
            char today[16] = {};
            const std::time_t now = std::time(nullptr);
            std::strftime(today, sizeof today, "%m-%d-%Y", std::localtime(&now));
            dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                           {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                            std::string("kesbak") + today, "ksb"},
                           target);
            model.TargetFileClicked();
            model.SetItemChecked(MainTab::Backup, 0, true);
            model.SetHolderWait(std::chrono::milliseconds(300));
            host.holdWork = c.way == Way::CancelWait;
            model.BackupNowChosen();
            if (c.way == Way::CancelWait) {
                ASSERT_TRUE(model.Running());
                model.CancelClicked();
                host.RunHeld();
            }
            EXPECT_FALSE(model.Running());
        }
        Tidy();
        ExpectOutcome(c);
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_EQ(asked + (snapshot ? snapshotAnswers : closeAnswers), messages.shown.front());
        const std::string& result = messages.shown.size() > 1 && c.written
                                        ? messages.shown[messages.shown.size() - 2]
                                        : messages.shown.back();
        if (c.way == Way::CancelWait) {
            EXPECT_EQ(1u, messages.shown.size());
        } else if (c.written) {
            EXPECT_EQ(0u, result.find("The Backup was Completed!")) << result;
        } else {
            EXPECT_EQ(0u, result.find("The Backup failed!")) << result;
        }
        EXPECT_EQ(c.way == Way::ReadBackFails, result.find(NotReadBack) != std::string::npos)
            << result;
        const std::string fellBack =
            "\r\n\r\nNo shadow copy could be used (no shadow copy could be made: not "
            "implemented), so " +
            holder + " was asked to close for the backup instead.";
        EXPECT_EQ(c.way == Way::SnapshotFails,
                  result.size() > fellBack.size() && result.compare(result.size() - fellBack.size(),
                                                                    fellBack.size(), fellBack) == 0)
            << result;
    }
}

}  // namespace
}  // namespace kestrel
