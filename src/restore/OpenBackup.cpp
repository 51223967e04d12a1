#include "restore/OpenBackup.h"

#include "archive/Differential.h"
#include "archive/InfoFile.h"
#include "platform/PathJoin.h"

namespace kestrel {

namespace {

void ShowMessage(Messages& messages, const char* text, MessageIcon icon)
{
    messages.Show(text, texts::ApplicationTitle, icon, MessageButtons::Ok);
}

// The whole facts text is built before anything is shown, so a missing key reads as empty.
std::string Facts(FileSystem& fileSystem, const std::string& infoFile)
{
    static constexpr std::array<std::array<const char*, 2>, 5> lines{{
        {"Computer:", "BackupComputer"},
        {"User:", "BackupLogonUser"},
        {"Backup Time:", "BackupTime"},
        {"Profile:", "BackupIdentity"},
        {"Outlook Version:", "Outlookversion"},
    }};
    std::string facts;
    for (const auto& [label, key] : lines) {
        if (!facts.empty()) {
            facts += "\r\n";
        }
        facts += label + GetINI(fileSystem, key, infoFile).value_or("");
    }
    return facts;
}

}  // namespace

std::optional<std::string> ChooseBackupFile(Dialogs& dialogs)
{
    FileDialogRequest request;
    request.title = texts::OpenBackupTitle;
    request.filter = "Kestrel File (*.ksb)|*.ksb";
    request.defaultExtension = "ksb";
    std::optional<std::string> chosen = dialogs.ChooseOpenFile(request);
    if (chosen && chosen->empty()) {
        return std::nullopt;
    }
    return chosen;
}

OpenResult OpenBackup(ZipComponent& zip, FileSystem& fileSystem, const std::string& runFolder,
                      const std::string& archivePath, Dialogs& dialogs, Messages& messages,
                      OpenedBackup& state)
{
    // Whatever was open is dropped first, so a failed opening leaves nothing to restore from.
    zip.Close();
    state.OpenedItemValues = {};
    state.DatasSources.clear();
    state.PabSources.clear();
    state.EnabledBoxes = {};
    state.Differential.reset();
    state.SourceFile.clear();
    state.BackupFacts.clear();
    state.Description.clear();
    // Without the program's working folder the info file's path would be a bare name, in
    // whatever folder the program was started from, where a file of the user's may lie.
    if (runFolder.empty()) {
        state.NoValidBackupFlag = true;
        ShowMessage(messages, texts::NoRunFolderToOpen, MessageIcon::Stop);
        return OpenResult::Invalid;
    }

    if (zip.IsProtected(archivePath)) {
        if (std::optional<std::string> typed = dialogs.AskPassword()) {
            state.RestorePassword = *typed;
        }
        const bool verified = zip.Open(archivePath) &&
                              (zip.SetReadPassword(state.RestorePassword), zip.CheckPassword());
        if (!verified) {
            zip.Close();
            ShowMessage(messages, texts::IncorrectPasswordOrInvalidBackup,
                        MessageIcon::Information);
            return OpenResult::WrongPassword;
        }
    } else {
        zip.SetReadPassword({});
        zip.Open(archivePath);  // an unreadable archive has no info file: invalid below
    }
    state.SourceFile = archivePath;

    // A file left at the info file's place by an earlier run must never be read as this
    // archive's info.
    state.InfoFilePath = JoinPath(runFolder, InfoFileName);
    fileSystem.RemoveFile(state.InfoFilePath);
    const std::optional<ZipMember> member = zip.FindMember(InfoFileName);
    const bool extracted =
        member && member->size <= MaxInfoFileBytes && zip.ExtractMember(*member, runFolder);
    std::optional<std::string> items;
    if (extracted) {
        state.BackupFacts = Facts(fileSystem, state.InfoFilePath);
        state.Description = DecodeDescription(
            GetINI(fileSystem, "BackupInformation", state.InfoFilePath).value_or(""));
        items = GetINI(fileSystem, "BackupItem", state.InfoFilePath);
    }
    // A differential whose info does not name its full in full is as damaged as a bad item string.
    const std::optional<std::string> info = items ? ReadInfoBytes(zip) : std::nullopt;
    const bool differential = info && IsDifferentialInfo(*info);
    if (differential) {
        state.Differential = ReadDifferentialFacts(*info);
    }
    if (!items || !IsValidBackupItemValue(*items) || (differential && !state.Differential)) {
        fileSystem.RemoveFile(state.InfoFilePath);
        zip.Close();
        state.NoValidBackupFlag = true;
        ShowMessage(messages, texts::InvalidBackupFileOnOpen, MessageIcon::Stop);
        return OpenResult::Invalid;
    }

    state.OpenedBackupItems = *items;
    for (int position = 0; position < ItemCount; ++position) {
        if ((*items)[position] != '1') {
            continue;
        }
        const ItemKind& item = ItemTable[position];
        if (item.box != NoBox) {
            state.EnabledBoxes[item.box] = true;
        }
        state.OpenedItemValues[position] =
            GetINI(fileSystem, item.infoKey, state.InfoFilePath).value_or("");
    }
    state.DatasSources = GetINI(fileSystem, DatasSourcesKey, state.InfoFilePath).value_or("");
    state.PabSources = GetINI(fileSystem, PabSourcesKey, state.InfoFilePath).value_or("");
    fileSystem.RemoveFile(state.InfoFilePath);
    state.NoValidBackupFlag = false;
    return OpenResult::Opened;
}

}  // namespace kestrel
