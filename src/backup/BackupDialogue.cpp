#include "backup/BackupDialogue.h"

#include <algorithm>

#include "platform/LocalTime.h"
#include "ui/Messages.h"

namespace kestrel {
namespace {

constexpr const char* HeadlineEnd = "\t\t\t\r\n";

bool Refuse(Messages& messages, const char* text, MessageIcon icon)
{
    messages.Show(text, texts::ApplicationTitle, icon, MessageButtons::Ok);
    return false;
}

// "Completed" only when the archive holds every item that ran: a written archive that lacks
// an item must not read as a whole backup.
const char* Headline(const BackupOutcome& outcome)
{
    switch (outcome.result) {
        case BackupResult::Written:
            return outcome.AnyItemFailed() ? texts::BackupEndedWithErrors : texts::BackupCompleted;
        case BackupResult::Cancelled:
            return texts::BackupCancelled;
        default:
            return texts::BackupFailed;
    }
}

MessageIcon ResultIcon(const BackupOutcome& outcome)
{
    if (outcome.Written()) {
        return outcome.AnyItemFailed() ? MessageIcon::Exclamation : MessageIcon::Information;
    }
    return outcome.result == BackupResult::Cancelled ? MessageIcon::Exclamation : MessageIcon::Stop;
}

}  // namespace

std::optional<std::string> ChooseTargetFile(Dialogs& dialogs, std::time_t today)
{
    FileDialogRequest request;
    request.title = texts::SaveBackupTitle;
    request.filter = texts::BackupFileFilter;
    request.proposedName = "kesbak" + FormatLocalTime(today, "%m-%d-%Y");
    request.defaultExtension = texts::BackupFileExtension;
    std::optional<std::string> chosen = dialogs.ChooseSaveFile(request);
    if (chosen && chosen->empty()) {
        return std::nullopt;
    }
    return chosen;
}

bool CheckBackupRequest(const BackupRequest& request, Messages& messages)
{
    if (request.targetPath.empty()) {
        return Refuse(messages, texts::InvalidBackupFile, MessageIcon::Exclamation);
    }
    if (std::none_of(request.boxes.begin(), request.boxes.end(), [](bool box) { return box; })) {
        return Refuse(messages, texts::SelectAtLeastOneItem, MessageIcon::Exclamation);
    }
    return true;
}

bool CheckBackupPasswords(bool protect, const std::string& password, const std::string& retyped,
                          Messages& messages)
{
    if (!protect) {
        return true;
    }
    if (password.empty() && retyped.empty()) {
        return Refuse(messages, texts::EnterPassword, MessageIcon::Stop);
    }
    if (password != retyped) {
        return Refuse(messages, texts::IncorrectPassword, MessageIcon::Stop);
    }
    return true;
}

std::string BackupResultText(const BackupOutcome& outcome)
{
    std::string text = std::string(Headline(outcome)) + HeadlineEnd;
    if (!outcome.Written()) {
        text += outcome.error;
    }
    for (std::size_t i = 0; i < ItemTable.size(); ++i) {
        if (ItemTable[i].reportTitle == nullptr || !outcome.ran[i]) {
            continue;
        }
        text += std::string("\r\n") + ItemTable[i].reportTitle + "\t" +
                (outcome.succeeded[i] ? "Succeeded!" : "Fail!") + "\t";
    }
    for (const std::string& missing : outcome.leftOut) {
        text += "\r\nNot in the backup: " + missing;
    }
    if (outcome.writtenBeside) {
        text += texts::KeptPreviousBackup + outcome.archivePath;
    }
    return text;
}

bool ReportBackup(const BackupOutcome& outcome, Messages& messages, const std::string& note)
{
    messages.Show(BackupResultText(outcome) + (note.empty() ? "" : "\r\n\r\n" + note),
                  texts::ApplicationTitle, ResultIcon(outcome), MessageButtons::Ok);
    if (!outcome.Written()) {
        return false;
    }
    return messages.Show(texts::OfferDisc, texts::ApplicationTitle, MessageIcon::Information,
                         MessageButtons::OkCancel) == MessageAnswer::Ok;
}

}  // namespace kestrel
