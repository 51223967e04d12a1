#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/Differential.h"
#include "archive/ItemTable.h"
#include "archive/ZipComponent.h"
#include "platform/FileSystem.h"
#include "ui/Dialogs.h"
#include "ui/Messages.h"

namespace kestrel {

namespace texts {
inline constexpr const char* OpenBackupTitle = "Restore Date from a Backup file";
inline constexpr const char* IncorrectPasswordOrInvalidBackup =
    "Incorect Password or Invalid backup file!";
inline constexpr const char* InvalidBackupFileOnOpen = "Invalid backup file";
// When the program could not make its working folder at start-up.
inline constexpr const char* NoRunFolderToOpen =
    "The backup cannot be opened: Kestrel has no working folder to read it in.";
}  // namespace texts

// What the restore tab shows and what the restore run reads after a backup was opened. The
// window copies it into the program's state; tests read it directly. Opening changes it in
// place, so what a failed opening keeps (the flag, the last confirmed password) stays.
struct OpenedBackup {
    // Raised until an archive with a valid item string has been opened; a restore refuses to
    // start while it is raised.
    bool NoValidBackupFlag = true;
    // "BackupItem" of the opened archive: one "0" or "1" per item position.
    std::string OpenedBackupItems;
    // The info value of each item marked "1"; empty for the others.
    std::array<std::string, ItemCount> OpenedItemValues{};
    // The source path of each member of the data-file and address-book items, joined by "|"
    // in the order of their names; empty for archives written before they were recorded.
    std::string DatasSources;
    std::string PabSources;
    // The password last confirmed in the prompt; a cancelled prompt keeps it.
    std::string RestorePassword;
    // Where the info file is extracted (the run folder), removed again after reading.
    std::string InfoFilePath;

    // The restore tab's texts: the archive path, the facts and the description.
    std::string SourceFile;
    std::string BackupFacts;
    std::string Description;
    // The restore boxes that may be ticked, one per item the backup holds.
    ItemBoxes EnabledBoxes{};
    // For a differential backup, what its info file says of the full one it needs; none for a
    // full backup.
    std::optional<DifferentialFacts> Differential;
};

enum class OpenResult {
    Opened,         // a valid backup is open in the component
    WrongPassword,  // or a protected archive that could not be verified
    Invalid,        // no readable info file, or a damaged item string
};

// The open dialog of the restore tab; nothing when the user cancelled.
std::optional<std::string> ChooseBackupFile(Dialogs& dialogs);

// Opens the archive at archivePath in the component for the restore: asks for the password
// when it is protected and checks it, extracts the info file into runFolder (any file already
// there is removed first), fills the tab's texts, the item string and values and the enabled
// boxes, and leaves the archive open for the restorers. Every failure shows its message and
// closes the archive; the item values and boxes are cleared whatever the outcome.
OpenResult OpenBackup(ZipComponent& zip, FileSystem& fileSystem, const std::string& runFolder,
                      const std::string& archivePath, Dialogs& dialogs, Messages& messages,
                      OpenedBackup& state);

}  // namespace kestrel
