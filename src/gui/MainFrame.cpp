#include "gui/MainFrame.h"

#include <tuple>
#include <utility>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "app/MainWindowTexts.h"
#include "disc/SystemDiscEngine.h"
#include "gui/AboutDialog.h"
#include "gui/ControlBinding.h"
#include "gui/OptionsDialog.h"
#include "gui/QueuedProgress.h"

namespace kestrel {
namespace {

enum MenuId {
    IdBackupNow = wxID_HIGHEST + 1,
    IdRestoreNow,
    IdQuit,
    IdTaskScheduler,
    IdBackupToCd,
    IdHelpFile,
    IdOurWebsite,
    IdAbout,
    IdSelectAllItems,
    IdDeselectAllItems,
    IdSelectAllItems2,
    IdDeselectAllItems2,
};

std::unique_ptr<wxMenu> ItemsMenu(int selectId, int deselectId)
{
    auto menu = std::make_unique<wxMenu>();
    menu->Append(selectId, Text(texts::SelectAllItems));
    menu->Append(deselectId, Text(texts::DeselectAllItems));
    return menu;
}

// The model's texts break lines with CR LF (a description may hold any kind); wx text
// controls take "\n" on every system and give it the platform's form themselves.
wxString LineBreaksOfControls(const std::string& text)
{
    wxString shown = wxString::FromUTF8(text);
    shown.Replace("\r\n", "\n");
    shown.Replace("\r", "\n");
    return shown;
}

// A label above a control, as the window's frames lay them out.
void AddLabelled(wxWindow* parent, wxSizer* sizer, const char* label, wxWindow* control)
{
    sizer->Add(new wxStaticText(parent, wxID_ANY, Text(label)), 0, wxLEFT | wxRIGHT | wxTOP, 4);
    sizer->Add(control, 0, wxEXPAND | wxALL, 4);
}

}  // namespace

MainFrame::MainFrame(AppState& state, Platform& platform, Scheduler* scheduler, Messages* messages,
                     Dialogs* dialogs, DiscEngineFactory discEngines)
    : wxFrame(nullptr, wxID_ANY, Text(texts::MainWindowCaption), wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE, "frmMain"),
      state_(state),
      platform_(platform),
      scheduler_(scheduler),
      messages_(messages),
      dialogs_(dialogs),
      discEngines_(std::move(discEngines)),
      wxMessages_(this),
      wxDialogs_(this),
      model_(state, platform, scheduler, messages ? *messages : wxMessages_,
             dialogs ? *dialogs : wxDialogs_, *this)
{
    BuildMenus();
    auto* root = new wxPanel(this);
    root_ = root;
    auto* sizer = new wxBoxSizer(wxVERTICAL);

    tabs_ = new wxNotebook(root, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "SSTab1");
    tabs_->AddPage(BuildBackupPage(), Text(texts::BackupTab));
    tabs_->AddPage(BuildRestorePage(), Text(texts::RestoreTab));
    sizer->Add(tabs_, 1, wxEXPAND | wxALL, 6);

    progressPanel_ = BuildProgressPanel(root);
    sizer->Add(progressPanel_, 0, wxEXPAND | wxLEFT | wxRIGHT, 6);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    apply_ = new wxButton(root, wxID_ANY, Text(texts::BackupNow), wxDefaultPosition, wxDefaultSize,
                          0, wxDefaultValidator, "cmdApply");
    auto* about = new wxButton(root, wxID_ANY, Text(texts::About), wxDefaultPosition, wxDefaultSize,
                               0, wxDefaultValidator, "cmdAbout");
    auto* quit = new wxButton(root, wxID_ANY, Text(texts::Quit), wxDefaultPosition, wxDefaultSize,
                              0, wxDefaultValidator, "cmdQuit");
    buttons->AddStretchSpacer();
    for (wxButton* button : {apply_, about, quit}) {
        buttons->Add(button, 0, wxALL, 4);
    }
    sizer->Add(buttons, 0, wxEXPAND | wxALL, 4);
    root->SetSizer(sizer);
    // Sized with the progress panel in place, so that showing it during a run takes room
    // from the tabs' spare space instead of resizing the window or squeezing its frames.
    progressPanel_->Show();
    sizer->SetSizeHints(this);
    progressPanel_->Hide();
    root->Layout();

    apply_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.ApplyClicked();
        ShowModelState();
    });
    about->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { model_.AboutChosen(); });
    quit->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { model_.QuitChosen(); });
    tabs_->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, [this](wxBookCtrlEvent& event) {
        model_.TabClicked(event.GetSelection() == 1 ? MainTab::Restore : MainTab::Backup);
        ShowModelState();
    });
    // Not skipped: the window goes only when the model ends the program (EndProgram).
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { model_.QuitChosen(); });
    BindMenuCommands();
    ShowModelState();
}

MainFrame::~MainFrame()
{
    if (worker_.joinable()) {
        model_.CancelClicked();
        worker_.join();
    }
    if (busyShown_) {
        wxEndBusyCursor();
    }
}

void MainFrame::BuildMenus()
{
    auto* file = new wxMenu;
    file->Append(IdBackupNow, Text(texts::BackupNow));
    file->Append(IdRestoreNow, Text(texts::RestoreNow));
    file->AppendSeparator();
    file->Append(IdQuit, Text(texts::Quit));
    auto* option = new wxMenu;
    option->Append(IdTaskScheduler, Text(texts::TaskScheduler));
    option->Append(IdBackupToCd, Text(texts::BackupToCd));
    auto* help = new wxMenu;
    help->Append(IdHelpFile, Text(texts::Help));
    help->Append(IdOurWebsite, Text(texts::OurWebsite));
    help->Append(IdAbout, Text(texts::About));

    auto* bar = new wxMenuBar;
    bar->Append(file, Text(texts::FileMenu));
    bar->Append(option, Text(texts::OptionMenu));
    bar->Append(help, Text(texts::HelpMenu));
    SetMenuBar(bar);

    backupItemsMenu_ = ItemsMenu(IdSelectAllItems, IdDeselectAllItems);
    restoreItemsMenu_ = ItemsMenu(IdSelectAllItems2, IdDeselectAllItems2);
}

void MainFrame::BindMenuCommands()
{
    const std::pair<int, void (MainWindowModel::*)()> commands[] = {
        {IdBackupNow, &MainWindowModel::BackupNowChosen},
        {IdRestoreNow, &MainWindowModel::RestoreNowChosen},
        {IdQuit, &MainWindowModel::QuitChosen},
        {IdTaskScheduler, &MainWindowModel::TaskSchedulerChosen},
        {IdBackupToCd, &MainWindowModel::BackupToCdChosen},
        {IdHelpFile, &MainWindowModel::HelpChosen},
        {IdOurWebsite, &MainWindowModel::OurWebsiteChosen},
        {IdAbout, &MainWindowModel::AboutChosen},
    };
    BindModelCommands(*this, model_, commands, [this] { ShowModelState(); });
    const std::tuple<int, MainTab, bool> itemCommands[] = {
        {IdSelectAllItems, MainTab::Backup, true},
        {IdDeselectAllItems, MainTab::Backup, false},
        {IdSelectAllItems2, MainTab::Restore, true},
        {IdDeselectAllItems2, MainTab::Restore, false},
    };
    for (const auto& [id, tab, select] : itemCommands) {
        Bind(
            wxEVT_MENU,
            [this, tab = tab, select = select](wxCommandEvent&) {
                select ? model_.SelectAllItems(tab) : model_.DeselectAllItems(tab);
                ShowModelState();
            },
            id);
    }
}

wxPanel* MainFrame::BuildBackupPage()
{
    auto* page = new wxPanel(tabs_);
    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);
    auto* right = new wxBoxSizer(wxVERTICAL);

    auto* what = new wxStaticBoxSizer(wxVERTICAL, page, Text(texts::WhatFrame));
    source_ = new wxChoice(what->GetStaticBox(), wxID_ANY, wxDefaultPosition, wxDefaultSize, 0,
                           nullptr, 0, wxDefaultValidator, "cbSource");
    AddLabelled(what->GetStaticBox(), what, texts::ProfileToBackup, source_);
    source_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        model_.SourceProfileChosen(event.GetSelection());
        ShowModelState();
    });
    left->Add(what, 0, wxEXPAND | wxALL, 4);
    left->Add(BuildItemsFrame(page, MainTab::Backup, texts::ItemsToBackup, "Frame6"), 1,
              wxEXPAND | wxALL, 4);

    // The target is set only by the save dialog, so its box is read-only.
    wxButton* browse = nullptr;
    auto* where = BuildWhereFrame(page, texts::ChooseBackupFileName, "txtTargetFile",
                                  "cmdTargetFile", wxTE_READONLY, &targetFile_, &browse);
    browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.TargetFileClicked();
        ShowModelState();
    });
    wxWindow* whereBox = where->GetStaticBox();
    auto* description = new wxTextCtrl(whereBox, wxID_ANY, "", wxDefaultPosition, wxSize(-1, 70),
                                       wxTE_MULTILINE, wxDefaultValidator, "txtAttachInfo");
    AddLabelled(whereBox, where, texts::Description, description);
    description->Bind(wxEVT_TEXT, [this, description](wxCommandEvent&) {
        model_.SetDescription(description->GetValue().utf8_string());
    });
    right->Add(where, 0, wxEXPAND | wxALL, 4);

    auto* security = new wxStaticBoxSizer(wxVERTICAL, page, Text(texts::SecurityFrame));
    wxWindow* securityBox = security->GetStaticBox();
    protect_ = new wxCheckBox(securityBox, wxID_ANY, Text(texts::ProtectWithPassword),
                              wxDefaultPosition, wxDefaultSize, 0, wxDefaultValidator, "ifprotect");
    security->Add(protect_, 0, wxALL, 4);
    password_ = new wxTextCtrl(securityBox, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                               wxTE_PASSWORD, wxDefaultValidator, "txtPassword");
    retypedPassword_ = new wxTextCtrl(securityBox, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                                      wxTE_PASSWORD, wxDefaultValidator, "txtPassword2");
    AddLabelled(securityBox, security, texts::Password, password_);
    AddLabelled(securityBox, security, texts::RetypePassword, retypedPassword_);
    protect_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
        model_.ProtectClicked(event.IsChecked());
        ShowModelState();
    });
    for (wxTextCtrl* box : {password_, retypedPassword_}) {
        box->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
            model_.SetPasswords(password_->GetValue().utf8_string(),
                                retypedPassword_->GetValue().utf8_string());
        });
    }
    right->Add(security, 0, wxEXPAND | wxALL, 4);
    verify_ = new wxCheckBox(page, wxID_ANY, Text(texts::VerifyAfterWriting), wxDefaultPosition,
                             wxDefaultSize, 0, wxDefaultValidator, "chkVerify");
    verify_->Bind(wxEVT_CHECKBOX,
                  [this](wxCommandEvent& event) { model_.SetVerify(event.IsChecked()); });
    right->Add(verify_, 0, wxALL, 8);

    columns->Add(left, 1, wxEXPAND);
    columns->Add(right, 1, wxEXPAND);
    page->SetSizer(columns);
    return page;
}

wxPanel* MainFrame::BuildRestorePage()
{
    auto* page = new wxPanel(tabs_);
    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);
    auto* right = new wxBoxSizer(wxVERTICAL);

    // The source is set only by the open dialog, so its box is read-only.
    wxButton* browse = nullptr;
    auto* where = BuildWhereFrame(page, texts::ChooseBackupToRestore, "txtSourceFile",
                                  "cmdSourceFile", wxTE_READONLY, &sourceFile_, &browse);
    browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.SourceFileClicked();
        ShowModelState();
    });
    wxWindow* whereBox = where->GetStaticBox();
    // The facts are five lines, all shown.
    for (auto [name, box, height] : {std::tuple{"txtFileInfo", &backupDescription_, 70},
                                     std::tuple{"txtPOBinfo", &backupFacts_, 100}}) {
        *box = new wxTextCtrl(whereBox, wxID_ANY, "", wxDefaultPosition, wxSize(-1, height),
                              wxTE_MULTILINE | wxTE_READONLY, wxDefaultValidator, name);
        where->Add(*box, 0, wxEXPAND | wxALL, 4);
    }
    left->Add(where, 1, wxEXPAND | wxALL, 4);

    auto* what = new wxStaticBoxSizer(wxVERTICAL, page, Text(texts::WhatFrame));
    target_ = new wxChoice(what->GetStaticBox(), wxID_ANY, wxDefaultPosition, wxDefaultSize, 0,
                           nullptr, 0, wxDefaultValidator, "cbTarget");
    AddLabelled(what->GetStaticBox(), what, texts::RestoreToProfile, target_);
    target_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        model_.SetTargetSelection(event.GetSelection());
    });
    right->Add(what, 0, wxEXPAND | wxALL, 4);
    right->Add(BuildItemsFrame(page, MainTab::Restore, texts::ItemsToRestore, "Frame7"), 1,
               wxEXPAND | wxALL, 4);

    columns->Add(left, 1, wxEXPAND);
    columns->Add(right, 1, wxEXPAND);
    page->SetSizer(columns);
    return page;
}

// The "Where" frame both tabs open with: a label, a file name box and its Browse button.
wxStaticBoxSizer* MainFrame::BuildWhereFrame(wxWindow* parent, const char* label,
                                             const char* textName, const char* buttonName,
                                             long textStyle, wxTextCtrl** text, wxButton** button)
{
    auto* where = new wxStaticBoxSizer(wxVERTICAL, parent, Text(texts::WhereFrame));
    wxWindow* box = where->GetStaticBox();
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    auto* name = new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxSize(220, -1), textStyle,
                                wxDefaultValidator, textName);
    auto* browse = new wxButton(box, wxID_ANY, Text(texts::Browse), wxDefaultPosition,
                                wxDefaultSize, 0, wxDefaultValidator, buttonName);
    row->Add(name, 1, wxALL, 4);
    row->Add(browse, 0, wxALL, 4);
    if (text != nullptr) {
        *text = name;
    }
    if (button != nullptr) {
        *button = browse;
    }
    where->Add(new wxStaticText(box, wxID_ANY, Text(label)), 0, wxLEFT | wxTOP, 4);
    where->Add(row, 0, wxEXPAND);
    return where;
}

wxStaticBoxSizer* MainFrame::BuildItemsFrame(wxWindow* parent, MainTab tab, const char* caption,
                                             const char* frameName)
{
    auto* frame = new wxStaticBox(parent, wxID_ANY, Text(caption), wxDefaultPosition, wxDefaultSize,
                                  0, frameName);
    auto* sizer = new wxStaticBoxSizer(frame, wxVERTICAL);
    auto& boxes = tab == MainTab::Backup ? backupItems_ : restoreItems_;
    const std::string arrayName = tab == MainTab::Backup ? "backupitem" : "restoreitem";
    for (int index = 0; index < ItemBoxCount; ++index) {
        auto* box =
            new wxCheckBox(frame, wxID_ANY, Text(texts::ItemCaptions[index]), wxDefaultPosition,
                           wxDefaultSize, 0, wxDefaultValidator, arrayName + std::to_string(index));
        box->Bind(wxEVT_CHECKBOX, [this, tab, index](wxCommandEvent& event) {
            model_.SetItemChecked(tab, index, event.IsChecked());
            ShowModelState();
        });
        // A right click anywhere in the frame, boxes included, opens its pop-up menu.
        box->Bind(wxEVT_RIGHT_DOWN, [this, tab](wxMouseEvent&) {
            model_.ItemsFrameMouseDown(tab, MouseButton::Right);
        });
        boxes[static_cast<std::size_t>(index)] = box;
        sizer->Add(box, 0, wxALL, 3);
    }
    frame->Bind(wxEVT_RIGHT_DOWN, [this, tab](wxMouseEvent&) {
        model_.ItemsFrameMouseDown(tab, MouseButton::Right);
    });
    return sizer;
}

wxPanel* MainFrame::BuildProgressPanel(wxWindow* parent)
{
    auto* panel = new wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "picCon3");
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    // The labels keep their width as their texts change: they span the panel.
    const auto label = [panel](const char* text, const char* name) {
        return new wxStaticText(panel, wxID_ANY, Text(text), wxDefaultPosition, wxDefaultSize,
                                wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE, name);
    };
    status_ = label(texts::PleaseWaiting, "Label1");
    progress_ = new wxGauge(panel, wxID_ANY, 100, wxDefaultPosition, wxDefaultSize, wxGA_HORIZONTAL,
                            wxDefaultValidator, "pbshow");
    fileText_ = label("", "SkinLabel9");
    writeText_ = label("", "SkinLabel10");
    cancel_ = new wxButton(panel, wxID_ANY, Text(texts::Cancel), wxDefaultPosition, wxDefaultSize,
                           0, wxDefaultValidator, "cmdCancel");
    cancel_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.CancelClicked();
        ShowModelState();
    });
    auto* bar = new wxBoxSizer(wxHORIZONTAL);
    bar->Add(progress_, 1, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    bar->Add(cancel_, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    sizer->Add(status_, 0, wxEXPAND | wxALL, 2);
    sizer->Add(bar, 0, wxEXPAND);
    sizer->Add(fileText_, 0, wxEXPAND | wxALL, 2);
    sizer->Add(writeText_, 0, wxEXPAND | wxALL, 2);
    panel->SetSizer(sizer);
    panel->Hide();
    return panel;
}

void MainFrame::LoadWindow()
{
    model_.Start();
    source_->Clear();
    target_->Clear();
    for (const std::string& name : model_.SourceProfiles()) {
        source_->Append(wxString::FromUTF8(name));
    }
    for (const std::string& name : model_.TargetProfiles()) {
        target_->Append(wxString::FromUTF8(name));
    }
    ShowModelState();
}

void MainFrame::SelectTab(MainTab tab)
{
    tabs_->SetSelection(tab == MainTab::Restore ? 1 : 0);
}

void MainFrame::OpenBackupFile(const std::string& path)
{
    SelectTab(MainTab::Restore);
    model_.OpenBackupFile(path);
    ShowModelState();
}

void MainFrame::ShowModelState()
{
    apply_->SetLabel(wxString::FromUTF8(model_.ApplyCaption()));
    apply_->Enable(model_.ApplyEnabled());
    source_->SetSelection(model_.SourceSelection());
    target_->SetSelection(model_.TargetSelection());
    ShowItems(MainTab::Backup);
    ShowItems(MainTab::Restore);

    protect_->SetValue(model_.Protect());
    verify_->SetValue(model_.Verify());
    ShowPasswordBoxes(model_, password_, retypedPassword_);

    ShowText(targetFile_, LineBreaksOfControls(model_.TargetFileText()));
    ShowText(sourceFile_, LineBreaksOfControls(model_.SourceFileText()));
    ShowText(backupFacts_, LineBreaksOfControls(model_.BackupFactsText()));
    ShowText(backupDescription_, LineBreaksOfControls(model_.BackupDescriptionText()));
    ShowProgress();
}

void MainFrame::ShowProgress()
{
    const auto setLabel = [](wxStaticText* label, const std::string& text) {
        const wxString shown = wxString::FromUTF8(text);
        if (label->GetLabel() != shown) {
            label->SetLabel(shown);
        }
    };
    setLabel(status_, model_.StatusText());
    setLabel(fileText_, model_.FileText());
    setLabel(writeText_, model_.WriteText());
    if (progress_->GetValue() != model_.ProgressValue()) {
        progress_->SetValue(model_.ProgressValue());
    }
    cancel_->Enable(model_.CancelEnabled());
    if (busyShown_ != model_.Busy()) {
        busyShown_ = model_.Busy();
        busyShown_ ? wxBeginBusyCursor() : wxEndBusyCursor();
    }
    if (progressPanel_->IsShown() != model_.ProgressPanelVisible()) {
        progressPanel_->Show(model_.ProgressPanelVisible());
        root_->Layout();
    }
    // The collecting part of a run keeps the window thread busy: paint now, not when the
    // event loop gets its turn.
    progressPanel_->Update();
}

void MainFrame::ShowItems(MainTab tab)
{
    const ItemBoxStates& state = model_.Items(tab);
    auto& boxes = tab == MainTab::Backup ? backupItems_ : restoreItems_;
    for (std::size_t index = 0; index < boxes.size(); ++index) {
        boxes[index]->Enable(state[index].enabled);
        boxes[index]->SetValue(state[index].checked);
        boxes[index]->SetToolTip(wxString::FromUTF8(state[index].toolTip));
    }
}

void MainFrame::ShowPopupMenu(ItemsPopupMenu menu)
{
    PopupMenu(menu == ItemsPopupMenu::BackupItems ? backupItemsMenu_.get()
                                                  : restoreItemsMenu_.get());
}

void MainFrame::ShowAboutWindow()
{
    AboutDialog about(this);
    about.ShowModal();
}

void MainFrame::ShowSchedulerWindow()
{
    OptionsDialog options(this, state_, platform_, scheduler_, messages_, dialogs_);
    options.ShowModal();
}

void MainFrame::ShowDiscWindow()
{
    FileSystem& files = *platform_.fileSystem;
    std::unique_ptr<DiscEngine> engine =
        discEngines_ ? discEngines_(files)
                     : CreateSystemDiscEngine(files, DiscOptionsFromEnvironment());
    if (engine != nullptr) {
        DiscWindow window(this, std::move(engine), files, messages_);
        window.Run(state_.PendingDiscFileName, state_.PendingDiscFilePath);
    }
    // A hand-over is for this opening only, also when the window could not open: the next
    // opening from the menu starts empty.
    state_.PendingDiscFileName.clear();
    state_.PendingDiscFilePath.clear();
}

void MainFrame::RunInBackground(ProgressSink& window, std::function<void(ProgressSink&)> work,
                                std::function<void()> done)
{
    // One run at a time: the last worker was joined before its `done` ran.
    if (worker_.joinable()) {
        worker_.join();
    }
    worker_ = std::thread([this, &window, work = std::move(work), done = std::move(done)] {
        QueuedProgress progress(*this, window);
        work(progress);
        // Queued behind the worker's last progress call, so it comes after all of them.
        CallAfter([this, done] {
            worker_.join();
            done();
        });
    });
}

void MainFrame::EndProgram()
{
    // Secondary windows are modal and closed before the main window can be used again, so
    // only the main window is left to close; the program ends when it is gone.
    Destroy();
}

}  // namespace kestrel
