#include "gui/OptionsDialog.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/font.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/MainWindowTexts.h"
#include "app/Policies.h"
#include "gui/ControlBinding.h"
#include "scheduler/SchedulerTexts.h"

namespace kestrel {
namespace {

// A label above a control, as the window's frames lay them out.
void AddLabelled(wxWindow* parent, wxSizer* sizer, const char* label, wxWindow* control)
{
    sizer->Add(new wxStaticText(parent, wxID_ANY, Text(label)), 0, wxLEFT | wxRIGHT | wxTOP, 4);
    sizer->Add(control, 0, wxEXPAND | wxALL, 4);
}

wxButton* NamedButton(wxWindow* parent, wxWindowID id, const char* caption, const char* name)
{
    return new wxButton(parent, id, Text(caption), wxDefaultPosition, wxDefaultSize, 0,
                        wxDefaultValidator, name);
}

// The system's reason as it gave it, or the whole description when it gave none.
}  // namespace

OptionsDialog::OptionsDialog(wxWindow* parent, const AppState& state, Platform& platform,
                             Scheduler* scheduler, Messages* messages, Dialogs* dialogs)
    : wxDialog(parent, wxID_ANY, Text(texts::SchedulerWindowCaption), wxDefaultPosition,
               wxDefaultSize, wxDEFAULT_DIALOG_STYLE, "Frmoption"),
      wxMessages_(this),
      wxDialogs_(this),
      scheduler_(scheduler),
      messages_(messages ? *messages : wxMessages_),
      model_(state, platform, scheduler, messages_, dialogs ? *dialogs : wxDialogs_, *this)
{
    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(BuildProfileFrame(), 0, wxEXPAND | wxALL, 4);
    left->Add(BuildItemsFrame(), 1, wxEXPAND | wxALL, 4);
    auto* right = new wxBoxSizer(wxVERTICAL);
    right->Add(BuildScheduleFrame(), 0, wxEXPAND | wxALL, 4);
    right->Add(BuildTargetFile(), 0, wxEXPAND | wxALL, 4);
    right->Add(BuildSecurityFrame(), 0, wxEXPAND | wxALL, 4);
    columns->Add(left, 1, wxEXPAND);
    columns->Add(right, 1, wxEXPAND);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(columns, 1, wxEXPAND | wxALL, 4);
    sizer->Add(BuildButtons(), 0, wxEXPAND | wxALL, 4);
    SetSizerAndFit(sizer);
    CentreOnParent();

    model_.Load();
    FillLists();
    ShowModelState();
    ShowPolicyLocks();
}

wxStaticText* OptionsDialog::PolicyNote(wxWindow* parent, const char* name)
{
    auto* note = new wxStaticText(parent, wxID_ANY, Text(SetByAdministrator), wxDefaultPosition,
                                  wxDefaultSize, 0, name);
    note->Hide();
    return note;
}

void OptionsDialog::ShowPolicyLocks()
{
    const std::array<bool, PolicyLockCount> locked{model_.ItemsLocked(),  model_.StartTimeLocked(),
                                                   model_.DaysLocked(),   model_.TargetLocked(),
                                                   model_.KeepLocked(),   model_.OutlookWayLocked(),
                                                   model_.ProtectLocked()};
    startTime_->Enable(!locked[StartTimeLock]);
    for (wxCheckBox* day : days_) {
        day->Enable(!locked[DaysLock]);
    }
    daily_->Enable(!locked[DaysLock]);
    browse_->Enable(!locked[TargetLock]);
    keep_->Enable(!locked[KeepLock]);
    outlookWay_->Enable(!locked[OutlookWayLock]);
    protect_->Enable(!locked[ProtectLock]);
    bool any = false;
    for (std::size_t lock = 0; lock < locked.size(); ++lock) {
        policyNotes_[lock]->Show(locked[lock]);
        any = any || locked[lock];
    }
    if (any) {
        GetSizer()->SetSizeHints(this);
        Layout();
    }
}

wxSizer* OptionsDialog::BuildProfileFrame()
{
    auto* what = new wxStaticBoxSizer(wxVERTICAL, this, Text(texts::WhatFrame));
    source_ = new wxChoice(what->GetStaticBox(), wxID_ANY, wxDefaultPosition, wxDefaultSize, 0,
                           nullptr, 0, wxDefaultValidator, "cbSource");
    AddLabelled(what->GetStaticBox(), what, texts::ProfileToBackup, source_);
    source_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        model_.ProfileChosen(event.GetSelection());
        ShowModelState();
    });
    return what;
}

wxSizer* OptionsDialog::BuildItemsFrame()
{
    auto* frame = new wxStaticBoxSizer(wxVERTICAL, this, Text(texts::ItemsToBackup));
    for (int index = 0; index < ItemBoxCount; ++index) {
        auto* box = new wxCheckBox(
            frame->GetStaticBox(), wxID_ANY, Text(texts::ItemCaptions[index]), wxDefaultPosition,
            wxDefaultSize, 0, wxDefaultValidator, "backupitem" + std::to_string(index));
        box->Bind(wxEVT_CHECKBOX, [this, index](wxCommandEvent& event) {
            model_.SetItemChecked(index, event.IsChecked());
            ShowModelState();
        });
        items_[static_cast<std::size_t>(index)] = box;
        frame->Add(box, 0, wxALL, 3);
    }
    policyNotes_[ItemsLock] = PolicyNote(frame->GetStaticBox(), "policyItems");
    frame->Add(policyNotes_[ItemsLock], 0, wxALL, 3);
    return frame;
}

wxSizer* OptionsDialog::BuildScheduleFrame()
{
    auto* schedule = new wxStaticBoxSizer(wxVERTICAL, this, Text(texts::ScheduleFrame));
    wxWindow* box = schedule->GetStaticBox();
    startTime_ = new wxChoice(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, 0,
                              wxDefaultValidator, "cmbStartTime");
    AddLabelled(box, schedule, texts::StartBackupAt, startTime_);
    policyNotes_[StartTimeLock] = PolicyNote(box, "policyStartTime");
    schedule->Add(policyNotes_[StartTimeLock], 0, wxLEFT | wxRIGHT, 4);
    startTime_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        model_.StartTimeChosen(event.GetSelection());
        ShowModelState();
    });

    // Two columns of days, Monday first, as the weekday mask orders them.
    auto* days = new wxGridSizer(2, 2, 4);
    for (int day = 0; day < WeekdayCount; ++day) {
        const char* caption = texts::WeekdayCaptions[static_cast<std::size_t>(day)];
        auto* check = new wxCheckBox(box, wxID_ANY, Text(caption), wxDefaultPosition, wxDefaultSize,
                                     0, wxDefaultValidator, std::string("chk") + caption);
        check->Bind(wxEVT_CHECKBOX, [this, day](wxCommandEvent& event) {
            model_.SetDayChecked(static_cast<Weekday>(day), event.IsChecked());
            ShowModelState();
        });
        days_[static_cast<std::size_t>(day)] = check;
        days->Add(check, 0, wxLEFT | wxRIGHT, 4);
    }
    schedule->Add(days, 0, wxEXPAND | wxTOP | wxBOTTOM, 4);
    daily_ = new wxCheckBox(box, wxID_ANY, Text(texts::RunDaily), wxDefaultPosition, wxDefaultSize,
                            0, wxDefaultValidator, "chkDaily");
    daily_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
        model_.DailyClicked(event.IsChecked());
        ShowModelState();
    });
    schedule->Add(daily_, 0, wxALL, 4);
    policyNotes_[DaysLock] = PolicyNote(box, "policyDays");
    schedule->Add(policyNotes_[DaysLock], 0, wxLEFT | wxRIGHT, 4);
    return schedule;
}

wxSizer* OptionsDialog::BuildTargetFile()
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, Text(texts::ChooseScheduledFileName)), 0,
               wxLEFT | wxRIGHT | wxTOP, 4);
    // Only the save dialog chooses the target, so its box is read-only.
    targetFile_ = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(220, -1),
                                 wxTE_READONLY, wxDefaultValidator, "txtTargetFile");
    auto* browse = NamedButton(this, wxID_ANY, texts::Browse, "cmdTargetFile");
    browse_ = browse;
    browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.TargetFileClicked();
        ShowModelState();
    });
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(targetFile_, 1, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    row->Add(browse, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    sizer->Add(row, 0, wxEXPAND);
    policyNotes_[TargetLock] = PolicyNote(this, "policyTarget");
    sizer->Add(policyNotes_[TargetLock], 0, wxLEFT | wxRIGHT, 4);

    // "Keep the last [N] backups": more than one keeps dated archives beside the file chosen.
    keep_ = new wxSpinCtrl(this, wxID_ANY, "1", wxDefaultPosition, wxSize(120, -1), wxSP_ARROW_KEYS,
                           1, KeepAtMost, 1, "spnKeep");
    keep_->Bind(wxEVT_SPINCTRL, [this](wxSpinEvent& event) {
        model_.SetKeep(event.GetPosition());
        ShowModelState();
    });
    auto* keepRow = new wxBoxSizer(wxHORIZONTAL);
    keepRow->Add(new wxStaticText(this, wxID_ANY, Text(texts::KeepTheLast)), 0,
                 wxALIGN_CENTER_VERTICAL | wxALL, 4);
    keepRow->Add(keep_, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    keepRow->Add(new wxStaticText(this, wxID_ANY, Text(texts::KeptBackups)), 0,
                 wxALIGN_CENTER_VERTICAL | wxALL, 4);
    policyNotes_[KeepLock] = PolicyNote(this, "policyKeep");
    keepRow->Add(policyNotes_[KeepLock], 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    sizer->Add(keepRow, 0);
    differential_ =
        new wxCheckBox(this, wxID_ANY, Text(texts::DifferentialChoice), wxDefaultPosition,
                       wxDefaultSize, 0, wxDefaultValidator, "chkDifferential");
    differential_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
        model_.SetDifferential(event.IsChecked());
        ShowModelState();
    });
    sizer->Add(differential_, 0, wxALL, 4);

    outlookWay_ = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, 0,
                               wxDefaultValidator, "cmbWhenOutlookRuns");
    AddLabelled(this, sizer, texts::WhenOutlookRuns, outlookWay_);
    policyNotes_[OutlookWayLock] = PolicyNote(this, "policyWhenOutlookRuns");
    sizer->Add(policyNotes_[OutlookWayLock], 0, wxLEFT | wxRIGHT, 4);
    outlookWay_->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        model_.OutlookWayChosen(event.GetSelection());
        ShowModelState();
    });
    return sizer;
}

wxSizer* OptionsDialog::BuildSecurityFrame()
{
    auto* security = new wxStaticBoxSizer(wxVERTICAL, this, Text(texts::SecurityFrame));
    wxWindow* box = security->GetStaticBox();
    protect_ = new wxCheckBox(box, wxID_ANY, Text(texts::ProtectWithPassword), wxDefaultPosition,
                              wxDefaultSize, 0, wxDefaultValidator, "ifprotect");
    security->Add(protect_, 0, wxALL, 4);
    policyNotes_[ProtectLock] = PolicyNote(box, "policyPassword");
    security->Add(policyNotes_[ProtectLock], 0, wxLEFT | wxRIGHT, 4);
    password_ = new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD,
                               wxDefaultValidator, "txtPassword");
    retypedPassword_ = new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                                      wxTE_PASSWORD, wxDefaultValidator, "txtPassword2");
    AddLabelled(box, security, texts::Password, password_);
    AddLabelled(box, security, texts::RetypePassword, retypedPassword_);
    protect_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
        model_.ProtectClicked(event.IsChecked());
        ShowModelState();
    });
    for (wxTextCtrl* text : {password_, retypedPassword_}) {
        text->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
            model_.SetPasswords(password_->GetValue().utf8_string(),
                                retypedPassword_->GetValue().utf8_string());
        });
    }
    return security;
}

wxSizer* OptionsDialog::BuildButtons()
{
    auto* add = NamedButton(this, wxID_ANY, texts::AddTaskToScheduler, "Command3");
    auto* open = NamedButton(this, wxID_ANY, texts::OpenScheduler, "Command1");
    auto* listing = NamedButton(this, wxID_ANY, texts::ShowJobListing, "cmdJobListing");
    // wxID_CANCEL: Escape and the close box press it too.
    auto* cancel = NamedButton(this, wxID_CANCEL, texts::CloseScheduler, "Command2");
    add->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.AddTaskClicked();
        ShowModelState();
    });
    open->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { model_.OpenSchedulerClicked(); });
    listing->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { model_.JobListingClicked(); });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { model_.CancelClicked(); });
    SetEscapeId(wxID_CANCEL);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    for (wxButton* button : {add, open, listing, cancel}) {
        buttons->Add(button, 0, wxALL, 4);
    }
    return buttons;
}

void OptionsDialog::FillLists()
{
    source_->Clear();
    for (const std::string& name : model_.Profiles()) {
        source_->Append(wxString::FromUTF8(name));
    }
    startTime_->Clear();
    for (const std::string& time : model_.StartTimeList()) {
        startTime_->Append(wxString::FromUTF8(time));
    }
    outlookWay_->Clear();
    for (const std::string& way : SchedulerWindowModel::OutlookWayList()) {
        outlookWay_->Append(wxString::FromUTF8(way));
    }
}

void OptionsDialog::ShowModelState()
{
    source_->SetSelection(model_.ProfileSelection());
    const ItemBoxStates& items = model_.Items();
    for (std::size_t index = 0; index < items_.size(); ++index) {
        items_[index]->Enable(items[index].enabled);
        items_[index]->SetValue(items[index].checked);
        items_[index]->SetToolTip(wxString::FromUTF8(items[index].toolTip));
    }

    const std::vector<std::string>& times = model_.StartTimeList();
    const auto time = std::find(times.begin(), times.end(), model_.StartTime());
    startTime_->SetSelection(time == times.end() ? wxNOT_FOUND
                                                 : static_cast<int>(time - times.begin()));
    for (std::size_t day = 0; day < days_.size(); ++day) {
        days_[day]->SetValue(model_.Days()[day]);
    }
    daily_->SetValue(model_.Daily());

    ShowText(targetFile_, model_.TargetFileText());
    keep_->SetValue(model_.Keep());
    differential_->SetValue(model_.Differential());
    outlookWay_->SetSelection(model_.OutlookWaySelection());

    protect_->SetValue(model_.Protect());
    ShowPasswordBoxes(model_, password_, retypedPassword_);
}

void OptionsDialog::OpenScheduler()
{
    if (!scheduler_) {
        return;  // the model says so before it asks
    }
    const Result<std::string> shown = scheduler_->ShowJobs();
    if (!shown) {
        messages_.Show(texts::SchedulerNotOpened + shown.error().Reason(), texts::ApplicationTitle,
                       MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    // Empty: the system's own tool shows the jobs.
    if (!shown->empty()) {
        ShowJobListing(*shown);
    }
}

void OptionsDialog::ShowJobListing(const std::string& listing)
{
    JobListingDialog dialog(this, listing);
    dialog.ShowModal();
}

void OptionsDialog::CloseWindow()
{
    if (IsModal()) {
        EndModal(wxID_CANCEL);
    } else {
        Hide();
    }
}

JobListingDialog::JobListingDialog(wxWindow* parent, const std::string& listing)
    : wxDialog(parent, wxID_ANY, Text(texts::JobListingCaption), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER, "jobListing")
{
    wxString text = wxString::FromUTF8(listing);
    text.Replace("\r\n", "\n");
    auto* box = new wxTextCtrl(this, wxID_ANY, text, wxDefaultPosition, wxSize(640, 360),
                               wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP | wxHSCROLL,
                               wxDefaultValidator, "txtJobs");
    box->SetFont(wxFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE)));
    auto* close = new wxButton(this, wxID_OK, Text(texts::CloseJobListing));
    close->SetDefault();
    SetEscapeId(wxID_OK);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(box, 1, wxEXPAND | wxALL, 8);
    sizer->Add(close, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 8);
    SetSizerAndFit(sizer);
    CentreOnParent();
}

}  // namespace kestrel
