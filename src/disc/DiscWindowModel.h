#pragma once

#include <array>
#include <set>
#include <string>
#include <vector>

#include "disc/DiscEngine.h"
#include "platform/FileSystem.h"
#include "ui/Messages.h"

namespace kestrel {

enum class DiscOption {
    TestWrite,
    FinalizeDisc,
    DiscAtOnce,
    BufferProtection,
    Mode2XA,
    CacheImage,
    UseFileDates,
    AutoVerify,
};
inline constexpr std::size_t DiscOptionCount = 8;

enum class FileMenuPopup { Tree, List };

struct OptionBox {
    bool enabled = true;
    bool checked = false;
};

// An entry of the drive, speed or file-system list with the value it stands for: the drive's
// index in the engine, the raw speed, the file-system code.
struct ListChoice {
    std::string text;
    int value = 0;
};

// A node of the folder tree, keyed by its folder's image path; the root's key is "\".
struct FolderNode {
    std::string key;
    std::string parentKey;
    std::string text;
};

// A row of the file list, keyed by the file's image path.
struct FileRow {
    std::string key;
    std::string name;
    std::string size;
    std::string date;
};

// What only the window itself can do; the wx window implements it.
class DiscWindowHost {
public:
    virtual ~DiscWindowHost() = default;

    // Closes the disc window (it asks CloseRequested first), never the program.
    virtual void CloseWindow() = 0;
    // Starts in-place editing of a node's or a row's label; the window reports the new text
    // through TreeLabelEdited or ListLabelEdited.
    virtual void EditTreeLabel(const std::string& key) = 0;
    virtual void EditListLabel(const std::string& key) = 0;
    // Pops up the File menu with the items of the tree or of the list.
    virtual void ShowFileMenu(FileMenuPopup popup) = 0;
    // Opens the erase window modally for the drive; returns once it has closed.
    virtual void ShowEraseWindow(DiscDevice& drive) = 0;
    // Lets the window repaint and take clicks while a long call (adding a large folder) runs.
    virtual void ProcessPendingEvents() = 0;
};

// The rules of the disc-writing window, without any widget: the folder tree and file list
// that mirror the engine's image, the drive, speed, file-system and label controls, the option
// boxes, the status panels and the progress of a write. The window binds its controls to this
// state and calls the event methods; after each call it shows the state. The model listens to
// the engine from Open until the window closes.
class DiscWindowModel final : public DiscEvents {
public:
    DiscWindowModel(DiscEngine& engine, FileSystem& files, Messages& messages,
                    DiscWindowHost& host);
    ~DiscWindowModel() override;
    DiscWindowModel(const DiscWindowModel&) = delete;
    DiscWindowModel& operator=(const DiscWindowModel&) = delete;

    // Opening the window. A backup archive handed over (both texts set) goes into the image
    // at its root, and both texts are emptied. An engine that cannot start is reported and the
    // window closed; false then.
    bool Open(std::string& pendingFileName, std::string& pendingFilePath);
    // The window may close only while no write runs; closing stops listening to the engine.
    bool CloseRequested();

    void DeviceChosen(int entry);
    void SpeedChosen(int entry);
    void FileSystemChosen(int entry);
    // The label as typed; it takes at most 32 characters and names the root node at once.
    void LabelTyped(const std::string& text);
    void FolderClicked(const std::string& key);
    void FileClicked(const std::string& key);
    // Files and folders dropped onto the tree or the list, by their paths: they go into the
    // selected folder, or the root when none or the root is selected.
    void FilesDropped(const std::vector<std::string>& paths);
    void TreeRightClicked();
    void ListRightClicked();

    void ClearAllChosen();
    void RemoveFolderChosen();
    void RemoveFileChosen();
    void RenameFolderChosen();
    void RenameFileChosen();
    // Before the tree's label is edited: false refuses (the root keeps its name).
    bool TreeLabelEditStarting(const std::string& key);
    void TreeLabelEdited(const std::string& text);
    void ListLabelEdited(const std::string& text);
    void ExitChosen();
    void OptionClicked(DiscOption option, bool checked);

    void WriteDiscClicked();
    void CancelClicked();
    void EjectChosen();
    void CloseTrayChosen();
    void EraseDiscChosen();

    const std::vector<ListChoice>& Devices() const { return devices_; }
    int DeviceSelection() const { return deviceSelection_; }
    const std::vector<ListChoice>& Speeds() const { return speeds_; }
    int SpeedSelection() const { return speedSelection_; }
    const std::vector<ListChoice>& FileSystems() const { return fileSystems_; }
    int FileSystemSelection() const { return fileSystemSelection_; }
    const std::string& Label() const { return label_; }
    // Nodes in the order they were added, the root first.
    const std::vector<FolderNode>& Tree() const { return tree_; }
    const std::string& SelectedFolder() const { return selectedFolder_; }
    bool IsExpanded(const std::string& key) const { return expanded_.contains(key); }
    const std::vector<FileRow>& Files() const { return files_; }
    const std::string& SelectedFile() const { return selectedFile_; }
    const std::array<std::string, 3>& StatusPanels() const { return panels_; }
    int Progress() const { return progress_; }
    const OptionBox& Option(DiscOption option) const
    {
        return options_[static_cast<std::size_t>(option)];
    }

    // Every input but Cancel while a write runs.
    bool ControlsEnabled() const { return controlsEnabled_; }
    bool CancelEnabled() const { return !controlsEnabled_; }
    // Write Disc, Eject, Close Tray and Erase Disc need a drive.
    bool WriteDiscEnabled() const { return controlsEnabled_ && drive_ != nullptr; }
    bool DriveCommandsEnabled() const { return controlsEnabled_ && drive_ != nullptr; }
    bool Idle() const { return idle_; }
    bool BusyPointer() const { return busyPointer_; }

    // Engine events.
    void StatusChanged(int percent, WriteStatus status) override;
    void ReadingFile(int track, long counter, const std::string& text) override;
    void FileWarning(const FileError& error, bool& continueWrite) override;
    void WriteFailed(const WriteError& error) override;
    void VerifyStarted(int count) override;
    void VerifyItem(const ImageItem& item, VerifyResult result, int done, int total) override;
    void VerifyDone(int total, int matched) override;
    void ItemAdded(const ImageItem& item) override;
    void ItemRemoved(const ImageItem& item) override;
    void ItemNameChanged(const ImageItem& item) override;
    void ReplaceFileAsked(const ImageItem& existing, const std::string& newSource,
                          bool& replace) override;
    void ImageCleared() override;

private:
    void FillDevices();
    void FillSpeeds();
    void FillFileSystems();
    void SetControlsEnabled(bool enabled);
    void ResetImageView();
    void UpdateImageStats();
    void ShowFolder(const std::string& key);
    void RefreshView();
    void Show(const std::string& text, MessageIcon icon);
    OptionBox& MutableOption(DiscOption option)
    {
        return options_[static_cast<std::size_t>(option)];
    }
    bool Checked(DiscOption option) const { return Option(option).checked; }
    FolderNode* FindNode(const std::string& key);

    DiscEngine& engine_;
    FileSystem& fileSystem_;
    Messages& messages_;
    DiscWindowHost& host_;
    bool listening_ = false;

    DiscDevice* drive_ = nullptr;
    std::vector<ListChoice> devices_;
    int deviceSelection_ = -1;
    std::vector<ListChoice> speeds_;
    int speedSelection_ = -1;
    std::vector<ListChoice> fileSystems_;
    int fileSystemSelection_ = -1;
    std::string label_;
    std::vector<FolderNode> tree_;
    std::string selectedFolder_;
    std::set<std::string> expanded_;
    std::vector<FileRow> files_;
    std::string selectedFile_;
    std::array<std::string, 3> panels_;
    int progress_ = 0;
    std::array<OptionBox, DiscOptionCount> options_{};

    bool controlsEnabled_ = true;
    bool idle_ = true;
    bool busyPointer_ = false;

    // What the verification of the running write reported.
    bool verified_ = false;
    int verifyTotal_ = 0;
    int verifyMatched_ = 0;
};

}  // namespace kestrel
