#include "disc/DiscWindowModel.h"

#include <algorithm>

#include "disc/DiscFormats.h"
#include "disc/DiscTexts.h"
#include "platform/NameCase.h"

namespace kestrel {
namespace {

constexpr const char* RootKey = "\\";
constexpr std::size_t LabelLength = 32;

// The file-system choices in list order; the first of the preferred ones the engine can
// write is selected at start.
struct FileSystemChoice {
    const char* text;
    int code;
};
constexpr std::array<FileSystemChoice, 5> FileSystemChoices{{
    {"ISO9660", imagefs::Iso9660},
    {"UDF", imagefs::Udf},
    {"ISO9660/Joliet Bridge", imagefs::Iso9660 | imagefs::Joliet},
    {"ISO9660/UDF (DVDVideo) Bridge", imagefs::Iso9660 | imagefs::Udf},
    {"ISO9660/Joliet/UDF Bridge", imagefs::Iso9660 | imagefs::Joliet | imagefs::Udf},
}};
constexpr std::array<int, 2> PreferredFileSystems{imagefs::Iso9660 | imagefs::Joliet | imagefs::Udf,
                                                  imagefs::Iso9660 | imagefs::Joliet};

// The first `count` characters of UTF-8 text; a continuation byte never starts a character.
std::string FirstCharacters(const std::string& text, std::size_t count)
{
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && characters++ == count) {
            return text.substr(0, at);
        }
    }
    return text;
}

// The text after the last separator; a dropped path is a Windows path or, on Linux, a host
// path.
std::string BareName(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// done / total as a whole percentage, halves to the even neighbour, computed exactly.
int RoundedPercent(int done, int total)
{
    const long long scaled = 100LL * done;
    long long whole = scaled / total;
    const long long rest = scaled % total;
    if (2 * rest > total || (2 * rest == total && whole % 2 != 0)) {
        ++whole;
    }
    return static_cast<int>(whole);
}

const char* VerifyHeading(VerifyResult result)
{
    switch (result) {
        case VerifyResult::SourceUnreadable:
            return "Verify Error - Could not read Source file from disc: ";
        case VerifyResult::DiscUnreadable:
            return "Verify Error - Could not read Destination file from disc: ";
        case VerifyResult::Different:
            return "Verify Error - Source and Destination file did not match: ";
        case VerifyResult::SizeDifferent:
            return "Verify Error - Size of Source and Destination file did not match: ";
        case VerifyResult::Matched:
        case VerifyResult::NotCompared:
            break;
    }
    return nullptr;
}

}  // namespace

DiscWindowModel::DiscWindowModel(DiscEngine& engine, FileSystem& files, Messages& messages,
                                 DiscWindowHost& host)
    : engine_(engine), fileSystem_(files), messages_(messages), host_(host)
{
    MutableOption(DiscOption::UseFileDates).checked = true;
}

DiscWindowModel::~DiscWindowModel()
{
    if (listening_) {
        engine_.RemoveListener(*this);
    }
}

void DiscWindowModel::Show(const std::string& text, MessageIcon icon)
{
    messages_.Show(text, texts::ApplicationTitle, icon, MessageButtons::Ok);
}

bool DiscWindowModel::Open(std::string& pendingFileName, std::string& pendingFilePath)
{
    if (!engine_.Initialize()) {
        // Only this window goes: a backup just written must not end the program.
        Show(texts::EngineCannotStart, MessageIcon::None);
        host_.CloseWindow();
        return false;
    }
    engine_.AddListener(*this);
    listening_ = true;
    FillDevices();
    SetControlsEnabled(true);
    engine_.Writer().Image().Clear();
    FillFileSystems();
    engine_.Writer().Settings().UseFileDates = true;
    ResetImageView();
    LabelTyped(texts::DefaultVolumeLabel);
    if (!pendingFileName.empty() && !pendingFilePath.empty()) {
        engine_.Writer().Image().AddFile(pendingFilePath, std::string(RootKey) + pendingFileName);
        RefreshView();
        pendingFileName.clear();
        pendingFilePath.clear();
    }
    return true;
}

bool DiscWindowModel::CloseRequested()
{
    if (!idle_) {
        return false;
    }
    if (listening_) {
        engine_.RemoveListener(*this);
        listening_ = false;
    }
    drive_ = nullptr;
    return true;
}

void DiscWindowModel::FillDevices()
{
    devices_.clear();
    for (int index = 0; index < engine_.DeviceCount(); ++index) {
        DiscDevice& device = engine_.DeviceAt(index);
        if (device.IsUsable()) {
            devices_.push_back({device.Name(), index});
        }
    }
    if (devices_.empty()) {
        Show(texts::NoDevices, MessageIcon::Information);
        drive_ = nullptr;
        deviceSelection_ = -1;
        MutableOption(DiscOption::BufferProtection) = OptionBox{false, false};
        return;
    }
    DeviceChosen(0);
}

void DiscWindowModel::DeviceChosen(int entry)
{
    if (entry < 0 || static_cast<std::size_t>(entry) >= devices_.size()) {
        return;
    }
    deviceSelection_ = entry;
    drive_ = &engine_.DeviceAt(devices_[static_cast<std::size_t>(entry)].value);
    FillSpeeds();
    const bool protects = drive_->Supports(capability::BufferProtection);
    MutableOption(DiscOption::BufferProtection) = OptionBox{protects, protects};
}

void DiscWindowModel::FillSpeeds()
{
    speeds_.clear();
    for (int speed : drive_->WriteSpeeds()) {
        speeds_.push_back({FormatSpeedMultiple(drive_->SpeedMultiple(speed)), speed});
    }
    if (speeds_.empty()) {
        speeds_.push_back({texts::MaxSpeed, 0});
    }
    speedSelection_ = 0;
}

void DiscWindowModel::SpeedChosen(int entry)
{
    if (entry >= 0 && static_cast<std::size_t>(entry) < speeds_.size()) {
        speedSelection_ = entry;
    }
}

void DiscWindowModel::FillFileSystems()
{
    // Only what the engine can build is offered: a backend without UDF offers none of it.
    fileSystems_.clear();
    for (const FileSystemChoice& choice : FileSystemChoices) {
        if (engine_.Writer().CanWriteFileSystem(choice.code)) {
            fileSystems_.push_back({choice.text, choice.code});
        }
    }
    fileSystemSelection_ = fileSystems_.empty() ? -1 : 0;
    for (int preferred : PreferredFileSystems) {
        auto found = std::find_if(fileSystems_.begin(), fileSystems_.end(),
                                  [&](const ListChoice& c) { return c.value == preferred; });
        if (found != fileSystems_.end()) {
            fileSystemSelection_ = static_cast<int>(found - fileSystems_.begin());
            break;
        }
    }
    if (fileSystemSelection_ >= 0) {
        FileSystemChosen(fileSystemSelection_);
    }
}

void DiscWindowModel::FileSystemChosen(int entry)
{
    if (entry < 0 || static_cast<std::size_t>(entry) >= fileSystems_.size()) {
        return;
    }
    fileSystemSelection_ = entry;
    engine_.Writer().Settings().FileSystemType =
        fileSystems_[static_cast<std::size_t>(entry)].value;
}

void DiscWindowModel::LabelTyped(const std::string& text)
{
    label_ = FirstCharacters(text, LabelLength);
    if (FolderNode* root = FindNode(RootKey)) {
        root->text = label_;
    }
}

void DiscWindowModel::SetControlsEnabled(bool enabled)
{
    controlsEnabled_ = enabled;
    idle_ = enabled;
    busyPointer_ = !enabled;
    for (std::size_t box = 0; box < options_.size(); ++box) {
        options_[box].enabled = enabled;
    }
    MutableOption(DiscOption::BufferProtection).enabled =
        enabled && drive_ != nullptr && drive_->Supports(capability::BufferProtection);
    host_.ProcessPendingEvents();
}

FolderNode* DiscWindowModel::FindNode(const std::string& key)
{
    auto found = std::find_if(tree_.begin(), tree_.end(),
                              [&](const FolderNode& node) { return node.key == key; });
    return found == tree_.end() ? nullptr : &*found;
}

void DiscWindowModel::ResetImageView()
{
    files_.clear();
    selectedFile_.clear();
    tree_.clear();
    expanded_.clear();
    selectedFolder_.clear();
    tree_.push_back({RootKey, "", texts::NewDisc});
    label_ = texts::NewDisc;
    engine_.Writer().Settings().VolumeLabel = texts::NewDisc;
    UpdateImageStats();
}

void DiscWindowModel::UpdateImageStats()
{
    DataWriter& writer = engine_.Writer();
    panels_[0] = "Data Image Size: " + FormatMegabytes(writer.ImageSize());
    panels_[1] = "Files: " + std::to_string(writer.Image().FileCount());
    panels_[2] = "Folders: " + std::to_string(writer.Image().FolderCount());
}

void DiscWindowModel::ShowFolder(const std::string& key)
{
    busyPointer_ = true;
    files_.clear();
    selectedFile_.clear();
    for (const ImageItem& item : engine_.Writer().Image().ListFolder(key)) {
        if (!item.IsFolder) {
            files_.push_back(
                {item.ImagePath, item.Name, FormatKilobytes(item.Size), FormatItemDate(item.Date)});
        }
    }
    busyPointer_ = !controlsEnabled_;
}

void DiscWindowModel::RefreshView()
{
    const std::string key = selectedFolder_.empty() ? RootKey : selectedFolder_;
    ShowFolder(key);
    expanded_.insert(key);
    UpdateImageStats();
}

void DiscWindowModel::FolderClicked(const std::string& key)
{
    if (FindNode(key) == nullptr) {
        return;
    }
    selectedFolder_ = key;
    ShowFolder(key);
}

void DiscWindowModel::FileClicked(const std::string& key)
{
    if (std::any_of(files_.begin(), files_.end(), [&](const FileRow& r) { return r.key == key; })) {
        selectedFile_ = key;
    }
}

void DiscWindowModel::FilesDropped(const std::vector<std::string>& paths)
{
    if (!controlsEnabled_) {
        return;
    }
    busyPointer_ = true;
    const std::string target = selectedFolder_ == RootKey ? "" : selectedFolder_;
    DiscImage& image = engine_.Writer().Image();
    for (const std::string& path : paths) {
        const std::string imagePath = target + "\\" + BareName(path);
        const Result<FileFacts> facts = fileSystem_.Stat(path);
        if (facts && facts->isFolder) {
            image.AddFolder(path, imagePath);
        } else {
            image.AddFile(path, imagePath);
        }
    }
    RefreshView();
    busyPointer_ = false;
}

void DiscWindowModel::TreeRightClicked()
{
    host_.ShowFileMenu(FileMenuPopup::Tree);
}

void DiscWindowModel::ListRightClicked()
{
    host_.ShowFileMenu(FileMenuPopup::List);
}

void DiscWindowModel::ClearAllChosen()
{
    engine_.Writer().Image().Clear();
}

void DiscWindowModel::RemoveFolderChosen()
{
    if (selectedFolder_.empty()) {
        Show(texts::NoItemSelected, MessageIcon::Information);
        return;
    }
    if (!engine_.Writer().Image().Remove(selectedFolder_)) {
        Show(texts::ItemNotRemoved, MessageIcon::Information);
    }
    RefreshView();
}

void DiscWindowModel::RemoveFileChosen()
{
    if (selectedFile_.empty()) {
        Show(texts::NoItemSelected, MessageIcon::Information);
        return;
    }
    if (!engine_.Writer().Image().Remove(selectedFile_)) {
        Show(texts::ItemNotRemoved, MessageIcon::Information);
    }
    RefreshView();
}

void DiscWindowModel::RenameFolderChosen()
{
    if (selectedFolder_.empty()) {
        Show(texts::NoItemSelected, MessageIcon::Information);
        return;
    }
    if (TreeLabelEditStarting(selectedFolder_)) {
        host_.EditTreeLabel(selectedFolder_);
    }
}

void DiscWindowModel::RenameFileChosen()
{
    if (selectedFile_.empty()) {
        Show(texts::NoItemSelected, MessageIcon::Information);
        return;
    }
    host_.EditListLabel(selectedFile_);
}

bool DiscWindowModel::TreeLabelEditStarting(const std::string& key)
{
    if (key == RootKey) {
        Show(texts::RootNotRenamed, MessageIcon::Information);
        return false;
    }
    return true;
}

void DiscWindowModel::TreeLabelEdited(const std::string& text)
{
    // The node keeps its name when the engine refuses: the tree shows what the image holds.
    if (selectedFolder_.empty() || selectedFolder_ == RootKey) {
        return;
    }
    if (!engine_.Writer().Image().RenameFolder(selectedFolder_, text)) {
        Show(texts::FolderNotRenamed, MessageIcon::Information);
    }
    RefreshView();
}

void DiscWindowModel::ListLabelEdited(const std::string& text)
{
    if (selectedFile_.empty()) {
        return;
    }
    if (!engine_.Writer().Image().RenameFile(selectedFile_, text)) {
        Show(texts::FileNotRenamed, MessageIcon::Information);
    }
    RefreshView();
}

void DiscWindowModel::ExitChosen()
{
    host_.CloseWindow();
}

void DiscWindowModel::OptionClicked(DiscOption option, bool checked)
{
    OptionBox& box = MutableOption(option);
    if (!box.enabled) {
        return;
    }
    box.checked = checked;
    if (option == DiscOption::UseFileDates) {
        engine_.Writer().Settings().UseFileDates = checked;
    }
}

void DiscWindowModel::WriteDiscClicked()
{
    if (!WriteDiscEnabled()) {
        return;
    }
    drive_->MediaPresent(true);
    const MediaInfo media = drive_->Media();
    if (!media.Writable || media.MediaType == media::None) {
        Show(texts::InsertWritableMedia, MessageIcon::Information);
        return;
    }
    DataWriter& writer = engine_.Writer();
    const double freeBytes =
        static_cast<double>(drive_->FreeBlocks(true)) * static_cast<double>(writer.BlockSize());
    const double neededBytes = writer.ImageSize();
    if (freeBytes < neededBytes) {
        Show("Free Space on the loaded disc is " + FormatMegabyteNumber(freeBytes) + " MB!\r\n" +
                 "This data image requires " + FormatMegabyteNumber(neededBytes) +
                 " MB of Free Space!",
             MessageIcon::Information);
        return;
    }
    WriterSettings& settings = writer.Settings();
    settings.VolumeLabel = label_;
    settings.WriteSpeed = speeds_[static_cast<std::size_t>(speedSelection_)].value;
    if (fileSystemSelection_ >= 0) {
        settings.FileSystemType =
            fileSystems_[static_cast<std::size_t>(fileSystemSelection_)].value;
    }
    // A test write puts nothing on the disc, so there is nothing to read back.
    settings.AutoVerify = Checked(DiscOption::AutoVerify) && !Checked(DiscOption::TestWrite);
    settings.UseMode2XA = Checked(DiscOption::Mode2XA);
    settings.CacheImage = Checked(DiscOption::CacheImage);
    settings.TestWrite = Checked(DiscOption::TestWrite);
    settings.Finalize = Checked(DiscOption::FinalizeDisc);
    settings.BufferProtect = Checked(DiscOption::BufferProtection);
    settings.Mode =
        Checked(DiscOption::DiscAtOnce) ? WriteMode::DiscAtOnce : WriteMode::TrackAtOnce;
    verified_ = false;
    verifyTotal_ = 0;
    verifyMatched_ = 0;
    if (!writer.Write(*drive_)) {
        Show(texts::WriteNotStarted, MessageIcon::Stop);
        return;
    }
    SetControlsEnabled(false);
}

void DiscWindowModel::CancelClicked()
{
    if (idle_) {
        return;
    }
    engine_.Writer().Abort();
    panels_[0] = texts::AbortingWrite;
}

void DiscWindowModel::EjectChosen()
{
    if (DriveCommandsEnabled()) {
        drive_->Eject();
    }
}

void DiscWindowModel::CloseTrayChosen()
{
    if (DriveCommandsEnabled()) {
        drive_->CloseTray();
    }
}

void DiscWindowModel::EraseDiscChosen()
{
    if (DriveCommandsEnabled()) {
        host_.ShowEraseWindow(*drive_);
    }
}

void DiscWindowModel::StatusChanged(int percent, WriteStatus status)
{
    switch (status) {
        case WriteStatus::PreparingImage:
            panels_[0] = "Preparing Image....";
            break;
        case WriteStatus::Writing1:
        case WriteStatus::Writing2:
        case WriteStatus::Writing3:
            progress_ = std::clamp(percent, 0, 100);
            break;
        case WriteStatus::ClosingTrack:
            panels_[0] = "Closing Track....";
            break;
        case WriteStatus::WritingLeadIn:
            panels_[0] = "Writing Lead-in....";
            break;
        case WriteStatus::WritingLeadOut:
            panels_[0] = "Writing Lead-out....";
            break;
        case WriteStatus::UpdatingVolume:
            panels_[0] = "Updating Volume....";
            break;
        case WriteStatus::Completed:
            panels_[0] = texts::WriteCompleted;
            if (!engine_.Writer().Settings().AutoVerify) {
                Show(texts::WriteComplete, MessageIcon::Information);
            } else if (!verified_) {
                Show("Write Complete, but the disc could not be verified!",
                     MessageIcon::Exclamation);
            } else if (verifyMatched_ < verifyTotal_) {
                Show("Write Complete, but only " + std::to_string(verifyMatched_) + " of " +
                         std::to_string(verifyTotal_) + " files matched their source on the disc!",
                     MessageIcon::Exclamation);
            } else {
                Show(texts::WriteAndVerifyComplete, MessageIcon::Information);
            }
            SetControlsEnabled(true);
            break;
        case WriteStatus::Cancelled:
            panels_[0] = texts::WriteCancelledStatus;
            Show(texts::WriteCancelled, MessageIcon::Information);
            SetControlsEnabled(true);
            break;
        case WriteStatus::Failed:
            panels_[0] = texts::WriteErrorStatus;
            SetControlsEnabled(true);
            break;
    }
}

void DiscWindowModel::ReadingFile(int track, long counter, const std::string& text)
{
    const std::string number = std::to_string(track);
    panels_[0] = "Track: " + (number.size() < 2 ? "0" + number : number) + " - Reading..." +
                 std::to_string(counter) + " - " + text;
}

void DiscWindowModel::FileWarning(const FileError& error, bool& continueWrite)
{
    continueWrite = true;
    const MessageAnswer answer = messages_.Show(
        "File Warning(" + std::to_string(error.Code) + "):" + error.Path + "\r\n" + error.Text,
        texts::ApplicationTitle, MessageIcon::Exclamation, MessageButtons::OkCancel);
    if (answer == MessageAnswer::Cancel) {
        continueWrite = false;
        panels_[0] = texts::AbortingWrite;
        return;
    }
    panels_[0] = texts::FileWarningStatus;
}

void DiscWindowModel::WriteFailed(const WriteError& error)
{
    Show(ErrorText(error), MessageIcon::Stop);
}

void DiscWindowModel::VerifyStarted(int count)
{
    panels_[0] = "Auto-Verify... " + std::to_string(count) + " new files.";
}

void DiscWindowModel::VerifyItem(const ImageItem& item, VerifyResult result, int done, int total)
{
    if (const char* heading = VerifyHeading(result)) {
        messages_.Show(std::string(heading) + "\r\n" + item.ImagePath + " (disc)\r\n" +
                           item.SourcePath + " (source)",
                       texts::ApplicationTitle, MessageIcon::None, MessageButtons::Ok);
    }
    panels_[0] = "Auto-Verify... " + item.ImagePath;
    // Without a total there is nothing to measure against; the bar stays where it is.
    if (total > 0) {
        progress_ = std::clamp(RoundedPercent(done, total), 0, 100);
    }
}

void DiscWindowModel::VerifyDone(int total, int matched)
{
    verified_ = true;
    verifyTotal_ = total;
    verifyMatched_ = matched;
    panels_[0] = "Auto-Verify...Complete (" + std::to_string(matched) + " of " +
                 std::to_string(total) + " MATCHED)";
}

void DiscWindowModel::ItemAdded(const ImageItem& item)
{
    if (item.IsFolder) {
        tree_.push_back({item.ImagePath, item.Parent, item.Name});
        panels_[0] = "Adding...." + item.ImagePath;
    }
    host_.ProcessPendingEvents();
}

void DiscWindowModel::ItemRemoved(const ImageItem& item)
{
    if (!item.IsFolder) {
        return;
    }
    std::erase_if(tree_, [&](const FolderNode& node) { return node.key == item.ImagePath; });
    expanded_.erase(item.ImagePath);
    if (selectedFolder_ == item.ImagePath) {
        selectedFolder_.clear();
    }
}

void DiscWindowModel::ItemNameChanged(const ImageItem& item)
{
    if (!item.IsFolder) {
        return;
    }
    for (FolderNode& node : tree_) {
        if (node.key == item.PreviousPath) {
            node.key = item.ImagePath;
            node.text = item.Name;
        }
        if (node.parentKey == item.PreviousPath) {
            node.parentKey = item.ImagePath;
        }
    }
    if (expanded_.erase(item.PreviousPath) > 0) {
        expanded_.insert(item.ImagePath);
    }
    if (selectedFolder_ == item.PreviousPath) {
        selectedFolder_ = item.ImagePath;
    }
}

void DiscWindowModel::ReplaceFileAsked(const ImageItem& existing, const std::string& newSource,
                                       bool& replace)
{
    replace = messages_.Show("A file already exists in the image: \r\n" + existing.ImagePath +
                                 "\r\nWould you like to replace it with: \r\n" + newSource + " ?",
                             texts::ReplaceFileCaption, MessageIcon::Question,
                             MessageButtons::OkCancel) == MessageAnswer::Ok;
}

void DiscWindowModel::ImageCleared()
{
    ResetImageView();
}

}  // namespace kestrel
