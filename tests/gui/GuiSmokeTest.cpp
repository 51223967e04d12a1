// Drives the real main window in-process: captions, menus, tab switching, the password
// boxes, whole backups, the password prompt, a restore, the scheduled-backup options window
// and the disc windows, read back from the widgets. Needs a display (Xvfb in CI).

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/datetime.h>
#include <wx/dialog.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/tooltip.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <utility>

#include "app/MainWindowTexts.h"
#include "disc/SimulatedDiscEngine.h"
#include "disc/SystemDiscEngine.h"
#include "gui/MainFrame.h"
#include "gui/WxDialogs.h"
#include "scheduler/SchedulerTexts.h"
#include "support/FakePlatform.h"
#include "support/SampleEnvironment.h"
#include "support/ScriptedDialogs.h"
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
        // Inside a modal loop (a message box the window shows) this loop cannot be left yet.
        if (wxEventLoopBase::GetActive() != &loop) {
            return;
        }
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

// The scripted messages; with screenshots taken and `parent` set, the next result of a backup
// or restore is also shown as the real message box, for scripts/gui-smoke.sh to capture as
// backup-result.png or restore-result.png and close with the Return key.
struct OnScreenMessages final : Messages {
    explicit OnScreenMessages(Messages& inner) : scripted(inner) {}
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override
    {
        const MessageAnswer answer = scripted.Show(text, caption, icon, buttons);
        const bool backup = text.rfind("The Backup", 0) == 0;
        const bool restore = text.rfind("The Restore", 0) == 0;
        if (parent != nullptr && !screenshotFolder.empty() && (backup || restore)) {
            const std::string name = backup ? "backup-result" : "restore-result";
            std::ofstream(screenshotFolder / (name + ".ready")).flush();
            WxMessages(std::exchange(parent, nullptr)).Show(text, caption, icon, buttons);
        }
        return answer;
    }

    Messages& scripted;
    wxWindow* parent = nullptr;
};

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

// The scripted file choosers with the real password prompt (frmPwd) over `parent`.
struct RealPasswordPrompt final : Dialogs {
    explicit RealPasswordPrompt(Dialogs& inner) : scripted(inner) {}
    std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override
    {
        return scripted.ChooseSaveFile(request);
    }
    std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override
    {
        return scripted.ChooseOpenFile(request);
    }
    std::optional<std::string> AskPassword() override { return WxDialogs(parent).AskPassword(); }

    Dialogs& scripted;
    wxWindow* parent = nullptr;
};

// Answers each dialog of the name (by default the password prompt) while it is on screen,
// inside its modal loop, as `answer` does (which must close it); other modal windows show as
// they are.
class PromptAnswerer final : public wxModalDialogHook {
public:
    explicit PromptAnswerer(std::function<void(wxDialog&)> answer, std::string name = "frmPwd")
        : answer_(std::move(answer)), name_(std::move(name))
    {
        Register();
    }
    ~PromptAnswerer() override { Unregister(); }

    int shown = 0;

protected:
    int Enter(wxDialog* dialog) override
    {
        if (dialog->GetName() != name_) {
            return wxID_NONE;
        }
        ++shown;
        dialog->CallAfter([this, dialog] {
            answer_(*dialog);
            if (dialog->IsShown()) {
                ADD_FAILURE() << name_ << " was left open";
                dialog->EndModal(wxID_CANCEL);
            }
        });
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}

private:
    std::function<void(wxDialog&)> answer_;
    std::string name_;
};

// Runs `act` once the top-level window of the name shows, from within whatever event loop runs
// then: the disc window runs a modal loop of its own, inside which the test goes on.
class WhenShown final {
public:
    WhenShown(std::string name, std::function<void(wxWindow&)> act)
    {
        timer_.Bind(wxEVT_TIMER,
                    [this, name = std::move(name), act = std::move(act)](wxTimerEvent&) {
                        wxWindow* window = wxWindow::FindWindowByName(name);
                        if (window != nullptr && window->IsShown()) {
                            timer_.Stop();
                            ran = true;
                            act(*window);
                        }
                    });
        timer_.Start(20);
    }

    bool ran = false;

private:
    wxTimer timer_;
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

void Choose(wxChoice* choice, int index)
{
    choice->SetSelection(index);
    wxCommandEvent event(wxEVT_CHOICE, choice->GetId());
    event.SetEventObject(choice);
    event.SetInt(index);
    choice->ProcessWindowEvent(event);
}

void Press(wxButton* button)
{
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->ProcessWindowEvent(event);
}

// Enter in a text box, which sends the box's text-enter event.
void PressEnter(wxTextCtrl* box)
{
    wxCommandEvent event(wxEVT_TEXT_ENTER, box->GetId());
    event.SetEventObject(box);
    event.SetString(box->GetValue());
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
        frame = new MainFrame(state, fake.platform, &onScreen, &windowDialogs, discEngines);
        windowDialogs.parent = frame;
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
    OnScreenMessages onScreen{messages};
    testing::ScriptedDialogs dialogs;
    RealPasswordPrompt windowDialogs{dialogs};
    // Empty: the system's disc engine.
    DiscEngineFactory discEngines;
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

TEST_F(MainWindowSmoke, PasswordPromptAnswersOnlyWhenConfirmed)
{
    enum class Finish { Ok, Enter, Cancel, Close };
    const struct {
        const char* typed;
        Finish finish;
        std::optional<std::string> answer;
    } cases[] = {
        {"p\xC3\xA4ss word", Finish::Ok, "p\xC3\xA4ss word"},
        {"", Finish::Ok, ""},
        {"secret", Finish::Enter, "secret"},
        {"secret", Finish::Cancel, std::nullopt},
        {"secret", Finish::Close, std::nullopt},
    };
    WxDialogs real(frame);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.typed << " " << static_cast<int>(c.finish));
        PromptAnswerer answerer([&](wxDialog& prompt) {
            EXPECT_EQ("Please enter password", prompt.GetTitle().utf8_string());
            EXPECT_EQ(frame, prompt.GetParent());
            for (const char* label : {"Security", "Please enter password:"}) {
                EXPECT_NE(nullptr, wxWindow::FindWindowByLabel(label, &prompt)) << label;
            }
            auto* box = Find<wxTextCtrl>(&prompt, "txtPassword");
            auto* ok = Find<wxButton>(&prompt, "cmdOK");
            auto* cancel = Find<wxButton>(&prompt, "cmdExit");
            ASSERT_TRUE(box && ok && cancel);
            EXPECT_EQ("OK", ok->GetLabelText().utf8_string());
            EXPECT_EQ("Cancel", cancel->GetLabelText().utf8_string());
            EXPECT_TRUE(box->HasFlag(wxTE_PASSWORD)) << "the password shows unmasked";
            EXPECT_EQ("", box->GetValue().utf8_string()) << "an earlier answer is offered";
            box->SetValue(wxString::FromUTF8(c.typed));
            switch (c.finish) {
                case Finish::Ok:
                    Press(ok);
                    break;
                case Finish::Enter:
                    PressEnter(box);
                    break;
                case Finish::Cancel:
                    Press(cancel);
                    break;
                case Finish::Close:
                    prompt.Close();
                    break;
            }
        });
        EXPECT_EQ(c.answer, real.AskPassword());
        EXPECT_EQ(1, answerer.shown);
    }
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

// Runs in the real window on the sample machine; what they write besides the sample's own
// files lies in one folder, removed afterwards.
class SampleMachineRuns : public SampleMachineWindow {
protected:
    static constexpr const char* Folder = "C:\\KestrelGuiBackups";

    void PrepareMachine() override
    {
        SampleMachineWindow::PrepareMachine();
        fake.runFolder.path = std::string(Folder) + "\\run";
        std::filesystem::create_directories(
            fake.platform.fileSystem->NativePath(fake.runFolder.path));
    }
    void TearDown() override
    {
        const std::filesystem::path folder = fake.platform.fileSystem->NativePath(Folder);
        SampleMachineWindow::TearDown();
        std::filesystem::remove_all(folder);
    }

    std::string Label(const char* name)
    {
        return Find<wxStaticText>(frame, name)->GetLabel().utf8_string();
    }
    std::string Text(const char* name)
    {
        return Find<wxTextCtrl>(frame, name)->GetValue().utf8_string();
    }
    std::string FileBytes(const std::string& path)
    {
        std::ifstream in(fake.platform.fileSystem->NativePath(path), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    // Runs the event loop until the run is over, calling `watch` as it goes.
    void WaitForTheEnd(const std::function<void()>& watch = [] {})
    {
        EXPECT_TRUE(RunEventLoopUntil(
            [&] {
                watch();
                return !frame->Model().Running();
            },
            std::chrono::minutes(3)));
    }

    const std::string archive = std::string(Folder) + "\\mail.ksb";
};

// Backups in the real window on the sample machine, its data file grown so that the write
// takes seconds: long enough to watch the window while the worker writes, and to cancel.
class SampleMachineBackup : public SampleMachineRuns {
protected:
    static constexpr std::size_t DataFileMiB = 320;

    void PrepareMachine() override
    {
        SampleMachineRuns::PrepareMachine();
        FileSystem& files = *fake.platform.fileSystem;
        // One random MiB over and over: as slow to deflate as random data (the repeats lie
        // beyond deflate's reach) and quick to make.
        std::string block(1 << 20, '\0');
        std::generate(block.begin(), block.end(), std::mt19937(7));
        std::ofstream data(
            files.NativePath("C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst"),
            std::ios::binary | std::ios::app);
        for (std::size_t i = 0; i < DataFileMiB; ++i) {
            data.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        ASSERT_TRUE(data.flush());
    }

    bool Writing() { return Label("SkinLabel10").rfind("Write File ", 0) == 0; }
    std::string ArchiveBytes() { return FileBytes(archive); }
};

TEST_F(SampleMachineBackup, WritesOnAWorkerWhileTheWindowRespondsAndCancels)
{
    dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                   {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                    wxDateTime::Now().Format("kesbak%m-%d-%Y").utf8_string(), "ksb"},
                   archive);
    Press(Find<wxButton>(frame, "cmdTargetFile"));
    auto* target = Find<wxTextCtrl>(frame, "txtTargetFile");
    EXPECT_EQ(archive, target->GetValue().utf8_string());
    EXPECT_FALSE(target->IsEditable());
    Find<wxTextCtrl>(frame, "txtAttachInfo")->SetValue("Before the move");
    Click(Find<wxCheckBox>(frame, "backupitem0"), true);
    messages.Expect("The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t",
                    MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect("Do you need to backup your data to CD-R/RW or DVD?", MessageIcon::Information,
                    MessageAnswer::Cancel);
    onScreen.parent = frame;

    auto* panel = Find<wxWindow>(frame, "picCon3");
    auto* cancel = Find<wxButton>(frame, "cmdCancel");
    Press(Find<wxButton>(frame, "cmdApply"));
    // Back from the click: collected on the window thread, the write handed to the worker.
    EXPECT_TRUE(panel->IsShown());
    EXPECT_TRUE(wxIsBusy());
    EXPECT_TRUE(cancel->IsEnabled());

    // The event loop's timer keeps firing and the worker's texts keep arriving while it writes.
    int ticks = 0;
    std::set<std::string> writeTexts;
    std::set<int> barValues;
    const auto watch = [&] {
        if (frame->Model().Running() && Writing()) {
            ++ticks;
            writeTexts.insert(Label("SkinLabel10"));
            barValues.insert(Find<wxGauge>(frame, "pbshow")->GetValue());
        }
    };
    // The name of the large file may follow its first percent by one label interval: the
    // small registry export before it was named a moment earlier.
    ASSERT_TRUE(RunEventLoopUntil(
        [&] {
            watch();
            return Writing() && Label("SkinLabel10") != "Write File 0%" &&
                   Label("SkinLabel9") == "Adding File bob@example.com.pst";
        },
        std::chrono::minutes(1)))
        << Label("SkinLabel9") << " / " << Label("SkinLabel10");
    PauseForScreenshot("backup-progress");
    EXPECT_TRUE(frame->Model().Running()) << "the write ended before the screenshot";
    WaitForTheEnd(watch);
    EXPECT_GE(ticks, 10);
    EXPECT_GE(writeTexts.size(), 3u);
    EXPECT_GE(barValues.size(), 3u) << "the bar did not follow the write";
    EXPECT_FALSE(panel->IsShown());
    EXPECT_FALSE(wxIsBusy());
    const std::string previous = ArchiveBytes();
    EXPECT_GT(previous.size(), DataFileMiB << 20);

    // The same backup again, cancelled while it writes: the first archive stays as it was.
    messages.Expect("The Backup was cancelled!\t\t\t\r\nthe write of " + archive +
                        " was cancelled; the file there was left as it was\r\nBackup Personal "
                        "Folders\tSucceeded!\t",
                    MessageIcon::Exclamation, MessageAnswer::Ok);
    Press(Find<wxButton>(frame, "cmdApply"));
    ASSERT_TRUE(RunEventLoopUntil([&] { return Writing(); }, std::chrono::minutes(1)));
    Press(cancel);
    EXPECT_FALSE(cancel->IsEnabled());
    WaitForTheEnd();
    EXPECT_TRUE(previous == ArchiveBytes()) << "the previous archive changed";
    std::set<std::string> left;
    for (const auto& entry :
         std::filesystem::directory_iterator(fake.platform.fileSystem->NativePath(Folder))) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{"mail.ksb", "run"}), left);
}

// Restores in the real window on the sample machine from a password-protected backup of its
// signatures and templates, made first by the window's own backup.
class SampleMachineRestore : public SampleMachineRuns {
protected:
    static constexpr const char* Password = "p\xC3\xA4ss";

    void PrepareMachine() override
    {
        SampleMachineRuns::PrepareMachine();
        // Where a restore keeps what it replaces.
        fake.platform.dataFolder = std::string(Folder) + "\\data";
    }
    void SetUp() override
    {
        SampleMachineRuns::SetUp();
        dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                       {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                        wxDateTime::Now().Format("kesbak%m-%d-%Y").utf8_string(), "ksb"},
                       archive);
        Press(Find<wxButton>(frame, "cmdTargetFile"));
        Find<wxTextCtrl>(frame, "txtAttachInfo")->SetValue("Before the move\nof the office");
        Click(Find<wxCheckBox>(frame, "backupitem2"), true);
        Click(Find<wxCheckBox>(frame, "backupitem6"), true);
        Click(Find<wxCheckBox>(frame, "ifprotect"), true);
        Find<wxTextCtrl>(frame, "txtPassword")->SetValue(wxString::FromUTF8(Password));
        Find<wxTextCtrl>(frame, "txtPassword2")->SetValue(wxString::FromUTF8(Password));
        messages.Expect(
            "The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t\r\n"
            "Backup Templates\tSucceeded!\t",
            MessageIcon::Information, MessageAnswer::Ok);
        messages.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                        MessageIcon::Information, MessageAnswer::Cancel);
        Press(Find<wxButton>(frame, "cmdApply"));
        WaitForTheEnd();
        frame->SelectTab(MainTab::Restore);
    }

    // cmdSourceFile with the open dialog answered by the archive and the password prompt by
    // `answer`.
    void OpenTheArchive(const std::function<void(wxDialog&)>& answer)
    {
        dialogs.Expect(
            testing::ScriptedDialogs::Kind::Open,
            {"Restore Date from a Backup file", "Kestrel File (*.ksb)|*.ksb", "", "", "ksb"},
            archive);
        PromptAnswerer answerer(answer);
        Press(Find<wxButton>(frame, "cmdSourceFile"));
        EXPECT_EQ(1, answerer.shown);
    }
    // One character per restore box: 1 enabled, 0 not; the ticked ones in `ticked`.
    std::string RestoreBoxes(std::string* ticked = nullptr)
    {
        std::string enabled;
        for (int i = 0; i < 9; ++i) {
            auto* box = Find<wxCheckBox>(frame, "restoreitem" + std::to_string(i));
            enabled += box->IsEnabled() ? '1' : '0';
            if (ticked != nullptr) {
                *ticked += box->GetValue() ? '1' : '0';
            }
        }
        return enabled;
    }
};

TEST_F(SampleMachineRestore, OpensTheProtectedBackupThroughThePromptAndRestoresIt)
{
    // A wrong password: the message, and nothing to restore from.
    messages.Expect("Incorect Password or Invalid backup file!", MessageIcon::Information,
                    MessageAnswer::Ok);
    OpenTheArchive([](wxDialog& prompt) {
        Find<wxTextCtrl>(&prompt, "txtPassword")->SetValue("pass");
        Press(Find<wxButton>(&prompt, "cmdOK"));
    });
    EXPECT_EQ("000000000", RestoreBoxes());
    EXPECT_EQ("", Text("txtSourceFile"));
    EXPECT_EQ("", Text("txtPOBinfo"));

    OpenTheArchive([](wxDialog& prompt) {
        auto* box = Find<wxTextCtrl>(&prompt, "txtPassword");
        box->SetValue(wxString::FromUTF8(Password));
        PauseForScreenshot("restore-password");
        PressEnter(box);
    });
    EXPECT_EQ(archive, Text("txtSourceFile"));
    EXPECT_FALSE(Find<wxTextCtrl>(frame, "txtSourceFile")->IsEditable());
    const std::string facts = Text("txtPOBinfo");
    EXPECT_EQ(0u, facts.rfind("Computer:OFFICE-PC\nUser:ann\nBackup Time:", 0)) << facts;
    const std::string lastLines = "\nProfile:Outlook\nOutlook Version:Outlook 2013";
    EXPECT_TRUE(facts.ends_with(lastLines)) << facts;
    EXPECT_EQ("Before the move\nof the office", Text("txtFileInfo"));
    EXPECT_EQ("001000100", RestoreBoxes());

    // Every box ticked: only the enabled ones take it.
    for (int i = 0; i < 9; ++i) {
        Click(Find<wxCheckBox>(frame, "restoreitem" + std::to_string(i)), true);
    }
    std::string ticked;
    RestoreBoxes(&ticked);
    EXPECT_EQ("001000100", ticked);
    PauseForScreenshot("restore-tab-filled");

    // Since the backup the signatures and the template were lost.
    const std::string roaming = "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\";
    const std::vector<std::string> lost = {roaming + "Signatures\\Bob.htm",
                                           roaming + "Signatures\\Bob.txt",
                                           roaming + "Templates\\NormalEmail.dotm"};
    std::vector<std::string> backedUp;
    for (const std::string& file : lost) {
        backedUp.push_back(FileBytes(file));
        ASSERT_FALSE(backedUp.back().empty()) << file;
        std::filesystem::remove(fake.platform.fileSystem->NativePath(file));
    }
    messages.Expect(
        "Your current Email and News messages will be replaced with the messages from the "
        "selected backup file.\r\n\r\nDo you want to countinue?",
        MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect(
        "The Restore was Completed!\t\t\t\r\n\r\nRestore Signatures\tSucceeded!\t"
        "\r\nRestore Templates\tSucceeded!\t",
        MessageIcon::Information, MessageAnswer::Ok);
    onScreen.parent = frame;
    auto* panel = Find<wxWindow>(frame, "picCon3");
    Press(Find<wxButton>(frame, "cmdApply"));
    // Back from the click with the run on the worker: the progress panel shows, and a new
    // archive cannot be opened meanwhile (the open dialog would fail the test).
    EXPECT_TRUE(frame->Model().Running());
    EXPECT_TRUE(panel->IsShown());
    EXPECT_TRUE(Find<wxButton>(frame, "cmdCancel")->IsEnabled());
    Press(Find<wxButton>(frame, "cmdSourceFile"));
    EXPECT_EQ(archive, Text("txtSourceFile"));
    WaitForTheEnd();
    EXPECT_FALSE(panel->IsShown());
    EXPECT_FALSE(wxIsBusy());
    for (std::size_t i = 0; i < lost.size(); ++i) {
        EXPECT_TRUE(FileBytes(lost[i]) == backedUp[i]) << lost[i] << " was not restored";
    }
}

// The options window over the sample machine, opened from the main window's menu, against a
// scheduler that keeps the jobs it is given.
class OptionsWindowSmoke : public SampleMachineWindow {
protected:
    void PrepareMachine() override
    {
        SampleMachineWindow::PrepareMachine();
        auto owned = std::make_unique<testing::FakeScheduler>();
        scheduler = owned.get();
        fake.platform.scheduler = std::move(owned);
    }
    // Option > Task Scheduler, with `use` run on the window while it is shown (it must close
    // it); true when the window was shown once.
    bool UseOptionsWindow(const std::function<void(wxDialog&)>& use)
    {
        PromptAnswerer answerer(use, "Frmoption");
        const int id = frame->GetMenuBar()->FindMenuItem("Option(&O)", "Task Scheduler");
        wxCommandEvent menu(wxEVT_MENU, id);
        frame->ProcessWindowEvent(menu);
        return answerer.shown == 1;
    }

    testing::FakeScheduler* scheduler = nullptr;
};

TEST_F(OptionsWindowSmoke, AddsTheJobFilledInAndClosesWithoutOne)
{
    const std::string listing =
        "NEXT                         LEFT     UNIT\n"
        "Mon 2026-12-07 23:30:00 UTC  17h left kestrel-job-1.timer";
    scheduler->listing = listing;
    const std::string target = "D:\\Backups\\weekly.ksb";
    dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                   {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                    wxDateTime::Now().Format("xebackup%m-%d-%Y").utf8_string(), "ksb"},
                   target);
    messages.Expect("The scheduler could not be opened: Access is denied.", MessageIcon::Stop,
                    MessageAnswer::Ok);
    messages.Expect("Task 1 has been scheduled.", MessageIcon::None, MessageAnswer::Ok);
    PromptAnswerer listingWindow(
        [&](wxDialog& window) {
            EXPECT_EQ("Scheduled Tasks", window.GetTitle().utf8_string());
            auto* jobs = Find<wxTextCtrl>(&window, "txtJobs");
            ASSERT_NE(nullptr, jobs);
            EXPECT_EQ(listing, jobs->GetValue().utf8_string());
            EXPECT_FALSE(jobs->IsEditable());
            PauseForScreenshot("job-listing");
            Press(dynamic_cast<wxButton*>(window.FindWindow(wxID_OK)));
        },
        "jobListing");

    const bool shown = UseOptionsWindow([&](wxDialog& window) {
        EXPECT_EQ("Task Scheduler", window.GetTitle().utf8_string());
        EXPECT_EQ(frame, window.GetParent());
        for (const char* label :
             {"What", "Profile to backup", "Items to backup", "Schedule", "Start backup at",
              "Choose a Backup Filename", "Security", "Password:", "Retype Password:"}) {
            EXPECT_NE(nullptr, wxWindow::FindWindowByLabel(label, &window)) << label;
        }
        const std::pair<const char*, const char*> captions[] = {
            {"backupitem0", "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)"},
            {"backupitem8", "Contacts Folder"},
            {"chkMonday", "Monday"},
            {"chkSunday", "Sunday"},
            {"chkDaily", "Run daily"},
            {"cmdTargetFile", "Browse..."},
            {"ifprotect", "Protect backup file with password"},
            {"Command3", "Add Task to Scheduler"},
            {"Command1", "Open Scheduler"},
            {"Command2", "Cancel"},
        };
        for (const auto& [name, caption] : captions) {
            EXPECT_EQ(caption, Find<wxControl>(&window, name)->GetLabelText().utf8_string());
        }

        auto* times = Find<wxChoice>(&window, "cmbStartTime");
        ASSERT_EQ(48u, times->GetCount());
        EXPECT_EQ("0:30", times->GetString(1).utf8_string());
        EXPECT_EQ("9:00", times->GetStringSelection().utf8_string());
        auto* profiles = Find<wxChoice>(&window, "cbSource");
        ASSERT_EQ(1u, profiles->GetCount());
        EXPECT_EQ("Outlook", profiles->GetStringSelection().utf8_string());
        Choose(profiles, 0);
        // Every box ticked: only those of items the profile has take it.
        std::string items;
        for (int i = 0; i < 9; ++i) {
            auto* box = Find<wxCheckBox>(&window, "backupitem" + std::to_string(i));
            Click(box, i == 0 || i == 2 || i == 4);
            items += !box->IsEnabled() ? '-' : box->GetValue() ? 'x' : '1';
        }
        EXPECT_EQ("x1x1-1111", items);
        Choose(times, 47);

        auto* daily = Find<wxCheckBox>(&window, "chkDaily");
        const auto days = [&] {
            std::string ticked;
            for (const char* day : texts::WeekdayCaptions) {
                ticked +=
                    Find<wxCheckBox>(&window, std::string("chk") + day)->GetValue() ? 'x' : '.';
            }
            return ticked;
        };
        Click(daily, true);
        EXPECT_EQ("xxxxxxx", days());
        Click(daily, false);
        EXPECT_EQ(".......", days());
        for (const char* day : {"chkMonday", "chkWednesday", "chkFriday"}) {
            Click(Find<wxCheckBox>(&window, day), true);
        }

        Press(Find<wxButton>(&window, "cmdTargetFile"));
        auto* file = Find<wxTextCtrl>(&window, "txtTargetFile");
        EXPECT_EQ(target, file->GetValue().utf8_string());
        EXPECT_FALSE(file->IsEditable());
        auto* password = Find<wxTextCtrl>(&window, "txtPassword");
        EXPECT_FALSE(password->IsEnabled());
        Click(Find<wxCheckBox>(&window, "ifprotect"), true);
        EXPECT_TRUE(password->IsEnabled());
        password->SetValue(wxString::FromUTF8("p\xC3\xA4ss"));
        Find<wxTextCtrl>(&window, "txtPassword2")->SetValue(wxString::FromUTF8("p\xC3\xA4ss"));

        Press(Find<wxButton>(&window, "Command1"));
        scheduler->listing = Error{"list", "jobs", 5, "Access is denied."};
        Press(Find<wxButton>(&window, "Command1"));
        PauseForScreenshot("options-window");
        Press(Find<wxButton>(&window, "Command3"));
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(1, listingWindow.shown);
    ASSERT_EQ(1u, scheduler->added.size());
    const JobInfo& job = scheduler->added[0];
    EXPECT_EQ("sf=Outlookxm=101000000ps=p\xC3\xA4ssbf=D:\\Backups\\weekly.ksb", job.Arguments);
    EXPECT_EQ("\"C:\\Program Files\\Kestrel\\kestrelbak.exe\" " + job.Arguments, job.Command);
    EXPECT_EQ(84600000u, job.JobTime);
    EXPECT_EQ(0x15, job.DaysOfWeek);
    EXPECT_EQ(0x01, job.Flags);

    // Cancel and the close box add nothing.
    const std::function<void(wxDialog&)> closers[] = {
        [](wxDialog& window) { Press(Find<wxButton>(&window, "Command2")); },
        [](wxDialog& window) { window.Close(); },
    };
    for (const auto& close : closers) {
        EXPECT_TRUE(UseOptionsWindow([&](wxDialog& window) {
            Click(Find<wxCheckBox>(&window, "backupitem0"), true);
            close(window);
        }));
    }
    EXPECT_EQ(1u, scheduler->added.size());
}

// A command of a window's menu bar, as choosing it sends it.
void ChooseMenu(wxWindow& window, const char* menu, const char* item)
{
    wxMenuBar* bar = dynamic_cast<wxFrame&>(window).GetMenuBar();
    const int id = bar->FindMenuItem(menu, item);
    ASSERT_NE(wxNOT_FOUND, id) << item;
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(&window);
    window.ProcessWindowEvent(event);
}

bool MenuItemEnabled(wxWindow& window, const char* menu, const char* item)
{
    wxMenuBar* bar = dynamic_cast<wxFrame&>(window).GetMenuBar();
    return bar->IsEnabled(bar->FindMenuItem(menu, item));
}

std::string StatusPanel(wxWindow& window, int panel)
{
    return dynamic_cast<wxFrame&>(window).GetStatusBar()->GetStatusText(panel).utf8_string();
}

// Runs `steps` in the disc window once it opens, then closes it as File > Exit does.
class DiscWindowSteps {
public:
    explicit DiscWindowSteps(std::function<void(wxWindow&)> steps)
        : shown_("frmMaindvdwrite", [steps = std::move(steps)](wxWindow& window) {
              steps(window);
              ChooseMenu(window, "&File", "Exit");
          })
    {
    }
    bool Ran() const { return shown_.ran; }

private:
    WhenShown shown_;
};

// Drops host paths onto a control as the desktop does.
void DropFiles(wxWindow* control, const std::vector<std::filesystem::path>& paths)
{
    auto* target = dynamic_cast<wxFileDropTarget*>(control->GetDropTarget());
    ASSERT_NE(nullptr, target);
    wxArrayString names;
    for (const auto& path : paths) {
        names.Add(wxString(path.wstring()));
    }
    target->OnDropFiles(0, 0, names);
}

std::vector<std::string> TreeChildren(wxTreeCtrl* tree, const wxTreeItemId& parent)
{
    std::vector<std::string> names;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
         child = tree->GetNextChild(parent, cookie)) {
        names.push_back(tree->GetItemText(child).utf8_string());
    }
    return names;
}

// The disc window over the sample machine, with one simulated drive holding a blank CD-RW.
class SampleMachineDisc : public SampleMachineRuns {
protected:
    void PrepareMachine() override
    {
        SampleMachineRuns::PrepareMachine();
        discEngines = [this](FileSystem& files) {
            auto made = std::make_unique<SimulatedDiscEngine>(files);
            SimulatedDevice& madeDrive = made->AddDrive("KESTREL CDRW-48");
            madeDrive.capabilities = {capability::EraseCdRw, capability::BufferProtection};
            madeDrive.speeds = {1385 * 8, 1385 * 4};
            madeDrive.LoadDisc(media::CdRw, true, true, 300000);
            madeDrive.blankBlocks = 300000;
            engine = made.get();
            drive = &madeDrive;
            return made;
        };
    }

    SimulatedDiscEngine* engine = nullptr;
    SimulatedDevice* drive = nullptr;
};

TEST_F(SampleMachineDisc, TheNewBackupIsComposedWrittenAndTheDiscErased)
{
    dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                   {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                    wxDateTime::Now().Format("kesbak%m-%d-%Y").utf8_string(), "ksb"},
                   archive);
    Press(Find<wxButton>(frame, "cmdTargetFile"));
    Click(Find<wxCheckBox>(frame, "backupitem6"), true);
    messages.Expect("The Backup was Completed!\t\t\t\r\n\r\nBackup Templates\tSucceeded!\t",
                    MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect("Do you need to backup your data to CD-R/RW or DVD?", MessageIcon::Information,
                    MessageAnswer::Ok);
    const std::string roaming = "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\";
    FileSystem& files = *fake.platform.fileSystem;

    DiscWindowSteps steps([&](wxWindow& window) {
        EXPECT_EQ("Backup Outlook Data to CD/DVD",
                  dynamic_cast<wxFrame&>(window).GetTitle().utf8_string());
        auto* tree = Find<wxTreeCtrl>(&window, "tvwFolders");
        auto* list = Find<wxListCtrl>(&window, "lvwImageFiles");
        auto* writeDisc = Find<wxButton>(&window, "cmdWriteDisc");
        auto* cancel = Find<wxButton>(&window, "cmdCancel");
        ASSERT_TRUE(tree && list && writeDisc && cancel);
        // The archive just written is in the image, at its root.
        EXPECT_EQ("Outlook Data Backup CD", tree->GetItemText(tree->GetRootItem()).utf8_string());
        ASSERT_EQ(1, list->GetItemCount());
        EXPECT_EQ("mail.ksb", list->GetItemText(0).utf8_string());
        EXPECT_EQ("Files: 1", StatusPanel(window, 1));
        EXPECT_EQ("Folders: 0", StatusPanel(window, 2));
        const struct {
            const char* name;
            std::vector<std::string> entries;
            int selection;
        } lists[] = {
            {"cboDevices", {"KESTREL CDRW-48"}, 0},
            {"cboWriteSpeed", {"8.0x", "4.0x"}, 0},
            {"cboVolumeType",
             {"ISO9660", "UDF", "ISO9660/Joliet Bridge", "ISO9660/UDF (DVDVideo) Bridge",
              "ISO9660/Joliet/UDF Bridge"},
             4},
        };
        for (const auto& expected : lists) {
            auto* choice = Find<wxChoice>(&window, expected.name);
            std::vector<std::string> entries;
            for (const wxString& entry : choice->GetStrings()) {
                entries.push_back(entry.utf8_string());
            }
            EXPECT_EQ(expected.entries, entries) << expected.name;
            EXPECT_EQ(expected.selection, choice->GetSelection()) << expected.name;
        }
        auto* bufferProtect = Find<wxCheckBox>(&window, "chkUseBufferProtect");
        EXPECT_TRUE(bufferProtect->IsEnabled() && bufferProtect->GetValue());
        EXPECT_EQ("Use Buffer Protection", bufferProtect->GetLabel().utf8_string());
        EXPECT_TRUE(writeDisc->IsEnabled());
        EXPECT_FALSE(cancel->IsEnabled());

        // A folder and a file dropped from the desktop go in at the root.
        DropFiles(tree, {files.NativePath(roaming + "Signatures"),
                         files.NativePath(roaming + "Templates\\NormalEmail.dotm")});
        EXPECT_EQ("Files: 5", StatusPanel(window, 1));
        EXPECT_EQ("Folders: 2", StatusPanel(window, 2));
        EXPECT_EQ(std::vector<std::string>{"Signatures"}, TreeChildren(tree, tree->GetRootItem()));
        std::set<std::string> rows;
        std::string templateSize;
        for (long row = 0; row < list->GetItemCount(); ++row) {
            rows.insert(list->GetItemText(row).utf8_string());
            if (list->GetItemText(row) == "NormalEmail.dotm") {
                templateSize = list->GetItemText(row, 1).utf8_string();
            }
        }
        EXPECT_EQ((std::set<std::string>{"mail.ksb", "NormalEmail.dotm"}), rows);
        const std::string bytes = FileBytes(roaming + "Templates\\NormalEmail.dotm");
        ASSERT_LT(bytes.size(), 1000000u);
        char expectedSize[32];
        std::snprintf(expectedSize, sizeof expectedSize, "%.2f KB", bytes.size() / 1000.0);
        EXPECT_EQ(expectedSize, templateSize);

        // The root keeps its name; the folder is renamed in the tree's own editor.
        tree->SelectItem(tree->GetRootItem());
        messages.Expect("Root directory can not be renamed.", MessageIcon::Information,
                        MessageAnswer::Ok);
        ChooseMenu(window, "&File", "Rename Folder");
        wxTreeItemIdValue cookie;
        const wxTreeItemId signatures = tree->GetFirstChild(tree->GetRootItem(), cookie);
        tree->SelectItem(signatures);
        ChooseMenu(window, "&File", "Rename Folder");
        wxTextCtrl* editor = tree->GetEditControl();
        ASSERT_NE(nullptr, editor) << "no label editor";
        editor->SetValue("Mail Signatures");
        tree->EndEditLabel(signatures, false);
        Settle();
        EXPECT_EQ(std::vector<std::string>{"Mail Signatures"},
                  TreeChildren(tree, tree->GetRootItem()));
        EXPECT_EQ("Folders: 2", StatusPanel(window, 2));
        PauseForScreenshot("disc-composer");

        // A write, followed through the engine's events.
        Press(writeDisc);
        EXPECT_FALSE(writeDisc->IsEnabled());
        EXPECT_TRUE(cancel->IsEnabled());
        EXPECT_FALSE(tree->IsEnabled());
        messages.Expect("Write Complete!", MessageIcon::Information, MessageAnswer::Ok);
        engine->RunWrite();
        EXPECT_EQ("Write Completed!", StatusPanel(window, 0));
        EXPECT_EQ(100, Find<wxGauge>(&window, "prgTotalProgress")->GetValue());
        EXPECT_TRUE(writeDisc->IsEnabled());
        EXPECT_FALSE(cancel->IsEnabled());
        ASSERT_EQ(1u, engine->writes.size());
        EXPECT_EQ("Outlook Data Backup CD", engine->writes[0].settings.VolumeLabel);
        EXPECT_EQ(7, engine->writes[0].settings.FileSystemType);
        EXPECT_EQ(1385 * 8, engine->writes[0].settings.WriteSpeed);

        // Erase Disc... opens the erase window over this one.
        PromptAnswerer eraseAnswer(
            [&](wxDialog& erase) {
                EXPECT_EQ("Erase Re-Writable CD/DVD", erase.GetTitle().utf8_string());
                EXPECT_EQ(&window, erase.GetParent());
                auto* quick = Find<wxCheckBox>(&erase, "chkQuikErase");
                EXPECT_EQ("Perform Quick Erase", quick->GetLabel().utf8_string());
                EXPECT_TRUE(quick->GetValue());
                PauseForScreenshot("disc-erase");
                Press(Find<wxButton>(&erase, "cmdErase"));
                messages.Expect("Erase Completed!!!", MessageIcon::Information, MessageAnswer::Ok);
                engine->RunErase(*drive);
            },
            "frmErase");
        ChooseMenu(window, "&Device", "Erase Disc...");
        EXPECT_EQ(1, eraseAnswer.shown);
        EXPECT_EQ(std::vector<std::string>{"quick 0"}, drive->erases);
    });
    Press(Find<wxButton>(frame, "cmdApply"));
    WaitForTheEnd();
    EXPECT_TRUE(steps.Ran()) << "the disc window did not open";
    EXPECT_EQ(nullptr, wxWindow::FindWindowByName("frmMaindvdwrite"));
    EXPECT_EQ("", state.PendingDiscFileName);
    EXPECT_EQ("", state.PendingDiscFilePath);
    EXPECT_TRUE(frame->IsShown() && frame->IsEnabled());
}

// The disc window from the main window's menu, with engines that leave it little to do.
class DiscWindowOpening : public SampleMachineWindow {
protected:
    void PrepareMachine() override
    {
        SampleMachineWindow::PrepareMachine();
        discEngines = [this](FileSystem& files) { return makeEngine(files); };
    }

    DiscEngineFactory makeEngine;
};

TEST_F(DiscWindowOpening, WithoutAnEngineOrADrive)
{
    const std::string templates =
        "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Templates\\NormalEmail.dotm";
    FileSystem& files = *fake.platform.fileSystem;
    const struct {
        const char* name;
        bool initializes;
        std::string message;
        MessageIcon icon;
        bool opens;
    } cases[] = {
        {"engine that cannot start", false, "Devices Cannot be initialized...Contact support!",
         MessageIcon::None, false},
        {"no drive", true,
         "There are no compatible devices reported.\r\nSome older devices are not currently "
         "supported.",
         MessageIcon::Information, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The Windows build has no disc engine of the system under Wine; the Linux one stands
        // in with an engine that cannot start.
#ifdef _WIN32
        const bool system = !c.initializes;
#else
        const bool system = false;
#endif
        int made = 0;
        makeEngine = [&](FileSystem& fs) -> std::unique_ptr<DiscEngine> {
            ++made;
            if (system) {
                return CreateSystemDiscEngine(fs, DiscOptionsFromEnvironment());
            }
            auto engine = std::make_unique<SimulatedDiscEngine>(fs);
            engine->initializes = c.initializes;
            return engine;
        };
        messages.Expect(c.message, c.icon, MessageAnswer::Ok);
        DiscWindowSteps steps([&](wxWindow& window) {
            // Composing goes on without a drive; only what needs one is disabled.
            EXPECT_FALSE(Find<wxButton>(&window, "cmdWriteDisc")->IsEnabled());
            for (const char* item : {"Eject", "Close Tray", "Erase Disc..."}) {
                EXPECT_FALSE(MenuItemEnabled(window, "&Device", item)) << item;
            }
            EXPECT_EQ(0u, Find<wxChoice>(&window, "cboDevices")->GetCount());
            DropFiles(Find<wxListCtrl>(&window, "lvwImageFiles"), {files.NativePath(templates)});
            EXPECT_EQ("Files: 1", StatusPanel(window, 1));
        });
        ChooseMenu(*frame, "Option(&O)", "Backup Data to CD/DVD");
        EXPECT_EQ(1, made);
        EXPECT_EQ(c.opens, steps.Ran());
        EXPECT_EQ(nullptr, wxWindow::FindWindowByName("frmMaindvdwrite"));
        // The program goes on.
        EXPECT_TRUE(frame->IsShown() && frame->IsEnabled());
        EXPECT_EQ("Kestrel V2.90", frame->GetTitle().utf8_string());
    }
}

TEST(WxDialogs, AddsTheDefaultExtensionToANameWithoutOne)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Backups\\kesbak01-02-2025", "C:\\Backups\\kesbak01-02-2025.ksb"},
        {"C:\\Backups\\mail.zip", "C:\\Backups\\mail.zip"},
        {"C:\\My.Backups\\mail", "C:\\My.Backups\\mail.ksb"},
        {"/home/ann/my.backups/mail", "/home/ann/my.backups/mail.ksb"},
    };
    for (const auto& [typed, path] : cases) {
        EXPECT_EQ(path, WithDefaultExtension(typed, "ksb")) << typed;
    }
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
