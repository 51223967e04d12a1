// Opening a backup for the restore: the password dialogue, what the info file puts on the
// restore tab, and the archives that must be refused, over archives in memory.

#include "restore/OpenBackup.h"

#include <gtest/gtest.h>

#include <ctime>

#include "backup/BackupJob.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/MemoryFileSystem.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedMessages.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;
using testing::ScriptedDialogs;
using testing::ScriptedMessages;
using Kind = ScriptedDialogs::Kind;

constexpr const char* Archive = "C:\\Backups\\mail.ksb";
constexpr const char* RunFolder = "C:\\Kestrel\\run-1";

class OpenBackupTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
        fake_.platform.fileSystem = std::unique_ptr<FileSystem>(files_);
        fake_.automation.version = "15.0.4420.1017";
        files_->AddFolder(RunFolder);
        files_->AddFolder("C:\\Backups");
        files_->AddFile("C:\\Users\\ann\\Signatures\\ann.txt", "Ann");
        MakeKey("Profiles\\Mail");
    }

    // A signatures-only archive written by the backup itself.
    void BackUp(const std::string& password)
    {
        BackupRequest request;
        request.profileName = "Mail";
        request.boxes[2] = true;
        request.protect = !password.empty();
        request.password = password;
        request.description = "two\r\nlines";
        request.targetPath = Archive;
        request.startTime = std::time(nullptr);
        BackupMachine machine{"OFFICE-PC", "ann", RunFolder, base_ + "\\Profiles", {}};
        machine.locations.SignaturesFolder = "C:\\Users\\ann\\Signatures";
        BackupJob job(fake_.platform, messages_);
        SilentProgress progress;
        const BackupOutcome outcome = job.Run(request, machine, progress);
        ASSERT_TRUE(outcome.Written()) << outcome.error;
    }

    // An unprotected archive of the info file as given, or of another file when it is empty.
    void WriteArchive(const std::string& info)
    {
        const std::string source = info.empty() ? "C:\\Source\\a.txt" : "C:\\Source\\ksbackup.dat";
        files_->AddFile(source, info.empty() ? "no info" : info);
        NoZipEvents events;
        ZipComponent zip(*files_, events);
        ASSERT_TRUE(zip.Create(Archive) && zip.AddFile(source));
        ASSERT_TRUE(zip.Write()) << zip.LastError();
    }

    OpenResult Open(Dialogs& dialogs, Messages& messages)
    {
        return OpenBackup(zip_, *files_, RunFolder, Archive, dialogs, messages, state_);
    }

    MemoryFileSystem* files_ = new MemoryFileSystem;
    testing::FakePlatform fake_;
    NoZipEvents events_;
    ZipComponent zip_{*files_, events_};
    OpenedBackup state_;
};

TEST_F(OpenBackupTest, PasswordsAreAskedForOnlyWhenProtectedAndCheckedBeforeAnythingIsShown)
{
    struct Case {
        const char* name;
        const char* archivePassword;
        const char* earlier;  // confirmed at an earlier opening
        std::optional<std::string> typed;
        OpenResult result;
        const char* keptPassword;
    };
    const Case cases[] = {
        {"the right password", "pa55", "", "pa55", OpenResult::Opened, "pa55"},
        {"a wrong one", "pa55", "", "pass", OpenResult::WrongPassword, "pass"},
        {"cancelled after an earlier right one", "pa55", "pa55", std::nullopt, OpenResult::Opened,
         "pa55"},
        {"cancelled with none before", "pa55", "", std::nullopt, OpenResult::WrongPassword, ""},
        {"no protection: no prompt", "", "old", std::nullopt, OpenResult::Opened, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BackUp(c.archivePassword);
        state_ = {};
        state_.RestorePassword = c.earlier;
        ScriptedDialogs dialogs;
        if (*c.archivePassword != '\0') {
            dialogs.Expect(Kind::Password, {}, c.typed);
        }
        ScriptedMessages messages;
        if (c.result == OpenResult::WrongPassword) {
            messages.Expect("Incorect Password or Invalid backup file!", MessageIcon::Information,
                            MessageAnswer::Ok);
        }
        EXPECT_EQ(c.result, Open(dialogs, messages));
        EXPECT_EQ(c.keptPassword, state_.RestorePassword);
        const bool opened = c.result == OpenResult::Opened;
        EXPECT_EQ(!opened, state_.NoValidBackupFlag);
        EXPECT_EQ(opened ? Archive : "", state_.SourceFile);
        EXPECT_EQ(opened ? "ann.txt" : "", state_.OpenedItemValues[4]);
        EXPECT_EQ(opened, state_.EnabledBoxes[2]);
        EXPECT_EQ(opened ? "two\r\nlines" : "", state_.Description);
        EXPECT_EQ(opened, zip_.FindMember("ann.txt").has_value());
        EXPECT_FALSE(files_->FileExists("C:\\Kestrel\\run-1\\ksbackup.dat"));
    }
}

// Without the working folder the info file would be a bare name in whatever folder the program
// was started from: a user's file of that name there is neither removed nor read as the info.
TEST_F(OpenBackupTest, WithoutAWorkingFolderNothingIsExtractedOrRemoved)
{
    BackUp("");
    files_->AddFile("ksbackup.dat", "the user's own file");
    ScriptedDialogs dialogs;
    ScriptedMessages messages;
    messages.Expect("The backup cannot be opened: Kestrel has no working folder to read it in.",
                    MessageIcon::Stop, MessageAnswer::Ok);
    EXPECT_EQ(OpenResult::Invalid,
              OpenBackup(zip_, *files_, "", Archive, dialogs, messages, state_));
    EXPECT_EQ("the user's own file", files_->Data("ksbackup.dat"));
    EXPECT_TRUE(state_.NoValidBackupFlag);
    EXPECT_EQ("", state_.SourceFile);
}

TEST_F(OpenBackupTest, TheInfoFileDecidesWhatCanBeRestored)
{
    const std::string header =
        "BackupComputer=OFFICE-PC\r\nBackupLogonUser=ann\r\nBackupIdentity=Mail\r\n"
        "BackupTime=12/07/2026 01:10:00\r\nOutlookversion=Outlook 2013\r\n"
        "BackupInformation=aPS$KSBbPS$KSBc\r\n";
    const std::string facts =
        "Computer:OFFICE-PC\r\nUser:ann\r\nBackup Time:12/07/2026 01:10:00\r\nProfile:Mail\r\n"
        "Outlook Version:Outlook 2013";
    struct Case {
        const char* name;
        std::string info;
        bool valid;
        const char* enabledBoxes;
        const char* factsShown;   // "" for none, "*" for the facts above
        const char* values = "";  // each item's value, after its position
    };
    const Case cases[] = {
        {"config, data files and rules enable box 0 alone",
         header + "BackupConfig=OBC1.tmp\r\nBackupDatas=a.pst;b.pst\r\nBackupDatasSources=C:\\a."
                  "pst|D:\\b.pst\r\nBackupRules=Mail.RWZ\r\nBackupItem=11100000000\r\n",
         true, "100000000", "*", "0=OBC1.tmp 1=a.pst;b.pst 2=Mail.RWZ "},
        {"contacts found under another case, address book at position 7",
         header + "BackupPab=x.pab\r\nBACKUPCONTACTS=c.vcf\r\nBackupItem=00000010001\r\n", true,
         "000010001", "*", "6=x.pab 10=c.vcf "},
        {"twelve characters", header + "BackupItem=111111111111\r\n", false, "000000000", "*"},
        {"an info file over 1 MiB",
         header + "BackupItem=00001000000\r\n" + std::string((1 << 20) + 1, 'x'), false,
         "000000000", ""},
        {"no info file at all", "", false, "000000000", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteArchive(c.info);
        // Left by an earlier run: never to be read as this archive's.
        files_->AddFile("C:\\Kestrel\\run-1\\ksbackup.dat", "BackupItem=11111111111\r\n");
        state_ = {};
        state_.OpenedItemValues[0] = state_.OpenedItemValues[10] = "from an earlier opening";
        ScriptedDialogs dialogs;
        ScriptedMessages messages;
        if (!c.valid) {
            messages.Expect("Invalid backup file", MessageIcon::Stop, MessageAnswer::Ok);
        }
        EXPECT_EQ(c.valid ? OpenResult::Opened : OpenResult::Invalid, Open(dialogs, messages));
        EXPECT_EQ(!c.valid, state_.NoValidBackupFlag);
        std::string enabled;
        for (bool box : state_.EnabledBoxes) {
            enabled += box ? '1' : '0';
        }
        EXPECT_EQ(c.enabledBoxes, enabled);
        std::string values;
        for (int i = 0; i < ItemCount; ++i) {
            const std::string& value = state_.OpenedItemValues[i];
            values += value.empty() ? "" : std::to_string(i) + "=" + value + " ";
        }
        EXPECT_EQ(c.values, values);
        EXPECT_EQ(*c.factsShown == '*' ? facts : "", state_.BackupFacts);
        EXPECT_EQ(*c.factsShown == '*' ? "a\r\nb\r\nc" : "", state_.Description);
        EXPECT_EQ(Archive, state_.SourceFile);
        EXPECT_FALSE(files_->FileExists("C:\\Kestrel\\run-1\\ksbackup.dat"));
    }
}

}  // namespace
}  // namespace kestrel
