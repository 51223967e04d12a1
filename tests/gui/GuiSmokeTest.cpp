// Drives the real windows in-process and reads them back from the widgets: the main window's
// captions and menus, the password prompt, whole backups and a restore on the worker, the
// scheduled-backup options window and the disc windows. Needs a display (Xvfb in CI).

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
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/tooltip.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "app/MainWindowTexts.h"
#include "app/PolicyFixture.h"
#include "disc/SimulatedDiscEngine.h"
#include "disc/SystemDiscEngine.h"
#include "gui/MainFrame.h"
#include "gui/WxDialogs.h"
#include "outlook/OutlookRunsSetting.h"
#include "platform/FileContents.h"
#include "scheduler/SchedulerTexts.h"
#include "support/FakePlatform.h"
#include "support/ForwardingFileSystem.h"
#include "support/SampleEnvironment.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedMessages.h"

#ifdef _WIN32
#include <windows.h>

#include "app/BackupSetup.h"
#include "platform/win32/Win32FileHolders.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32ShadowCopies.h"
#include "platform/win32/Win32SystemInfo.h"
#else
#include <signal.h>

#include "platform/posix/EmulatedHolders.h"
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

// The scripted messages and file choosers, with the real password prompt (frmPwd) over
// `window`. With screenshots taken and `showNextResult` set, the next result of a backup or
// restore is also shown as the real message box, for scripts/gui-smoke.sh to capture as
// backup-result.png or restore-result.png and close with the Return key.
struct OnScreen final : Messages, Dialogs {
    OnScreen(Messages& messages, Dialogs& dialogs) : scripted(messages), files(dialogs) {}
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override
    {
        const MessageAnswer answer = scripted.Show(text, caption, icon, buttons);
        if (showHeldQuestion && !screenshotFolder.empty() &&
            text.find(" is using these files") != std::string::npos) {
            showHeldQuestion = false;
            std::ofstream(screenshotFolder / "outlook-running.ready").flush();
            WxMessages(window).Show(text, caption, icon, buttons);
        }
        const bool backup = text.rfind("The Backup", 0) == 0;
        if (showNextResult && !screenshotFolder.empty() &&
            (backup || text.rfind("The Restore", 0) == 0)) {
            showNextResult = false;
            const std::string name = backup ? "backup-result" : "restore-result";
            std::ofstream(screenshotFolder / (name + ".ready")).flush();
            WxMessages(window).Show(text, caption, icon, buttons);
        }
        return answer;
    }
    std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override
    {
        return files.ChooseSaveFile(request);
    }
    std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override
    {
        return files.ChooseOpenFile(request);
    }
    std::optional<std::string> AskPassword() override { return WxDialogs(window).AskPassword(); }

    Messages& scripted;
    Dialogs& files;
    wxWindow* window = nullptr;
    bool showNextResult = false;
    bool showHeldQuestion = false;
};

// Answers each dialog of the name (by default the password prompt; "dialog" is the about box)
// while it is on screen, inside its modal loop, as `answer` does (which must close it); other
// modal windows show as they are.
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

template <typename T>
T* Find(wxWindow* parent, const std::string& name)
{
    auto* window = dynamic_cast<T*>(wxWindow::FindWindowByName(name, parent));
    EXPECT_NE(nullptr, window) << name;
    return window;
}

// Sends what a user's click, choice or Enter key sends the control.
void Send(wxControl* control, wxEventType type, int value = 0)
{
    ASSERT_NE(nullptr, control);
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(value);
    if (auto* box = dynamic_cast<wxTextCtrl*>(control)) {
        event.SetString(box->GetValue());
    }
    control->ProcessWindowEvent(event);
}

void Click(wxWindow* parent, const std::string& name, bool checked = true)
{
    auto* box = Find<wxCheckBox>(parent, name);
    ASSERT_NE(nullptr, box);
    box->SetValue(checked);
    Send(box, wxEVT_CHECKBOX, checked ? 1 : 0);
}

void Choose(wxChoice* choice, int index)
{
    choice->SetSelection(index);
    Send(choice, wxEVT_CHOICE, index);
}

void Press(wxButton* button)
{
    Send(button, wxEVT_BUTTON);
}

void Press(wxWindow* parent, const char* name)
{
    Press(Find<wxButton>(parent, name));
}

// A command of a window's menu bar, as choosing it sends it.
void ChooseMenu(wxWindow& window, const char* menu, const char* item)
{
    const int id = dynamic_cast<wxFrame&>(window).GetMenuBar()->FindMenuItem(menu, item);
    ASSERT_NE(wxNOT_FOUND, id) << item;
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(&window);
    window.ProcessWindowEvent(event);
}

// What a control shows: a text box's text, another control's caption.
std::string Text(wxWindow* parent, const char* name)
{
    wxWindow* window = wxWindow::FindWindowByName(name, parent);
    if (auto* box = dynamic_cast<wxTextCtrl*>(window)) {
        return box->GetValue().utf8_string();
    }
    auto* control = dynamic_cast<wxControl*>(window);
    EXPECT_NE(nullptr, control) << name;
    return control == nullptr ? "" : control->GetLabelText().utf8_string();
}

// What a window shows, as (control name, text): a named control's caption or text; a row
// without a name, a label of that text.
void ExpectTexts(wxWindow* window, std::initializer_list<std::pair<const char*, const char*>> rows)
{
    for (const auto& [name, text] : rows) {
        if (*name == '\0') {
            EXPECT_NE(nullptr, wxWindow::FindWindowByLabel(text, window)) << "no label " << text;
        } else {
            EXPECT_EQ(text, Text(window, name)) << name;
        }
    }
}

std::string StatusPanel(wxWindow& window, int panel)
{
    return dynamic_cast<wxFrame&>(window).GetStatusBar()->GetStatusText(panel).utf8_string();
}

// A choice's entries, the selected one in brackets.
std::vector<std::string> Entries(wxWindow* parent, const char* name)
{
    std::vector<std::string> entries;
    auto* choice = Find<wxChoice>(parent, name);
    for (int i = 0; choice != nullptr && i < static_cast<int>(choice->GetCount()); ++i) {
        const std::string entry = choice->GetString(i).utf8_string();
        entries.push_back(i == choice->GetSelection() ? "[" + entry + "]" : entry);
    }
    return entries;
}

// One character per item box of an array (backupitem, restoreitem): x ticked, 1 offered,
// - disabled.
std::string Boxes(wxWindow* parent, const std::string& array)
{
    std::string boxes;
    for (int i = 0; i < 9; ++i) {
        auto* box = Find<wxCheckBox>(parent, array + std::to_string(i));
        boxes += box == nullptr ? '?' : box->GetValue() ? 'x' : box->IsEnabled() ? '1' : '-';
    }
    return boxes;
}

// Runs `steps` in the disc window once it opens, from whatever event loop runs then (the
// window runs a modal loop of its own, inside which the test goes on), then closes it as
// File > Exit does.
class DiscWindowSteps final {
public:
    explicit DiscWindowSteps(std::function<void(wxWindow&)> steps)
    {
        timer_.Bind(wxEVT_TIMER, [this, steps = std::move(steps)](wxTimerEvent&) {
            wxWindow* window = wxWindow::FindWindowByName("frmMaindvdwrite");
            if (window != nullptr && window->IsShown()) {
                timer_.Stop();
                ran = true;
                steps(*window);
                ChooseMenu(*window, "&File", "Exit");
            }
        });
        timer_.Start(20);
    }

    bool ran = false;

private:
    wxTimer timer_;
};

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
        frame =
            new MainFrame(state, fake.platform, windowScheduler, &onScreen, &onScreen, discEngines);
        onScreen.window = frame;
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
    testing::ScriptedDialogs dialogs;
    OnScreen onScreen{messages, dialogs};
    // Empty: the system's disc engine.
    DiscEngineFactory discEngines;
    // Null: a system that offers no scheduler.
    Scheduler* windowScheduler = nullptr;
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
    ExpectTexts(frame, {{"backupitem0",
                         "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)"},
                        {"restoreitem8", "Contacts Folder"},
                        {"chkVerify", "Verify the backup after writing"},
                        {"cmdApply", "Backup Now"}});
    EXPECT_TRUE(Find<wxCheckBox>(frame, "chkVerify")->GetValue()) << "verifying is the default";
    EXPECT_EQ("---------", Boxes(frame, "backupitem"));
    EXPECT_EQ("---------", Boxes(frame, "restoreitem"));

    wxMenuBar* bar = frame->GetMenuBar();
    std::vector<std::vector<std::string>> menus;
    for (std::size_t m = 0; m < bar->GetMenuCount(); ++m) {
        menus.push_back({bar->GetMenuLabel(m).utf8_string()});
        for (const wxMenuItem* item : bar->GetMenu(m)->GetMenuItems()) {
            menus.back().push_back(item->GetItemLabelText().utf8_string());
        }
    }
    EXPECT_EQ((std::vector<std::vector<std::string>>{
                  {"File(&F)", "Backup Now", "Restore Now", "", "Quit"},
                  {"Option(&O)", "Task Scheduler", "Backup Data to CD/DVD"},
                  {"Help(&H)", "Help", "Our Website", "About"}}),
              menus);

    EXPECT_FALSE(Find<wxButton>(frame, "cmdApply")->IsEnabled())
        << "no profile: nothing to back up";

    // Where to click each menu title: the menu bar lies just above the client area on both
    // toolkits; titles are spaced by their text width plus the toolkit's padding.
    std::string menuPositions;
    const wxPoint clientOrigin = frame->ClientToScreen(wxPoint(0, 0));
    int x = 0;
    for (const auto& menu : menus) {
        const int width = frame->GetTextExtent(wxStripMenuCodes(menu.front())).GetWidth();
        menuPositions += std::to_string(clientOrigin.x + x + 12) + " " +
                         std::to_string(clientOrigin.y - 10) + "\n";
        x += width + 16;
    }
    PauseForScreenshot("backup-tab", menuPositions);
    frame->SelectTab(MainTab::Restore);
    Settle();
    EXPECT_EQ("Restore Now", Text(frame, "cmdApply"));
    PauseForScreenshot("restore-tab");
    frame->SelectTab(MainTab::Backup);

    std::string about;
    PromptAnswerer aboutBox(
        [&](wxDialog& box) {
            about = box.GetTitle().utf8_string();
            box.EndModal(wxID_OK);
        },
        "dialog");
    ChooseMenu(*frame, "Help(&H)", "About");
    EXPECT_EQ("About Kestrel", about);
}

// Data files (".pst") read no faster than `bytesPerSecond`, so that a backup's write lasts long
// enough to watch the window and to cancel it on any machine: random data goes into the archive
// as stored pieces, at the speed of the disk.
class PacedDataFileReads final : public testing::ForwardingFileSystem {
public:
    PacedDataFileReads(std::unique_ptr<FileSystem> inner, double bytesPerSecond)
        : ForwardingFileSystem(*inner), owned_(std::move(inner)), bytesPerSecond_(bytesPerSecond)
    {
    }
    Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override
    {
        auto opened = ForwardingFileSystem::OpenInputFile(path);
        if (!opened || !IsDataFile(path)) {
            return opened;
        }
        return std::unique_ptr<InputFile>(
            std::make_unique<PacedFile>(std::move(*opened), bytesPerSecond_));
    }

private:
    static bool IsDataFile(const std::string& path)
    {
        std::string end = path.size() >= 4 ? path.substr(path.size() - 4) : path;
        std::transform(end.begin(), end.end(), end.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return end == ".pst";
    }

    class PacedFile final : public InputFile {
    public:
        PacedFile(std::unique_ptr<InputFile> inner, double bytesPerSecond)
            : inner_(std::move(inner)), bytesPerSecond_(bytesPerSecond)
        {
        }
        std::int64_t Read(char* data, std::size_t size) override
        {
            const std::int64_t read = inner_->Read(data, size);
            if (read > 0) {
                bytes_ += static_cast<double>(read);
                std::this_thread::sleep_until(
                    start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(bytes_ / bytesPerSecond_)));
            }
            return read;
        }
        bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
        std::uint64_t Size() const override { return inner_->Size(); }
        const Error& Failure() const override { return inner_->Failure(); }

    private:
        std::unique_ptr<InputFile> inner_;
        double bytesPerSecond_;
        double bytes_ = 0;
        std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    };

    std::unique_ptr<FileSystem> owned_;
    double bytesPerSecond_;
};

// The window over a sample machine with Outlook 2013: real registry and file system (a fresh
// SQLite store and root natively, Wine's registry and drive C: under Wine), a scheduler that
// keeps the jobs it is given and the disc engines `makeEngine` makes. What the runs write
// besides the sample's own files lies in one folder, removed afterwards.
class SampleMachineWindow : public MainWindowSmoke {
protected:
    static constexpr const char* Folder = "C:\\KestrelGuiBackups";
    // A write of the large data file below takes at least four seconds.
    static constexpr double DataFileBytesPerSecond = 64.0 * (1 << 20);

    void PrepareMachine() override
    {
#ifdef _WIN32
        fake.platform.registry = std::make_unique<Win32Registry>();
        fake.platform.fileSystem = Paced(std::make_unique<Win32FileSystem>());
#else
        root = std::filesystem::temp_directory_path() / "kestrel-gui-sample";
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "drive_c");
        fake.platform.registry = std::make_unique<SqliteRegistry>((root / "registry.db").string());
        fake.platform.fileSystem = Paced(std::make_unique<PosixFileSystem>(root));
#endif
        fake.system.windowsVersion = "6.1";
        fake.system.variables["%UserProfile%"] = "C:\\Users\\bob";
        fake.automation.version = "15.0";
        windowScheduler = scheduler;
        discEngines = [this](FileSystem& files) { return makeEngine(files); };
        registry = std::make_unique<RegistryAccess>(*fake.platform.registry, messages);
        sample = std::make_unique<testing::SampleEnvironment>("outlook2013-win7", *registry,
                                                              *fake.platform.fileSystem);
        fake.runFolder.path = std::string(Folder) + "\\run";
        std::filesystem::create_directories(
            fake.platform.fileSystem->NativePath(fake.runFolder.path));
        fake.platform.dataFolder = std::string(Folder) + "\\Kestrel";
        std::filesystem::create_directories(
            fake.platform.fileSystem->NativePath(fake.platform.dataFolder));
    }
    static std::unique_ptr<FileSystem> Paced(std::unique_ptr<FileSystem> files)
    {
        return std::make_unique<PacedDataFileReads>(std::move(files), DataFileBytesPerSecond);
    }
    void TearDown() override
    {
        const std::filesystem::path folder = fake.platform.fileSystem->NativePath(Folder);
        MainWindowSmoke::TearDown();
        sample.reset();
        registry.reset();
        fake.platform.registry.reset();
        std::filesystem::remove_all(folder);
        if (!root.empty()) {
            std::filesystem::remove_all(root);
        }
    }

    // The save dialog as Browse... opens it (the name proposed starts with `prefix`).
    void ExpectSaveDialog(const char* prefix, const std::string& answer)
    {
        const wxString proposed = wxDateTime::Now().Format(wxString(prefix) + "%m-%d-%Y");
        dialogs.Expect(testing::ScriptedDialogs::Kind::Save,
                       {"Save Outlook Data as", "Kestrel File (*.ksb)|*.ksb", "",
                        proposed.utf8_string(), "ksb"},
                       answer);
    }
    // A backup of the items into `archive`, all but cmdApply: its result `shown` and the disc
    // question answered `disc`.
    void PrepareBackup(std::initializer_list<int> items, const std::string& shown,
                       MessageAnswer disc)
    {
        ExpectSaveDialog("kesbak", archive);
        Press(frame, "cmdTargetFile");
        for (int item : items) {
            Click(frame, "backupitem" + std::to_string(item));
        }
        messages.Expect(shown, MessageIcon::Information, MessageAnswer::Ok);
        messages.Expect("Do you need to backup your data to CD-R/RW or DVD?",
                        MessageIcon::Information, disc);
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

    std::filesystem::path root;
    std::unique_ptr<RegistryAccess> registry;
    std::unique_ptr<testing::SampleEnvironment> sample;
    std::unique_ptr<testing::FakeScheduler> ownedScheduler =
        std::make_unique<testing::FakeScheduler>();
    testing::FakeScheduler* scheduler = ownedScheduler.get();
    DiscEngineFactory makeEngine;
    const std::string archive = std::string(Folder) + "\\mail.ksb";
    const std::string roaming = "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\";
};

TEST_F(SampleMachineWindow, ListsTheProfileThenWritesOnAWorkerWhileTheWindowRespondsAndCancels)
{
    FileSystem& files = *fake.platform.fileSystem;
    EXPECT_EQ(std::vector<std::string>{"[Outlook]"}, Entries(frame, "cbSource"));
    EXPECT_EQ(std::vector<std::string>{"[Outlook]"}, Entries(frame, "cbTarget"));
    // Outlook 2013 has no personal address book; everything else is on this machine.
    EXPECT_EQ("1111-1111", Boxes(frame, "backupitem"));
    wxToolTip* tip = Find<wxCheckBox>(frame, "backupitem4")->GetToolTip();
    ASSERT_NE(nullptr, tip);
    EXPECT_EQ("Your MS Outlook don't support Personal Address Book!", tip->GetTip().utf8_string());
    EXPECT_TRUE(Find<wxButton>(frame, "cmdApply")->IsEnabled());
    PauseForScreenshot("sample-profiles");

    // The data file grown so that the write, its reads paced, takes seconds: long enough to
    // watch the window while the worker writes, and to cancel. One random MiB over and over
    // does not compress (the repeats lie beyond deflate's reach) and is quick to make.
    constexpr std::size_t DataFileMiB = 256;
    std::string block(1 << 20, '\0');
    std::generate(block.begin(), block.end(), std::mt19937(7));
    std::ofstream data(
        files.NativePath("C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst"),
        std::ios::binary | std::ios::app);
    for (std::size_t i = 0; i < DataFileMiB; ++i) {
        data.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    ASSERT_TRUE(data.flush());

    PrepareBackup({0},
                  "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t",
                  MessageAnswer::Cancel);
    EXPECT_EQ(archive, Text(frame, "txtTargetFile"));
    EXPECT_FALSE(Find<wxTextCtrl>(frame, "txtTargetFile")->IsEditable());
    onScreen.showNextResult = true;
    auto* panel = Find<wxWindow>(frame, "picCon3");
    auto* cancel = Find<wxButton>(frame, "cmdCancel");
    Press(frame, "cmdApply");
    // Back from the click: collected on the window thread, the write handed to the worker.
    EXPECT_TRUE(panel->IsShown());
    EXPECT_TRUE(wxIsBusy());
    EXPECT_TRUE(cancel->IsEnabled());

    // The event loop's timer keeps firing and the worker's texts keep arriving while it writes.
    const auto writing = [&] { return Text(frame, "SkinLabel10").rfind("Write File ", 0) == 0; };
    int ticks = 0;
    std::set<std::string> writeTexts;
    std::set<int> barValues;
    const auto watch = [&] {
        if (frame->Model().Running() && writing()) {
            ++ticks;
            writeTexts.insert(Text(frame, "SkinLabel10"));
            barValues.insert(Find<wxGauge>(frame, "pbshow")->GetValue());
        }
    };
    // The name of the large file may follow its first percent by one label interval: the
    // small registry export before it was named a moment earlier.
    ASSERT_TRUE(RunEventLoopUntil(
        [&] {
            watch();
            return writing() && Text(frame, "SkinLabel10") != "Write File 0%" &&
                   Text(frame, "SkinLabel9") == "Adding File bob@example.com.pst";
        },
        std::chrono::minutes(1)))
        << Text(frame, "SkinLabel9") << " / " << Text(frame, "SkinLabel10");
    PauseForScreenshot("backup-progress");
    EXPECT_TRUE(frame->Model().Running()) << "the write ended before the screenshot";
    WaitForTheEnd(watch);
    EXPECT_GE(ticks, 10);
    EXPECT_GE(writeTexts.size(), 3u);
    EXPECT_GE(barValues.size(), 3u) << "the bar did not follow the write";
    EXPECT_FALSE(panel->IsShown());
    EXPECT_FALSE(wxIsBusy());
    // The archive is larger than what ReadWholeFile takes by default.
    const Result<std::string> previous = ReadWholeFile(files, archive, 1u << 30);
    ASSERT_TRUE(previous) << previous.error().Describe();
    EXPECT_GT(previous->size(), DataFileMiB << 20);

    // The same backup again, cancelled while it writes: the first archive stays as it was.
    messages.Expect("The Backup was cancelled!\t\t\t\r\nthe write of " + archive +
                        " was cancelled; the file there was left as it was\r\nBackup Personal "
                        "Folders\tSucceeded!\t",
                    MessageIcon::Exclamation, MessageAnswer::Ok);
    Press(frame, "cmdApply");
    ASSERT_TRUE(RunEventLoopUntil(writing, std::chrono::minutes(1)));
    Press(cancel);
    EXPECT_FALSE(cancel->IsEnabled());
    WaitForTheEnd();
    const Result<std::string> after = ReadWholeFile(files, archive, 1u << 30);
    EXPECT_TRUE(after && *after == *previous) << "the previous archive changed";
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(files.NativePath(Folder))) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{"Kestrel", "mail.ksb", "run"}), left);
}

// A password-protected backup of the signatures and templates, made by the window's own
// backup, opened through the prompt and restored.
TEST_F(SampleMachineWindow, OpensTheProtectedBackupThroughThePromptAndRestoresIt)
{
    const char* password = "p\xC3\xA4ss";
    FileSystem& files = *fake.platform.fileSystem;
    fake.platform.dataFolder = std::string(Folder) + "\\data";  // keeps what a restore replaces
    PrepareBackup({2, 6},
                  "The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t\r\n"
                  "Backup Templates\tSucceeded!\t",
                  MessageAnswer::Cancel);
    Find<wxTextCtrl>(frame, "txtAttachInfo")->SetValue("Before the move\nof the office");
    // The protect box enables the password boxes and empties them.
    auto* typed = Find<wxTextCtrl>(frame, "txtPassword");
    auto* retyped = Find<wxTextCtrl>(frame, "txtPassword2");
    typed->SetValue("typed before");
    Click(frame, "ifprotect");
    EXPECT_TRUE(typed->IsEnabled() && retyped->IsEnabled());
    EXPECT_EQ("", Text(frame, "txtPassword"));
    typed->SetValue(wxString::FromUTF8(password));
    retyped->SetValue(wxString::FromUTF8(password));
    Press(frame, "cmdApply");
    WaitForTheEnd();
    frame->SelectTab(MainTab::Restore);

    // cmdSourceFile with the open dialog answered by the archive; the password prompt, which
    // opens empty each time, gets `entered` and is closed by `finish`.
    using Finish = void (*)(wxDialog&);
    const auto openTheArchive = [&](const char* entered, Finish finish) {
        dialogs.Expect(
            testing::ScriptedDialogs::Kind::Open,
            {"Restore Date from a Backup file", "Kestrel File (*.ksb)|*.ksb", "", "", "ksb"},
            archive);
        PromptAnswerer answerer([&](wxDialog& prompt) {
            EXPECT_EQ("Please enter password", prompt.GetTitle().utf8_string());
            EXPECT_EQ(frame, prompt.GetParent());
            ExpectTexts(&prompt, {{"", "Security"},
                                  {"", "Please enter password:"},
                                  {"cmdOK", "OK"},
                                  {"cmdExit", "Cancel"}});
            auto* box = Find<wxTextCtrl>(&prompt, "txtPassword");
            ASSERT_NE(nullptr, box);
            EXPECT_TRUE(box->HasFlag(wxTE_PASSWORD)) << "the password shows unmasked";
            EXPECT_EQ("", box->GetValue().utf8_string()) << "an earlier answer is offered";
            box->SetValue(wxString::FromUTF8(entered));
            finish(prompt);
        });
        Press(frame, "cmdSourceFile");
        EXPECT_EQ(1, answerer.shown);
    };
    // Answers that open nothing: the message, and nothing to restore from. Cancel and the close
    // box drop what was typed, the right password too.
    const struct {
        const char* name;
        const char* typed;
        Finish finish;
    } refusals[] = {
        {"wrong password", "pass", [](wxDialog& prompt) { Press(&prompt, "cmdOK"); }},
        {"OK with nothing typed", "", [](wxDialog& prompt) { Press(&prompt, "cmdOK"); }},
        {"Cancel", password, [](wxDialog& prompt) { Press(&prompt, "cmdExit"); }},
        {"close box", password, [](wxDialog& prompt) { prompt.Close(); }},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.name);
        messages.Expect("Incorect Password or Invalid backup file!", MessageIcon::Information,
                        MessageAnswer::Ok);
        openTheArchive(c.typed, c.finish);
        EXPECT_EQ("---------", Boxes(frame, "restoreitem"));
        EXPECT_EQ("", Text(frame, "txtSourceFile"));
        EXPECT_EQ("", Text(frame, "txtPOBinfo"));
    }

    openTheArchive(password, [](wxDialog& prompt) {
        PauseForScreenshot("restore-password");
        Send(Find<wxTextCtrl>(&prompt, "txtPassword"), wxEVT_TEXT_ENTER);
    });
    EXPECT_EQ(archive, Text(frame, "txtSourceFile"));
    EXPECT_FALSE(Find<wxTextCtrl>(frame, "txtSourceFile")->IsEditable());
    const std::string facts = Text(frame, "txtPOBinfo");
    EXPECT_EQ(0u, facts.rfind("Computer:OFFICE-PC\nUser:ann\nBackup Time:", 0)) << facts;
    EXPECT_TRUE(facts.ends_with("\nProfile:Outlook\nOutlook Version:Outlook 2013")) << facts;
    EXPECT_EQ("Before the move\nof the office", Text(frame, "txtFileInfo"));
    EXPECT_EQ("--1---1--", Boxes(frame, "restoreitem"));
    // Every box ticked: only the enabled ones take it.
    for (int i = 0; i < 9; ++i) {
        Click(frame, "restoreitem" + std::to_string(i));
    }
    EXPECT_EQ("--x---x--", Boxes(frame, "restoreitem"));
    PauseForScreenshot("restore-tab-filled");

    // Since the backup the signatures and the template were lost.
    const std::vector<std::string> lost = {
        roaming + "Signatures\\Bob.htm", roaming + "Signatures\\Bob.txt",
        roaming + "Signatures\\Bob_files\\filelist.xml", roaming + "Templates\\NormalEmail.dotm"};
    std::vector<std::string> backedUp;
    for (const std::string& file : lost) {
        backedUp.push_back(*ReadWholeFile(files, file));
        ASSERT_FALSE(backedUp.back().empty()) << file;
        std::filesystem::remove(files.NativePath(file));
    }
    messages.Expect(
        "Your current Email and News messages will be replaced with the messages from the "
        "selected backup file.\r\n\r\nDo you want to countinue?",
        MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect(
        "The Restore was Completed!\t\t\t\r\n\r\nRestore Signatures\tSucceeded!\t"
        "\r\nRestore Templates\tSucceeded!\t",
        MessageIcon::Information, MessageAnswer::Ok);
    onScreen.showNextResult = true;
    auto* panel = Find<wxWindow>(frame, "picCon3");
    Press(frame, "cmdApply");
    // Back from the click with the run on the worker: the progress panel shows, and a new
    // archive cannot be opened meanwhile (the open dialog would fail the test).
    EXPECT_TRUE(frame->Model().Running());
    EXPECT_TRUE(panel->IsShown());
    EXPECT_TRUE(Find<wxButton>(frame, "cmdCancel")->IsEnabled());
    Press(frame, "cmdSourceFile");
    EXPECT_EQ(archive, Text(frame, "txtSourceFile"));
    WaitForTheEnd();
    EXPECT_FALSE(panel->IsShown());
    EXPECT_FALSE(wxIsBusy());
    for (std::size_t i = 0; i < lost.size(); ++i) {
        const Result<std::string> restored = ReadWholeFile(files, lost[i]);
        EXPECT_TRUE(restored && *restored == backedUp[i]) << lost[i] << " was not restored";
    }
}

// The options window, opened from the main window's menu.
TEST_F(SampleMachineWindow, OptionsWindowAddsTheJobFilledInAndClosesWithoutOne)
{
    // Option > Task Scheduler, with `use` run on the window while it is shown (it must close
    // it); true when the window was shown once.
    const auto useOptionsWindow = [&](const std::function<void(wxDialog&)>& use) {
        PromptAnswerer answerer(use, "Frmoption");
        ChooseMenu(*frame, "Option(&O)", "Task Scheduler");
        return answerer.shown == 1;
    };
    const std::string listing =
        "NEXT                         LEFT     UNIT\n"
        "Mon 2026-12-07 23:30:00 UTC  17h left kestrel-job-1.timer";
    scheduler->listing = listing;
    // Windows' registry is the machine's own and keeps what an earlier run saved.
    ASSERT_TRUE(WriteUnattendedOutlookWay(*registry, IfOutlookRuns::Close));
    const std::string target = "D:\\Backups\\weekly.ksb";
    // The last run of the job, as the unattended backup logs it.
    fake.platform.fileSystem->AppendLogLine(
        std::string(Folder) + "\\Kestrel\\kestrel.log",
        "2026-12-07 23:30:04\tprofile Outlook\tarchive D:\\Backups\\weekly 2026-12-07 2330.ksb\t"
        "items 11101000000\tbytes 52311\tseconds 1.2\tstatus 0: written");
    ExpectSaveDialog("xebackup", target);
    messages.Expect("The scheduler could not be opened: Access is denied.", MessageIcon::Stop,
                    MessageAnswer::Ok);
    messages.Expect("Task 1 has been scheduled.", MessageIcon::None, MessageAnswer::Ok);
    // First the scheduler's own listing (Open Scheduler, where the system has no tool of its
    // own), then ours with the last run (Scheduled Tasks..., once the job is there).
    int listings = 0;
    PromptAnswerer listingWindow(
        [&](wxDialog& window) {
            EXPECT_EQ("Scheduled Tasks", window.GetTitle().utf8_string());
            auto* jobs = Find<wxTextCtrl>(&window, "txtJobs");
            ASSERT_NE(nullptr, jobs);
            EXPECT_FALSE(jobs->IsEditable());
            const std::string shown = jobs->GetValue().utf8_string();
            if (++listings == 1) {
                EXPECT_EQ(listing, shown);
                PauseForScreenshot("job-listing");
            } else {
                EXPECT_NE(std::string::npos,
                          shown.find("job 1 last ran 2026-12-07 23:30:04: status 0: written "
                                     "(D:\\Backups\\weekly 2026-12-07 2330.ksb)\n"))
                    << shown;
                EXPECT_NE(std::string::npos, shown.find("  3     mon,wed,fri  23:30")) << shown;
                PauseForScreenshot("job-listing-last-run");
            }
            Press(dynamic_cast<wxButton*>(window.FindWindow(wxID_OK)));
        },
        "jobListing");

    EXPECT_TRUE(useOptionsWindow([&](wxDialog& window) {
        EXPECT_EQ("Task Scheduler", window.GetTitle().utf8_string());
        EXPECT_EQ(frame, window.GetParent());
        ExpectTexts(
            &window,
            {{"", "What"},
             {"", "Profile to backup"},
             {"", "Items to backup"},
             {"", "Schedule"},
             {"", "Start backup at"},
             {"", "Choose a Backup Filename"},
             {"", "Security"},
             {"", "Password:"},
             {"", "Retype Password:"},
             {"backupitem0",
              "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)"},
             {"backupitem8", "Contacts Folder"},
             {"chkMonday", "Monday"},
             {"chkSunday", "Sunday"},
             {"chkDaily", "Run daily"},
             {"cmdTargetFile", "Browse..."},
             {"ifprotect", "Protect backup file with password"},
             {"", "Keep the last"},
             {"", "backups"},
             {"chkDifferential", "differential: only what changed since the last full backup"},
             {"", "When Outlook is running:"},
             {"cmdJobListing", "Scheduled Tasks..."},
             {"Command3", "Add Task to Scheduler"},
             {"Command1", "Open Scheduler"},
             {"Command2", "Cancel"}});

        auto* times = Find<wxChoice>(&window, "cmbStartTime");
        ASSERT_EQ(48u, times->GetCount());
        EXPECT_EQ("0:30", times->GetString(1).utf8_string());
        EXPECT_EQ("9:00", times->GetStringSelection().utf8_string());
        EXPECT_EQ(std::vector<std::string>{"[Outlook]"}, Entries(&window, "cbSource"));
        Choose(Find<wxChoice>(&window, "cbSource"), 0);
        // Three boxes ticked: only those of items the profile has take it.
        for (int i : {0, 2, 4}) {
            Click(&window, "backupitem" + std::to_string(i));
        }
        EXPECT_EQ("x1x1-1111", Boxes(&window, "backupitem"));
        Choose(times, 47);

        const auto days = [&] {
            std::string ticked;
            for (const char* day : texts::WeekdayCaptions) {
                ticked +=
                    Find<wxCheckBox>(&window, std::string("chk") + day)->GetValue() ? 'x' : '.';
            }
            return ticked;
        };
        Click(&window, "chkDaily");
        EXPECT_EQ("xxxxxxx", days());
        Click(&window, "chkDaily", false);
        EXPECT_EQ(".......", days());
        for (const char* day : {"chkMonday", "chkWednesday", "chkFriday"}) {
            Click(&window, day);
        }

        Press(&window, "cmdTargetFile");
        EXPECT_EQ(target, Text(&window, "txtTargetFile"));
        auto* keep = Find<wxSpinCtrl>(&window, "spnKeep");
        ASSERT_NE(nullptr, keep);
        EXPECT_EQ(1, keep->GetValue());
        keep->SetValue(3);
        wxSpinEvent spun(wxEVT_SPINCTRL, keep->GetId());
        spun.SetEventObject(keep);
        spun.SetPosition(3);
        keep->ProcessWindowEvent(spun);
        Click(&window, "chkDifferential");
        EXPECT_FALSE(Find<wxTextCtrl>(&window, "txtTargetFile")->IsEditable());
        auto* password = Find<wxTextCtrl>(&window, "txtPassword");
        EXPECT_FALSE(password->IsEnabled());
        Click(&window, "ifprotect");
        EXPECT_TRUE(password->IsEnabled());
        password->SetValue(wxString::FromUTF8("p\xC3\xA4ss"));
        Find<wxTextCtrl>(&window, "txtPassword2")->SetValue(wxString::FromUTF8("p\xC3\xA4ss"));

        EXPECT_EQ((std::vector<std::string>{"[close it and start it again]",
                                            "use a shadow copy (needs administrator rights)",
                                            "leave the data files out"}),
                  Entries(&window, "cmbWhenOutlookRuns"));
        Choose(Find<wxChoice>(&window, "cmbWhenOutlookRuns"), 2);

        Press(&window, "Command1");
        scheduler->listing = Error{"list", "jobs", 5, "Access is denied."};
        Press(&window, "Command1");
        PauseForScreenshot("options-window");
        Press(&window, "Command3");
    }));
    EXPECT_EQ(1, listingWindow.shown);
    ASSERT_EQ(1u, scheduler->added.size());
    const JobInfo& job = scheduler->added[0];
    EXPECT_EQ(
        "--keep 3 --differential 7 --password-key job-1 "
        "sf=Outlookxm=101000000ps=bf=D:\\Backups\\weekly.ksb",
        job.Arguments);
    EXPECT_EQ("p\xC3\xA4ss", fake.secrets.kept["job-1"]);
    EXPECT_TRUE(useOptionsWindow([&](wxDialog& window) {
        // The choice is the user's for every scheduled run, so the next window shows it.
        EXPECT_EQ(
            "leave the data files out",
            Find<wxChoice>(&window, "cmbWhenOutlookRuns")->GetStringSelection().utf8_string());
        Press(&window, "cmdJobListing");
        Press(&window, "Command2");
    }));
    EXPECT_EQ(2, listingWindow.shown);
    EXPECT_EQ(84600000u, job.JobTime);
    EXPECT_EQ(0x15, job.DaysOfWeek);

    // Cancel and the close box add nothing.
    for (void (*close)(wxDialog&) : {+[](wxDialog& window) { Press(&window, "Command2"); },
                                     +[](wxDialog& window) { window.Close(); }}) {
        EXPECT_TRUE(useOptionsWindow([&](wxDialog& window) {
            Click(&window, "backupitem0");
            close(window);
        }));
    }
    EXPECT_EQ(1u, scheduler->added.size());
    EXPECT_TRUE(WriteUnattendedOutlookWay(*registry, IfOutlookRuns::Close));
}

// With the administrator's policies set, the options window shows their values in disabled
// controls, each with "Set by your administrator" beside it (options-window-policies.png); what
// the policies leave open stays the user's.
TEST_F(SampleMachineWindow, OptionsWindowShowsThePoliciesSetLocked)
{
    testing::PolicyKeys policies(*fake.platform.registry);
    policies.Text(reg::HkeyLocalMachine, "Target", "\\\\srv\\backups\\bob.ksb");
    policies.Text(reg::HkeyLocalMachine, "Days", "mon,wed,fri");
    policies.Text(reg::HkeyLocalMachine, "Time", "21:15");
    policies.Number(reg::HkeyLocalMachine, "Keep", 4);
    policies.Text(reg::HkeyLocalMachine, "Items", "1");
    policies.Text(reg::HkeyCurrentUser, "WhenOutlookRuns", "snapshot");
    policies.Number(reg::HkeyLocalMachine, "PasswordRequired", 1);
    PromptAnswerer answerer(
        [&](wxDialog& window) {
            const auto note = [&](const char* name) {
                auto* text = Find<wxStaticText>(&window, name);
                return text && text->IsShown() ? text->GetLabel().utf8_string() : std::string();
            };
            for (const char* name : {"policyItems", "policyStartTime", "policyDays", "policyTarget",
                                     "policyKeep", "policyWhenOutlookRuns", "policyPassword"}) {
                EXPECT_EQ("Set by your administrator", note(name)) << name;
            }
            EXPECT_EQ("\\\\srv\\backups\\bob.ksb",
                      Find<wxTextCtrl>(&window, "txtTargetFile")->GetValue().utf8_string());
            EXPECT_FALSE(Find<wxButton>(&window, "cmdTargetFile")->IsEnabled());
            EXPECT_EQ("21:15",
                      Find<wxChoice>(&window, "cmbStartTime")->GetStringSelection().utf8_string());
            EXPECT_FALSE(Find<wxChoice>(&window, "cmbStartTime")->IsEnabled());
            for (const char* day : {"chkMonday", "chkWednesday", "chkFriday"}) {
                EXPECT_TRUE(Find<wxCheckBox>(&window, day)->GetValue()) << day;
                EXPECT_FALSE(Find<wxCheckBox>(&window, day)->IsEnabled()) << day;
            }
            EXPECT_FALSE(Find<wxCheckBox>(&window, "chkTuesday")->GetValue());
            EXPECT_EQ(4, Find<wxSpinCtrl>(&window, "spnKeep")->GetValue());
            EXPECT_FALSE(Find<wxSpinCtrl>(&window, "spnKeep")->IsEnabled());
            EXPECT_TRUE(Find<wxCheckBox>(&window, "backupitem0")->GetValue());
            EXPECT_FALSE(Find<wxCheckBox>(&window, "backupitem0")->IsEnabled());
            EXPECT_FALSE(Find<wxCheckBox>(&window, "backupitem1")->GetValue());
            EXPECT_EQ(1, Find<wxChoice>(&window, "cmbWhenOutlookRuns")->GetSelection());
            EXPECT_FALSE(Find<wxChoice>(&window, "cmbWhenOutlookRuns")->IsEnabled());
            EXPECT_TRUE(Find<wxCheckBox>(&window, "ifprotect")->GetValue());
            EXPECT_FALSE(Find<wxCheckBox>(&window, "ifprotect")->IsEnabled());
            // The password itself is the user's to type.
            EXPECT_TRUE(Find<wxTextCtrl>(&window, "txtPassword")->IsEnabled());
            PauseForScreenshot("options-window-policies");
            Press(&window, "Command2");
        },
        "Frmoption");
    ChooseMenu(*frame, "Option(&O)", "Task Scheduler");
    EXPECT_EQ(1, answerer.shown);
}

// The disc window after a backup, with one simulated drive holding a blank CD-RW.
#ifdef _WIN32
// Outlook under Wine: a program that holds the data file until it is asked to close.
struct HeldUntilAsked final : FileHolders {
    std::vector<FileHolder> HoldersOf(const std::string& path) override
    {
        return running && path == file ? std::vector<FileHolder>{{"OUTLOOK.EXE", 412, ""}}
                                       : std::vector<FileHolder>{};
    }
    bool AskToClose(const FileHolder&) override
    {
        running = false;
        return true;
    }
    bool IsRunning(const FileHolder&) override { return running; }
    bool StartAgain(const FileHolder&) override
    {
        running = true;
        ++started;
        return true;
    }
    std::string file;
    bool running = true;
    int started = 0;
};
#endif

// Outlook holds the data file when Backup Now is pressed: the window's question (captured as
// outlook-running.png), answered "close it": the program closed, the file backed up, the
// program running again. On Linux the emulated machine's own Outlook, kestrel-holder.
TEST_F(SampleMachineWindow, AsksWhileOutlookHoldsTheDataFileThenClosesAndStartsItAgain)
{
    const std::string dataFile = "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst";
#ifdef _WIN32
    auto* holders = new HeldUntilAsked;
    holders->file = dataFile;
    fake.platform.fileHolders.reset(holders);
    const auto holderNow = [&] { return holders->HoldersOf(dataFile); };
    const std::string process = "OUTLOOK.EXE (process 412)";
#else
    fake.platform.fileHolders = std::make_unique<EmulatedHolders>(root);
    const auto holderNow = [&] { return fake.platform.fileHolders->HoldersOf(dataFile); };
    setenv("KESTREL_HOME", root.c_str(), 1);
    ASSERT_EQ(0,
              std::system(("'" KESTREL_HOLDER "' '" + dataFile + "' >/dev/null 2>&1 &").c_str()));
    ASSERT_TRUE(RunEventLoopUntil([&] { return !holderNow().empty(); }, std::chrono::seconds(10)))
        << "kestrel-holder did not start";
    const std::uint32_t first = holderNow().front().processId;
    const std::string process = "OUTLOOK.EXE (process " + std::to_string(first) + ")";
#endif
    ExpectSaveDialog("kesbak", archive);
    Press(frame, "cmdTargetFile");
    Click(frame, "backupitem0");
    messages.Expect(process + " is using these files:\r\n\r\n" + dataFile + "\r\n\r\nYes: close " +
                        process +
                        ", back up and start it again afterwards.\r\n"
                        "No: back up without these files.\r\nCancel: do not back up now.",
                    MessageIcon::Question, MessageAnswer::Yes);
    // Backed up only once the program let go of the file.
    messages.Expect("The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t",
                    MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect("Do you need to backup your data to CD-R/RW or DVD?", MessageIcon::Information,
                    MessageAnswer::Cancel);
    onScreen.showHeldQuestion = true;
    Press(frame, "cmdApply");
    WaitForTheEnd();
    EXPECT_TRUE(fake.platform.fileSystem->FileExists(archive));
    // A program started again takes a moment to open its files.
    RunEventLoopUntil([&] { return !holderNow().empty(); }, std::chrono::seconds(10));
    const std::vector<FileHolder> again = holderNow();
    EXPECT_EQ(1u, again.size()) << "the program was not started again";
#ifdef _WIN32
    EXPECT_EQ(1, holders->started);
#else
    for (const FileHolder& holder : again) {
        EXPECT_NE(first, holder.processId);
        kill(static_cast<pid_t>(holder.processId), SIGTERM);
    }
    RunEventLoopUntil([&] { return holderNow().empty(); }, std::chrono::seconds(10));
#endif
}

TEST_F(SampleMachineWindow, DiscWindowComposesTheNewBackupWritesItAndErasesTheDisc)
{
    SimulatedDiscEngine* engine = nullptr;
    SimulatedDevice* drive = nullptr;
    makeEngine = [&](FileSystem& files) {
        auto made = std::make_unique<SimulatedDiscEngine>(files);
        drive = &made->AddDrive("KESTREL CDRW-48");
        drive->capabilities = {capability::EraseCdRw, capability::BufferProtection};
        drive->speeds = {1385 * 8, 1385 * 4};
        drive->LoadDisc(media::CdRw, true, true, 300000);
        drive->blankBlocks = 300000;
        engine = made.get();
        return made;
    };
    PrepareBackup({6}, "The Backup was Completed!\t\t\t\r\n\r\nBackup Templates\tSucceeded!\t",
                  MessageAnswer::Ok);
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
        using Strings = std::vector<std::string>;
        EXPECT_EQ(Strings{"[KESTREL CDRW-48]"}, Entries(&window, "cboDevices"));
        EXPECT_EQ((Strings{"[8.0x]", "4.0x"}), Entries(&window, "cboWriteSpeed"));
        EXPECT_EQ((Strings{"ISO9660", "UDF", "ISO9660/Joliet Bridge",
                           "ISO9660/UDF (DVDVideo) Bridge", "[ISO9660/Joliet/UDF Bridge]"}),
                  Entries(&window, "cboVolumeType"));
        auto* bufferProtect = Find<wxCheckBox>(&window, "chkUseBufferProtect");
        EXPECT_TRUE(bufferProtect->IsEnabled() && bufferProtect->GetValue());
        EXPECT_EQ("Use Buffer Protection", bufferProtect->GetLabel().utf8_string());
        EXPECT_TRUE(writeDisc->IsEnabled());
        EXPECT_FALSE(cancel->IsEnabled());

        // A folder and a file dropped from the desktop go in at the root.
        auto* drop = dynamic_cast<wxFileDropTarget*>(tree->GetDropTarget());
        ASSERT_NE(nullptr, drop);
        wxArrayString dropped;
        dropped.Add(wxString(files.NativePath(roaming + "Signatures").wstring()));
        dropped.Add(wxString(files.NativePath(roaming + "Templates\\NormalEmail.dotm").wstring()));
        drop->OnDropFiles(0, 0, dropped);
        EXPECT_EQ("Files: 5", StatusPanel(window, 1));
        EXPECT_EQ("Folders: 2", StatusPanel(window, 2));
        const auto firstFolder = [&] {
            wxTreeItemIdValue cookie;
            return tree->GetFirstChild(tree->GetRootItem(), cookie);
        };
        EXPECT_EQ(1u, tree->GetChildrenCount(tree->GetRootItem(), false));
        EXPECT_EQ("Signatures", tree->GetItemText(firstFolder()).utf8_string());
        std::set<std::string> rows;
        for (long row = 0; row < list->GetItemCount(); ++row) {
            rows.insert(list->GetItemText(row).utf8_string());
        }
        EXPECT_EQ((std::set<std::string>{"mail.ksb", "NormalEmail.dotm"}), rows);
        const long dotm = list->FindItem(-1, "NormalEmail.dotm");
        ASSERT_NE(-1, dotm);
        EXPECT_EQ("0.01 KB", list->GetItemText(dotm, 1).utf8_string()) << "10 bytes";

        // The folder is renamed in the tree's own editor.
        const wxTreeItemId signatures = firstFolder();
        tree->SelectItem(signatures);
        ChooseMenu(window, "&File", "Rename Folder");
        wxTextCtrl* editor = tree->GetEditControl();
        ASSERT_NE(nullptr, editor) << "no label editor";
        editor->SetValue("Mail Signatures");
        tree->EndEditLabel(signatures, false);
        Settle();
        EXPECT_EQ("Mail Signatures", tree->GetItemText(firstFolder()).utf8_string());
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
        EXPECT_EQ(1u, engine->writes.size());

        // Erase Disc... opens the erase window over this one.
        PromptAnswerer eraseAnswer(
            [&](wxDialog& erase) {
                EXPECT_EQ("Erase Re-Writable CD/DVD", erase.GetTitle().utf8_string());
                EXPECT_EQ(&window, erase.GetParent());
                auto* quick = Find<wxCheckBox>(&erase, "chkQuikErase");
                EXPECT_EQ("Perform Quick Erase", quick->GetLabel().utf8_string());
                EXPECT_TRUE(quick->GetValue());
                PauseForScreenshot("disc-erase");
                Press(&erase, "cmdErase");
                messages.Expect("Erase Completed!!!", MessageIcon::Information, MessageAnswer::Ok);
                engine->RunErase(*drive);
            },
            "frmErase");
        ChooseMenu(window, "&Device", "Erase Disc...");
        EXPECT_EQ(1, eraseAnswer.shown);
        EXPECT_EQ(std::vector<std::string>{"quick 0"}, drive->erases);
    });
    Press(frame, "cmdApply");
    WaitForTheEnd();
    EXPECT_TRUE(steps.ran) << "the disc window did not open";
    EXPECT_EQ(nullptr, wxWindow::FindWindowByName("frmMaindvdwrite"));
    EXPECT_EQ("", state.PendingDiscFileName);
    EXPECT_EQ("", state.PendingDiscFilePath);
    EXPECT_TRUE(frame->IsShown() && frame->IsEnabled());
}

// The disc window from the main window's menu, with engines that leave it little to do.
TEST_F(SampleMachineWindow, DiscWindowWithoutAnEngineOrADrive)
{
    const struct {
        const char* name;
        bool initializes;
        std::string message;
        MessageIcon icon;
    } cases[] = {
        {"engine that cannot start", false, "Devices Cannot be initialized...Contact support!",
         MessageIcon::None},
        {"no drive", true,
         "There are no compatible devices reported.\r\nSome older devices are not currently "
         "supported.",
         MessageIcon::Information},
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
            wxMenuBar* bar = dynamic_cast<wxFrame&>(window).GetMenuBar();
            for (const char* item : {"Eject", "Close Tray", "Erase Disc..."}) {
                EXPECT_FALSE(bar->IsEnabled(bar->FindMenuItem("&Device", item))) << item;
            }
            EXPECT_EQ(std::vector<std::string>{}, Entries(&window, "cboDevices"));
        });
        ChooseMenu(*frame, "Option(&O)", "Backup Data to CD/DVD");
        EXPECT_EQ(1, made);
        EXPECT_EQ(c.initializes, steps.ran) << "opens only with an engine";
        EXPECT_EQ(nullptr, wxWindow::FindWindowByName("frmMaindvdwrite"));
        // The program goes on.
        EXPECT_TRUE(frame->IsShown() && frame->IsEnabled());
    }
}

#ifdef _WIN32
// The Wine stand-in for Outlook (tests/cli/outlook-stand-in), run as a file named OUTLOOK.EXE
// in `folder`, holding one file; whatever still runs of it (the first start, or the one a run
// started again) is ended with the test.
class WineOutlook {
public:
    WineOutlook(const std::filesystem::path& folder, const std::filesystem::path& heldFile)
        : program_(folder / "OUTLOOK.EXE")
    {
        std::wstring self(MAX_PATH * 2, L'\0');
        self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
        // The test program is tests/gui/kestrel_gui_tests.exe, the stand-in tests/.
        const std::filesystem::path standIn =
            std::filesystem::path(self).parent_path().parent_path() /
            "kestrel_outlook_stand_in.exe";
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(standIn, program_,
                                   std::filesystem::copy_options::overwrite_existing);
        std::wstring commandLine =
            L"\"" + program_.wstring() + L"\" \"" + heldFile.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        started_ = CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &process) != 0;
        if (started_) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    WineOutlook(const WineOutlook&) = delete;
    WineOutlook& operator=(const WineOutlook&) = delete;
    ~WineOutlook()
    {
        for (const unsigned long id : RunningIds()) {
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                TerminateProcess(process, 0);
                WaitForSingleObject(process, 10000);
                CloseHandle(process);
            }
        }
    }
    bool Started() const { return started_; }
    // The stand-in's own record of its starts and ends ("started PID", "closed PID").
    std::vector<std::string> Log() const
    {
        std::ifstream log(program_.string() + ".log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<unsigned long> RunningIds() const
    {
        std::vector<unsigned long> running;
        for (const std::string& line : Log()) {
            std::istringstream words(line);
            std::string word;
            unsigned long id = 0;
            if (!(words >> word >> id)) {
                continue;
            }
            if (word == "started") {
                running.push_back(id);
            } else {
                std::erase(running, id);
            }
        }
        return running;
    }

private:
    std::filesystem::path program_;
    bool started_ = false;
};

// Backup Now with the options window's way "use a shadow copy", as an administrator (Wine's
// user is one: its token counts as elevated), while the stand-in for Outlook holds the data
// file. The question offers the shadow copy; Wine's shadow copy service cannot make one, so
// the run closes the program instead, backs up, says why in its result and starts the program
// again. The result and the stand-in's record of the run are kept in
// backup-snapshot-fallback.txt beside the screenshots.
TEST_F(SampleMachineWindow, BackupNowFallsBackToClosingOutlookWhenNoShadowCopyCanBeMade)
{
    const std::string dataFile = "C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst";
    ASSERT_TRUE(Win32SystemInfo().HasAdministratorRights())
        << "Wine's user does not count as an elevated administrator";
    fake.system.administrator = true;
    // Wine's own answer, for the message to be compared word for word.
    std::string noSnapshot;
    {
        Win32ShadowCopies probe;
        ASSERT_FALSE(probe.Create({dataFile})) << "Wine made a shadow copy";
        noSnapshot = probe.Problem();
    }
    fake.platform.shadowCopies = std::make_unique<Win32ShadowCopies>();
    fake.platform.fileHolders = std::make_unique<Win32FileHolders>();
    ASSERT_TRUE(WriteUnattendedOutlookWay(*registry, IfOutlookRuns::Snapshot));
    const std::vector<std::string> logBefore = ReadBackupLog(fake.platform);

    const WineOutlook outlook(
        fake.platform.fileSystem->NativePath(std::string(Folder) + "\\outlook"),
        fake.platform.fileSystem->NativePath(dataFile));
    ASSERT_TRUE(outlook.Started());
    const auto holderNow = [&] { return fake.platform.fileHolders->HoldersOf(dataFile); };
    // Its window exists once it records its start (it opens the file first, and a program
    // with no window yet is not asked to close).
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return !holderNow().empty() && !outlook.RunningIds().empty(); },
                          std::chrono::seconds(20)))
        << "the stand-in did not hold the data file";
    const std::uint32_t first = holderNow().front().processId;
    const std::string process = "OUTLOOK.EXE (process " + std::to_string(first) + ")";

    ExpectSaveDialog("kesbak", archive);
    Press(frame, "cmdTargetFile");
    Click(frame, "backupitem0");
    messages.Expect(process + " is using these files:\r\n\r\n" + dataFile +
                        "\r\n\r\nYes: back up these files from a shadow copy while " + process +
                        " keeps running (it is closed and started again when no shadow copy can "
                        "be made).\r\nNo: back up without these files.\r\n"
                        "Cancel: do not back up now.",
                    MessageIcon::Question, MessageAnswer::Yes);
    const std::string result =
        "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t\r\n\r\n"
        "No shadow copy could be used (no shadow copy could be made: " +
        noSnapshot + "), so " + process + " was asked to close for the backup instead.";
    messages.Expect(result, MessageIcon::Information, MessageAnswer::Ok);
    messages.Expect("Do you need to backup your data to CD-R/RW or DVD?", MessageIcon::Information,
                    MessageAnswer::Cancel);
    Press(frame, "cmdApply");
    WaitForTheEnd();
    EXPECT_TRUE(fake.platform.fileSystem->FileExists(archive));
    // Closed for the backup and started again afterwards (its start recorded once its
    // window exists, which the test's end needs to find it).
    RunEventLoopUntil(
        [&] {
            return !holderNow().empty() && holderNow().front().processId != first &&
                   outlook.RunningIds() ==
                       std::vector<unsigned long>{holderNow().front().processId};
        },
        std::chrono::seconds(20));
    const std::vector<FileHolder> again = holderNow();
    ASSERT_EQ(1u, again.size()) << "the program was not started again";
    EXPECT_NE(first, again.front().processId);
    const std::vector<std::string> record{"started " + std::to_string(first),
                                          "closed " + std::to_string(first),
                                          "started " + std::to_string(again.front().processId)};
    EXPECT_EQ(record, outlook.Log());
    if (!screenshotFolder.empty()) {
        std::ofstream text(screenshotFolder / "backup-snapshot-fallback.txt");
        text << "The question:\n"
             << process << " is using these files: " << dataFile << "\nThe result message:\n"
             << result << "\nThe stand-in's record:\n";
        for (const std::string& line : outlook.Log()) {
            text << line << "\n";
        }
        const std::vector<std::string> logAfter = ReadBackupLog(fake.platform);
        text << "Lines the run added to kestrel.log: " << logAfter.size() - logBefore.size()
             << "\n";
    }
    EXPECT_TRUE(WriteUnattendedOutlookWay(*registry, IfOutlookRuns::Close));
}
#endif

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
