#include "disc/DiscWindowModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "disc/SimulatedDiscEngine.h"
#include "support/MemoryFileSystem.h"
#include "support/ScriptedMessages.h"

namespace kestrel {
namespace {

struct RecordingDiscHost final : DiscWindowHost {
    std::vector<std::string> calls;
    void CloseWindow() override { calls.push_back("close"); }
    void EditTreeLabel(const std::string& key) override { calls.push_back("edit tree " + key); }
    void EditListLabel(const std::string& key) override { calls.push_back("edit list " + key); }
    void ShowFileMenu(FileMenuPopup) override {}
    void ShowEraseWindow(DiscDevice& drive) override { calls.push_back("erase " + drive.Name()); }
    void ProcessPendingEvents() override {}
};

class DiscWindowModelTest : public ::testing::Test {
protected:
    DiscWindowModelTest()
    {
        files.AddFolder("C:\\Backups\\Mail");
        files.AddFile("C:\\Backups\\outlook.ksb", std::string(1536, 'k'));
        files.AddFile("C:\\Backups\\Mail\\a.pst", std::string(4096, 'a'));
        files.AddFolder("C:\\Backups\\New");
        files.AddFile("C:\\Backups\\New\\outlook.ksb", std::string(10, 'n'));
    }

    // A drive with a blank writable disc of `blocks` blocks.
    SimulatedDevice& AddBurner(std::int64_t blocks = 1000)
    {
        SimulatedDevice& drive = engine.AddDrive("Burner");
        drive.LoadDisc(media::CdRw, true, true, blocks);
        return drive;
    }

    void Open()
    {
        std::string name;
        std::string path;
        ASSERT_TRUE(model.Open(name, path));
    }

    std::vector<std::string> RowNames() const
    {
        std::vector<std::string> names;
        for (const FileRow& row : model.Files()) {
            names.push_back(row.name);
        }
        return names;
    }

    testing::MemoryFileSystem files;
    SimulatedDiscEngine engine{files};
    testing::ScriptedMessages messages;
    RecordingDiscHost host;
    DiscWindowModel model{engine, files, messages, host};
};

TEST_F(DiscWindowModelTest, WithoutDrivesComposingWorksAndDriveCommandsAreOff)
{
    messages.Expect(
        "There are no compatible devices reported.\r\nSome older devices are not "
        "currently supported.",
        MessageIcon::Information, MessageAnswer::Ok);
    Open();
    EXPECT_TRUE(model.Devices().empty());
    EXPECT_FALSE(model.WriteDiscEnabled());
    EXPECT_FALSE(model.DriveCommandsEnabled());
    EXPECT_TRUE(model.ControlsEnabled());

    model.FilesDropped({"C:\\Backups\\outlook.ksb"});
    EXPECT_EQ(std::vector<std::string>{"outlook.ksb"}, RowNames());
    model.WriteDiscClicked();
    model.EraseDiscChosen();
    EXPECT_TRUE(engine.writes.empty());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(model.CloseRequested());
}

TEST_F(DiscWindowModelTest, AnEngineThatCannotStartClosesOnlyTheWindow)
{
    engine.initializes = false;
    messages.Expect("Devices Cannot be initialized...Contact support!", MessageIcon::None,
                    MessageAnswer::Ok);
    std::string name = "outlook.ksb";
    std::string path = "C:\\Backups\\outlook.ksb";
    EXPECT_FALSE(model.Open(name, path));
    EXPECT_EQ(std::vector<std::string>{"close"}, host.calls);
}

TEST_F(DiscWindowModelTest, OpeningSetsUpTheWindowAndTakesTheHandedOverArchive)
{
    struct Case {
        std::string name;
        std::string path;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"outlook.ksb", "C:\\Backups\\outlook.ksb", {"outlook.ksb"}},
        {"outlook.ksb", "", {}},
        {"", "C:\\Backups\\outlook.ksb", {}},
    };
    AddBurner().speeds = {8310, 5540};
    for (const Case& c : cases) {
        testing::ScriptedMessages quiet;
        DiscWindowModel window(engine, files, quiet, host);
        std::string name = c.name;
        std::string path = c.path;
        ASSERT_TRUE(window.Open(name, path));
        std::vector<std::string> rows;
        for (const FileRow& row : window.Files()) {
            rows.push_back(row.key + " " + row.size);
        }
        std::vector<std::string> expected;
        for (const std::string& row : c.rows) {
            expected.push_back("\\" + row + " 1.54 KB");
        }
        EXPECT_EQ(expected, rows) << c.name << "|" << c.path;
        EXPECT_EQ(!c.rows.empty(), name.empty() && path.empty()) << "emptied only when taken";
        EXPECT_EQ("Outlook Data Backup CD", window.Label());
        EXPECT_EQ("Files: " + std::to_string(c.rows.size()), window.StatusPanels()[1]);
        ASSERT_EQ(2u, window.Speeds().size());
        EXPECT_EQ("6.0x", window.Speeds()[0].text);
        EXPECT_EQ("4.0x", window.Speeds()[1].text);
        EXPECT_EQ(
            "ISO9660/Joliet/UDF Bridge",
            window.FileSystems()[static_cast<std::size_t>(window.FileSystemSelection())].text);
        EXPECT_EQ(7, engine.Writer().Settings().FileSystemType);
        EXPECT_TRUE(window.CloseRequested());
    }
}

TEST_F(DiscWindowModelTest, OnlyFileSystemsTheEngineWritesAreOffered)
{
    engine.writableFileSystems = {1, 3};
    AddBurner();
    Open();
    ASSERT_EQ(2u, model.FileSystems().size());
    EXPECT_EQ("ISO9660", model.FileSystems()[0].text);
    EXPECT_EQ("ISO9660/Joliet Bridge", model.FileSystems()[1].text);
    EXPECT_EQ(1, model.FileSystemSelection());
    EXPECT_EQ(3, engine.Writer().Settings().FileSystemType);
}

TEST_F(DiscWindowModelTest, DropsGoToTheSelectedFolderOrTheRoot)
{
    AddBurner();
    Open();
    model.FilesDropped({"C:\\Backups\\Mail"});
    ASSERT_EQ(2u, model.Tree().size());
    EXPECT_EQ("\\Mail", model.Tree()[1].key);
    EXPECT_EQ("\\", model.Tree()[1].parentKey);

    struct Case {
        const char* selected;
        const char* expectedPath;
    };
    for (const Case& c : {Case{"", "\\outlook.ksb"}, Case{"\\", "\\outlook.ksb"},
                          Case{"\\Mail", "\\Mail\\outlook.ksb"}}) {
        engine.Writer().Image().Remove("\\outlook.ksb");
        engine.Writer().Image().Remove("\\Mail\\outlook.ksb");
        if (*c.selected != '\0') {
            model.FolderClicked(c.selected);
        }
        model.FilesDropped({"C:\\Backups\\outlook.ksb"});
        const auto& rows = model.Files();
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const FileRow& row) {
            return row.key == c.expectedPath;
        })) << c.selected;
    }
}

TEST_F(DiscWindowModelTest, LabelAndRenameRules)
{
    AddBurner();
    Open();
    model.LabelTyped(std::string(33, 'L'));
    EXPECT_EQ(std::string(32, 'L'), model.Label());
    EXPECT_EQ(std::string(32, 'L'), model.Tree().front().text);
    model.LabelTyped(std::string(31, 'L') + "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(std::string(31, 'L') + "\xC3\xA9", model.Label()) << "characters, not bytes";

    model.FilesDropped({"C:\\Backups\\Mail"});
    // The root refuses both ways, and a folder cannot be renamed to a name that is taken.
    messages.Expect("No Item Selected.", MessageIcon::Information, MessageAnswer::Ok);
    model.RenameFolderChosen();
    model.FolderClicked("\\");
    messages.Expect("Root directory can not be renamed.", MessageIcon::Information,
                    MessageAnswer::Ok);
    model.RenameFolderChosen();
    messages.Expect("Root directory can not be renamed.", MessageIcon::Information,
                    MessageAnswer::Ok);
    EXPECT_FALSE(model.TreeLabelEditStarting("\\"));
    EXPECT_TRUE(host.calls.empty());

    model.FolderClicked("\\Mail");
    model.RenameFolderChosen();
    EXPECT_EQ(std::vector<std::string>{"edit tree \\Mail"}, host.calls);
    model.TreeLabelEdited("Old");
    EXPECT_EQ("\\Old", model.Tree()[1].key);
    EXPECT_EQ("Old", model.Tree()[1].text);
    EXPECT_EQ("\\Old", model.SelectedFolder());
    EXPECT_EQ(std::vector<std::string>{"a.pst"}, RowNames());

    messages.Expect("File could not be renamed.", MessageIcon::Information, MessageAnswer::Ok);
    model.FileClicked("\\Old\\a.pst");
    model.ListLabelEdited("");
    EXPECT_EQ(std::vector<std::string>{"a.pst"}, RowNames());

    messages.Expect("Item could not be removed.", MessageIcon::Information, MessageAnswer::Ok);
    model.FolderClicked("\\");
    model.RemoveFolderChosen();
    model.FolderClicked("\\Old");
    model.RemoveFolderChosen();
    EXPECT_EQ(1u, model.Tree().size());
    EXPECT_EQ("Folders: 0", model.StatusPanels()[2]);
}

TEST_F(DiscWindowModelTest, ReplacingAFileAsksWithItsOwnCaption)
{
    AddBurner();
    Open();
    model.FilesDropped({"C:\\Backups\\outlook.ksb"});
    for (MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        messages.Expect(
            "A file already exists in the image: \r\n\\outlook.ksb\r\nWould you like "
            "to replace it with: \r\nC:\\Backups\\New\\outlook.ksb ?",
            MessageIcon::Question, answer, "Replace file...");
        engine.Writer().Image().AddFile("C:\\Backups\\New\\outlook.ksb", "\\outlook.ksb");
        const auto listed = engine.Writer().Image().ListFolder("\\");
        EXPECT_EQ(answer == MessageAnswer::Ok ? 10.0 : 1536.0, listed.front().Size);
    }
}

TEST_F(DiscWindowModelTest, WriteChecksTheDiscAndItsSpaceFirst)
{
    struct Case {
        const char* name;
        int mediaType;
        bool writable;
        std::int64_t freeBlocks;
        const char* message;  // nullptr: the write starts
    };
    // The image is 3 blocks of 2048 bytes.
    const char* insert = "Please Insert Writable Media before continuing!";
    const Case cases[] = {
        {"empty drive", media::None, false, 0, insert},
        {"written disc", media::CdRw, false, 100, insert},
        {"too small", media::CdRw, true, 2,
         "Free Space on the loaded disc is 0.00 MB!\r\nThis data image requires 0.01 MB of Free "
         "Space!"},
        {"exact fit", media::CdRw, true, 3, nullptr},
    };
    files.AddFile("C:\\Backups\\three.bin", std::string(3 * 2048, 't'));
    SimulatedDevice& drive = AddBurner();
    Open();
    model.FilesDropped({"C:\\Backups\\three.bin"});
    for (const Case& c : cases) {
        drive.LoadDisc(c.mediaType, c.writable, true, c.freeBlocks);
        if (c.message != nullptr) {
            messages.Expect(c.message, MessageIcon::Information, MessageAnswer::Ok);
        }
        model.WriteDiscClicked();
        EXPECT_EQ(c.message == nullptr, engine.WriteRunning()) << c.name;
    }
}

TEST_F(DiscWindowModelTest, WriteSendsTheWindowsSettings)
{
    struct Case {
        std::vector<int> speeds;
        bool discAtOnce;
        bool testWrite;
        int expectedSpeed;
        WriteMode expectedMode;
        bool expectedVerify;
    };
    const Case cases[] = {
        {{}, true, false, 0, WriteMode::DiscAtOnce, true},
        {{8310, 5540}, false, false, 8310, WriteMode::TrackAtOnce, true},
        {{8310}, false, true, 8310, WriteMode::TrackAtOnce, false},
    };
    for (const Case& c : cases) {
        SimulatedDiscEngine fresh(files);
        SimulatedDevice& drive = fresh.AddDrive("Burner");
        drive.LoadDisc(media::CdRw, true, true, 100);
        drive.speeds = c.speeds;
        testing::ScriptedMessages quiet;
        quiet.Expect(c.expectedVerify ? "Write and Verify Complete!" : "Write Complete!",
                     MessageIcon::Information, MessageAnswer::Ok);
        DiscWindowModel window(fresh, files, quiet, host);
        std::string none;
        std::string alsoNone;
        ASSERT_TRUE(window.Open(none, alsoNone));
        EXPECT_EQ(c.speeds.empty() ? "MAX" : "6.0x", window.Speeds().front().text);
        window.FilesDropped({"C:\\Backups\\outlook.ksb"});
        window.LabelTyped("Mail 2024");
        window.OptionClicked(DiscOption::DiscAtOnce, c.discAtOnce);
        window.OptionClicked(DiscOption::TestWrite, c.testWrite);
        window.OptionClicked(DiscOption::AutoVerify, true);
        window.WriteDiscClicked();
        ASSERT_EQ(1u, fresh.writes.size());
        const WriterSettings& sent = fresh.writes.front().settings;
        EXPECT_EQ(c.expectedSpeed, sent.WriteSpeed);
        EXPECT_EQ(c.expectedMode, sent.Mode);
        EXPECT_EQ(c.expectedVerify, sent.AutoVerify) << "a test write is not verified";
        EXPECT_EQ("Mail 2024", sent.VolumeLabel);
        EXPECT_FALSE(window.ControlsEnabled());
        EXPECT_FALSE(window.CloseRequested()) << "no closing while writing";
        fresh.RunWrite();
        EXPECT_TRUE(window.ControlsEnabled());
        EXPECT_TRUE(window.CloseRequested());
    }
}
TEST_F(DiscWindowModelTest, StatusTextsAndProgressOfWriteAndVerification)
{
    AddBurner();
    Open();
    struct Case {
        int status;
        int percent;
        const char* panel;
        int progress;
    };
    const Case cases[] = {
        {0, 0, "Preparing Image....", 0},    {1, 40, "Preparing Image....", 40},
        {2, 41, "Preparing Image....", 41},  {3, 42, "Preparing Image....", 42},
        {4, 99, "Closing Track....", 42},    {5, 99, "Writing Lead-in....", 42},
        {6, 99, "Writing Lead-out....", 42}, {7, 99, "Writing Lead-out....", 42},
        {8, 99, "Updating Volume....", 42},  {12, 99, "Updating Volume....", 42},
    };
    for (const Case& c : cases) {
        model.StatusChanged(c.percent, static_cast<WriteStatus>(c.status));
        EXPECT_EQ(c.panel, model.StatusPanels()[0]) << c.status;
        EXPECT_EQ(c.progress, model.Progress()) << c.status;
    }
    model.ReadingFile(3, 17, "\\outlook.ksb");
    EXPECT_EQ("Track: 03 - Reading...17 - \\outlook.ksb", model.StatusPanels()[0]);

    // The verification's progress rounds halves to even.
    ImageItem item;
    item.ImagePath = "\\outlook.ksb";
    const int verified[][3] = {{1, 8, 12}, {3, 8, 38},  {5, 8, 62},  {1, 3, 33},
                               {2, 3, 67}, {1, 200, 0}, {3, 200, 2}, {7, 0, 2}};
    for (const auto& [done, total, progress] : verified) {
        model.VerifyItem(item, VerifyResult::Matched, done, total);
        EXPECT_EQ(progress, model.Progress()) << done << "/" << total;
    }
    EXPECT_EQ("Auto-Verify... \\outlook.ksb", model.StatusPanels()[0]);
}

TEST_F(DiscWindowModelTest, VerificationOutcomeDecidesTheEndMessage)
{
    const std::pair<VerifyResult, const char*> cases[] = {
        {VerifyResult::Matched, nullptr},  // the file's message; nullptr: none
        {VerifyResult::NotCompared, nullptr},
        {VerifyResult::Different, "Verify Error - Source and Destination file did not match: "},
        {VerifyResult::SizeDifferent,
         "Verify Error - Size of Source and Destination file did not match: "},
        {VerifyResult::DiscUnreadable,
         "Verify Error - Could not read Destination file from disc: "},
    };
    AddBurner();
    Open();
    model.FilesDropped({"C:\\Backups\\outlook.ksb", "C:\\Backups\\Mail"});
    model.OptionClicked(DiscOption::AutoVerify, true);
    for (const auto& [result, fileMessage] : cases) {
        SCOPED_TRACE(static_cast<int>(result));
        const bool allMatched = result == VerifyResult::Matched;
        engine.verifyResults["\\Mail\\a.pst"] = result;
        if (fileMessage != nullptr) {
            messages.Expect(std::string(fileMessage) +
                                "\r\n\\Mail\\a.pst (disc)\r\nC:\\Backups\\Mail\\a.pst (source)",
                            MessageIcon::None, MessageAnswer::Ok);
        }
        if (allMatched) {
            messages.Expect("Write and Verify Complete!", MessageIcon::Information,
                            MessageAnswer::Ok);
        } else {
            messages.Expect(
                "Write Complete, but only 1 of 2 files matched their source on the disc!",
                MessageIcon::Exclamation, MessageAnswer::Ok);
        }
        model.WriteDiscClicked();
        // Up to the verification's end, which stays on the status bar until the last status.
        while (engine.WriteRunning() &&
               model.StatusPanels()[0].find("Complete (") == std::string::npos) {
            engine.RunWrite(1);
        }
        EXPECT_EQ(allMatched ? "Auto-Verify...Complete (2 of 2 MATCHED)"
                             : "Auto-Verify...Complete (1 of 2 MATCHED)",
                  model.StatusPanels()[0]);
        EXPECT_EQ(100, model.Progress());
        engine.RunWrite();
        EXPECT_EQ("Write Completed!", model.StatusPanels()[0]);
    }
}

TEST_F(DiscWindowModelTest, HowAWriteEndsAndReturnsToIdle)
{
    struct Case {
        const char* name;
        bool starts;
        bool deviceError;
        std::optional<MessageAnswer> warning;  // the answer to a file warning; none: no warning
        bool cancelButton;
        const char* endMessage;
        MessageIcon icon;
        const char* status;
    };
    const auto info = MessageIcon::Information, stop = MessageIcon::Stop;
    const auto ok = MessageAnswer::Ok, cancel = MessageAnswer::Cancel;
    const char* device =
        "Device Error: (5)   Power calibration area error\r\nWrite failed - Sector 16";
    const Case cases[] = {
        {"not started", false, false, {}, false, "Disc Write could not be started.", stop, ""},
        {"device error", true, true, {}, false, device, stop, "Write Error!"},
        {"Cancel button", true, false, {}, true, "Write Cancelled!", info, "Write Cancelled...."},
        {"warning OK", true, false, ok, false, "Write Complete!", info, "Write Completed!"},
        {"warning Cancel", true, false, cancel, false, "Write Cancelled!", info,
         "Write Cancelled...."},
    };
    AddBurner();
    Open();
    model.FilesDropped({"C:\\Backups\\outlook.ksb"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.writeStarts = c.starts;
        engine.writeFailure.reset();
        if (c.deviceError) {
            WriteError failure;
            failure.Kind = 1;
            failure.Device = {5, "Power calibration area error", "Write failed", "Sector 16"};
            engine.writeFailure = failure;
        }
        engine.fileWarnings.clear();
        if (c.warning) {
            engine.fileWarnings.push_back({32, "Sharing violation", "C:\\Mail\\a.pst"});
            messages.Expect("File Warning(32):C:\\Mail\\a.pst\r\nSharing violation",
                            MessageIcon::Exclamation, *c.warning);
        }
        messages.Expect(c.endMessage, c.icon, MessageAnswer::Ok);
        model.WriteDiscClicked();
        if (c.starts) {
            engine.RunWrite(2);
        }
        if (c.cancelButton) {
            model.CancelClicked();
            EXPECT_EQ("Aborting Write...Please Wait!", model.StatusPanels()[0]);
            EXPECT_FALSE(model.Idle()) << "still writing until the engine stops";
        }
        if (c.starts) {
            engine.RunWrite();
            EXPECT_EQ(c.status, model.StatusPanels()[0]);
        }
        EXPECT_TRUE(model.Idle());
        EXPECT_TRUE(model.ControlsEnabled());
    }
}

}  // namespace
}  // namespace kestrel
