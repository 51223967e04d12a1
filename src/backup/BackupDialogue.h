#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "backup/BackupJob.h"
#include "backup/BackupRequest.h"
#include "ui/Dialogs.h"
#include "ui/Messages.h"

namespace kestrel {

// The interactive backup's dialogue with the user: the target chooser, the checks before a run,
// the result message and the offer to copy the archive to a disc. The run itself is BackupRun.

namespace texts {
inline constexpr const char* InvalidBackupFile = "Invalid backup file.";
inline constexpr const char* SelectAtLeastOneItem = "Please select at least one item.";
inline constexpr const char* EnterPassword = "Please enter Password!";
inline constexpr const char* IncorrectPassword = "Incorect Password!";
inline constexpr const char* BackupCompleted = "The Backup was Completed!";
inline constexpr const char* BackupEndedWithErrors = "The Backup ended with errors!";
inline constexpr const char* BackupFailed = "The Backup failed!";
inline constexpr const char* BackupCancelled = "The Backup was cancelled!";
// Followed by where the archive that lacks an item went instead.
inline constexpr const char* KeptPreviousBackup =
    "\r\nThe previous backup was kept; this one lacks an item and was written to ";
inline constexpr const char* OfferDisc = "Do you need to backup your data to CD-R/RW or DVD?";
inline constexpr const char* SaveBackupTitle = "Save Outlook Data as";
inline constexpr const char* BackupFileFilter = "Kestrel File (*.ksb)|*.ksb";
inline constexpr const char* BackupFileExtension = "ksb";
}  // namespace texts

// The save dialog for the archive, proposing "kesbak" and the date as MM-DD-YYYY. The chosen
// full path, or nothing when the user cancelled (the target then stays as it was).
std::optional<std::string> ChooseTargetFile(Dialogs& dialogs, std::time_t today);

// The checks before anything is done, in this order: a target, a ticked box, then (with
// CheckBackupPasswords) a password typed twice alike when the archive is protected. Each shows
// the failing check's message and returns false; true when the run may go on.
bool CheckBackupRequest(const BackupRequest& request, Messages& messages);
bool CheckBackupPasswords(bool protect, const std::string& password, const std::string& retyped,
                          Messages& messages);

// The result message's text: the headline, three tabs, CR LF, on failure the reason, then one
// line per reported item (each starting with CR LF), then what was left out.
std::string BackupResultText(const BackupOutcome& outcome);

// Shows the result, ended by `note` when there is one, and, when the archive was written,
// offers to copy it to a disc. True when the user accepted the offer.
bool ReportBackup(const BackupOutcome& outcome, Messages& messages, const std::string& note = {});

}  // namespace kestrel
