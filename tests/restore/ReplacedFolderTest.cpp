// The kept copies of what a restore replaces: a file is only ever given up once it is safely in
// the run's folder, and a kept registry tree puts the key back exactly as it was.

#include "restore/ReplacedFolder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "platform/FileContents.h"
#include "registry/RegFile.h"
#include "registry/RegistryFixture.h"
#include "restore/RestoreJournal.h"
#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;

constexpr const char* DataFolder = "C:\\Users\\ann\\AppData\\Local\\Kestrel";
constexpr const char* Mail = "D:\\Mail\\Outlook.pst";

TEST(ReplacedFolderTest, AFileIsGivenUpOnlyOnceItIsKept)
{
    struct Case {
        const char* name;
        void (*arrange)(MemoryFileSystem&, ReplacedFolder&, const std::string& kept);
        bool kept;
        const char* keptAs;  // the kept file's name in the item's folder, "" for none
        bool originalStays;
    };
    const Case cases[] = {
        {"moved on the same volume", [](MemoryFileSystem&, ReplacedFolder&, const std::string&) {},
         true, "Outlook.pst", false},
        {"copied when it cannot be renamed",
         [](MemoryFileSystem& files, ReplacedFolder&, const std::string& kept) {
             files.FailRenamesTo(kept);
         },
         true, "Outlook.pst", true},
        {"neither renamed nor copied",
         [](MemoryFileSystem& files, ReplacedFolder&, const std::string& kept) {
             files.FailRenamesTo(kept);
             files.RefuseOpening(Mail);
         },
         false, "", true},
        {"a second file of the same name",
         [](MemoryFileSystem& files, ReplacedFolder& replaced, const std::string&) {
             files.AddFile("E:\\Outlook.pst", "first");
             ASSERT_TRUE(replaced.KeepFile("Datas", "E:\\Outlook.pst"));
         },
         true, "Outlook (2).pst", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem files;
        files.AddFolder("C:\\Users\\ann");  // the data folder itself is still to be made
        files.AddFile(Mail, "mail");
        ReplacedFolder replaced(files, DataFolder, 0);
        const std::string folder = replaced.Path() + "\\Datas\\";
        c.arrange(files, replaced, folder + "Outlook.pst");

        EXPECT_EQ(c.kept, replaced.KeepFile("Datas", Mail));
        EXPECT_EQ(c.originalStays, files.FileExists(Mail));
        EXPECT_EQ(c.kept, replaced.Used());
        if (*c.keptAs != '\0') {
            EXPECT_EQ("mail", files.Data(folder + c.keptAs));
        } else {
            EXPECT_FALSE(files.FileExists(folder + "Outlook.pst"));
        }
        EXPECT_EQ("mail", files.Data(c.originalStays ? Mail : folder + c.keptAs));
    }
}

TEST(ReplacedFolderTest, NothingToKeepMakesNoFolder)
{
    MemoryFileSystem files;
    const auto before = files.Paths();
    ReplacedFolder replaced(files, DataFolder, 0);
    EXPECT_TRUE(replaced.KeepFile("Datas", Mail));
    EXPECT_FALSE(replaced.Used());
    EXPECT_EQ(before, files.Paths());
}

TEST(ReplacedFolderTest, ARestoreLeavesTheThreeNewestRunFolders)
{
    struct Case {
        const char* name;
        std::vector<std::string> runs;  // each with a kept file; none at all: no Replaced folder
        std::set<std::string> removed;
        const char* held = "";  // a run whose kept file another program holds open
    };
    const std::vector<std::string> five = {"2024-03-01 09-00-00", "2023-12-31 23-59-59",
                                           "2024-03-02 08-00-01", "2024-01-15 12-30-00",
                                           "2024-03-02 08-00-00"};
    const Case cases[] = {
        {"five runs", five, {"2023-12-31 23-59-59", "2024-01-15 12-30-00"}},
        {"three runs", {"2024-03-01 09-00-00", "2023-12-31 23-59-59", "2024-01-15 12-30-00"}, {}},
        {"no Replaced folder", {}, {}},
        {"a run that cannot go", five, {"2024-01-15 12-30-00"}, "2023-12-31 23-59-59"},
    };
    const std::string replaced = std::string(DataFolder) + "\\Replaced\\";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem files;
        files.AddFolder(DataFolder);
        for (const std::string& run : c.runs) {
            files.AddFile(replaced + run + "\\Datas\\Outlook.pst", "mail");
        }
        if (!c.runs.empty()) {
            // What the user put there, some of it almost named like a run.
            for (const char* own : {"my notes", "2020-01-01 10-00-00 old", "2020-01-01_10-00-00",
                                    "2020-01-01 10-00-0x"}) {
                files.AddFile(replaced + own + "\\note.txt", "own");
            }
            files.AddFile(replaced + "2020-01-01 10-00-00", "a file");
        }
        files.RefuseOpening(replaced + c.held + "\\Datas\\Outlook.pst");
        std::set<std::string> expected;
        for (const std::string& path : files.Paths()) {
            const std::string run = path.substr(0, path.find('\\', replaced.size()));
            if (path.rfind(replaced, 0) != 0 || c.removed.count(run.substr(replaced.size())) == 0) {
                expected.insert(path);
            }
        }

        RemoveOldReplacedFolders(files, DataFolder, KeptReplacedRuns);
        EXPECT_EQ(expected, files.Paths());
    }
}

// A clock set back names a newer run's folder as older: the journals' times decide, and a run
// whose journal is unfinished stays for the next start to settle.
TEST(ReplacedFolderTest, PruningGoesByTheJournalsTimesAndKeepsUnfinishedRuns)
{
    struct Run {
        const char* name;
        std::time_t started;  // 0: a run of a program that kept no journal
        bool finished;
    };
    const std::vector<Run> runs = {
        {"2024-05-01 10-00-00", 1000, true}, {"2024-04-01 10-00-00", 5000, true},
        {"2024-03-01 10-00-00", 4000, true}, {"2024-02-01 10-00-00", 3000, true},
        {"2024-01-01 10-00-00", 500, false}, {"2024-06-01 10-00-00", 0, true},
    };
    const std::string replaced = std::string(DataFolder) + "\\Replaced\\";
    MemoryFileSystem files;
    for (const Run& run : runs) {
        const std::string folder = replaced + run.name;
        files.AddFile(folder + "\\Datas\\Outlook.pst", "mail");
        if (run.started != 0) {
            RestoreJournal journal(files, folder + "\\restore.journal");
            ASSERT_TRUE(journal.Begin(run.started, "C:\\run-1"));
            ASSERT_TRUE(!run.finished || journal.Finish());
        }
    }

    RemoveOldReplacedFolders(files, DataFolder, KeptReplacedRuns);
    std::set<std::string> left;
    for (const std::string& name : files.FoldersIn(std::string(DataFolder) + "\\Replaced")) {
        left.insert(name);
    }
    EXPECT_EQ((std::set<std::string>{"2024-04-01 10-00-00", "2024-03-01 10-00-00",
                                     "2024-02-01 10-00-00", "2024-01-01 10-00-00"}),
              left);
}

class ReplacedKeyTreeTest : public testing::RegistryFixture {};

TEST_F(ReplacedKeyTreeTest, AKeptTreePutsTheKeyBackAsItWas)
{
    const std::string profile = MakeKey("Profiles\\B", "Name", reg::TypeSz, std::string("B\0", 2));
    SetRaw("Profiles\\B\\9375CFF0413111d3B88A00104B2A6676", "Account", reg::TypeBinary,
           std::string("\x01\x00\xff", 3));
    const std::vector<RegFileKey> before = ReadRegistryTree(*access_, profile);
    MemoryFileSystem files;
    ReplacedFolder replaced(files, DataFolder, 0);
    ASSERT_TRUE(replaced.KeepKeyTree(*access_, "Config", profile, "Config.reg"));
    EXPECT_TRUE(replaced.KeepKeyTree(*access_, "Config", profile + "\\Missing", "Missing.reg"));
    EXPECT_FALSE(files.FileExists(replaced.Path() + "\\Config\\Missing.reg"));

    // What a restore does to the key.
    SetRaw("Profiles\\B", "Name", reg::TypeSz, std::string("A\0", 2));
    SetRaw("Profiles\\B\\added", "x", reg::TypeSz, std::string("y\0", 2));
    const Result<std::string> file = ReadWholeFile(files, replaced.Path() + "\\Config\\Config.reg");
    ASSERT_TRUE(file) << file.error().Describe();
    EXPECT_EQ(std::string("\xff\xfeW\0", 4), file->substr(0, 4));  // what the registry editor reads
    RegFileError error;
    const auto keys = ParseRegFile(*file, error);
    ASSERT_TRUE(keys.has_value()) << error.message;
    ASSERT_EQ(std::nullopt, ApplyRegFile(*access_, *keys));

    const std::vector<RegFileKey> after = ReadRegistryTree(*access_, profile);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].path, after[i].path);
        ASSERT_EQ(before[i].values.size(), after[i].values.size()) << before[i].path;
        for (std::size_t v = 0; v < before[i].values.size(); ++v) {
            EXPECT_EQ(before[i].values[v].data, after[i].values[v].data) << before[i].path;
        }
    }
}

}  // namespace
}  // namespace kestrel
