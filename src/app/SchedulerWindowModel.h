#pragma once

#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Policies.h"
#include "app/WindowControls.h"
#include "platform/Platform.h"
#include "scheduler/ScheduledBackup.h"
#include "scheduler/Scheduler.h"
#include "ui/Dialogs.h"
#include "ui/Messages.h"

namespace kestrel {

// What only the options window itself can do; the wx window implements it.
class SchedulerWindowHost {
public:
    virtual ~SchedulerWindowHost() = default;

    // Shows the jobs the system's scheduler holds, in the system's own tool where it has one.
    virtual void OpenScheduler() = 0;
    // Closes the options window.
    virtual void CloseWindow() = 0;
    // Shows our jobs with their last runs (JobListingTable) in the window's job listing.
    virtual void ShowJobListing(const std::string& listing) = 0;
};

// The rules of the options window that turns a profile, items, a target, a password and a
// weekly time into one job of the system's scheduler (the one it is given; a null one: this system
// offers none), without any widget. The window binds its controls to this state and calls the event
// methods.
//
// The window keeps nothing: each added job is independent of the ones before, and the job's
// command line is the only place its settings are kept.
class SchedulerWindowModel {
public:
    SchedulerWindowModel(const AppState& state, Platform& platform, Scheduler* scheduler,
                         Messages& messages, Dialogs& dialogs, SchedulerWindowHost& host);

    // Fills the profile list (showing the first profile, with its item boxes) and the start
    // times (showing "9:00"). Without a profile the list is empty and no box can be ticked.
    // A value the administrator's policies set is shown instead, and its control is locked:
    // the event that would change it changes nothing.
    void Load();

    // A profile picked in the window's own list: the boxes its items allow, none ticked. The
    // main window's profile and the shared state stay as they are.
    void ProfileChosen(int index);
    // A disabled box cannot be ticked.
    void SetItemChecked(int index, bool checked);
    // The start-time list is fixed: an index outside it changes nothing.
    void StartTimeChosen(int index);
    void SetDayChecked(Weekday day, bool checked);
    // "Run daily": ticked ticks all seven days, cleared clears them.
    void DailyClicked(bool checked);
    // Either way both password boxes are emptied; they take text only while it is ticked.
    void ProtectClicked(bool checked);
    void SetPasswords(const std::string& password, const std::string& retyped);
    // The Browse button: the only way the target is chosen. Cancelling keeps the one before.
    void TargetFileClicked();
    // Text typed into the target box is shown but never used: the file is the one browsed.
    void SetTargetFileText(const std::string& text)
    {
        if (!TargetLocked()) {
            targetFileText_ = text;
        }
    }

    // "Add Task to Scheduler": the checks, then the job. A job added is reported with its id
    // and closes the window; a refusal, by the checks or by the system, leaves it open with
    // every entry as it was.
    void AddTaskClicked();
    // Without a scheduler on this system, says so instead of asking the window.
    void OpenSchedulerClicked();
    // "Scheduled Tasks...": the jobs of this program and how each last ran, or the
    // scheduler's refusal.
    void JobListingClicked();
    // "Keep the last N backups": 1 to 99, a number outside held at the nearer end.
    void SetKeep(int keep);
    // "differential: only what changed since the last full backup": a full archive again after
    // DefaultFullAfterDays days.
    void SetDifferential(bool checked);
    // "When Outlook is running:", an index of OutlookWayList(); one outside it changes nothing.
    // The choice is saved for every scheduled run when a task is added, not before.
    void OutlookWayChosen(int index);
    void CancelClicked();

    const std::vector<std::string>& Profiles() const { return profiles_; }
    int ProfileSelection() const { return profileSelection_; }
    const ItemBoxStates& Items() const { return items_; }
    const std::vector<std::string>& StartTimeList() const { return startTimes_; }
    const std::string& StartTime() const { return choices_.startTime; }
    const WeekdayBoxes& Days() const { return choices_.days; }
    bool Daily() const { return daily_; }
    bool Protect() const { return choices_.protect; }
    bool PasswordBoxesEnabled() const { return choices_.protect; }
    PasswordBoxColour PasswordColour() const;
    const std::string& Password() const { return choices_.password; }
    const std::string& RetypedPassword() const { return choices_.retypedPassword; }
    const std::string& TargetFileText() const { return targetFileText_; }
    int Keep() const { return choices_.keep; }
    bool Differential() const { return choices_.differentialDays > 0; }
    // The captions of the ways, and the one shown: the saved choice when the window opened.
    static std::vector<std::string> OutlookWayList();
    int OutlookWaySelection() const;

    // The policies read when the window loaded, and which controls they lock. A locked control
    // shows its value, disabled, with "Set by your administrator" beside it.
    const Policies& AdministratorPolicies() const { return policies_; }
    bool ItemsLocked() const { return policies_.items.has_value(); }
    bool StartTimeLocked() const { return policies_.time.has_value(); }
    bool DaysLocked() const { return policies_.days.has_value(); }
    bool TargetLocked() const { return policies_.target.has_value(); }
    bool KeepLocked() const { return policies_.keep.has_value(); }
    bool OutlookWayLocked() const { return policies_.whenOutlookRuns.has_value(); }
    // Only a policy that requires a password locks the box; one that does not leaves the choice.
    bool ProtectLocked() const { return policies_.passwordRequired.value_or(false); }

private:
    // The choices as the controls hold them now.
    ScheduleChoices Choices() const;
    // Keeps the window's "When Outlook is running" choice for every scheduled run.
    bool SaveOutlookWay();
    // Sets the controls the policies lock to the policies' values.
    void ShowPolicies();
    // The item boxes the policy ticks, where the profile offers them; every box disabled.
    void ShowPolicyItems();

    const AppState& state_;
    Platform& platform_;
    Scheduler* scheduler_;
    Messages& messages_;
    Dialogs& dialogs_;
    SchedulerWindowHost& host_;

    std::vector<std::string> profiles_;
    int profileSelection_ = -1;
    ItemBoxStates items_{};
    std::vector<std::string> startTimes_;
    bool daily_ = false;
    std::string targetFileText_;
    // The controls' values that the checks and the job read; items and profile are taken from
    // the controls at each add.
    ScheduleChoices choices_;
    Policies policies_;
};

}  // namespace kestrel
