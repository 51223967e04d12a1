// Restoring a backup of profile A, written by the backup itself, into profile B of the test
// registry and files in memory: what B gets, and that what B had is kept.

#include "restore/Restorers.h"

#include <gtest/gtest.h>

#include <atomic>

#include "archive/InfoFile.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <set>

#include "backup/BackupJob.h"
#include "outlook/DataStorePaths.h"
#include "registry/RegFile.h"
#include "registry/RegistryFixture.h"
#include "restore/OpenBackup.h"
#include "restore/RestoreJournal.h"
#include "restore/RestoreRun.h"
#include "support/FakePlatform.h"
#include "support/MemoryFileSystem.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedMessages.h"
#include "support/StoreIdentifier.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;
using testing::StoreIdentifier;

constexpr const char* DataFolder = "C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook";
constexpr const char* Archive = "C:\\Backups\\mail.ksb";
constexpr const char* RunFolder = "C:\\Kestrel\\run-1";
constexpr const char* Rules = "C:\\Users\\ann\\Outlook";
constexpr const char* Preferences = "C:\\Users\\ann\\AppData\\Roaming\\Outlook\\Prefs";
constexpr const char* Signatures = "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Signatures";

class RestorersTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
        fake_.platform.fileSystem = std::unique_ptr<FileSystem>(files_);
        fake_.automation.version = "15.0.4420.1017";
        SetRaw("Profiles\\A", "Name", reg::TypeSz, std::string("A\0", 2));
        SetRaw("Profiles\\A\\9375CFF0413111d3B88A00104B2A6676", "Account", reg::TypeSz,
               std::string("ann@example.com\0", 16));
        SetRaw("Profiles\\A\\a1", "01020fff", reg::TypeBinary,
               StoreIdentifier(u"C:\\Mail\\Outlook.pst"));
        SetRaw("Profiles\\A\\a2", "01020fff", reg::TypeBinary,
               StoreIdentifier(u"C:\\Old\\Outlook.pst"));
        SetRaw("Profiles\\A\\a3", "01020fff", reg::TypeBinary,
               StoreIdentifier(u"C:\\Gone\\lost.pst"));
        SetRaw("Profiles\\A\\a4", "001e6600", reg::TypeSz, std::string("C:\\Mail\\book.pab\0", 17));
        files_->AddFile("C:\\Mail\\Outlook.pst", "this year's mail");
        files_->AddFile("C:\\Old\\Outlook.pst", "last year's mail");
        files_->AddFile("C:\\Mail\\book.pab", "addresses");
        SetRaw("Options\\A", "Font", reg::TypeSz, std::string("Calibri\0", 8));
        SetRaw("Profiles\\B", "Name", reg::TypeSz, std::string("B\0", 2));
        SetRaw("Profiles\\B\\old", "Gone", reg::TypeSz, std::string("soon\0", 5));
        SetRaw("Options\\B", "Font", reg::TypeSz, std::string("Arial\0", 6));
        files_->AddFolder(RunFolder);
        files_->AddFolder("C:\\Backups");
        files_->AddFile(std::string(Rules) + "\\A.RWZ", "A's rules");
        files_->AddFile(std::string(Rules) + "\\B.RWZ", "B's rules");
        files_->AddFile(std::string(Rules) + "\\outcmd.dat", "A's toolbar");
        files_->AddFile("C:\\Users\\ann\\Signatures\\ann.txt", "A's signature");
        files_->AddFile("C:\\Users\\ann\\Signatures\\a;b.txt", "A's other signature");
        // A signature Word saved with its pictures, in a name no code page holds.
        files_->AddFile("C:\\Users\\ann\\Signatures\\\xD0\x9F\xD0\xBE\xD0\xB4.htm", "<img>");
        files_->AddFile("C:\\Users\\ann\\Signatures\\\xD0\x9F\xD0\xBE\xD0\xB4_files\\image001.png",
                        "picture");
        files_->AddFile(
            "C:\\Users\\ann\\Signatures\\\xD0\x9F\xD0\xBE\xD0\xB4_files\\theme\\ann.txt",
            "A's theme");

        BackupRequest request;
        request.profileName = "A";
        request.boxes = {true, true, true, false, true, true, false, true, false};
        request.targetPath = Archive;
        request.startTime = std::time(nullptr);
        BackupMachine machine{"OFFICE-PC", "ann", RunFolder, base_ + "\\Profiles", {}};
        machine.locations.AccountKeyPath =
            base_ + "\\Profiles\\A\\9375CFF0413111d3B88A00104B2A6676";
        machine.locations.OptionsKeyPath = base_ + "\\Options\\A";
        machine.locations.SignaturesFolder = "C:\\Users\\ann\\Signatures";
        machine.locations.RulesFolder = Rules;
        machine.locations.PreferencesFolder = Rules;
        BackupJob job(fake_.platform, messages_);
        SilentProgress progress;
        const BackupOutcome outcome = job.Run(request, machine, progress);
        ASSERT_TRUE(outcome.Written()) << outcome.error;
        // What changed on this machine after the backup, to tell the kept files apart.
        files_->AddFile(std::string(Rules) + "\\A.RWZ", "A's newer rules");
        files_->AddFile(std::string(Signatures) + "\\ann.txt", "B's signature");

        testing::ScriptedDialogs dialogs;
        ASSERT_EQ(OpenResult::Opened,
                  OpenBackup(zip_, *files_, RunFolder, Archive, dialogs, messages_, opened_));
        locations_.OptionsKeyPath = base_ + "\\Options\\B";
        locations_.SignaturesFolder = Signatures;
        locations_.RulesFolder = Rules;
        // Two levels still to be made.
        locations_.PreferencesFolder = Preferences;
    }

    RestoreContext Context(const std::string& target, ReplacedFolder* replaced = nullptr)
    {
        return {*files_,
                *access_,
                zip_,
                replaced != nullptr ? *replaced : replaced_,
                opened_.OpenedItemValues,
                RunFolder,
                "C:\\Users\\ann",
                base_ + "\\Profiles",
                target,
                locations_,
                DataFolder,
                "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\" + target + ".FAV",
                opened_.DatasSources,
                opened_.PabSources,
                {},
                false,
                nullptr,
                {}};
    }

    // The tree below the key, with key paths relative to it.
    std::vector<std::pair<std::string, std::vector<std::string>>> Tree(const std::string& key)
    {
        std::vector<std::pair<std::string, std::vector<std::string>>> tree;
        for (const RegFileKey& each : ReadRegistryTree(*access_, key)) {
            std::vector<std::string> values;
            for (const RegFileValue& value : each.values) {
                values.push_back(value.name + "=" + value.data);
            }
            tree.emplace_back(each.path.substr(key.size()), values);
        }
        return tree;
    }

    MemoryFileSystem* files_ = new MemoryFileSystem;
    testing::FakePlatform fake_;
    NoZipEvents events_;
    ZipComponent zip_{*files_, events_};
    OpenedBackup opened_;
    ProfileLocations locations_;
    ReplacedFolder replaced_{*files_, "C:\\Users\\ann\\AppData\\Local\\Kestrel", 0};
};

// Every restorer in turn: B gets A's items, only entries of restored data files are pointed at
// them, and whatever B had is kept.
TEST_F(RestorersTest, ProfileAsBackupLandsInProfileBAndWhatBHadIsKept)
{
    files_->AddFile(std::string(DataFolder) + "\\Outlook.pst", "B's mail");
    files_->AddFile("C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\B.FAV",
                    "B's favourites");
    const auto a = Tree(base_ + "\\Profiles\\A");
    RestoreContext context = Context("B");
    EXPECT_TRUE(RestoreConfig(context));
    EXPECT_TRUE(RestoreRules(context));
    EXPECT_TRUE(RestoreAccounts(context));
    EXPECT_TRUE(RestoreConfigsetting(context));
    EXPECT_TRUE(RestoreSignatures(context));
    EXPECT_TRUE(RestoreSetting(context));
    EXPECT_EQ(a, Tree(base_ + "\\Profiles\\B"));  // before the data files' entries change
    EXPECT_TRUE(RestoreDatas(context));
    EXPECT_TRUE(RestorePab(context));
    EXPECT_EQ(std::vector<std::string>{}, context.failures);

    EXPECT_EQ(Tree(base_ + "\\Options\\A"), Tree(base_ + "\\Options\\B"));
    EXPECT_EQ("A's rules", files_->Data(std::string(Rules) + "\\B.RWZ"));
    EXPECT_EQ("A's newer rules", files_->Data(std::string(Rules) + "\\A.RWZ"));
    EXPECT_EQ("A's signature", files_->Data(std::string(Signatures) + "\\ann.txt"));
    const std::string pictures = std::string(Signatures) + "\\\xD0\x9F\xD0\xBE\xD0\xB4_files";
    EXPECT_EQ("<img>", files_->Data(std::string(Signatures) + "\\\xD0\x9F\xD0\xBE\xD0\xB4.htm"));
    EXPECT_EQ("picture", files_->Data(pictures + "\\image001.png"));
    EXPECT_EQ("A's theme", files_->Data(pictures + "\\theme\\ann.txt"));
    EXPECT_TRUE(files_->FilesIn(RunFolder).empty());
    EXPECT_EQ("A's toolbar", files_->Data(std::string(Preferences) + "\\outcmd.dat"));
    EXPECT_EQ((std::vector<std::string>{"outcmd.dat"}), files_->FilesIn(Preferences));

    const std::string b = base_ + "\\Profiles\\B\\";
    const std::string folder = std::string(DataFolder) + "\\";
    // Two source files of one name each keep their own file.
    EXPECT_EQ(folder + "Outlook.pst", DecodeWidePathValue(*access_, b + "a1", "01020fff"));
    EXPECT_EQ(folder + "Outlook (2).pst", DecodeWidePathValue(*access_, b + "a2", "01020fff"));
    EXPECT_EQ("C:\\Gone\\lost.pst", DecodeWidePathValue(*access_, b + "a3", "01020fff"));
    EXPECT_EQ(folder + "book.pab", access_->GetStringValue(b + "a4", "001e6600"));
    EXPECT_EQ("this year's mail", files_->Data(folder + "Outlook.pst"));
    EXPECT_EQ("last year's mail", files_->Data(folder + "Outlook (2).pst"));
    EXPECT_EQ("addresses", files_->Data(folder + "book.pab"));

    const std::string kept = replaced_.Path();
    EXPECT_EQ("B's rules", files_->Data(kept + "\\Rules\\B.RWZ"));
    EXPECT_EQ("B's signature", files_->Data(kept + "\\Signatures\\ann.txt"));
    EXPECT_TRUE(files_->FileExists(kept + "\\Config\\B.reg"));
    EXPECT_EQ("B's mail", files_->Data(kept + "\\Datas\\Outlook.pst"));
    EXPECT_EQ("B's favourites", files_->Data(kept + "\\Datas\\B.FAV"));
}

TEST_F(RestorersTest, WhatCannotBeRestoredWhollyFailsAndWhatWasThereStays)
{
    struct Case {
        const char* name;
        void (*arrange)(RestoreContext&, MemoryFileSystem&);
        bool (*restorer)(RestoreContext&);
    };
    const Case cases[] = {
        {"a target profile that does not exist",
         [](RestoreContext& c, MemoryFileSystem&) { c.targetProfile = "Nobody"; }, RestoreConfig},
        {"a member name that leaves the folder",
         [](RestoreContext& c, MemoryFileSystem&) { c.values[0] = "..\\..\\x.tmp"; },
         RestoreConfig},
        {"a name that is not in the backup",
         [](RestoreContext& c, MemoryFileSystem&) { c.values[4] = "other.txt"; },
         RestoreSignatures},
        {"a folder outside the user's",
         [](RestoreContext& c, MemoryFileSystem&) {
             c.locations.SignaturesFolder = "C:\\Elsewhere\\Signatures";
         },
         RestoreSignatures},
        {"an extraction that fails after the file was moved away",
         [](RestoreContext& c, MemoryFileSystem& files) {
             c.values[4] = "ann.txt";
             files.FailWriteNumber(1);
         },
         RestoreSignatures},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem pristine = *files_;
        const auto b = Tree(base_ + "\\Profiles\\B");
        RestoreContext context = Context("B");
        c.arrange(context, *files_);
        EXPECT_FALSE(c.restorer(context));
        EXPECT_EQ(1u, context.failures.size());
        EXPECT_EQ(b, Tree(base_ + "\\Profiles\\B"));
        EXPECT_EQ("B's signature", files_->Data(std::string(Signatures) + "\\ann.txt"));
        *files_ = pristine;
    }
}

TEST_F(RestorersTest, TheRunRestoresTheTickedItemsTheBackupHoldsAndReportsEach)
{
    const std::string kept =
        "\r\nWhat the restore replaced is kept in C:\\Users\\ann\\AppData\\"
        "Local\\Kestrel\\Replaced\\" +
        ReplacedRunName(0);
    struct Case {
        const char* name;
        const char* boxes;
        bool keepFails;
        std::string report;
    };
    const Case cases[] = {
        {"the address book brings the profile's key", "000010000", false,
         "The Restore was Completed!\t\t\t\r\n\r\nRestore Personal Address Book\tSucceeded!\t" +
             kept},
        {"a box whose item the backup lacks", "000100000", false,
         "The Restore was Completed!\t\t\t\r\n"},
        {"a signature that cannot be kept", "001000000", true,
         "The Restore ended with errors!\t\t\t\r\n\r\nRestore Signatures \tFail!\t\r\nSignatures: "
         "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Signatures\\ann.txt could not be "
         "kept, so it was not replaced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each run in a second of its own, so that its folder's name is known before it is made.
        ReplacedFolder replaced(*files_, "C:\\Users\\ann\\AppData\\Local\\Kestrel", &c - cases);
        if (c.keepFails) {
            files_->FailRenamesTo(replaced.Path() + "\\Signatures\\ann.txt");
            files_->RefuseOpening(std::string(Signatures) + "\\ann.txt");
        }
        ItemBoxes ticked{};
        for (int box = 0; box < ItemBoxCount; ++box) {
            ticked[box] = c.boxes[box] == '1';
        }
        RestoreContext context = Context("B", &replaced);
        SilentProgress progress;
        const RestoreOutcome outcome =
            RestoreItems(context, opened_.OpenedBackupItems, ticked, progress);
        EXPECT_EQ(c.report, RestoreResultText(outcome));
        EXPECT_EQ(c.keepFails, outcome.AnyItemFailed());
        EXPECT_EQ("B's signature", files_->Data(std::string(Signatures) + "\\ann.txt"));
    }
}

bool IsTemporaryName(const std::string& path)
{
    const std::string name = path.substr(path.rfind('\\') + 1);
    return name.size() > 7 && (name.rfind("ksb", 0) == 0 || name.rfind("KSB", 0) == 0) &&
           name.substr(name.size() - 4) == ".tmp";
}

// Every file outside the program's own folders is its old version or its new one, the old one
// kept in the Replaced folder whenever the new one took its place, and no temporary file is
// anywhere.
void ExpectEveryFileWhole(MemoryFileSystem& before, MemoryFileSystem& after, MemoryFileSystem& now,
                          const std::string& kestrelFolder)
{
    const auto fileData = [](MemoryFileSystem& files, const std::string& path) {
        const auto facts = files.Stat(path);
        return facts && !facts->isFolder ? std::optional<std::string>(files.Data(path))
                                         : std::nullopt;
    };
    std::set<std::string> kept;
    std::set<std::string> paths;
    for (MemoryFileSystem* files : {&before, &after, &now}) {
        for (const std::string& path : files->Paths()) {
            // A run folder goes whole once its instance has ended.
            EXPECT_FALSE(files == &now && IsTemporaryName(path) && path.rfind(RunFolder, 0) != 0)
                << path;
            if (path.rfind(kestrelFolder + "\\Replaced\\", 0) == 0) {
                if (files == &now && fileData(now, path)) {
                    kept.insert(now.Data(path));
                }
            } else if (path.rfind(kestrelFolder, 0) != 0 && path.rfind(RunFolder, 0) != 0) {
                paths.insert(path);
            }
        }
    }
    for (const std::string& path : paths) {
        const auto old = fileData(before, path);
        const auto restored = fileData(after, path);
        const auto found = fileData(now, path);
        EXPECT_TRUE(found == old || found == restored) << path;
        if (old && found != old) {
            EXPECT_EQ(1u, kept.count(*old)) << path << " is not kept";
        }
    }
}

// The program dies at each change the restore makes, in turn, and starts again: the start
// puts every file in order, and says so once.
TEST_F(RestorersTest, ACrashAtAnyChangeIsPutInOrderAtTheNextStart)
{
    const std::string kestrelFolder = "C:\\Users\\ann\\AppData\\Local\\Kestrel";
    files_->AddFile(std::string(DataFolder) + "\\Outlook.pst", "B's mail");
    files_->AddFile(std::string(DataFolder) + "\\book.pab", "B's addresses");
    files_->AddFile("C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\B.FAV",
                    "B's favourites");
    const auto restore = [&] {
        ReplacedFolder replaced(*files_, kestrelFolder, 1700000000, RunFolder);
        RestoreContext context = Context("B", &replaced);
        RestoreDatas(context);
        RestorePab(context);
        RestoreRules(context);
        RestoreSignatures(context);
        replaced.Finish();
    };
    MemoryFileSystem before = files_->DeepCopy();
    const std::uint64_t start = files_->ChangesSoFar();
    restore();
    const std::uint64_t changes = files_->ChangesSoFar() - start;
    MemoryFileSystem after = files_->DeepCopy();
    EXPECT_EQ("this year's mail", after.Data(std::string(DataFolder) + "\\Outlook.pst"));
    EXPECT_TRUE(RecoverInterruptedRestores(*files_, kestrelFolder, {}).empty());
    ASSERT_GT(changes, 20u);

    std::size_t recoveredRuns = 0;
    for (std::uint64_t crash = 1; crash <= changes; ++crash) {
        SCOPED_TRACE("crash at change " + std::to_string(crash) + " of " + std::to_string(changes));
        *files_ = before.DeepCopy();
        files_->CrashAtChange(crash);
        restore();
        files_->CrashAtChange(0);
        // The registry outlives the crash: a change it cut short is put back from the kept tree.
        const std::vector<RecoveredRun> recovered =
            RecoverInterruptedRestores(*files_, kestrelFolder, {}, access_.get());
        EXPECT_TRUE(RecoverInterruptedRestores(*files_, kestrelFolder, {}, access_.get()).empty());
        ExpectEveryFileWhole(before, after, *files_, kestrelFolder);
        recoveredRuns += recovered.size();
        for (const RecoveredRun& run : recovered) {
            EXPECT_TRUE(run.unsettled.empty());
            EXPECT_NE(std::string::npos, RecoveryReport(recovered).find(run.folder));
        }
    }
    // The journal is begun before the first file is touched and finished after the last.
    EXPECT_GT(recoveredRuns, changes / 2);
}

TEST(RestoreRunTest, NothingRunsWithoutAValidBackupAndATickedBox)
{
    const ItemBoxes none{};
    ItemBoxes one{};
    one[8] = true;
    testing::ScriptedMessages messages{
        {"Invalid backup file.", MessageIcon::Stop, MessageAnswer::Ok},
        {"Please select at least one item.", MessageIcon::Exclamation, MessageAnswer::Ok}};
    EXPECT_FALSE(CheckRestoreRequest(true, one, messages));
    EXPECT_FALSE(CheckRestoreRequest(false, none, messages));
    EXPECT_TRUE(CheckRestoreRequest(false, one, messages));
}

TEST_F(RestorersTest, AFileNameMayHoldTheSeparatorAndEachBadPieceStandsAlone)
{
    const std::string sub = "\xD0\x9F\xD0\xBE\xD0\xB4_files/";
    struct Case {
        std::string value;
        std::vector<ValueEntry> entries;
    };
    const Case cases[] = {
        {"ann.txt;a;b.txt;" + sub + "image001.png",
         {{"ann.txt", true}, {"a;b.txt", true}, {sub + "image001.png", true}}},
        {"ann.txt;missing", {{"ann.txt", true}, {"missing", false}}},
        {"sub/../../x.htm;C:/x;a;b.txt",
         {{"sub/../../x.htm", false}, {"C:/x", false}, {"a;b.txt", true}}},
        {";ann.txt;;", {{"ann.txt", true}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.entries, ValueEntries(zip_, c.value)) << c.value;
    }
}

// One bad name in a crafted list costs only its own file: the report names it, the item
// fails, the other files are restored and nothing is written outside the item's folder.
// A list at the info file's limit: each piece is looked up once (a join reaches no further than
// the longest member name), so it resolves at once; a stop ends the work early.
TEST_F(RestorersTest, AListOfAMebibyteResolvesPieceByPieceAndStopsWhenAsked)
{
    std::string value;
    while (value.size() < MaxInfoFileBytes - 16) {
        value += "ann.txt;x;";
    }
    const std::vector<ValueEntry> entries = ValueEntries(zip_, value);
    ASSERT_EQ(value.size() / 10 * 2, entries.size());
    EXPECT_EQ((ValueEntry{"ann.txt", true}), entries.front());
    EXPECT_EQ((ValueEntry{"x", false}), entries.back());

    const std::atomic<bool> stop{true};
    EXPECT_TRUE(ValueEntries(zip_, value, &stop).empty());
}

// An item list that names the run folder's lock reaches a fresh folder of the run instead.
TEST_F(RestorersTest, NoNameInTheArchiveReachesTheRunFolderItself)
{
    const std::string lock = std::string(RunFolder) + "\\run.lock";
    files_->AddFile(lock, "held by this run");
    const auto before = files_->FilesIn(RunFolder);
    RestoreContext context = Context("B");
    ASSERT_TRUE(RestoreConfigsetting(context)) << ::testing::PrintToString(context.failures);
    EXPECT_EQ("held by this run", files_->Data(lock));
    EXPECT_EQ(std::string(RunFolder) + "\\extract-1", context.extractionFolder);
    EXPECT_EQ(before, files_->FilesIn(RunFolder));
}

// An archive whose export or rules file is named as the run folder's lock is refused before
// anything is kept, extracted or imported, whatever the case of the name.
TEST_F(RestorersTest, AnItemNamedAsTheRunFoldersLockIsRefused)
{
    const std::string lock = std::string(RunFolder) + "\\run.lock";
    files_->AddFile(lock, "held by this run");
    const std::string rules = std::string(Rules) + "\\B.RWZ";
    const struct {
        int position;
        bool (*restore)(RestoreContext&);
        std::string name;
        std::string failure;
    } cases[] = {
        {7, RestoreConfigsetting, "run.lock",
         "Configsetting: \"run.lock\" is the name of the run folder's lock; it was refused"},
        {7, RestoreConfigsetting, "RUN.LOCK",
         "Configsetting: \"RUN.LOCK\" is the name of the run folder's lock; it was refused"},
        {2, RestoreRules, "Run.Lock",
         "Rules: \"Run.Lock\" is the name of the run folder's lock; it was refused"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const std::set<std::string> before = files_->Paths();
        const auto options = Tree(base_ + "\\Options\\B");
        RestoreContext context = Context("B");
        context.values[each.position] = each.name;
        EXPECT_FALSE(each.restore(context));
        EXPECT_EQ(std::vector<std::string>{each.failure}, context.failures);
        EXPECT_EQ(before, files_->Paths());
        EXPECT_EQ("held by this run", files_->Data(lock));
        EXPECT_EQ("B's rules", files_->Data(rules));
        EXPECT_EQ(options, Tree(base_ + "\\Options\\B"));
    }
}

TEST_F(RestorersTest, ABadNameInTheListRefusesOnlyThatFile)
{
    const std::string sub = "\xD0\x9F\xD0\xBE\xD0\xB4_files";
    const std::set<std::string> before = files_->Paths();
    RestoreContext context = Context("B");
    context.values[4] =
        "sub/../../x.htm;C:/x;ann.txt;" + sub + "/image001.png;..\\y.htm;missing.htm";
    EXPECT_FALSE(RestoreSignatures(context));
    EXPECT_EQ((std::vector<std::string>{
                  "Signatures: \"sub/../../x.htm\" names no file of the item's folder; it was "
                  "refused",
                  "Signatures: \"C:/x\" names no file of the item's folder; it was refused",
                  "Signatures: \"..\\y.htm\" names no file of the item's folder; it was refused",
                  "Signatures: missing.htm is not in the backup"}),
              context.failures);
    EXPECT_EQ("A's signature", files_->Data(std::string(Signatures) + "\\ann.txt"));
    EXPECT_EQ("picture", files_->Data(std::string(Signatures) + "\\" + sub + "\\image001.png"));
    for (const std::string& path : files_->Paths()) {
        if (before.count(path) == 0) {
            // What was replaced is kept in the program's data folder.
            EXPECT_TRUE(path.starts_with(std::string(Signatures) + "\\") ||
                        path.starts_with("C:\\Users\\ann\\AppData\\Local"))
                << path;
        }
    }
}

}  // namespace
}  // namespace kestrel
