#include "app/MainWindowModel.h"

#include <gtest/gtest.h>

#include "app/MainWindowTexts.h"
#include "support/FakePlatform.h"
#include "support/ScriptedMessages.h"

namespace kestrel {
namespace {

struct RecordingHost final : MainWindowHost {
    std::vector<std::string> calls;

    void ShowPopupMenu(ItemsPopupMenu menu) override
    {
        calls.push_back(menu == ItemsPopupMenu::BackupItems ? "popup backup" : "popup restore");
    }
    void ShowAboutWindow() override { calls.push_back("about"); }
    void ShowSchedulerWindow() override { calls.push_back("scheduler"); }
    void ShowDiscWindow() override { calls.push_back("disc"); }
    void EndProgram() override { calls.push_back("end"); }
};

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
    MainWindowModel model{state, fake.platform, messages, host};
};

TEST_F(MainWindowModelTest, WithoutProfilesLoadWarnsAndDisablesApply)
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
    EXPECT_EQ("ann", state.LogonUserName);
    EXPECT_EQ("C:\\Windows", state.WindowsFolder);
    EXPECT_EQ("6.1", state.WindowsVersion);
    EXPECT_EQ("15.0", state.OutlookShortVersion);
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles",
              state.ProfilesRootKey);
    EXPECT_TRUE(state.NoOutlookFlag);
    EXPECT_TRUE(state.NoValidBackupFlag);
    EXPECT_EQ("", state.UserProfileFolder);
    EXPECT_EQ(fake.runFolder.path + "\\ksbackup.dat", state.InfoFilePath);
}

TEST_F(MainWindowModelTest, SelectAllTicksOnlyEnabledBoxesAndDeselectClearsAll)
{
    LoadWithoutProfiles();
    // No profile, no backup open: every box is disabled and stays unticked.
    for (MainTab tab : {MainTab::Backup, MainTab::Restore}) {
        model.SelectAllItems(tab);
        for (const ItemBox& box : model.Items(tab)) {
            EXPECT_FALSE(box.enabled);
            EXPECT_FALSE(box.checked);
        }
        model.SetItemChecked(tab, 3, true);
        EXPECT_FALSE(model.Items(tab)[3].checked) << "a disabled box cannot be ticked";
        model.DeselectAllItems(tab);
    }
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
    messages.Expect(texts::RestoreConfirmation, MessageIcon::Information, MessageAnswer::Cancel);
    model.ApplyClicked();
    // The menu's restore does not ask; the backup tab's button does not ask either.
    model.RestoreNowChosen();
    model.TabClicked(MainTab::Backup);
    EXPECT_EQ("Backup Now", model.ApplyCaption());
    model.ApplyClicked();
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

}  // namespace
}  // namespace kestrel
