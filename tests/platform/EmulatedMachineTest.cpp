// The Linux build's emulated Windows machine: identity from the registry store with Windows 7
// defaults, Windows paths mapped onto the environment root, Office's automation server.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "outlook/OutlookVersion.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/FileLock.h"
#include "platform/posix/EnvironmentRoot.h"
#include "platform/posix/PosixAutomation.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSystemInfo.h"
#include "platform/posix/SqliteRegistry.h"
#include "support/ScratchFolder.h"

namespace kestrel {
namespace {

constexpr const char* CurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

class EmulatedMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry_ = std::make_unique<SqliteRegistry>((root_ / "registry.db").string());
        system_ = std::make_unique<PosixSystemInfo>(*registry_);
    }

    // Strings counted with their NUL, as Windows stores them.
    void Set(reg::Key root, const char* subKey, const char* name, const std::string& text,
             std::uint32_t type = reg::TypeSz)
    {
        reg::Key key = 0;
        const std::string data = type == reg::TypeSz ? text + '\0' : text;
        ASSERT_EQ(reg::Success, registry_->CreateKey(root, subKey, &key));
        ASSERT_EQ(reg::Success,
                  registry_->SetValueEx(key, name, type,
                                        reinterpret_cast<const std::uint8_t*>(data.data()),
                                        static_cast<std::uint32_t>(data.size())));
        registry_->CloseKey(key);
    }

    testing::ScratchFolder scratch_;
    const std::filesystem::path root_ = scratch_.Native();
    std::unique_ptr<SqliteRegistry> registry_;
    std::unique_ptr<PosixSystemInfo> system_;
};

TEST_F(EmulatedMachine, IdentityComesFromTheKeysWindowsUsesWithWindows7Defaults)
{
    EXPECT_EQ("6.1", system_->WindowsVersion());
    EXPECT_EQ("C:\\Windows", system_->WindowsFolder());
    EXPECT_EQ("C:\\Users\\" + system_->LogonUserName(),
              system_->ExpandEnvironmentText("%UserProfile%"));
    EXPECT_EQ("C:\\Users\\" + system_->LogonUserName() + "\\AppData\\Local",
              system_->ExpandEnvironmentText("%LOCALAPPDATA%"));

    Set(reg::HkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
        "ComputerName", "OFFICE-PC");
    Set(reg::HkeyLocalMachine, CurrentVersion, "SystemRoot", "D:\\WINNT");
    Set(reg::HkeyCurrentUser, "Volatile Environment", "USERNAME", "Ann");
    Set(reg::HkeyCurrentUser, "Volatile Environment", "USERPROFILE",
        "C:\\Documents and Settings\\Ren\xE9"
        "e");  // ANSI, as the registry holds it
    Set(reg::HkeyCurrentUser, "Environment", "ARCHIVES", "%USERPROFILE%\\Archives");
    Set(reg::HkeyCurrentUser, "Environment", "LOOP", "%LOOP%x");
    EXPECT_EQ("OFFICE-PC", system_->ComputerName());
    EXPECT_EQ("D:\\WINNT", system_->WindowsFolder());
    EXPECT_EQ("Ann", system_->LogonUserName());
    EXPECT_EQ(
        "C:\\Documents and Settings\\Ren\xC3\xA9"
        "e\\Archives",
        system_->ExpandEnvironmentText("%Archives%"));
    EXPECT_EQ("%LOOP%x", system_->ExpandEnvironmentText("%LOOP%"));
    EXPECT_EQ("D:\\WINNT", system_->ExpandEnvironmentText("%SystemRoot%"));
}

TEST_F(EmulatedMachine, WindowsVersionIsWhatGetVersionExAReportsWithoutAManifest)
{
    struct Case {
        const char* currentVersion;
        bool major10;  // with CurrentMajorVersionNumber 10, CurrentMinorVersionNumber 0
        const char* reported;
        const char* localAppData;
    };
    const Case cases[] = {
        {"5.1", false, "5.1", "\\Local Settings\\Application Data"},
        {"6.0", false, "6.0", "\\AppData\\Local"},
        {"6.2", false, "6.2", "\\AppData\\Local"},
        {"6.3", false, "6.2", "\\AppData\\Local"},
        {"4.0", false, "4.0", "\\Local Settings\\Application Data"},
        {"", false, "", "\\Local Settings\\Application Data"},
        {"6.3", true, "6.2", "\\AppData\\Local"},
    };
    for (const Case& c : cases) {
        Set(reg::HkeyLocalMachine, CurrentVersion, "CurrentVersion", c.currentVersion);
        if (c.major10) {
            Set(reg::HkeyLocalMachine, CurrentVersion, "CurrentMajorVersionNumber",
                std::string("\x0A\0\0\0", 4), reg::TypeDword);
            Set(reg::HkeyLocalMachine, CurrentVersion, "CurrentMinorVersionNumber",
                std::string(4, '\0'), reg::TypeDword);
        }
        EXPECT_EQ(c.reported, system_->WindowsVersion()) << c.currentVersion;
        EXPECT_EQ(system_->ExpandEnvironmentText("%USERPROFILE%") + c.localAppData,
                  system_->ExpandEnvironmentText("%LocalAppData%"))
            << c.currentVersion;
        // Profile discovery must pick the same layout for Outlook's roaming folders.
        EXPECT_EQ(std::string(c.localAppData) == "\\AppData\\Local",
                  UsesAppDataLayout(system_->WindowsVersion()))
            << c.currentVersion;
    }
}

TEST_F(EmulatedMachine, WordsCurrentVersionStandsForTheAutomationServer)
{
    PosixAutomation automation(*registry_);
    std::string shortVersion;

    const std::pair<const char*, const char*> cases[] = {
        {"Word.Application.16", "Outlook 2016 or later"},
        {"Word.Application.11", "Outlook 2003"},
        {"Word.Application", "No Outlook"},  // names no numbered server
    };
    for (const auto& [curVer, displayName] : cases) {
        Set(reg::HkeyClassesRoot, "Word.Application\\CurVer", "", curVer);
        EXPECT_EQ(displayName, GetOutlookVersion(automation, shortVersion)) << curVer;
    }
    EXPECT_EQ("11.0", shortVersion);
}

TEST_F(EmulatedMachine, WindowsPathsMapOntoTheRootWithoutRegardToCase)
{
    std::filesystem::create_directories(root_ / "drive_c" / "users" / "Ann");
    const std::pair<const char*, std::optional<std::filesystem::path>> cases[] = {
        {"C:\\Users\\ann\\x.pst", root_ / "drive_c/users/Ann/x.pst"},
        {"c:/USERS/ANN", root_ / "drive_c/users/Ann"},
        {"D:\\Data\\.\\a", root_ / "drive_d/Data/a"},
        {"C:", root_ / "drive_c"},
        {"\\\\server\\share\\x.pst", root_ / "unc/server/share/x.pst"},
        {"\\\\server", std::nullopt},
        {"C:relative", std::nullopt},
        {"Users\\ann", std::nullopt},
        {"\\Users\\ann", std::nullopt},
        {"C:\\Users\\..\\..\\etc", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [windowsPath, expected] : cases) {
        EXPECT_EQ(expected, MapWindowsPath(root_, windowsPath)) << windowsPath;
    }
}

unsigned ModeOf(const std::filesystem::path& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// The log names the user's folders and archives, the store the user's accounts: readable by the
// user alone, also where an older version left them open to others, and nothing they held lost.
TEST(EmulatedMachineFiles, TheLogAndTheRegistryStoreAreTheUsersAlone)
{
    const struct {
        const char* name;
        std::optional<std::string> before;  // the file left there before, mode 0644
    } cases[] = {{"new", std::nullopt}, {"left readable by all", std::string("old line\r\n")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScratchFolder scratch;
        const std::filesystem::path root = scratch.Native();
        const std::filesystem::path log = root / "drive_c/Kestrel/kestrel.log";
        std::filesystem::create_directories(log.parent_path());
        if (c.before) {
            scratch.Make("drive_c/Kestrel/kestrel.log", *c.before);
            chmod(log.c_str(), 0644);
        }
        PosixFileSystem files(root);
        ASSERT_TRUE(files.AppendLogLine("C:\\Kestrel\\kestrel.log", "a run"));
        EXPECT_EQ(0600u, ModeOf(log));
        EXPECT_EQ(c.before.value_or("") + "a run\r\n", scratch.Read("drive_c/Kestrel/kestrel.log"));

        const std::filesystem::path store = root / "registry.db";
        if (c.before) {
            SqliteRegistry{store.string()};
            chmod(store.c_str(), 0644);
        }
        {
            SqliteRegistry registry(store.string());
            reg::Key key = 0;
            ASSERT_EQ(reg::Success,
                      registry.CreateKey(reg::HkeyCurrentUser, "Software\\Kestrel", &key));
            registry.CloseKey(key);
        }
        EXPECT_EQ(0600u, ModeOf(store));
        for (const char* companion : {"registry.db-wal", "registry.db-shm"}) {
            if (std::filesystem::exists(root / companion)) {
                EXPECT_EQ(0600u, ModeOf(root / companion)) << companion;
            }
        }
    }
}

// A program of the emulated machine holds a file as Outlook holds its data file: through the
// file's lock. What Windows refuses on a file opened without sharing fails until it lets go.
TEST_F(EmulatedMachine, AFileWhoseLockIsHeldCannotBeOpenedReplacedOrRemoved)
{
    std::filesystem::create_directories(root_ / "drive_c/Mail");
    PosixFileSystem files(root_);
    const std::string pst = "C:\\Mail\\a.pst", other = "C:\\Mail\\b.pst";
    for (const std::string& path : {pst, other}) {
        auto output = files.CreateOutputFile(path);
        ASSERT_TRUE(output && (*output)->Write("mail", 4) && (*output)->Commit());
    }
    auto lock = FileLock::TryAcquire(root_ / "drive_c/Mail/a.pst");
    ASSERT_TRUE(lock);
    const auto opened = files.OpenInputFile(pst);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().Describe(),
              "cannot open C:\\Mail\\a.pst: The file is held open by another program (error 16)");
    EXPECT_FALSE(files.CreateOutputFile(pst));
    EXPECT_FALSE(files.MoveOver(other, pst));
    EXPECT_FALSE(files.RenameFile(pst, "C:\\Mail\\c.pst"));
    EXPECT_FALSE(files.RemoveFile(pst));
    EXPECT_TRUE(files.OpenInputFile(other));

    lock.reset();
    EXPECT_TRUE(files.OpenInputFile(pst));
    EXPECT_TRUE(files.MoveOver(other, pst));
    EXPECT_TRUE(files.RemoveFile(pst));
}

}  // namespace
}  // namespace kestrel

#endif
