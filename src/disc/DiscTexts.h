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

// The disc-writing window's controls.
inline constexpr const char* DeviceLabel = "Device:";
inline constexpr const char* WriteSpeedLabel = "Write Speed:";
inline constexpr const char* VolumeTypeLabel = "Volume Type:";
inline constexpr const char* VolumeIdLabel = "Volume ID:";
inline constexpr const char* DropTitle = "Drag and Drop Files or Folders";
inline constexpr const char* FileNameColumn = "File Name";
inline constexpr const char* SizeColumn = "Size";
inline constexpr const char* DateColumn = "Date";
inline constexpr const char* WriteDisc = "&Write Disc";
inline constexpr const char* CancelButton = "&Cancel";
inline constexpr const char* FileMenu = "&File";
inline constexpr const char* ClearAllItems = "Clear All Items";
inline constexpr const char* RemoveFolder = "Remove Folder";
inline constexpr const char* RenameFolder = "Rename Folder";
inline constexpr const char* RemoveFile = "Remove File";
inline constexpr const char* RenameFile = "Rename File";
inline constexpr const char* Exit = "Exit";
inline constexpr const char* DeviceMenu = "&Device";
inline constexpr const char* Eject = "Eject";
inline constexpr const char* CloseTray = "Close Tray";
inline constexpr const char* EraseDisc = "Erase Disc...";

// The option boxes, in the order of DiscOption, with their tooltips.
inline constexpr const char* OptionCaptions[] = {
    "Test Write",        "Finalize Disc", "Disc-At-Once",   "Use Buffer Protection",
    "Mode2XA (CD Only)", "Cache Image",   "Use File Dates", "Auto-Verify Data",
};
inline constexpr const char* OptionToolTips[] = {
    "Not valid for DVD formats.",
    "Not valid for DVD+RW and DVD-RAM formats.",
    "Eliminates buffer underrun problems.",
    "Eliminates buffer underrun problems.",
    "Please see help file for details on Mode2XA",
    "Not needed for DVD formats...Use for CDR/W only.",
    "Gives the files on the disc the dates of their sources.",
    "Reads every file back after the write and compares it with its source.",
};

// The erase window.
inline constexpr const char* EraseWindowCaption = "Erase Re-Writable CD/DVD";
inline constexpr const char* EraseNote =
    "NOTE: If not performing a quick erase, it could take several minutes to completely erase "
    "the disc. This operation cannot be cancelled. A quick erase will erase the table of "
    "contents, but not the actual data.";
inline constexpr const char* QuickErase = "Perform Quick Erase";
inline constexpr const char* EraseButton = "&Erase";
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
