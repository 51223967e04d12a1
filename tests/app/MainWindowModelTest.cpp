#include "app/MainWindowModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

#include "app/BackupSetup.h"
#include "app/MainWindowTexts.h"
#include "archive/ArchiveTestSupport.h"
#include "archive/MemberName.h"
#include "archive/ZipComponent.h"
#include "backup/BackupRun.h"
#include "platform/FileContents.h"
#include "registry/RegistryFixture.h"
#include "restore/RestoreJournal.h"
#include "support/FakeHeldFiles.h"
#include "support/FakePlatform.h"
#include "support/MemoryFileSystem.h"
#include "support/RecordingHost.h"
#include "support/SampleEnvironment.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedMessages.h"

#ifdef _WIN32
// windows.h, which the registry fixture includes, makes ReplaceFile a macro of its own.
#undef ReplaceFile
#endif

namespace kestrel {
namespace {

using testing::RecordingHost;

class MainWindowModelTest : public ::testing::Test {
protected:
    void LoadWithoutProfiles()
    {
        messages.Expect(texts::NoOutlook, MessageIcon::Stop, MessageAnswer::Ok);
        model.Load();
    }

    testing::FakePlatform fake;
    AppState state;
    testing::ScriptedMessages messages;
    RecordingHost host;
    MainWindowModel model{state, fake.platform, nullptr, messages, host};
};

// Without a profile every box is disabled and stays unticked, and Apply is off.
TEST_F(MainWindowModelTest, WithoutProfilesLoadWarnsAndDisablesApplyAndTheBoxes)
{
    fake.system.computerName = std::string("  OFFICE-PC \0junk", 17);
    fake.automation.version = "15.0";
    LoadWithoutProfiles();

    EXPECT_FALSE(model.ApplyEnabled());
    EXPECT_EQ("Backup Now", model.ApplyCaption());
    EXPECT_TRUE(model.SourceProfiles().empty());
    EXPECT_TRUE(model.TargetProfiles().empty());
    EXPECT_FALSE(model.ProgressPanelVisible());
    EXPECT_EQ("Please Waiting", model.StatusText());

    EXPECT_EQ("OFFICE-PC", state.ComputerName);
    EXPECT_EQ("15.0", state.OutlookShortVersion);
    EXPECT_TRUE(state.NoOutlookFlag);
    EXPECT_TRUE(state.NoValidBackupFlag);
    EXPECT_EQ("", state.UserProfileFolder);
    for (MainTab tab : {MainTab::Backup, MainTab::Restore}) {
        model.SelectAllItems(tab);
        for (const ItemBox& box : model.Items(tab)) {
            EXPECT_FALSE(box.enabled);
            EXPECT_FALSE(box.checked);
        }
        model.SetItemChecked(tab, 3, true);
        EXPECT_FALSE(model.Items(tab)[3].checked) << "a disabled box cannot be ticked";
    }
}

// A restore cut short is put in order when the window starts, and said once: a later load (the
// options window reloads) finds nothing more to do.
TEST_F(MainWindowModelTest, StartPutsAnInterruptedRestoreInOrderAndSaysSoOnce)
{
    auto* files = new testing::MemoryFileSystem;
    fake.platform.fileSystem.reset(files);
    fake.platform.dataFolder = "C:\\Kestrel";
    const std::string run = "C:\\Kestrel\\Replaced\\2026-12-07 10-00-00";
    files->AddFolder(run);
    files->AddFile("C:\\Mail\\a.pst", "the old mail");
    RestoreJournal journal(*files, run + "\\" + JournalName);
    ASSERT_TRUE(journal.Begin(1796600000, "C:\\Kestrel\\run-1"));
    ASSERT_TRUE(journal.Mark("place", "C:\\Mail\\a.pst", run + "\\Datas\\a.pst"));

    messages.Expect(
        "A restore was interrupted; its files were put in order at this start. Its "
        "Replaced folder: " +
            run + "\r\nLeft as it was: C:\\Mail\\a.pst",
        MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect(texts::NoOutlook, MessageIcon::Stop, MessageAnswer::Ok);
    model.Start();
    EXPECT_EQ("the old mail", files->Data("C:\\Mail\\a.pst"));
    LoadWithoutProfiles();
}

TEST_F(MainWindowModelTest, ProtectEnablesPasswordsAndAlwaysEmptiesThem)
{
    LoadWithoutProfiles();
    EXPECT_FALSE(model.PasswordBoxesEnabled());
    EXPECT_EQ(PasswordBoxColour::ScrollBarGrey, model.PasswordColour());
    for (bool protect : {true, true, false}) {
        model.SetPasswords("secret", "other");
        model.ProtectClicked(protect);
        EXPECT_EQ(protect, model.PasswordBoxesEnabled());
        EXPECT_EQ(protect ? PasswordBoxColour::WindowBackground : PasswordBoxColour::ScrollBarGrey,
                  model.PasswordColour());
        EXPECT_EQ("", model.Password());
        EXPECT_EQ("", model.RetypedPassword());
    }
}

TEST_F(MainWindowModelTest, RestoreTabCaptionsTheButtonAndAsksBeforeRestoring)
{
    LoadWithoutProfiles();
    model.TabClicked(MainTab::Restore);
    EXPECT_EQ("Restore Now", model.ApplyCaption());
    messages.Expect(
        "Your current Email and News messages will be replaced with the messages from the "
        "selected backup file.\r\n\r\nDo you want to countinue?",
        MessageIcon::Information, MessageAnswer::Cancel);
    model.ApplyClicked();
    // The menu's restore does not ask; without a profile, every run says why it cannot go.
    messages.Expect("Your Windows System have not install MS Outlook or MS Outlook Error!",
                    MessageIcon::Stop, MessageAnswer::Ok);
    model.RestoreNowChosen();
    model.TabClicked(MainTab::Backup);
    EXPECT_EQ("Backup Now", model.ApplyCaption());
    for (void (MainWindowModel::*start)() :
         {&MainWindowModel::ApplyClicked, &MainWindowModel::BackupNowChosen}) {
        messages.Expect("Your Windows System have not install MS Outlook or MS Outlook Error!",
                        MessageIcon::Stop, MessageAnswer::Ok);
        (model.*start)();
    }
    EXPECT_FALSE(model.ProgressPanelVisible());
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(MainWindowModelTest, MenusAndButtonsReachTheWindowAndTheShell)
{
    LoadWithoutProfiles();
    model.ItemsFrameMouseDown(MainTab::Backup, MouseButton::Left);
    model.ItemsFrameMouseDown(MainTab::Backup, MouseButton::Right);
    model.ItemsFrameMouseDown(MainTab::Restore, MouseButton::Right);
    model.TaskSchedulerChosen();
    model.BackupToCdChosen();
    model.AboutChosen();
    model.QuitChosen();
    EXPECT_EQ((std::vector<std::string>{"popup backup", "popup restore", "scheduler", "disc",
                                        "about", "end"}),
              host.calls);

    fake.system.windowsFolder = "C:\\WINNT";  // asked again when help is chosen
    fake.system.programFolder = "E:\\";
    model.HelpChosen();
    model.OurWebsiteChosen();
    ASSERT_EQ(1u, fake.shell.started.size());
    EXPECT_EQ("C:\\WINNT\\hh.exe", fake.shell.started[0].first);
    EXPECT_EQ("E:\\help.chm", fake.shell.started[0].second);
    EXPECT_EQ(std::vector<std::string>{"https://kestrel.example.com/"}, fake.shell.opened);
}

// The backup tab over the Outlook 2013 sample machine: a real registry and file system (a fresh
// SQLite store and root natively, Wine's registry and drive C: under Wine).
class BackupRunTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake.platform.fileSystem = testing::TargetFileSystem(scratch_.Native("root"));
        sample = std::make_unique<testing::SampleEnvironment>("outlook2013-win7", *access_,
                                                              *fake.platform.fileSystem);
        fake.platform.registry = std::move(api_);
        fake.system.variables["%UserProfile%"] = "C:\\Users\\bob";
        fake.automation.version = "15.0";
        fake.runFolder.path = scratch_.Folder("run");
    }
    void TearDown() override
    {
        sample.reset();
        RegistryFixture::TearDown();
    }

    // A loaded window with the save dialog answered (nothing: cancelled) and boxes ticked.
    std::unique_ptr<MainWindowModel> Prepare(Messages& messages, bool choose,
                                             std::vector<int> boxes)
    {
        state = AppState();
        host.calls.clear();
        auto model = std::make_unique<MainWindowModel>(state, fake.platform, nullptr, messages,
                                                       dialogs, host);
        model->Load();
        char today[16] = {};
        const std::time_t now = std::time(nullptr);
        std::strftime(today, sizeof today, "%m-%d-%Y", std::localtime(&now));
        const auto answer = choose ? std::optional(target) : std::nullopt;
        dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                       {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                        std::string("kesbak") + today, "ksb"},
                       answer);
        model->TargetFileClicked();
        EXPECT_EQ(answer.value_or(""), model->TargetFileText());
        EXPECT_EQ(answer.value_or(""), state.TargetArchivePath);
        for (int box : boxes) {
            model->SetItemChecked(MainTab::Backup, box, true);
        }
        return model;
    }
    // The sorted member names of the archive and its info file.
    std::pair<std::vector<std::string>, std::string> ReadArchive(const std::string& password)
    {
        NoZipEvents events;
        FileSystem& files = *fake.platform.fileSystem;
        EXPECT_EQ(!password.empty(), ZipComponent(files, events).IsProtected(target));
        auto members = testing::ReadMembers(files, target, password);
        std::vector<std::string> names;
        for (const auto& member : members) {
            names.push_back(member.first);
        }
        return {names, members["ksbackup.dat"]};
    }

    testing::FakePlatform fake;
    std::unique_ptr<testing::SampleEnvironment> sample;
    AppState state;
    testing::ScriptedDialogs dialogs;
    RecordingHost host;
    const std::string target = scratch_.Path("kesbak-test.ksb");
};

TEST_F(BackupRunTest, ChecksRefuseARunInOrder)
{
    const MessageIcon exclamation = MessageIcon::Exclamation, stop = MessageIcon::Stop;
    const struct {
        bool choose;
        std::vector<int> boxes;
        const char* password;
        const char* retyped;
        const char* message;
        MessageIcon icon;
    } cases[] = {
        {false, {}, "", "", "Invalid backup file.", exclamation},
        {true, {}, "", "", "Please select at least one item.", exclamation},
        {true, {2}, "", "", "Please enter Password!", stop},
        {true, {2}, "secret", "Secret", "Incorect Password!", stop},
        {true, {2}, "", "secret", "Incorect Password!", stop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto model = Prepare(messages_, c.choose, c.boxes);
        model->ProtectClicked(true);
        model->SetPasswords(c.password, c.retyped);
        messages_.Expect(c.message, c.icon, MessageAnswer::Ok);
        model->ApplyClicked();
        EXPECT_FALSE(model->ProgressPanelVisible());
        EXPECT_TRUE(host.calls.empty());
        EXPECT_FALSE(fake.platform.fileSystem->FileExists(target));
    }
}

// Whole runs, the write held back to see the window while it goes: what is shown, what is
// ignored, that the inputs were read once, the archive, the result and the disc hand-over.
TEST_F(BackupRunTest, WholeRunsWriteTheArchiveAndReport)
{
    const struct {
        std::vector<int> boxes;
        const char* password;
        const char* description;
        const char* status;
        const char* result;
        bool disc;
        std::vector<std::string> members;
        const char* descriptionLine;
    } cases[] = {
        {{2},
         "",
         "Before the move",
         "Copying Signatures...",
         "The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t",
         false,
         {"Bob.htm", "Bob.txt", "Bob_files/filelist.xml", "ksbackup.dat"},
         "BackupInformation=Before the move\r\n"},
        {{2, 6},
         "p\xC3\xA4ss",
         "two\nlines\r\nand\rthree",
         "Copying Templates...",
         "The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t\r\n"
         "Backup Templates\tSucceeded!\t",
         true,
         {"Bob.htm", "Bob.txt", "Bob_files/filelist.xml", "NormalEmail.dotm", "ksbackup.dat"},
         "BackupInformation=twoPS$KSBlinesPS$KSBandPS$KSBthree\r\n"},
    };
    host.holdWork = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        auto model = Prepare(messages_, true, c.boxes);
        model->ProtectClicked(*c.password != '\0');
        model->SetPasswords(c.password, c.password);
        model->SetDescription(c.description);
        model->BackupNowChosen();
        ASSERT_TRUE(model->Running());
        EXPECT_TRUE(model->ProgressPanelVisible() && model->Busy() && model->CancelEnabled());
        EXPECT_EQ(c.status, model->StatusText());
        // Ignored while the write goes on: neither a message nor a dialog nor a second run;
        // and the run read its inputs when it started.
        model->ApplyClicked();
        model->BackupNowChosen();
        model->RestoreNowChosen();
        model->TargetFileClicked();
        model->SourceProfileChosen(0);
        model->DeselectAllItems(MainTab::Backup);
        model->SetDescription("changed");
        model->ProtectClicked(false);
        EXPECT_EQ(std::vector<std::string>{"run"}, host.calls);

        messages_.Expect(c.result, MessageIcon::Information, MessageAnswer::Ok);
        messages_.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                         MessageIcon::Information,
                         c.disc ? MessageAnswer::Ok : MessageAnswer::Cancel);
        host.RunHeld();
        EXPECT_FALSE(model->Running() || model->ProgressPanelVisible() || model->Busy());
        EXPECT_EQ("Please Waiting", model->StatusText());
        const auto [members, info] = ReadArchive(c.password);
        EXPECT_EQ(c.members, members);
        EXPECT_NE(std::string::npos, info.find("BackupIdentity=Outlook\r\n")) << info;
        EXPECT_NE(std::string::npos, info.find("BackupLogonUser=ann\r\n")) << info;
        EXPECT_NE(std::string::npos, info.find(c.descriptionLine)) << info;
        EXPECT_EQ(c.disc ? "kesbak-test.ksb" : "", state.PendingDiscFileName);
        EXPECT_EQ(c.disc ? target : "", state.PendingDiscFilePath);
        EXPECT_EQ(c.disc ? "disc" : "run", host.calls.back());
    }
}

// Runs the held write when the given message is shown: a worker that ends while that modal
// message is open.
class EndingDuring final : public Messages {
public:
    EndingDuring(Messages& inner, std::string text, std::function<void()> end)
        : inner_(inner), text_(std::move(text)), end_(std::move(end))
    {
    }
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override
    {
        if (text == text_ && end_) {
            std::exchange(end_, nullptr)();
        }
        return inner_.Show(text, caption, icon, buttons);
    }

private:
    Messages& inner_;
    std::string text_;
    std::function<void()> end_;
};

TEST_F(BackupRunTest, CancelAndQuitWhileTheWriteGoesOn)
{
    const std::string quit = "A backup is running. Do you want to cancel it and quit?";
    const std::string completed =
        "The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t";
    const std::string cancelled = "The Backup was cancelled!\t\t\t\r\nthe write of " + target +
                                  " was cancelled; the file there was left as it was\r\nBackup "
                                  "Signatures\tSucceeded!\t";
    const auto yes = MessageAnswer::Yes, no = MessageAnswer::No;
    const struct {
        bool cancel;
        std::optional<MessageAnswer> quit;
        bool writtenDuringQuestion;
        std::string result;  // empty: none shown
        bool written;
        bool ended;
    } cases[] = {
        {true, std::nullopt, false, cancelled, false, false},
        {false, yes, false, "", false, true},
        {false, no, false, completed, true, false},
        {false, yes, true, "", true, true},
        {false, no, true, completed, true, false},
    };
    host.holdWork = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.cancel << c.quit.has_value() << c.writtenDuringQuestion);
        scratch_.Make("kesbak-test.ksb", "the previous archive");
        EndingDuring messages(messages_, quit, [&] {
            if (c.writtenDuringQuestion) {
                host.RunHeld();
            }
        });
        auto model = Prepare(messages, true, {2});
        model->ApplyClicked();
        ASSERT_TRUE(model->Running());
        if (c.quit) {
            messages_.Expect(quit, MessageIcon::Exclamation, *c.quit);
        }
        if (!c.result.empty()) {
            messages_.Expect(c.result,
                             c.written ? MessageIcon::Information : MessageIcon::Exclamation,
                             MessageAnswer::Ok);
        }
        if (c.written && !c.ended) {
            messages_.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                             MessageIcon::Information, MessageAnswer::Cancel);
        }
        if (c.cancel) {
            model->CancelClicked();
            EXPECT_FALSE(model->CancelEnabled());
        }
        if (c.quit) {
            model->QuitChosen();
        }
        if (!c.writtenDuringQuestion) {
            if (c.quit == yes) {
                model->QuitChosen();  // asked already: no second question
            }
            EXPECT_EQ(std::vector<std::string>{"run"}, host.calls) << "ended before the write";
            host.RunHeld();
        }
        EXPECT_FALSE(model->Running());
        EXPECT_EQ(c.ended ? "end" : "run", host.calls.back());
        const std::string archive = scratch_.Read("kesbak-test.ksb");
        EXPECT_EQ(!c.written, archive == "the previous archive");
        EXPECT_EQ(c.written, archive.rfind("PK", 0) == 0);
    }
}

// The restore tab over the same machine: an archive written by the window, opened through the
// open dialog and the password prompt, and restored into the profile it came from.
TEST_F(BackupRunTest, RestoreTabOpensTheBackupAndRestoresOrCancels)
{
    struct LastMessage final : Messages {
        MessageAnswer Show(const std::string& shown, const std::string&, MessageIcon shownIcon,
                           MessageButtons) override
        {
            text = shown;
            icon = shownIcon;
            return MessageAnswer::Ok;
        }
        std::string text;
        MessageIcon icon = MessageIcon::None;
    };
    FileSystem& files = *fake.platform.fileSystem;
    fake.platform.dataFolder = scratch_.Folder("data");
    const std::string signature =
        "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Signatures\\Bob.txt";
    const std::string backedUp = *ReadWholeFile(files, signature);
    {
        auto model = Prepare(messages_, true, {2});
        model->ProtectClicked(true);
        model->SetPasswords("s3cret", "s3cret");
        messages_.Expect("The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t",
                         MessageIcon::Information, MessageAnswer::Ok);
        messages_.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                         MessageIcon::Information, MessageAnswer::Cancel);
        model->ApplyClicked();
    }
    const struct {
        bool cancel;
        std::string result;
        MessageIcon icon;
        const char* signature;
    } cases[] = {
        {false,
         "The Restore was Completed!\t\t\t\r\n\r\nRestore Signatures\tSucceeded!\t\r\n"
         "What the restore replaced is kept in ",
         MessageIcon::Information, nullptr},
        {true, "The Restore was cancelled!\t\t\t\r\n", MessageIcon::Exclamation, "newer"},
    };
    // Earlier runs' folders: each run removes all but the three newest before it starts.
    const std::string replaced = fake.platform.dataFolder + "\\Replaced";
    files.CreateFolder(replaced);
    for (const char* day : {"01", "02", "03", "04"}) {
        files.CreateFolder(replaced + "\\2020-01-" + day + " 00-00-00");
    }
    host.holdWork = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cancel);
        ASSERT_FALSE(ReplaceFile(files, signature, "newer"));
        LastMessage shown;
        auto model = Prepare(shown, false, {});
        dialogs.Expect(
            testing::ScriptedDialogs::Kind::Open,
            {"Restore Date from a Backup file", "Kestrel File (*.ksb)|*.ksb", "", "", "ksb"},
            target);
        dialogs.Expect(testing::ScriptedDialogs::Kind::Password, {}, "s3cret");
        model->SourceFileClicked();
        EXPECT_EQ(target, model->SourceFileText());
        EXPECT_EQ(0u, model->BackupFactsText().find("Computer:"));
        model->SelectAllItems(MainTab::Restore);
        for (int box = 0; box < ItemBoxCount; ++box) {
            EXPECT_EQ(box == 2, model->Items(MainTab::Restore)[box].checked) << box;
        }
        model->RestoreNowChosen();
        ASSERT_TRUE(model->Running());
        model->SourceFileClicked();  // ignored while the run goes: no dialog
        if (c.cancel) {
            model->CancelClicked();
        }
        host.RunHeld();
        EXPECT_FALSE(model->Running());
        EXPECT_EQ(0u, shown.text.find(c.result)) << shown.text;
        EXPECT_EQ(c.icon, shown.icon);
        EXPECT_EQ(c.signature != nullptr ? c.signature : backedUp,
                  *ReadWholeFile(files, signature));
    }
    // The second run found the first one's folder and the three newest earlier ones.
    std::vector<std::string> left = files.FoldersIn(replaced);
    std::sort(left.begin(), left.end());
    ASSERT_EQ(3u, left.size());
    EXPECT_EQ("2020-01-03 00-00-00", left[0]);
    EXPECT_EQ("2020-01-04 00-00-00", left[1]);
}

using testing::FakeHolders;

// The sample's data file, which "Outlook" holds.
constexpr const char* HeldDataFile =
    "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst";

// The question before a run when Outlook holds a data file, and each answer carried through:
// the program asked to close before the files are read and started again once the run is
// over, or left alone.
TEST_F(BackupRunTest, AsksWhenOutlookHoldsADataFileAndDoesWhatTheAnswerSays)
{
    const std::string backupQuestion =
        "OUTLOOK.EXE (process 412) is using these files:\r\n\r\n"
        "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst\r\n\r\n"
        "Yes: close OUTLOOK.EXE (process 412), back up and start it again afterwards.\r\n"
        "No: back up without these files.\r\n"
        "Cancel: do not back up now.";
    const std::string notClosed =
        "OUTLOOK.EXE (process 412) did not close within 60 seconds and is left running. The "
        "backup goes on without these files:\r\n\r\n"
        "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst\r\n";
    const struct {
        MessageAnswer answer;
        bool refuses;
        bool cancelTheWait;
        bool written;
        std::vector<std::string> calls;
    } cases[] = {
        {MessageAnswer::Cancel, false, false, false, {}},
        {MessageAnswer::No, false, false, true, {}},
        {MessageAnswer::Yes, false, false, true, {"ask", "start after the run"}},
        {MessageAnswer::Yes, true, false, true, {"ask"}},
        {MessageAnswer::Yes, false, true, false, {"ask", "start"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.calls));
        auto* holders = new FakeHolders;
        holders->dataFile = HeldDataFile;
        holders->refuses = c.refuses;
        holders->archiveWritten = [&] { return fake.platform.fileSystem->FileExists(target); };
        fake.platform.fileHolders.reset(holders);
        fake.platform.fileSystem->RemoveFile(target);
        auto model = Prepare(messages_, true, {0});
        model->SetHolderWait(std::chrono::milliseconds(300));
        messages_.Expect(backupQuestion, MessageIcon::Question, c.answer);
        host.holdWork = c.cancelTheWait;
        if (c.refuses) {
            messages_.Expect(notClosed, MessageIcon::Exclamation, MessageAnswer::Ok);
        }
        if (c.written) {
            messages_.Expect(
                "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t",
                MessageIcon::Information, MessageAnswer::Ok);
            messages_.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                             MessageIcon::Information, MessageAnswer::Cancel);
        }
        model->BackupNowChosen();
        if (c.cancelTheWait) {
            ASSERT_TRUE(model->Running());
            model->CancelClicked();
            host.RunHeld();
        }
        EXPECT_FALSE(model->Running());
        EXPECT_EQ(c.written, fake.platform.fileSystem->FileExists(target));
        EXPECT_EQ(c.calls, holders->calls);
        EXPECT_TRUE(holders->running);
    }
}

TEST_F(BackupRunTest, ARestoreOfHeldFilesClosesOutlookOrRestoresNothing)
{
    FileSystem& files = *fake.platform.fileSystem;
    fake.platform.dataFolder = scratch_.Folder("data");
    {
        auto model = Prepare(messages_, true, {0});
        messages_.Expect(
            "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal "
            "Folders\tSucceeded!\t",
            MessageIcon::Information, MessageAnswer::Ok);
        messages_.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                         MessageIcon::Information, MessageAnswer::Cancel);
        model->ApplyClicked();
    }
    // Where the restore puts the profile's data file.
    const std::string restored =
        "C:\\Users\\bob\\AppData\\Local\\Microsoft\\Outlook\\bob@example.com.pst";
    const std::string question =
        "OUTLOOK.EXE (process 412) is using these files, which the restore replaces:\r\n\r\n"
        "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst\r\n\r\n"
        "OK: close OUTLOOK.EXE (process 412), restore and start it again afterwards.\r\n"
        "Cancel: do not restore now.";
    const struct {
        MessageAnswer answer;
        bool refuses;
        const char* shownLast;  // the start of the last message
        bool restored;
        std::vector<std::string> calls;
    } cases[] = {
        {MessageAnswer::Cancel, false, "OUTLOOK.EXE (process 412) is using", false, {}},
        {MessageAnswer::Ok,
         true,
         "OUTLOOK.EXE (process 412) did not close within 60 seconds and is left running. Nothing "
         "has been restored.",
         false,
         {"ask"}},
        {MessageAnswer::Ok, false, "The Restore was Completed!", true, {"ask", "start"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shownLast);
        auto* holders = new FakeHolders;
        holders->dataFile = HeldDataFile;
        holders->refuses = c.refuses;
        fake.platform.fileHolders.reset(holders);
        files.RemoveFile(restored);
        struct Answering final : Messages {
            MessageAnswer Show(const std::string& text, const std::string&, MessageIcon,
                               MessageButtons) override
            {
                shown.push_back(text);
                return text == question ? answer : MessageAnswer::Ok;
            }
            std::string question;
            MessageAnswer answer;
            std::vector<std::string> shown;
        } messages;
        messages.question = question;
        messages.answer = c.answer;
        auto model = Prepare(messages, false, {});
        model->SetHolderWait(std::chrono::milliseconds(300));
        dialogs.Expect(
            testing::ScriptedDialogs::Kind::Open,
            {"Restore Date from a Backup file", "Kestrel File (*.ksb)|*.ksb", "", "", "ksb"},
            target);
        model->SourceFileClicked();
        model->SetItemChecked(MainTab::Restore, 0, true);
        model->RestoreNowChosen();
        EXPECT_FALSE(model->Running());
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_EQ(question, messages.shown.front());
        EXPECT_EQ(0u, messages.shown.back().find(c.shownLast)) << messages.shown.back();
        EXPECT_EQ(c.restored, files.FileExists(restored));
        EXPECT_EQ(c.calls, holders->calls);
        EXPECT_TRUE(holders->running);
    }
}

// A backup opened from the desktop: the window starts on the restore tab with the file chosen,
// through the same password prompt as the source-file button, and no open dialog.
TEST_F(BackupRunTest, BackupFileFromTheDesktopOpensOnTheRestoreTab)
{
    {
        auto model = Prepare(messages_, true, {2});
        model->ProtectClicked(true);
        model->SetPasswords("s3cret", "s3cret");
        messages_.Expect("The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t",
                         MessageIcon::Information, MessageAnswer::Ok);
        messages_.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                         MessageIcon::Information, MessageAnswer::Cancel);
        model->ApplyClicked();
    }
    const struct {
        const char* password;
        bool opened;
    } cases[] = {{"s3cret", true}, {"wrong", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        auto model = Prepare(messages_, false, {});
        dialogs.Expect(testing::ScriptedDialogs::Kind::Password, {}, c.password);
        if (!c.opened) {
            messages_.Expect("Incorect Password or Invalid backup file!", MessageIcon::Information,
                             MessageAnswer::Ok);
        }
        model->OpenBackupFile(target);
        EXPECT_EQ(MainTab::Restore, model->ActiveTab());
        EXPECT_EQ("Restore Now", model->ApplyCaption());
        EXPECT_EQ(c.opened ? target : "", model->SourceFileText());
        EXPECT_EQ(c.opened, model->BackupFactsText().find("Profile:Outlook") != std::string::npos);
        for (int box = 0; box < ItemBoxCount; ++box) {
            EXPECT_EQ(c.opened && box == 2, model->Items(MainTab::Restore)[box].enabled) << box;
        }
        EXPECT_EQ(!c.opened, state.NoValidBackupFlag);
    }
}

// A differential backup on the restore tab: which full it needs and whether it was found, and,
// when it is not beside it, the question where it is before the data files are rebuilt.
TEST_F(BackupRunTest, ADifferentialShowsItsFullAndAsksForItWhenItIsNotBeside)
{
    struct AnswerOk final : Messages {
        MessageAnswer Show(const std::string& shown, const std::string&, MessageIcon,
                           MessageButtons) override
        {
            text = shown;
            return MessageAnswer::Ok;
        }
        std::string text;
    };
    FileSystem& files = *fake.platform.fileSystem;
    fake.platform.dataFolder = scratch_.Folder("data");
    scratch_.Folder("backups");
    scratch_.Folder("elsewhere");
    const std::string restored =
        "C:\\Users\\bob\\AppData\\Local\\Microsoft\\Outlook\\bob@example.com.pst";
    std::string data = testing::RandomBytes(700 * 1024, 31);
    auto model = Prepare(messages_, false, {});
    const auto night = [&](std::time_t when) {
        EXPECT_FALSE(ReplaceFile(files, HeldDataFile, data));
        BackupPlan plan;
        plan.request.profileName = "Outlook";
        plan.request.boxes[0] = true;
        plan.request.targetPath = scratch_.Path("backups/work.ksb");
        plan.request.startTime = when;
        plan.machine = BackupMachineFor(state, "Outlook", fake.platform, messages_);
        plan.keep = {3, false};
        plan.differential = {true, 7};
        BackupRun run(fake.platform, messages_, plan);
        SilentProgress progress;
        return run.Run([](const std::vector<HeldFile>&) { return IfOutlookRuns::Skip; }, progress)
            .backup;
    };
    const std::time_t now = std::time(nullptr);
    const BackupOutcome full = night(now - 3600);
    ASSERT_TRUE(full.Written()) << full.error;
    data[100] ^= 1;
    data[400 * 1024] ^= 1;
    const BackupOutcome differential = night(now);
    ASSERT_TRUE(differential.Written()) << differential.error;
    const std::string fullName = BareName(full.archivePath);
    ASSERT_EQ(fullName, differential.differentialOf);

    const struct {
        const char* what;
        bool moved;
        std::string facts;
    } cases[] = {
        {"the full beside it", false, "Differential of: " + fullName + " (found beside it)"},
        {"the full moved away", true,
         "Differential of: " + fullName + " (not found: Kestrel asks for it when you restore)"},
    };
    host.holdWork = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string moved = scratch_.Path("elsewhere/" + fullName);
        if (c.moved) {
            ASSERT_TRUE(files.RenameFile(full.archivePath, moved));
        }
        files.RemoveFile(restored);
        AnswerOk shown;
        model = Prepare(shown, false, {});
        model->OpenBackupFile(differential.archivePath);
        EXPECT_NE(std::string::npos, model->BackupFactsText().find("\r\n" + c.facts))
            << model->BackupFactsText();
        model->SetItemChecked(MainTab::Restore, 0, true);
        if (c.moved) {
            dialogs.Expect(
                testing::ScriptedDialogs::Kind::Open,
                {"Where is the full backup " + fullName + "?", "Kestrel File (*.ksb)|*.ksb",
                 scratch_.Path("backups"), fullName, "ksb"},
                moved);
        }
        model->RestoreNowChosen();
        host.RunHeld();
        EXPECT_EQ(0u, shown.text.find("The Restore was Completed!")) << shown.text;
        EXPECT_TRUE(*ReadWholeFile(files, restored) == data) << "the day's file, byte for byte";
        model.reset();  // before the messages it shows to go
    }
}

}  // namespace
}  // namespace kestrel
