// What the rest of the program relies on from SystemInfo and OfficeAutomation, on the
// backend of the system the tests were built for: the real calls under Wine, the emulated
// machine on Linux (over a fresh registry store).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

#ifdef _WIN32
#include "platform/win32/Win32Automation.h"
#include "platform/win32/Win32SystemInfo.h"
#else
#include "platform/posix/PosixAutomation.h"
#include "platform/posix/PosixSystemInfo.h"
#include "platform/posix/SqliteRegistry.h"
#include "support/ScratchFolder.h"
#endif

namespace kestrel {
namespace {

class SystemInfoConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        system_ = std::make_unique<Win32SystemInfo>();
        automation_ = std::make_unique<Win32Automation>();
#else
        registry_ = std::make_unique<SqliteRegistry>(scratch_.Path("registry.db"));
        system_ = std::make_unique<PosixSystemInfo>(*registry_);
        automation_ = std::make_unique<PosixAutomation>(*registry_);
#endif
    }
    static bool IsAbsoluteWindowsFolder(const std::string& path)
    {
        return std::regex_match(path, std::regex(R"([A-Za-z]:\\.*[^\\])"));
    }

#ifndef _WIN32
    testing::ScratchFolder scratch_;
    std::unique_ptr<RegistryApi> registry_;
#endif
    std::unique_ptr<SystemInfo> system_;
    std::unique_ptr<OfficeAutomation> automation_;
};

TEST_F(SystemInfoConformance, IdentityHasTheShapesWindowsGives)
{
    const std::string computer = system_->ComputerName();
    EXPECT_FALSE(computer.empty());
    EXPECT_LE(computer.size(), 15u) << "a NetBIOS name: " << computer;
    EXPECT_FALSE(system_->LogonUserName().empty());
    EXPECT_TRUE(IsAbsoluteWindowsFolder(system_->WindowsFolder())) << system_->WindowsFolder();
    EXPECT_TRUE(IsAbsoluteWindowsFolder(system_->ProgramFolder())) << system_->ProgramFolder();

    // GetVersionExA without a compatibility manifest never reports more than 6.2.
    const std::string version = system_->WindowsVersion();
    EXPECT_TRUE(std::regex_match(version, std::regex(R"([1-5]\.\d+|6\.[0-2])"))) << version;
}

TEST_F(SystemInfoConformance, ExpandsKnownVariablesAndKeepsTheRest)
{
    const std::string profile = system_->ExpandEnvironmentText("%UserProfile%");
    EXPECT_TRUE(IsAbsoluteWindowsFolder(profile)) << profile;
    EXPECT_EQ(profile, system_->ExpandEnvironmentText("%USERPROFILE%"));
    EXPECT_EQ(profile + "\\Desktop", system_->ExpandEnvironmentText("%userprofile%\\Desktop"));
    EXPECT_EQ(system_->WindowsFolder(), system_->ExpandEnvironmentText("%windir%"));

    // An unknown name is skipped with both its % signs, so "%%" hides the name after it.
    for (const char* unchanged : {"%KESTREL_NO_SUCH_VARIABLE%", "100%", "plain text", "", "%%",
                                  "50% off %KESTREL_NO_SUCH_VARIABLE%", "5%%UserProfile%"}) {
        EXPECT_EQ(unchanged, system_->ExpandEnvironmentText(unchanged)) << unchanged;
    }
    EXPECT_EQ(profile + profile, system_->ExpandEnvironmentText("%UserProfile%%UserProfile%"));
    EXPECT_EQ("5%x%" + profile, system_->ExpandEnvironmentText("5%x%%UserProfile%"));
}

TEST_F(SystemInfoConformance, UnknownAutomationServerCannotBeStarted)
{
    EXPECT_EQ(nullptr, automation_->CreateObject("Kestrel.NoSuchServer.1"));
    // Neither machine has Office installed.
    EXPECT_EQ(nullptr, automation_->CreateObject("Word.Application.8"));
}

}  // namespace
}  // namespace kestrel
