#pragma once

#include <array>
#include <string>

#include <wx/dialog.h>

#include "app/SchedulerWindowModel.h"
#include "gui/WxDialogs.h"
#include "gui/WxMessages.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxStaticText;
class wxTextCtrl;

namespace kestrel {

// The options window (Frmoption) that sets up a scheduled backup. Holds no rules: every event
// goes to SchedulerWindowModel, and after each one the widgets are set from the model's state.
// Controls carry their names (cbSource, backupitem0, cmbStartTime, chkMonday, Command3, ...) as
// wx names, so tests can find them. The window is loaded when it is made; ShowModal shows it
// until the model closes it.
class OptionsDialog final : public wxDialog, public SchedulerWindowHost {
public:
    // messages: where the model's message boxes go; null for real message boxes.
    // dialogs: where its save dialog goes; null for the real file dialog.
    // scheduler: where jobs are added and listed; null where this system offers none.
    OptionsDialog(wxWindow* parent, const AppState& state, Platform& platform, Scheduler* scheduler,
                  Messages* messages = nullptr, Dialogs* dialogs = nullptr);

    SchedulerWindowModel& Model() { return model_; }

    // The listing the scheduler gives in a window of its own, or its refusal as a message.
    void OpenScheduler() override;
    void CloseWindow() override;
    void ShowJobListing(const std::string& listing) override;

private:
    wxSizer* BuildProfileFrame();
    wxSizer* BuildItemsFrame();
    wxSizer* BuildScheduleFrame();
    wxSizer* BuildTargetFile();
    wxSizer* BuildSecurityFrame();
    wxSizer* BuildButtons();
    void FillLists();
    void ShowModelState();
    // The policies' locks: each locked control disabled, its note shown.
    void ShowPolicyLocks();
    // "Set by your administrator", hidden until a policy locks the control it stands beside.
    wxStaticText* PolicyNote(wxWindow* parent, const char* name);

    WxMessages wxMessages_;
    WxDialogs wxDialogs_;
    Scheduler* scheduler_;
    Messages& messages_;
    SchedulerWindowModel model_;

    wxChoice* source_ = nullptr;
    std::array<wxCheckBox*, ItemBoxCount> items_{};
    wxChoice* startTime_ = nullptr;
    std::array<wxCheckBox*, WeekdayCount> days_{};
    wxCheckBox* daily_ = nullptr;
    wxTextCtrl* targetFile_ = nullptr;
    wxSpinCtrl* keep_ = nullptr;
    wxCheckBox* differential_ = nullptr;
    wxChoice* outlookWay_ = nullptr;
    wxCheckBox* protect_ = nullptr;
    wxTextCtrl* password_ = nullptr;
    wxTextCtrl* retypedPassword_ = nullptr;
    wxButton* browse_ = nullptr;

    enum PolicyLock {
        ItemsLock,
        StartTimeLock,
        DaysLock,
        TargetLock,
        KeepLock,
        OutlookWayLock,
        ProtectLock,
        PolicyLockCount
    };
    std::array<wxStaticText*, PolicyLockCount> policyNotes_{};
};

// Our jobs with their last runs, or the scheduler's own listing of them (jobListing): read-only, in
// a fixed-width font that keeps its columns, scrolled rather than wrapped.
class JobListingDialog final : public wxDialog {
public:
    JobListingDialog(wxWindow* parent, const std::string& listing);
};

}  // namespace kestrel
