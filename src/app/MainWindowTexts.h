#pragma once

#include <array>

#include "ui/Messages.h"

namespace kestrel::texts {

inline constexpr const char* MainWindowCaption = "Kestrel V2.90";
inline constexpr const char* WebsiteAddress = "https://kestrel.example.com/";

inline constexpr const char* BackupTab = "Backup";
inline constexpr const char* RestoreTab = "Restore";
inline constexpr const char* BackupNow = "Backup Now";
inline constexpr const char* RestoreNow = "Restore Now";
inline constexpr const char* About = "About";
inline constexpr const char* Quit = "Quit";
inline constexpr const char* Browse = "Browse...";
inline constexpr const char* PleaseWaiting = "Please Waiting";
inline constexpr const char* VerifyAfterWriting = "Verify the backup after writing";
inline constexpr const char* Cancel = "Cancel";

// Backup tab.
inline constexpr const char* WhatFrame = "What";
inline constexpr const char* ProfileToBackup = "Profile to backup";
inline constexpr const char* ItemsToBackup = "Items to backup";
inline constexpr const char* WhereFrame = "Where";
inline constexpr const char* ChooseBackupFileName = "Choose a backup finename";
inline constexpr const char* Description = "Description";
inline constexpr const char* SecurityFrame = "Security";
inline constexpr const char* ProtectWithPassword = "Protect backup file with password";
inline constexpr const char* Password = "Password:";
inline constexpr const char* RetypePassword = "Retype Password:";

// Restore tab.
inline constexpr const char* ChooseBackupToRestore = "Choose a Backup File to Restore From";
inline constexpr const char* RestoreToProfile = "Restore to profile";
inline constexpr const char* ItemsToRestore = "Items to restore";

// The nine item boxes, the same on both tabs.
inline constexpr std::array<const char*, 9> ItemCaptions{
    "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)",
    "Accounts Settings",
    "Signatures",
    "Stationeries",
    "Personal Address Book",
    "Options Settings",
    "Templates",
    "Preferences (Customizable settings)",
    "Contacts Folder",
};

// Menus.
inline constexpr const char* FileMenu = "File(&F)";
inline constexpr const char* OptionMenu = "Option(&O)";
inline constexpr const char* HelpMenu = "Help(&H)";
inline constexpr const char* TaskScheduler = "Task Scheduler";
inline constexpr const char* BackupToCd = "Backup Data to CD/DVD";
inline constexpr const char* Help = "Help";
inline constexpr const char* OurWebsite = "Our Website";
inline constexpr const char* SelectAllItems = "Select all items";
inline constexpr const char* DeselectAllItems = "Deselect all items";

// Messages.
inline constexpr const char* NoOutlook =
    "Your Windows System have not install MS Outlook or MS Outlook Error!";
inline constexpr const char* RestoreConfirmation =
    "Your current Email and News messages will be replaced with the messages from the "
    "selected backup file.\r\n\r\nDo you want to countinue?";
inline constexpr const char* QuitWhileBackupRuns =
    "A backup is running. Do you want to cancel it and quit?";
inline constexpr const char* QuitWhileRestoreRuns =
    "A restore is running. Do you want to cancel it and quit?";
// Another program holds files a run reads or replaces: "OUTLOOK.EXE (process 412)", the text,
// the files one a line, then the answers.
inline constexpr const char* HeldFilesBefore = " is using these files:";
// "Yes: close " or "OK: close ", the program, then what follows.
inline constexpr const char* CloseAnswerBefore = "Yes: close ";
inline constexpr const char* HeldBackupAnswers =
    ", back up and start it again afterwards.\r\n"
    "No: back up without these files.\r\n"
    "Cancel: do not back up now.";
// With a shadow copy chosen in the options window: the program, then what follows.
inline constexpr const char* SnapshotAnswerBefore =
    "Yes: back up these files from a shadow copy while ";
inline constexpr const char* SnapshotAnswerAfter =
    " keeps running (it is closed and started again when no shadow copy can be made).\r\n"
    "No: back up without these files.\r\n"
    "Cancel: do not back up now.";
inline constexpr const char* HeldRestoreBefore =
    " is using these files, which the restore replaces:";
inline constexpr const char* RestoreCloseAnswerBefore = "OK: close ";
inline constexpr const char* HeldRestoreAnswers =
    ", restore and start it again afterwards.\r\n"
    "Cancel: do not restore now.";
// The end of the result message when the chosen shadow copy could not be used: why, then the
// programs.
inline constexpr const char* NoShadowCopyBefore = "No shadow copy could be used (";
inline constexpr const char* NoShadowCopyAfter = "), so ";
inline constexpr const char* NoShadowCopyClosing = " was asked to close for the backup instead.";
// The program did not close within the wait: the program, then one of the two.
inline constexpr const char* NotClosedBackup =
    " did not close within 60 seconds and is left running. The backup goes on without these "
    "files:";
inline constexpr const char* NotClosedRestore =
    " did not close within 60 seconds and is left running. Nothing has been restored.";

}  // namespace kestrel::texts
