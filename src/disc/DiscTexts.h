#pragma once

namespace kestrel::texts {

// The disc-writing window.
inline constexpr const char* DiscWindowCaption = "Backup Outlook Data to CD/DVD";
inline constexpr const char* NewDisc = "New Disc";
inline constexpr const char* DefaultVolumeLabel = "Outlook Data Backup CD";
inline constexpr const char* MaxSpeed = "MAX";
inline constexpr const char* EngineCannotStart = "Devices Cannot be initialized...Contact support!";
inline constexpr const char* NoDevices =
    "There are no compatible devices reported.\r\nSome older devices are not currently "
    "supported.";
inline constexpr const char* NoItemSelected = "No Item Selected.";
inline constexpr const char* ItemNotRemoved = "Item could not be removed.";
inline constexpr const char* FolderNotRenamed = "Folder could not be renamed.";
inline constexpr const char* FileNotRenamed = "File could not be renamed.";
inline constexpr const char* RootNotRenamed = "Root directory can not be renamed.";
inline constexpr const char* ReplaceFileCaption = "Replace file...";
inline constexpr const char* InsertWritableMedia =
    "Please Insert Writable Media before continuing!";
inline constexpr const char* WriteNotStarted = "Disc Write could not be started.";
inline constexpr const char* AbortingWrite = "Aborting Write...Please Wait!";
inline constexpr const char* WriteCompleted = "Write Completed!";
inline constexpr const char* WriteComplete = "Write Complete!";
inline constexpr const char* WriteAndVerifyComplete = "Write and Verify Complete!";
inline constexpr const char* WriteCancelledStatus = "Write Cancelled....";
inline constexpr const char* WriteCancelled = "Write Cancelled!";
inline constexpr const char* WriteErrorStatus = "Write Error!";
inline constexpr const char* FileWarningStatus = "File Warning!";

// The erase window.
inline constexpr const char* EraseWindowCaption = "Erase Re-Writable CD/DVD";
inline constexpr const char* EraseNote =
    "NOTE: If not performing a quick erase, it could take several minutes to completely erase "
    "the disc. This operation cannot be cancelled. A quick erase will erase the table of "
    "contents, but not the actual data.";
inline constexpr const char* QuickErase = "Perform Quick Erase";
inline constexpr const char* NoMediaLoaded = "No Media Loaded.";
inline constexpr const char* NotRewritable = "The current media is not re-writable.";
inline constexpr const char* EraseFormatUnsupported =
    "Selected drive does not support re-writable discs of this format.";
inline constexpr const char* EraseNotStarted = "Could not start Erase operation!!!";
inline constexpr const char* ErasingStatus = "Erasing Disc...Please Wait!!";
inline constexpr const char* EraseCompleteStatus = "Erase operation complete!!!";
inline constexpr const char* EraseCompleted = "Erase Completed!!!";
inline constexpr const char* EraseErrorStatus = "Error Erasing Disc!!!";
inline constexpr const char* EraseFailed = "The disc could not be erased!";

}  // namespace kestrel::texts
