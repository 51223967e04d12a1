// Drives the real main window in-process: captions, menus, tab switching and the password
// boxes, read back from the widgets. Needs a display (Xvfb in CI).

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/notebook.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/tooltip.h>
#include <wx/utils.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/MainWindowTexts.h"
#include "gui/MainFrame.h"
#include "support/FakePlatform.h"
#include "support/SampleEnvironment.h"
#include "support/ScriptedMessages.h"

#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#else
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/SqliteRegistry.h"
#endif

namespace kestrel {
namespace {

std::filesystem::path screenshotFolder;

// Runs a real event loop (painting included: Yield alone leaves wxMSW windows unpainted
// under Wine) until `done` answers true or the time is up; false on time-out.
bool RunEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool finished = done();
    if (finished) {
        return true;
    }
    wxGUIEventLoop loop;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        finished = done();
        if (finished || std::chrono::steady_clock::now() >= deadline) {
            loop.Exit();
        }
    });
    timer.Start(20);
    loop.Run();
    timer.Stop();
    return finished;
}

void Settle()
{
    RunEventLoopUntil([] { return false; }, std::chrono::milliseconds(300));
}

// Hands the screen to scripts/gui-smoke.sh: writes NAME.ready (with any extra lines the
// script needs) and waits for NAME.done. Does nothing unless --screenshots was given.
void PauseForScreenshot(const std::string& name, const std::string& extra = {})
{
    if (screenshotFolder.empty()) {
        return;
    }
    Settle();
    std::ofstream(screenshotFolder / (name + ".ready")) << extra;
    const auto done = screenshotFolder / (name + ".done");
    EXPECT_TRUE(
        RunEventLoopUntil([&] { return std::filesystem::exists(done); }, std::chrono::seconds(60)))
        << "no screenshot of " << name;
}

// Answers every modal dialog at once, recording its title.
class DialogCloser final : public wxModalDialogHook {
public:
    std::vector<std::string> titles;

protected:
    int Enter(wxDialog* dialog) override
    {
        titles.push_back(dialog->GetTitle().utf8_string());
        return wxID_OK;
    }
    void Exit(wxDialog*) override {}
};

template <typename T>
T* Find(wxWindow* frame, const std::string& name)
{
    auto* window = dynamic_cast<T*>(wxWindow::FindWindowByName(name, frame));
    EXPECT_NE(nullptr, window) << name;
    return window;
}

void Click(wxCheckBox* box, bool checked)
{
    box->SetValue(checked);
    wxCommandEvent event(wxEVT_CHECKBOX, box->GetId());
    event.SetEventObject(box);
    event.SetInt(checked ? 1 : 0);
    box->ProcessWindowEvent(event);
}

class MainWindowSmoke : public ::testing::Test {
protected:
    // The machine the window opens on: by default one without Outlook profiles.
    virtual void PrepareMachine()
    {
        messages.Expect(texts::NoOutlook, MessageIcon::Stop, MessageAnswer::Ok);
    }
    void SetUp() override
    {
        PrepareMachine();
        frame = new MainFrame(state, fake.platform, &messages);
        frame->Show();
        frame->LoadWindow();
        Settle();
    }
    void TearDown() override
    {
        frame->Destroy();
        Settle();
    }

    testing::FakePlatform fake;
    AppState state;
    testing::ScriptedMessages messages;
    MainFrame* frame = nullptr;
};

TEST_F(MainWindowSmoke, ShowsEveryCaptionAndMenu)
{
    EXPECT_EQ("Kestrel V2.90", frame->GetTitle().utf8_string());
    auto* tabs = Find<wxNotebook>(frame, "SSTab1");
    ASSERT_NE(nullptr, tabs);
    ASSERT_EQ(2u, tabs->GetPageCount());
    EXPECT_EQ("Backup", tabs->GetPageText(0).utf8_string());
    EXPECT_EQ("Restore", tabs->GetPageText(1).utf8_string());

    for (std::size_t i = 0; i < texts::ItemCaptions.size(); ++i) {
        for (const char* array : {"backupitem", "restoreitem"}) {
            auto* box = Find<wxCheckBox>(frame, array + std::to_string(i));
            ASSERT_NE(nullptr, box);
            EXPECT_EQ(texts::ItemCaptions[i], box->GetLabel().utf8_string());
            EXPECT_FALSE(box->IsEnabled()) << array << i;
        }
    }

    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_NE(nullptr, bar);
    ASSERT_EQ(3u, bar->GetMenuCount());
    const std::vector<std::vector<std::string>> menus = {
        {"Backup Now", "Restore Now", "", "Quit"},
        {"Task Scheduler", "Backup Data to CD/DVD"},
        {"Help", "Our Website", "About"},
    };
    const char* titles[] = {"File(&F)", "Option(&O)", "Help(&H)"};
    for (std::size_t m = 0; m < menus.size(); ++m) {
        EXPECT_EQ(titles[m], bar->GetMenuLabel(m).utf8_string());
        const wxMenuItemList& items = bar->GetMenu(m)->GetMenuItems();
        ASSERT_EQ(menus[m].size(), items.size()) << titles[m];
        std::size_t i = 0;
        for (const wxMenuItem* item : items) {
            EXPECT_EQ(menus[m][i++], item->GetItemLabelText().utf8_string());
        }
    }

    auto* apply = Find<wxButton>(frame, "cmdApply");
    ASSERT_NE(nullptr, apply);
    EXPECT_FALSE(apply->IsEnabled()) << "no profile: nothing to back up";
    EXPECT_EQ("Backup Now", apply->GetLabel().utf8_string());
    EXPECT_FALSE(Find<wxWindow>(frame, "picCon3")->IsShown());

    // Where to click each menu title: the menu bar lies just above the client area on both
    // toolkits; titles are spaced by their text width plus the toolkit's padding.
    std::string menuPositions;
    const wxPoint clientOrigin = frame->ClientToScreen(wxPoint(0, 0));
    int x = 0;
    for (const char* title : titles) {
        const int width = frame->GetTextExtent(wxStripMenuCodes(title)).GetWidth();
        menuPositions += std::to_string(clientOrigin.x + x + 12) + " " +
                         std::to_string(clientOrigin.y - 10) + "\n";
        x += width + 16;
    }
    PauseForScreenshot("backup-tab", menuPositions);
    frame->SelectTab(MainTab::Restore);
    Settle();
    EXPECT_EQ("Restore Now", apply->GetLabel().utf8_string());
    PauseForScreenshot("restore-tab");
    frame->SelectTab(MainTab::Backup);
    EXPECT_EQ("Backup Now", apply->GetLabel().utf8_string());
}

TEST_F(MainWindowSmoke, ProtectBoxEnablesAndEmptiesThePasswords)
{
    auto* protect = Find<wxCheckBox>(frame, "ifprotect");
    auto* password = Find<wxTextCtrl>(frame, "txtPassword");
    auto* retyped = Find<wxTextCtrl>(frame, "txtPassword2");
    ASSERT_TRUE(protect && password && retyped);
    EXPECT_FALSE(password->IsEnabled());
    for (bool checked : {true, false}) {
        Click(protect, checked);
        EXPECT_EQ(checked, password->IsEnabled());
        EXPECT_EQ(checked, retyped->IsEnabled());
        EXPECT_EQ("", password->GetValue().utf8_string());
        EXPECT_EQ("", retyped->GetValue().utf8_string());
        password->SetValue("secret");
        retyped->SetValue("secret");
        EXPECT_EQ("secret", frame->Model().Password());
    }
}

TEST_F(MainWindowSmoke, AboutOpensModally)
{
    DialogCloser closer;
    closer.Register();
    frame->Model().AboutChosen();
    closer.Unregister();
    EXPECT_EQ(std::vector<std::string>{"About Kestrel"}, closer.titles);
}

// The window over a sample machine with Outlook 2013: real registry and file system (a fresh
// SQLite store and root natively, Wine's registry and drive C: under Wine).
class SampleMachineWindow : public MainWindowSmoke {
protected:
    void PrepareMachine() override
    {
#ifdef _WIN32
        fake.platform.registry = std::make_unique<Win32Registry>();
        fake.platform.fileSystem = std::make_unique<Win32FileSystem>();
#else
        root = std::filesystem::temp_directory_path() / "kestrel-gui-sample";
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "drive_c");
        fake.platform.registry = std::make_unique<SqliteRegistry>((root / "registry.db").string());
        fake.platform.fileSystem = std::make_unique<PosixFileSystem>(root);
#endif
        fake.system.windowsVersion = "6.1";
        fake.system.variables["%UserProfile%"] = "C:\\Users\\bob";
        fake.automation.version = "15.0";
        registry = std::make_unique<RegistryAccess>(*fake.platform.registry, messages);
        sample = std::make_unique<testing::SampleEnvironment>("outlook2013-win7", *registry,
                                                              *fake.platform.fileSystem);
    }
    void TearDown() override
    {
        MainWindowSmoke::TearDown();
        sample.reset();
        registry.reset();
        fake.platform.registry.reset();
        if (!root.empty()) {
            std::filesystem::remove_all(root);
        }
    }

    std::filesystem::path root;
    std::unique_ptr<RegistryAccess> registry;
    std::unique_ptr<testing::SampleEnvironment> sample;
};

TEST_F(SampleMachineWindow, ListsTheProfilesAndOffersTheFirstOnesItems)
{
    for (const char* name : {"cbSource", "cbTarget"}) {
        auto* profiles = Find<wxChoice>(frame, name);
        ASSERT_NE(nullptr, profiles);
        ASSERT_EQ(1u, profiles->GetCount()) << name;
        EXPECT_EQ("Outlook", profiles->GetString(0).utf8_string()) << name;
        EXPECT_EQ(0, profiles->GetSelection()) << name;
    }
    std::string offered;
    for (int i = 0; i < 9; ++i) {
        auto* box = Find<wxCheckBox>(frame, "backupitem" + std::to_string(i));
        ASSERT_NE(nullptr, box);
        offered += box->IsEnabled() ? '1' : '0';
        EXPECT_FALSE(box->GetValue());
    }
    // Outlook 2013 has no personal address book; everything else is on this machine.
    EXPECT_EQ("111101111", offered);
    wxToolTip* tip = Find<wxCheckBox>(frame, "backupitem4")->GetToolTip();
    ASSERT_NE(nullptr, tip);
    EXPECT_EQ("Your MS Outlook don't support Personal Address Book!", tip->GetTip().utf8_string());
    EXPECT_TRUE(Find<wxButton>(frame, "cmdApply")->IsEnabled());
    PauseForScreenshot("sample-profiles");
}

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Our own option is taken out: wx refuses options it does not know.
    const std::string option = "--screenshots=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).rfind(option, 0) == 0) {
            kestrel::screenshotFolder = std::string(argv[i]).substr(option.size());
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "cannot start the GUI toolkit (is a display set?)\n");
        return 1;
    }
    int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
