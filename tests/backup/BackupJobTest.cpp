// The backup job over a profile in the test registry and files in memory: what lands in the
// archive and the info file, and the faults that must leave the previous archive as it was.

#include "backup/BackupJob.h"

#include <gtest/gtest.h>

#include <ctime>

#include "archive/ArchiveTestSupport.h"
#include "backup/BackupDialogue.h"
#include "backup/BackupGenerations.h"
#include "backup/RedirectedReads.h"
#include "outlook/DataStorePaths.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/MemoryFileSystem.h"
#include "support/StoreIdentifier.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;
using testing::StoreIdentifier;

constexpr const char* Target = "C:\\Users\\ann\\Signatures\\backup.ksb";
constexpr const char* Mail = "C:\\Mail\\Outlook.pst";
constexpr const char* OldMail = "C:\\Old\\Outlook.pst";
constexpr const char* Hidden = "C:\\Mail\\hidden.pst";
constexpr const char* Rules = "C:\\Users\\ann\\Outlook\\Mail.RWZ";

// Presses Cancel the moment the write starts on the first file, as the window's button would.
struct CancelOnFirstFile final : ProgressSink {
    BackupJob* job = nullptr;
    void SetStatus(const std::string&) override {}
    void SetProgress(int, int) override {}
    void SetFileText(const std::string& text) override
    {
        if (job != nullptr && !text.empty()) {
            job->Cancel();
        }
    }
    void SetWriteText(const std::string&) override {}
    void SetBusy(bool) override {}
};

class BackupJobTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
        fake_.platform.fileSystem = std::unique_ptr<FileSystem>(files_);
        fake_.automation.version = "15.0.4420.1017";

        const std::string profile = "Profiles\\Mail\\";
        SetRaw(profile + "a1", StoreIdentifierValue, reg::TypeBinary,
               StoreIdentifier(u"C:\\Mail\\Outlook.pst"));
        SetRaw(profile + "a2", StoreIdentifierValue, reg::TypeBinary,
               StoreIdentifier(u"C:\\Old\\Outlook.pst"));
        SetRaw(profile + "a3", StoreIdentifierValue, reg::TypeBinary,
               StoreIdentifier(u"C:\\Mail\\hidden.pst"));
        SetRaw(profile + "a4", "001e6600", reg::TypeSz, "C:\\\\Mail\\\\book.pab");
        SetRaw(profile + "9375CFF0413111d3B88A00104B2A6676", "Account Name", reg::TypeSz,
               "ann@example.com");
        SetRaw("Options", "Font", reg::TypeSz, "Calibri");

        files_->AddFolder("C:\\Kestrel\\run-1");
        files_->AddFile(Mail, std::string(300 * 1024, 'm') + "mail");
        files_->AddFile(OldMail, "last year's mail");
        files_->AddFile(Hidden, "hidden mail", true);
        files_->AddFile("C:\\Mail\\book.pab", "addresses");
        files_->AddFile(Rules, "rules");
        files_->AddFile("C:\\Users\\ann\\Outlook\\outcmd.dat", "toolbar");
        files_->AddFile("C:\\Users\\ann\\Signatures\\ann.txt", "Ann");
        files_->AddFile("C:\\Users\\ann\\Signatures\\ksbackup.dat", "a file of the user's");
        // The user keeps the backup beside the signatures: it must not back itself up.
        previous_ = PreviousBackup();
        files_->AddFile(Target, previous_);

        machine_ = {"OFFICE-PC", "ann", "C:\\Kestrel\\run-1", base_ + "\\Profiles", {}};
        machine_.locations.AccountKeyPath =
            base_ + "\\Profiles\\Mail\\9375CFF0413111d3B88A00104B2A6676";
        machine_.locations.OptionsKeyPath = base_ + "\\Options";
        machine_.locations.SignaturesFolder = "C:\\Users\\ann\\Signatures";
        machine_.locations.StationeryFolder = "C:\\Users\\ann\\Stationery";  // missing
        machine_.locations.RulesFolder = "C:\\Users\\ann\\Outlook";
        machine_.locations.PreferencesFolder = "C:\\Users\\ann\\Outlook";
        machine_.locations.TemplatesFolder = "C:\\Users\\ann\\Templates";
        machine_.locations.ContactsFolder = "C:\\Users\\ann\\Contacts";
    }

    BackupRequest Request(const char* boxes, const std::string& password = "pa55")
    {
        BackupRequest request;
        request.profileName = "Mail";
        for (std::size_t i = 0; i < request.boxes.size(); ++i) {
            request.boxes[i] = boxes[i] == '1';
        }
        request.protect = !password.empty();
        request.password = password;
        request.description = "first\nsecond";
        request.targetPath = Target;
        request.startTime = std::time(nullptr);
        return request;
    }

    // A small archive of ours, as an earlier run left it at the target.
    std::string PreviousBackup()
    {
        const std::string info = "C:\\Kestrel\\earlier\\ksbackup.dat";
        files_->AddFolder("C:\\Kestrel\\earlier");
        files_->AddFile(info, "BackupItem=00001000000");
        NoZipEvents events;
        ZipComponent zip(*files_, events);
        EXPECT_TRUE(zip.Create(Target) && zip.AddFile(info) && zip.Write()) << zip.LastError();
        const std::string archive = files_->Data(Target);
        files_->RemoveFolderTree("C:\\Kestrel\\earlier");
        files_->RemoveFile(Target);
        return archive;
    }

    std::string previous_;
    MemoryFileSystem* files_ = new MemoryFileSystem;
    testing::FakePlatform fake_;
    BackupMachine machine_;
};

TEST_F(BackupJobTest, AWholeBackupHoldsEveryItemOnceUnderItsOwnName)
{
    // Folder items take their subfolders at any depth, each file under its path; a name taken
    // by another item's file gets its number in the file's own name, never in a folder's.
    files_->AddFile("C:\\Users\\ann\\Signatures\\ann_files\\image001.png", "picture");
    files_->AddFile("C:\\Users\\ann\\Signatures\\v1.0\\deeper\\notes", "notes");
    files_->AddFile("C:\\Users\\ann\\Outlook\\ann_files\\image001.png", "other picture");
    files_->AddFile("C:\\Users\\ann\\Outlook\\v1.0\\deeper\\notes", "other notes");
    // A value the export format cannot hold, in the accounts and so in the profile's tree too:
    // left out and named once, the rest kept.
    SetRaw("Profiles\\Mail\\9375CFF0413111d3B88A00104B2A6676", "Footer", reg::TypeSz,
           "two\r\nlines");
    BackupJob job(fake_.platform, messages_);
    SilentProgress progress;
    const BackupOutcome outcome = job.Run(Request("111111111"), machine_, progress);

    ASSERT_EQ(BackupResult::Written, outcome.result) << outcome.error;
    EXPECT_EQ(1, BackupExitStatus(outcome));  // no stationery, templates or contacts folder
    EXPECT_EQ(
        (std::vector<std::string>{machine_.locations.AccountKeyPath +
                                  "\\Footer: a line break or \"=\" that a backup cannot hold"}),
        outcome.leftOut);
    auto members = testing::ReadMembers(*files_, Target, "pa55");
    std::string info = members["ksbackup.dat"];
    const std::size_t time = info.find("BackupTime=") + 11;
    info.replace(time, info.find('\r', time) - time, "(now)");
    const std::size_t id = info.find("BackupFullId=") + 13;
    EXPECT_EQ(32u, info.find('\r', id) - id) << "a full archive's id";
    info.replace(id, info.find('\r', id) - id, "(id)");
    EXPECT_EQ(
        "BackupComputer=OFFICE-PC\r\n"
        "BackupLogonUser=ann\r\n"
        "BackupIdentity=Mail\r\n"
        "BackupTime=(now)\r\n"
        "Outlookversion=Outlook 2013\r\n"
        "BackupInformation=firstPS$KSBsecond\r\n"
        "BackupConfig=OBC1.tmp\r\n"
        "BackupDatas=Outlook.pst;Outlook (2).pst;hidden.pst\r\n"
        "BackupDatasSources=C:\\Mail\\Outlook.pst|C:\\Old\\Outlook.pst|C:\\Mail\\hidden.pst\r\n"
        "BackupRules=Mail.RWZ\r\n"
        "BackupAccounts=OBA2.tmp\r\n"
        "BackupSignatures=ann.txt;ksbackup (2).dat;v1.0/deeper/notes;ann_files/image001.png\r\n"
        "BackupPab=book.pab\r\n"
        "BackupPabSources=C:\\Mail\\book.pab\r\n"
        "BackupConfigsetting=OBC3.tmp\r\n"
        "BackupSetting=Mail.RWZ;outcmd.dat;v1.0/deeper/notes (2);ann_files/image001 (2).png\r\n"
        "BackupBlockMaps=Outlook.pst.block-map;Outlook (2).pst.block-map;hidden.pst.block-map\r\n"
        "BackupFullId=(id)\r\n"
        "BackupItem=11111011010\r\n",
        info);
    EXPECT_EQ(std::string(300 * 1024, 'm') + "mail", members["Outlook.pst"]);
    EXPECT_EQ("last year's mail", members["Outlook (2).pst"]);
    EXPECT_EQ("a file of the user's", members["ksbackup (2).dat"]);
    EXPECT_EQ("rules", members["Mail.RWZ"]);
    EXPECT_EQ("picture", members["ann_files/image001.png"]);
    EXPECT_EQ("other picture", members["ann_files/image001 (2).png"]);
    EXPECT_EQ("other notes", members["v1.0/deeper/notes (2)"]);
    EXPECT_EQ(0u, members.count("backup.ksb"));
    // What the run made for itself is gone again.
    EXPECT_TRUE(files_->FilesIn("C:\\Kestrel\\run-1").empty());
}

// Whatever goes wrong, the user keeps the previous backup and learns what went wrong.
TEST_F(BackupJobTest, FaultsLeaveThePreviousArchiveAndSaySo)
{
    struct Case {
        const char* name;
        const char* boxes;
        void (*arrange)(MemoryFileSystem&, BackupRequest&);
        BackupResult result;
        const char* message;  // the result message, with <error> for the component's words
    };
    const Case cases[] = {
        {"a data file held open without sharing", "100000000",
         [](MemoryFileSystem& files, BackupRequest&) { files.RefuseOpening(Mail); },
         BackupResult::Written,
         "The Backup ended with errors!\t\t\t\r\n\r\nBackup Personal Folders\tFail!\t"
         "\r\nNot in the backup: <error>"},
        {"a target that cannot be replaced", "001000000",
         [](MemoryFileSystem& files, BackupRequest&) { files.FailRenamesTo(Target); },
         BackupResult::WriteFailed,
         "The Backup failed!\t\t\t\r\n<error>\r\nBackup Signatures\tSucceeded!\t"},
        {"no selected item with anything to back up", "000100000",
         [](MemoryFileSystem&, BackupRequest&) {}, BackupResult::NothingCollected,
         "The Backup failed!\t\t\t\r\nNone of the selected items could be backed up, so nothing "
         "was written to C:\\Users\\ann\\Signatures\\backup.ksb.\r\nBackup Stationeries\tFail!\t"},
        {"a profile that does not exist", "111111111",
         [](MemoryFileSystem&, BackupRequest& request) { request.profileName = "Nobody"; },
         BackupResult::NothingCollected,
         "The Backup failed!\t\t\t\r\nThere is no Outlook profile named \"Nobody\", so nothing "
         "was written to C:\\Users\\ann\\Signatures\\backup.ksb."},
        {"the user cancelling the write", "001000000", [](MemoryFileSystem&, BackupRequest&) {},
         BackupResult::Cancelled,
         "The Backup was cancelled!\t\t\t\r\n<error>\r\nBackup Signatures\tSucceeded!\t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem pristine = *files_;
        BackupRequest request = Request(c.boxes);
        c.arrange(*files_, request);
        BackupJob job(fake_.platform, messages_);
        CancelOnFirstFile progress;
        progress.job = c.result == BackupResult::Cancelled ? &job : nullptr;
        const BackupOutcome outcome = job.Run(request, machine_, progress);

        EXPECT_EQ(c.result, outcome.result);
        std::string message = c.message;
        const std::string error = outcome.Written() ? outcome.leftOut.at(0) : outcome.error;
        if (const std::size_t at = message.find("<error>"); at != std::string::npos) {
            message.replace(at, 7, error);
            EXPECT_NE(std::string::npos,
                      error.find(c.result == BackupResult::Written ? Mail : Target))
                << error;
        }
        EXPECT_EQ(message, BackupResultText(outcome));
        if (!outcome.Written()) {
            EXPECT_EQ(previous_, files_->Data(Target));
            EXPECT_EQ(pristine.Paths(), files_->Paths());
        } else {
            EXPECT_EQ("hidden mail", testing::ReadMembers(*files_, Target, "pa55")["hidden.pst"]);
        }
        *files_ = pristine;
    }
}

// A held data file read from its shadow copy makes the archive a direct read makes: the member
// and the info file name the original file, whose bytes come from the copy.
TEST_F(BackupJobTest, AFileReadFromAShadowCopyIsBackedUpAsItself)
{
    const auto backUp = [this](FileSystem& reads) {
        BackupJob job(fake_.platform, messages_, reads);
        SilentProgress progress;
        const BackupOutcome outcome = job.Run(Request("100010000"), machine_, progress);
        EXPECT_TRUE(outcome.leftOut.empty()) << outcome.leftOut.at(0);
        auto members = testing::ReadMembers(*files_, Target, "pa55");
        std::string& info = members["ksbackup.dat"];
        const std::size_t time = info.find("BackupTime=") + 11;
        info.replace(time, info.find('\r', time) - time, "(now)");
        const std::size_t id = info.find("BackupFullId=") + 13;
        info.replace(id, info.find('\r', id) - id, "(id)");
        return members;
    };
    const MemoryFileSystem pristine = *files_;
    const auto direct = backUp(*files_);
    ASSERT_EQ(std::string(300 * 1024, 'm') + "mail", direct.at("Outlook.pst"));
    *files_ = pristine;

    const std::string copy = "C:\\Shadow1\\Mail\\Outlook.pst";
    files_->AddFolder("C:\\Shadow1\\Mail");
    files_->AddFile(copy, files_->Data(Mail));
    files_->RefuseOpening(Mail);
    RedirectedReads fromSnapshot(*files_, {{"c:\\mail\\OUTLOOK.PST", copy}});
    EXPECT_EQ(direct, backUp(fromSnapshot));
    // The platform's own file system was never swapped: the held file is refused there.
    EXPECT_FALSE(fake_.platform.fileSystem->OpenInputFile(Mail));
}

// A target that is a file the run reads would be replaced by the archive that was to hold it:
// refused before anything is written, naming both, whatever spelling reaches the file.
TEST_F(BackupJobTest, ATargetThatIsASourceIsRefusedBeforeAnythingIsWritten)
{
    files_->AddFile("C:\\Mail\\other.ost", "another profile's cache");
    struct Case {
        const char* target;
        const char* boxes;
        const char* message;
    };
    const Case cases[] = {
        {Mail, "100000000",
         "the target C:\\Mail\\Outlook.pst is C:\\Mail\\Outlook.pst, a file the backup reads, "
         "so nothing was written"},
        {"c:\\MAIL\\outlook.PST", "100000000",
         "the target c:\\MAIL\\outlook.PST is C:\\Mail\\Outlook.pst, a file the backup reads, "
         "so nothing was written"},
        {"C:\\Users\\ann\\Signatures\\ann.txt", "001000000",
         "the target C:\\Users\\ann\\Signatures\\ann.txt is C:\\Users\\ann\\Signatures\\ann.txt, "
         "a file the backup reads, so nothing was written"},
        {Rules, "100000000",
         "the target C:\\Users\\ann\\Outlook\\Mail.RWZ is C:\\Users\\ann\\Outlook\\Mail.RWZ, "
         "a file the backup reads, so nothing was written"},
        {"C:\\Mail\\other.ost", "100000000",
         "the target C:\\Mail\\other.ost is a file in C:\\Mail, which holds the profile's data "
         "files, so nothing was written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const MemoryFileSystem pristine = *files_;
        BackupRequest request = Request(c.boxes);
        request.targetPath = c.target;
        BackupJob job(fake_.platform, messages_);
        CancelOnFirstFile progress;
        const BackupOutcome outcome = RunKeptBackup(job, request, machine_, progress, {}, *files_);
        EXPECT_EQ(BackupResult::TargetIsSource, outcome.result);
        EXPECT_EQ(2, BackupExitStatus(outcome));
        EXPECT_EQ(c.message, outcome.error);
        EXPECT_TRUE(BackupResultText(outcome).starts_with(
            std::string("The Backup failed!\t\t\t\r\n") + c.message + "\r\n"))
            << BackupResultText(outcome);
        EXPECT_EQ(pristine.Paths(), files_->Paths());
        for (const std::string& path : pristine.Paths()) {
            EXPECT_EQ(pristine.Data(path), files_->Data(path)) << path;
        }
    }
}

}  // namespace
}  // namespace kestrel
