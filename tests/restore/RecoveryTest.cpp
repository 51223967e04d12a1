// What a restore cut short leaves, and what the next start makes of it: nothing the user had,
// nor anything the user wrote after the crash, is ever lost, and only the run's own files are
// touched.

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "registry/RegFile.h"
#include "registry/RegistryFixture.h"
#include "restore/ReplacedFolder.h"
#include "restore/RestoreJournal.h"
#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

using testing::MemoryFileSystem;

constexpr const char* DataFolder = "C:\\Users\\ann\\AppData\\Local\\Kestrel";
constexpr const char* Target = "C:\\Mail\\a.pst";
constexpr std::time_t Started = 1796600000;

std::string JournalOf(const std::string& folder)
{
    return folder + "\\" + JournalName;
}

// The kept files of every run folder, by content.
std::multiset<std::string> KeptContents(MemoryFileSystem& files)
{
    std::multiset<std::string> kept;
    const std::string replaced = std::string(DataFolder) + "\\Replaced\\";
    for (const std::string& path : files.Paths()) {
        if (path.rfind(replaced, 0) == 0 && files.FileExists(path) &&
            path.find(JournalName) == std::string::npos) {
            kept.insert(files.Data(path));
        }
    }
    return kept;
}

bool WriteNew(MemoryFileSystem& files, const std::string& temporary)
{
    const auto out = files.CreateOutputFile(temporary);
    return out && (*out)->Write("new", 3) && (*out)->Commit();
}

// A full disk at each write of a run in turn (the journal's lines among them): whatever the
// run says, the old file is in place, or the new one is with the old one kept.
TEST(RecoveryTest, AJournalLineThatCannotBeWrittenLosesNothing)
{
    const auto run = [](MemoryFileSystem& files, std::string& why) {
        ReplacedFolder replaced(files, DataFolder, Started);
        const bool placed = replaced.ReplaceFileSafely(
            "Datas", Target,
            [&](const std::string& temporary) { return WriteNew(files, temporary); }, why);
        replaced.Finish();
        return placed;
    };
    MemoryFileSystem clean;
    clean.AddFolder(DataFolder);
    clean.AddFile(Target, "old");
    MemoryFileSystem whole = clean.DeepCopy();
    std::string why;
    ASSERT_TRUE(run(whole, why)) << why;
    const std::uint64_t writes = whole.WritesSoFar() - clean.WritesSoFar();
    ASSERT_GE(writes, 6u);

    for (std::uint64_t failing = 1; failing <= writes; ++failing) {
        SCOPED_TRACE("write " + std::to_string(failing) + " of " + std::to_string(writes));
        MemoryFileSystem files = clean.DeepCopy();
        files.FailWriteNumber(failing);
        const bool placed = run(files, why);
        files.FailWriteNumber(0);
        if (placed) {
            EXPECT_EQ("new", files.Data(Target));
            EXPECT_EQ(1u, KeptContents(files).count("old"));
        } else {
            EXPECT_EQ("old", files.Data(Target)) << why;
        }
        // What the next start makes of what is left changes nothing of that.
        RecoverInterruptedRestores(files, DataFolder, {});
        EXPECT_EQ(placed ? "new" : "old", files.Data(Target));
        EXPECT_TRUE(!placed || KeptContents(files).count("old") == 1);
    }
}

// Runs started in the same second each get a folder of their own, and the one that kept
// nothing removes only its own.
TEST(RecoveryTest, RunsInOneSecondShareNoFolder)
{
    MemoryFileSystem files;
    files.AddFolder(DataFolder);
    files.AddFile(Target, "old");
    std::string why;
    const auto write = [&](const std::string& temporary) { return WriteNew(files, temporary); };
    ReplacedFolder first(files, DataFolder, Started);
    ASSERT_TRUE(first.ReplaceFileSafely("Datas", Target, write, why)) << why;
    ReplacedFolder second(files, DataFolder, Started);
    ASSERT_TRUE(second.ReplaceFileSafely("Datas", "C:\\Mail\\new.pst", write, why)) << why;
    ReplacedFolder third(files, DataFolder, Started);
    ASSERT_TRUE(third.ReplaceFileSafely("Datas", Target, write, why)) << why;
    EXPECT_EQ(first.Path() + " (2)", second.Path());
    EXPECT_EQ(first.Path() + " (3)", third.Path());
    second.Finish();
    first.Finish();
    third.Finish();

    EXPECT_EQ("old", files.Data(first.Path() + "\\Datas\\a.pst"));
    EXPECT_EQ("new", files.Data(third.Path() + "\\Datas\\a.pst"));
    EXPECT_FALSE(files.FolderExists(second.Path()));
    for (const std::string& name : files.FoldersIn(std::string(DataFolder) + "\\Replaced")) {
        EXPECT_TRUE(IsReplacedRunName(name)) << name;
    }
}

TEST(RecoveryTest, RunFolderNames)
{
    const struct {
        const char* name;
        bool run;
    } cases[] = {
        {"2026-12-08 10-00-00", true},       {"2026-12-08 10-00-00 (2)", true},
        {"2026-12-08 10-00-00 (999)", true}, {"2026-12-08 10-00-00 (1)", false},
        {"2026-12-08 10-00-00 (02)", false}, {"2026-12-08 10-00-00 (1000)", false},
        {"2026-12-08 10-00-00 ()", false},   {"2026-12-08 10-00-00 (2", false},
        {"2026-12-08 10-00-00 old", false},  {"2026-12-08 10-00-0x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run, IsReplacedRunName(c.name)) << c.name;
    }
}

// The states a crash leaves a file in, as the journal and the disk show them.
enum class CrashedAt { Written, Kept, Placed };
// What the user did before the next start.
enum class Then { Nothing, EditsTheFile, RemovesTheFileAndTheNewVersion };

struct Crash {
    MemoryFileSystem files;
    std::string folder = std::string(DataFolder) + "\\Replaced\\" + ReplacedRunName(Started);
    std::string kept = folder + "\\Datas\\a.pst";
    std::string temporary = "C:\\Mail\\ksb1A.tmp";
};

// A run that died at the state, its journal written as a run writes it.
void Arrange(Crash& crash, CrashedAt at)
{
    MemoryFileSystem& files = crash.files;
    files.AddFolder(crash.folder + "\\Datas");
    files.AddFile(Target, "old");
    RestoreJournal journal(files, JournalOf(crash.folder));
    ASSERT_TRUE(journal.Begin(Started, "C:\\Kestrel\\run-1"));
    ASSERT_TRUE(journal.Mark("place", Target, crash.kept, RecordFacts(files, Target)));
    files.AddFile(crash.temporary, "new");
    ASSERT_TRUE(journal.Mark("temp", Target, crash.temporary));
    ASSERT_TRUE(journal.Mark("written", Target, RecordFacts(files, crash.temporary)));
    if (at == CrashedAt::Written) {
        return;
    }
    ASSERT_TRUE(files.RenameFile(Target, crash.kept));
    ASSERT_TRUE(journal.Mark("kept", Target));
    if (at == CrashedAt::Kept) {
        return;
    }
    ASSERT_TRUE(files.MoveOver(crash.temporary, Target));
    ASSERT_TRUE(journal.Mark("placed", Target));
}

// Recovery completes a run only where the file is still the one the run left, or is missing
// with nothing new there; a file the user changed stays, and so does each version.
TEST(RecoveryTest, RecoveryNeverOverwritesWhatCameAfterTheCrash)
{
    const std::string aside = std::string(DataFolder) + "\\Replaced\\" + ReplacedRunName(Started) +
                              "\\Datas\\a (from the backup).pst";
    const struct {
        const char* name;
        CrashedAt at;
        Then then;
        const char* target;    // what is at the file afterwards
        const char* kept;      // what is in the kept place, "" for nothing
        const char* setAside;  // the new version beside it, "" for nothing
        const char* reported;
    } cases[] = {
        {"new version whole", CrashedAt::Written, Then::Nothing, "new", "old", "", "Restored: "},
        {"new version whole, file edited", CrashedAt::Written, Then::EditsTheFile, "edited", "",
         "new", "Changed since the restore was interrupted, so left as it is: "},
        {"old version kept", CrashedAt::Kept, Then::Nothing, "new", "old", "", "Restored: "},
        {"old version kept, a new file made", CrashedAt::Kept, Then::EditsTheFile, "edited", "old",
         "new", "Changed since the restore was interrupted, so left as it is: "},
        {"old version kept, the new one gone", CrashedAt::Kept,
         Then::RemovesTheFileAndTheNewVersion, "old", "", "", "Left as it was: "},
        {"new version placed", CrashedAt::Placed, Then::Nothing, "new", "old", "", "Restored: "},
        {"new version placed, file edited", CrashedAt::Placed, Then::EditsTheFile, "edited", "old",
         "", "Changed since the restore was interrupted, so left as it is: "},
        {"new version placed, all gone", CrashedAt::Placed, Then::RemovesTheFileAndTheNewVersion,
         "old", "", "", "Left as it was: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Crash crash;
        Arrange(crash, c.at);
        if (c.then == Then::EditsTheFile) {
            crash.files.AddFile(Target, "edited");
        } else if (c.then == Then::RemovesTheFileAndTheNewVersion) {
            crash.files.RemoveFile(Target);
            crash.files.RemoveFile(crash.temporary);
        }

        const std::vector<RecoveredRun> runs =
            RecoverInterruptedRestores(crash.files, DataFolder, {});
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(c.target, crash.files.Data(Target));
        EXPECT_EQ(c.kept, crash.files.Data(crash.kept));
        EXPECT_EQ(c.setAside, crash.files.Data(aside));
        EXPECT_FALSE(crash.files.FileExists(crash.temporary));
        EXPECT_NE(std::string::npos, RecoveryReport(runs).find(c.reported + std::string(Target)))
            << RecoveryReport(runs);
        EXPECT_TRUE(ReadJournalState(crash.files, JournalOf(crash.folder))->finished);
    }
}

// A file recovery cannot put in order keeps its run open: reported again, never pruned.
TEST(RecoveryTest, AnUnsettledRunIsNeitherFinishedNorPruned)
{
    Crash crash;
    Arrange(crash, CrashedAt::Kept);
    crash.files.FailRenamesTo(Target);
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        const std::vector<RecoveredRun> runs =
            RecoverInterruptedRestores(crash.files, DataFolder, {});
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(std::vector<std::string>{Target}, runs[0].unsettled);
        EXPECT_FALSE(ReadJournalState(crash.files, JournalOf(crash.folder))->finished);
        RemoveOldReplacedFolders(crash.files, DataFolder, 0);
        EXPECT_EQ("old", crash.files.Data(crash.kept));
        EXPECT_EQ("new", crash.files.Data(crash.temporary));
    }
}

// A journal written by the version before facts were recorded: what is certain is done, and a
// file that may have changed is left as it is with both versions.
TEST(RecoveryTest, AnEarlierVersionsJournalIsSettledWithoutGuessing)
{
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> steps;  // after place and temp
        bool oldKept;
        const char* target;
        const char* reported;
    } cases[] = {
        {"cut short while writing", {}, false, "old", "Left as it was: "},
        {"written",
         {{"written"}},
         false,
         "old",
         "Left as it is (the interrupted restore's journal cannot tell whether it changed "
         "since): "},
        {"kept", {{"written"}, {"kept"}}, true, "new", "Restored: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Crash crash;
        MemoryFileSystem& files = crash.files;
        files.AddFolder(crash.folder + "\\Datas");
        files.AddFile(Target, "old");
        files.AddFile(crash.temporary, "new");
        RestoreJournal journal(files, JournalOf(crash.folder));
        ASSERT_TRUE(journal.Begin(Started, "C:\\Kestrel\\run-1"));
        ASSERT_TRUE(journal.Mark("place", Target, crash.kept));
        ASSERT_TRUE(journal.Mark("temp", Target, crash.temporary));
        for (const auto& step : c.steps) {
            ASSERT_TRUE(journal.Mark(step[0], Target));
        }
        if (c.oldKept) {
            ASSERT_TRUE(files.RenameFile(Target, crash.kept));
        }

        const auto runs = RecoverInterruptedRestores(files, DataFolder, {});
        EXPECT_EQ(c.target, files.Data(Target));
        EXPECT_EQ(c.oldKept ? "old" : "", files.Data(crash.kept));
        EXPECT_FALSE(files.FileExists(crash.temporary));
        EXPECT_NE(std::string::npos, RecoveryReport(runs).find(c.reported + std::string(Target)))
            << RecoveryReport(runs);
    }
}

// A damaged or copied journal: recovery acts on no path a run of its own would not have written,
// and names each one.
TEST(RecoveryTest, PathsOfNoRunsShapeAreReportedAndLeftAlone)
{
    const std::string folder = std::string(DataFolder) + "\\Replaced\\" + ReplacedRunName(Started);
    const std::string live = "C:\\Mail\\live.pst";
    const struct {
        const char* name;
        std::string target;
        std::string kept;
        std::string temporary;
        std::vector<std::string> steps;
    } cases[] = {
        {"a live file named as the temporary one", Target, folder + "\\Datas\\a.pst", live, {}},
        {"a temporary name in another folder",
         Target,
         folder + "\\Datas\\a.pst",
         "C:\\Other\\ksb1.tmp",
         {"written"}},
        {"a kept place outside the run's folder",
         Target,
         live,
         "C:\\Mail\\ksb1.tmp",
         {"written", "kept"}},
        {"a kept place that climbs out",
         Target,
         folder + "\\..\\..\\..\\..\\Mail\\live.pst",
         "C:\\Mail\\ksb1.tmp",
         {"written", "kept"}},
        {"a file that climbs out",
         "C:\\Mail\\..\\Mail\\a.pst",
         folder + "\\Datas\\a.pst",
         "C:\\Mail\\ksb1.tmp",
         {"written"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem files;
        files.AddFolder(folder);
        files.AddFile(Target, "the user's mail");
        files.AddFile(live, "the live mail");
        files.AddFile("C:\\Mail\\ksb1.tmp", "someone's");
        files.AddFile("C:\\Other\\ksb1.tmp", "someone else's");
        RestoreJournal journal(files, JournalOf(folder));
        ASSERT_TRUE(journal.Begin(Started, "C:\\Kestrel\\run-1"));
        ASSERT_TRUE(journal.Mark("place", c.target, c.kept));
        ASSERT_TRUE(journal.Mark("temp", c.target, c.temporary));
        for (const std::string& step : c.steps) {
            ASSERT_TRUE(journal.Mark(step, c.target));
        }
        std::map<std::string, std::string> before;
        for (const std::string& path : files.Paths()) {
            before[path] = files.Data(path);
        }

        const auto runs = RecoverInterruptedRestores(files, DataFolder, {});
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(std::vector<std::string>{c.target}, runs[0].refused);
        EXPECT_NE(
            std::string::npos,
            RecoveryReport(runs).find(
                "Not touched (the journal names it, but no restore writes there): " + c.target));
        for (const auto& [path, data] : before) {
            if (path != JournalOf(folder)) {
                EXPECT_EQ(data, files.Data(path)) << path;
            }
        }
    }
}

// Registry trees a run keeps are in its journal like its files: a run that replaced nothing
// else is ordered among the others by its time, and a change cut short is put back.
class RecoveryTreeTest : public testing::RegistryFixture {};

TEST_F(RecoveryTreeTest, ARegistryOnlyRunIsPrunedInItsTurn)
{
    const std::string key = MakeKey("Options", "Font", reg::TypeSz, std::string("Arial\0", 6));
    MemoryFileSystem files;
    files.AddFolder(DataFolder);
    std::vector<std::string> folders;
    // Three runs that replaced a file, then the newest, which replaced only the tree.
    for (std::time_t started : {Started, Started + 3600, Started + 7200}) {
        files.AddFile(Target, "mail");
        ReplacedFolder replaced(files, DataFolder, started);
        std::string why;
        ASSERT_TRUE(replaced.ReplaceFileSafely(
            "Datas", Target, [&](const std::string& temp) { return WriteNew(files, temp); }, why));
        replaced.Finish();
        folders.push_back(replaced.Path());
    }
    ReplacedFolder newest(files, DataFolder, Started + 10800);
    ASSERT_TRUE(newest.KeepKeyTree(*access_, "Configsetting", key, "Options.reg"));
    newest.Finish();
    folders.push_back(newest.Path());

    RemoveOldReplacedFolders(files, DataFolder, KeptReplacedRuns);
    for (std::size_t run = 0; run < folders.size(); ++run) {
        EXPECT_EQ(run != 0, files.FolderExists(folders[run])) << folders[run];
    }
}

TEST_F(RecoveryTreeTest, AnImportCutShortIsPutBackAtTheNextStart)
{
    const std::string key = MakeKey("Options", "Font", reg::TypeSz, std::string("Arial\0", 6));
    MakeKey("Options\\Mail", "Size", reg::TypeSz, std::string("10\0", 3));
    const std::vector<RegFileKey> before = ReadRegistryTree(*access_, key);
    const struct {
        const char* name;
        bool ended;
        bool withRegistry;
        const char* font;
    } cases[] = {
        {"cut short", false, true, "Arial"},
        {"ended", true, true, "Calibri"},
        {"cut short, no registry at hand", false, false, "Calibri"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem files;
        files.AddFolder(DataFolder);
        ReplacedFolder replaced(files, DataFolder, Started, "C:\\Kestrel\\run-1");
        ASSERT_TRUE(replaced.KeepKeyTree(*access_, "Configsetting", key, "Options.reg"));
        ASSERT_TRUE(replaced.BeginTreeChange(key));
        SetRaw("Options", "Font", reg::TypeSz, std::string("Calibri\0", 8));
        SetRaw("Options\\Added", "x", reg::TypeSz, std::string("y\0", 2));
        ASSERT_TRUE(!c.ended || replaced.EndTreeChange(*access_, key));

        const auto runs = RecoverInterruptedRestores(files, DataFolder, {},
                                                     c.withRegistry ? access_.get() : nullptr);
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(c.font, access_->GetStringValue(key, "Font"));
        if (!c.ended && c.withRegistry) {
            EXPECT_EQ(before.size(), ReadRegistryTree(*access_, key).size());
            EXPECT_NE(std::string::npos,
                      RecoveryReport(runs).find("Registry put back as it was before the restore: " +
                                                key));
        }
        EXPECT_EQ(!c.ended && !c.withRegistry, !runs[0].unsettled.empty());
        EXPECT_EQ(c.ended || c.withRegistry,
                  ReadJournalState(files, JournalOf(replaced.Path()))->finished);
        // The tree as it was, for the next case.
        ASSERT_EQ(std::nullopt, ApplyRegFile(*access_, before));
        access_->DeleteKey(key + "\\Added");
    }
}

}  // namespace
}  // namespace kestrel
