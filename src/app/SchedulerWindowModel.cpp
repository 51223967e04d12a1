#include "app/SchedulerWindowModel.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "app/BackupSetup.h"
#include "app/JobListing.h"
#include "app/ScheduleJobAdd.h"
#include "app/Startup.h"
#include "backup/BackupDialogue.h"
#include "backup/BackupGenerations.h"
#include "outlook/OutlookRunsSetting.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/LocalTime.h"
#include "registry/RegistryAccess.h"
#include "scheduler/SchedulerTexts.h"

namespace kestrel {
namespace {

// Where the window's own profile offers its items; the main window's are not touched.
ItemAvailability OfferedItems(const AppState& state, Platform& platform, Messages& messages,
                              const std::string& profile)
{
    if (!platform.registry || !platform.fileSystem) {
        return {};
    }
    RegistryAccess registry(*platform.registry, messages);
    const DiscoveryContext context = DiscoveryContextOf(state);
    const ProfileLocations locations = LocateProfileItems(context, profile, registry);
    return FindAvailableItems(context, profile, locations, registry, *platform.fileSystem);
}

// The list's order.
constexpr IfOutlookRuns OutlookWays[] = {IfOutlookRuns::Close, IfOutlookRuns::Snapshot,
                                         IfOutlookRuns::Skip};

}  // namespace

SchedulerWindowModel::SchedulerWindowModel(const AppState& state, Platform& platform,
                                           Scheduler* scheduler, Messages& messages,
                                           Dialogs& dialogs, SchedulerWindowHost& host)
    : state_(state),
      platform_(platform),
      scheduler_(scheduler),
      messages_(messages),
      dialogs_(dialogs),
      host_(host)
{
}

void SchedulerWindowModel::Load()
{
    startTimes_ = StartTimes();
    choices_.startTime = DefaultStartTime;
    if (platform_.registry) {
        RegistryAccess registry(*platform_.registry, messages_);
        choices_.outlookWay = ReadUnattendedOutlookWay(registry);
    }
    profiles_ = state_.ProfileNames;
    if (platform_.registry) {
        policies_ = ReadPolicies(*platform_.registry, platform_.system.get());
    }
    ShowPolicies();
    if (profiles_.empty()) {
        return;
    }
    ProfileChosen(0);
}

void SchedulerWindowModel::ShowPolicies()
{
    if (policies_.time) {
        choices_.startTime = *policies_.time;
        // A policy time off the half hours is still the one shown.
        if (std::find(startTimes_.begin(), startTimes_.end(), *policies_.time) ==
            startTimes_.end()) {
            startTimes_.push_back(*policies_.time);
        }
    }
    if (policies_.days) {
        choices_.days = *policies_.days;
        daily_ =
            std::all_of(choices_.days.begin(), choices_.days.end(), [](bool on) { return on; });
    }
    if (policies_.target) {
        choices_.targetFile = *policies_.target;
        targetFileText_ = *policies_.target;
    }
    if (policies_.keep) {
        choices_.keep = *policies_.keep;
    }
    if (policies_.whenOutlookRuns) {
        choices_.outlookWay = *policies_.whenOutlookRuns;
    }
    if (ProtectLocked()) {
        choices_.protect = true;
    }
}

void SchedulerWindowModel::ShowPolicyItems()
{
    for (std::size_t box = 0; box < items_.size(); ++box) {
        items_[box].checked = (*policies_.items)[box] && items_[box].enabled;
        items_[box].enabled = false;
    }
}

void SchedulerWindowModel::ProfileChosen(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= profiles_.size()) {
        return;
    }
    profileSelection_ = index;
    const ItemAvailability offered =
        OfferedItems(state_, platform_, messages_, profiles_[static_cast<std::size_t>(index)]);
    // The ticks were for the profile before.
    for (std::size_t box = 0; box < items_.size(); ++box) {
        items_[box].enabled = offered.enabled[box];
        items_[box].checked = false;
    }
    if (offered.addressBookToolTip) {
        items_[AddressBookBox].toolTip = *offered.addressBookToolTip;
    }
    if (ItemsLocked()) {
        ShowPolicyItems();
    }
}

void SchedulerWindowModel::SetItemChecked(int index, bool checked)
{
    if (ItemsLocked() || index < 0 || index >= ItemBoxCount) {
        return;
    }
    ItemBox& box = items_[static_cast<std::size_t>(index)];
    box.checked = checked && box.enabled;
}

void SchedulerWindowModel::StartTimeChosen(int index)
{
    if (!StartTimeLocked() && index >= 0 && static_cast<std::size_t>(index) < startTimes_.size()) {
        choices_.startTime = startTimes_[static_cast<std::size_t>(index)];
    }
}

void SchedulerWindowModel::SetDayChecked(Weekday day, bool checked)
{
    if (DaysLocked()) {
        return;
    }
    choices_.days[static_cast<std::size_t>(day)] = checked;
}

void SchedulerWindowModel::DailyClicked(bool checked)
{
    if (DaysLocked()) {
        return;
    }
    daily_ = checked;
    choices_.days.fill(checked);
}

void SchedulerWindowModel::ProtectClicked(bool checked)
{
    choices_.protect = checked || ProtectLocked();
    choices_.password.clear();
    choices_.retypedPassword.clear();
}

void SchedulerWindowModel::SetPasswords(const std::string& password, const std::string& retyped)
{
    if (!choices_.protect) {
        return;
    }
    choices_.password = password;
    choices_.retypedPassword = retyped;
}

PasswordBoxColour SchedulerWindowModel::PasswordColour() const
{
    return choices_.protect ? PasswordBoxColour::WindowBackground
                            : PasswordBoxColour::ScrollBarGrey;
}

void SchedulerWindowModel::TargetFileClicked()
{
    if (TargetLocked()) {
        return;
    }
    FileDialogRequest request;
    request.title = texts::SaveBackupTitle;
    request.filter = texts::BackupFileFilter;
    request.proposedName = "xebackup" + FormatLocalTime(std::time(nullptr), "%m-%d-%Y");
    request.defaultExtension = texts::BackupFileExtension;
    const std::optional<std::string> chosen = dialogs_.ChooseSaveFile(request);
    if (!chosen || chosen->empty()) {
        return;
    }
    targetFileText_ = *chosen;
    choices_.targetFile = *chosen;
}

ScheduleChoices SchedulerWindowModel::Choices() const
{
    ScheduleChoices choices = choices_;
    choices.profile = profileSelection_ < 0
                          ? std::string()
                          : profiles_[static_cast<std::size_t>(profileSelection_)];
    for (std::size_t box = 0; box < items_.size(); ++box) {
        choices.items[box] = items_[box].checked;
    }
    return choices;
}

void SchedulerWindowModel::AddTaskClicked()
{
    const std::optional<std::uint32_t> added =
        AddScheduledJob(Choices(), platform_, scheduler_, messages_);
    if (!added) {
        return;
    }
    messages_.Show(texts::TaskScheduledBefore + std::to_string(*added) + texts::TaskScheduledAfter,
                   texts::ApplicationTitle, MessageIcon::None, MessageButtons::Ok);
    // The user's own choice stays theirs while the policy decides for them. Every run of the
    // user's jobs reads it: it names the way they can take.
    if (!OutlookWayLocked()) {
        choices_.outlookWay = JobOutlookWay(choices_.outlookWay, platform_);
        if (!SaveOutlookWay()) {
            messages_.Show(texts::OutlookWayNotKept, texts::ApplicationTitle,
                           MessageIcon::Exclamation, MessageButtons::Ok);
        }
    }
    host_.CloseWindow();
}

void SchedulerWindowModel::OpenSchedulerClicked()
{
    if (!scheduler_) {
        messages_.Show(std::string(texts::SchedulerNotOpened) + "this system offers no scheduler.",
                       texts::ApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    host_.OpenScheduler();
}

void SchedulerWindowModel::JobListingClicked()
{
    if (!scheduler_) {
        messages_.Show(std::string(texts::SchedulerNotOpened) + "this system offers no scheduler.",
                       texts::ApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    const Result<std::vector<ListedJob>> jobs = scheduler_->List();
    if (!jobs) {
        messages_.Show(texts::SchedulerNotOpened + jobs.error().Reason(), texts::ApplicationTitle,
                       MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    host_.ShowJobListing(JobListingTable(*jobs, ReadBackupLog(platform_)));
}

void SchedulerWindowModel::SetDifferential(bool checked)
{
    choices_.differentialDays = checked ? DefaultFullAfterDays : 0;
}

void SchedulerWindowModel::SetKeep(int keep)
{
    if (!KeepLocked()) {
        choices_.keep = std::clamp(keep, 1, KeepAtMost);
    }
}

void SchedulerWindowModel::OutlookWayChosen(int index)
{
    if (!OutlookWayLocked() && index >= 0 &&
        static_cast<std::size_t>(index) < std::size(OutlookWays)) {
        choices_.outlookWay = OutlookWays[index];
    }
}

std::vector<std::string> SchedulerWindowModel::OutlookWayList()
{
    return {texts::OutlookWayClose, texts::OutlookWaySnapshot, texts::OutlookWaySkip};
}

int SchedulerWindowModel::OutlookWaySelection() const
{
    const auto* way =
        std::find(std::begin(OutlookWays), std::end(OutlookWays), choices_.outlookWay);
    return way == std::end(OutlookWays) ? 0 : static_cast<int>(way - std::begin(OutlookWays));
}

bool SchedulerWindowModel::SaveOutlookWay()
{
    if (!platform_.registry) {
        return false;
    }
    RegistryAccess registry(*platform_.registry, messages_);
    return WriteUnattendedOutlookWay(registry, choices_.outlookWay);
}

void SchedulerWindowModel::CancelClicked()
{
    host_.CloseWindow();
}

}  // namespace kestrel
