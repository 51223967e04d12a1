#pragma once

#include <array>

namespace kestrel::texts {

// The options window that sets up a scheduled backup. The captions it shares with the main
// window's backup tab (the frames "What", "Items to backup" and "Security", the item boxes,
// the password boxes and "Browse...") are the main window's.
inline constexpr const char* SchedulerWindowCaption = "Task Scheduler";
inline constexpr const char* ScheduleFrame = "Schedule";
inline constexpr const char* StartBackupAt = "Start backup at";
inline constexpr const char* RunDaily = "Run daily";
inline constexpr const char* ChooseScheduledFileName = "Choose a Backup Filename";
inline constexpr const char* AddTaskToScheduler = "Add Task to Scheduler";
inline constexpr const char* OpenScheduler = "Open Scheduler";
inline constexpr const char* CloseScheduler = "Cancel";
// Monday first, the order of the weekday mask's bits.
inline constexpr std::array<const char*, 7> WeekdayCaptions{
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday",
};

// What adding a job says.
inline constexpr const char* ScheduleNeedsProfile =
    "There is no Outlook profile to back up, so no task can be scheduled.";
inline constexpr const char* ScheduleNeedsItem = "Please select at least one item.";
inline constexpr const char* ScheduleNeedsTarget = "Invalid backup file name.";
inline constexpr const char* ScheduleNeedsPassword = "Please enter Password!";
inline constexpr const char* ScheduleIncorrectPassword = "Incorect Password!";
inline constexpr const char* ScheduleValueWithEquals =
    "Profile, password and backup file must not contain \"=\".";
// "Task " id " has been scheduled."
inline constexpr const char* TaskScheduledBefore = "Task ";
inline constexpr const char* TaskScheduledAfter = " has been scheduled.";
// Followed by the system's reason.
inline constexpr const char* TaskNotScheduled = "The task could not be scheduled: ";
inline constexpr const char* SchedulerNotOpened = "The scheduler could not be opened: ";

// What every scheduled run does when Outlook holds a data file, in the order the
// window's list offers them.
inline constexpr const char* WhenOutlookRuns = "When Outlook is running:";
inline constexpr const char* OutlookWayClose = "close it and start it again";
inline constexpr const char* OutlookWaySnapshot = "use a shadow copy (needs administrator rights)";
inline constexpr const char* OutlookWaySkip = "leave the data files out";
// A shadow-copy job of a program that is not installed for all users: the text, the program's
// folder, the rest.
inline constexpr const char* ShadowCopyNeedsAllUsersInstallBefore =
    "A shadow copy needs administrator rights, and a scheduled task is given them only for a "
    "program installed for all users (in Program Files): any program you run could replace "
    "Kestrel in ";
inline constexpr const char* ShadowCopyNeedsAllUsersInstallAfter =
    " and have it run with those rights. The task closes Outlook and starts it again instead.";
// After a job was added but the choice could not be kept.
inline constexpr const char* OutlookWayNotKept =
    "The task has been scheduled, but the choice for when Outlook is running could not be "
    "saved; scheduled backups keep the one saved before.";

// The history a job keeps: "Keep the last" [N] "backups".
inline constexpr const char* KeepTheLast = "Keep the last";
inline constexpr const char* KeptBackups = "backups";
inline constexpr const char* DifferentialChoice =
    "differential: only what changed since the last full backup";
// The window with our jobs and their last runs, and with the scheduler's own listing of them
// where the system has no tool of its own.
inline constexpr const char* ShowJobListing = "Scheduled Tasks...";
inline constexpr const char* JobListingCaption = "Scheduled Tasks";
inline constexpr const char* CloseJobListing = "Close";

}  // namespace kestrel::texts
