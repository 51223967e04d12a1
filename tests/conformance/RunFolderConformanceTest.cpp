// Run folders and the file locks that keep them: the lock is the system's (flock on Linux,
// an unshared open on Windows), so the same tests run natively and under Wine.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/LockedRunFolder.h"
#include "platform/ProcessId.h"
#include "support/ScratchFolder.h"

namespace kestrel {
namespace {

class RunFolderConformance : public ::testing::Test {
protected:
    testing::ScratchFolder scratch_;
    const std::filesystem::path base_ = scratch_.Native();
    const std::string ownName_ = "run-" + std::to_string(CurrentProcessId());
};

TEST_F(RunFolderConformance, LivesAsLongAsTheObject)
{
    {
        LockedRunFolder folder("C:\\Users\\ann\\AppData\\Local\\Kestrel", base_);
        EXPECT_EQ("C:\\Users\\ann\\AppData\\Local\\Kestrel\\" + ownName_, folder.Path());
        EXPECT_TRUE(std::filesystem::is_directory(base_ / ownName_));
        std::ofstream(base_ / ownName_ / "ksbackup.dat") << "left by a run\r\n";
    }
    EXPECT_FALSE(std::filesystem::exists(base_ / ownName_));
}

TEST_F(RunFolderConformance, RemovesFoldersOfEndedRunsOnlyAndKeepsOtherFiles)
{
    std::filesystem::create_directories(base_ / "run-999991");  // died before locking
    std::filesystem::create_directories(base_ / "run-999992");
    std::ofstream(base_ / "run-999992" / "run.lock") << "";  // died while running
    std::ofstream(base_ / "run-999992" / "OBC1A.tmp") << "temporary export";
    std::filesystem::create_directories(base_ / "run-999993");  // still running
    auto held = FileLock::TryAcquire(base_ / "run-999993" / "run.lock");
    ASSERT_NE(nullptr, held);
    std::filesystem::create_directories(base_ / "archives");  // not ours to judge
    std::ofstream(base_ / "notes.txt") << "kept";

    // A folder without a lock may be a run that is starting, until the grace time is over.
    LockedRunFolder("C:\\Kestrel", base_, std::chrono::seconds(60));
    EXPECT_TRUE(std::filesystem::exists(base_ / "run-999991"));
    LockedRunFolder folder("C:\\Kestrel", base_, std::chrono::seconds(0));
    EXPECT_FALSE(std::filesystem::exists(base_ / "run-999991"));
    EXPECT_FALSE(std::filesystem::exists(base_ / "run-999992"));
    EXPECT_TRUE(std::filesystem::exists(base_ / "run-999993" / "run.lock"));
    EXPECT_TRUE(std::filesystem::exists(base_ / "archives"));
    EXPECT_TRUE(std::filesystem::exists(base_ / "notes.txt"));
    EXPECT_FALSE(folder.Path().empty());
}

// An interrupted restore is settled only when the instance that ran it has ended.
TEST_F(RunFolderConformance, TellsARunningInstanceFromAnEndedOne)
{
    LockedRunFolder folder("C:\\Kestrel", base_);
    std::filesystem::create_directories(base_ / "run-999992");
    std::ofstream(base_ / "run-999992" / "run.lock") << "";  // died while running
    std::filesystem::create_directories(base_ / "run-999993");
    auto held = FileLock::TryAcquire(base_ / "run-999993" / "run.lock");
    ASSERT_NE(nullptr, held);
    struct Case {
        std::string runFolder;
        bool running;
    };
    const Case cases[] = {
        {folder.Path(), true},
        {"C:\\Kestrel\\run-999993", true},
        {"C:\\Kestrel\\run-999992", false},
        {"C:\\Kestrel\\run-999994", false},     // gone
        {"D:\\Other\\run-999993", false},       // not one of this base's
        {"C:\\Kestrel\\run-999993\\x", false},  // no run folder
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.running, folder.IsRunning(c.runFolder)) << c.runFolder;
    }
}

TEST_F(RunFolderConformance, ALockExcludesEveryOtherHolderUntilReleased)
{
    const auto file = base_ / "run.lock";
    auto first = FileLock::TryAcquire(file);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(nullptr, FileLock::TryAcquire(file));
    first.reset();
    EXPECT_NE(nullptr, FileLock::TryAcquire(file));
    EXPECT_EQ(nullptr, FileLock::TryAcquire(base_ / "no-such-folder" / "run.lock"));
}

}  // namespace
}  // namespace kestrel
