#include "app/MainWindowModel.h"

#include "app/MainWindowTexts.h"
#include "app/Startup.h"
#include "platform/PathJoin.h"

namespace kestrel {

MainWindowModel::MainWindowModel(AppState& state, Platform& platform, Messages& messages,
                                 MainWindowHost& host)
    : state_(state), platform_(platform), messages_(messages), host_(host)
{
}

void MainWindowModel::Load()
{
    progressPanelVisible_ = false;
    progressValue_ = 0;
    statusText_ = texts::PleaseWaiting;
    applyCaption_ = activeTab_ == MainTab::Backup ? texts::BackupNow : texts::RestoreNow;

    LoadSharedState(state_, platform_, messages_);

    if (state_.NoOutlookFlag) {
        messages_.Show(texts::NoOutlook, texts::ApplicationTitle, MessageIcon::Stop,
                       MessageButtons::Ok);
        applyEnabled_ = false;
        return;
    }
    sourceProfiles_ = state_.ProfileNames;
    targetProfiles_ = state_.ProfileNames;
    sourceSelection_ = 0;
    targetSelection_ = 0;
    // Loading the shared state located the first profile's items already.
    OfferSourceItems();
}

void MainWindowModel::SourceProfileChosen(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= sourceProfiles_.size()) {
        return;
    }
    sourceSelection_ = index;
    if (platform_.registry) {
        RegistryAccess registry(*platform_.registry, messages_);
        state_.ProfileLocations = LocateProfileItems(
            DiscoveryContextOf(state_), sourceProfiles_[static_cast<std::size_t>(index)], registry);
    }
    OfferSourceItems();
}

void MainWindowModel::OfferSourceItems()
{
    // A new profile starts from nothing ticked: the user's ticks were for another profile.
    for (ItemBox& box : backupItems_) {
        box.enabled = true;
        box.checked = false;
    }
    if (!platform_.registry || !platform_.fileSystem) {
        return;
    }
    const std::string& profile = sourceProfiles_[static_cast<std::size_t>(sourceSelection_)];
    RegistryAccess registry(*platform_.registry, messages_);
    const ItemAvailability items =
        FindAvailableItems(DiscoveryContextOf(state_), profile, state_.ProfileLocations, registry,
                           *platform_.fileSystem);
    for (std::size_t box = 0; box < backupItems_.size(); ++box) {
        backupItems_[box].enabled = items.enabled[box];
    }
    if (items.addressBookToolTip) {
        backupItems_[AddressBookBox].toolTip = *items.addressBookToolTip;
    }
}

void MainWindowModel::TabClicked(MainTab newTab)
{
    // The caption follows the tab that was left, as the tab control reports it.
    MainTab previous = activeTab_;
    activeTab_ = newTab;
    applyCaption_ = previous != MainTab::Restore ? texts::RestoreNow : texts::BackupNow;
}

void MainWindowModel::ApplyClicked()
{
    if (activeTab_ == MainTab::Backup) {
        StartBackupRun();
        return;
    }
    if (messages_.Show(texts::RestoreConfirmation, texts::ApplicationTitle,
                       MessageIcon::Information, MessageButtons::OkCancel) == MessageAnswer::Ok) {
        StartRestoreRun();
    }
}

void MainWindowModel::BackupNowChosen()
{
    StartBackupRun();
}

void MainWindowModel::RestoreNowChosen()
{
    StartRestoreRun();
}

void MainWindowModel::TaskSchedulerChosen()
{
    host_.ShowSchedulerWindow();
}

void MainWindowModel::BackupToCdChosen()
{
    host_.ShowDiscWindow();
}

void MainWindowModel::HelpChosen()
{
    // The Windows folder is asked for again: the help viewer lives there.
    const std::string viewer = JoinPath(platform_.system->WindowsFolder(), "hh.exe");
    const std::string helpFile = JoinPath(platform_.system->ProgramFolder(), "help.chm");
    platform_.shell->StartProcess(viewer, helpFile);
}

void MainWindowModel::OurWebsiteChosen()
{
    platform_.shell->OpenDocument(texts::WebsiteAddress);
}

void MainWindowModel::AboutChosen()
{
    host_.ShowAboutWindow();
}

void MainWindowModel::QuitChosen()
{
    host_.EndProgram();
}

void MainWindowModel::ItemsFrameMouseDown(MainTab frame, MouseButton button)
{
    if (button != MouseButton::Right) {
        return;
    }
    host_.ShowPopupMenu(frame == MainTab::Backup ? ItemsPopupMenu::BackupItems
                                                 : ItemsPopupMenu::RestoreItems);
}

void MainWindowModel::SelectAllItems(MainTab tab)
{
    for (ItemBox& box : MutableItems(tab)) {
        box.checked = box.enabled;
    }
}

void MainWindowModel::DeselectAllItems(MainTab tab)
{
    for (ItemBox& box : MutableItems(tab)) {
        box.checked = false;
    }
}

void MainWindowModel::ProtectClicked(bool checked)
{
    protect_ = checked;
    password_.clear();
    retypedPassword_.clear();
}

void MainWindowModel::SetItemChecked(MainTab tab, int index, bool checked)
{
    if (index < 0 || index >= ItemBoxCount) {
        return;
    }
    ItemBox& box = MutableItems(tab)[static_cast<std::size_t>(index)];
    // A disabled box cannot be ticked by the user.
    box.checked = checked && box.enabled;
}

void MainWindowModel::SetPasswords(const std::string& password, const std::string& retyped)
{
    password_ = password;
    retypedPassword_ = retyped;
}

const ItemBoxStates& MainWindowModel::Items(MainTab tab) const
{
    return tab == MainTab::Backup ? backupItems_ : restoreItems_;
}

ItemBoxStates& MainWindowModel::MutableItems(MainTab tab)
{
    return tab == MainTab::Backup ? backupItems_ : restoreItems_;
}

PasswordBoxColour MainWindowModel::PasswordColour() const
{
    return protect_ ? PasswordBoxColour::WindowBackground : PasswordBoxColour::ScrollBarGrey;
}

void MainWindowModel::StartBackupRun()
{
    // Placeholder: the backup run is not built yet, so this does nothing.
}

void MainWindowModel::StartRestoreRun()
{
    // Placeholder: the restore run is not built yet, so this does nothing.
}

}  // namespace kestrel
