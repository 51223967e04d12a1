#include "app/PolicyJob.h"

#include <optional>
#include <vector>

#include "app/ScheduleJobAdd.h"
#include "app/Startup.h"
#include "backup/UnattendedBackup.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/NameCase.h"
#include "registry/RegistryAccess.h"
#include "ui/Messages.h"

namespace kestrel {
namespace {

// The boxes the profile offers, as the options window finds them.
ItemBoxes OfferedBoxes(const AppState& state, Platform& platform, Messages& messages,
                       const std::string& profile)
{
    ItemBoxes boxes{};
    if (!platform.registry || !platform.fileSystem) {
        return boxes;
    }
    RegistryAccess registry(*platform.registry, messages);
    const DiscoveryContext context = DiscoveryContextOf(state);
    const ProfileLocations locations = LocateProfileItems(context, profile, registry);
    const ItemAvailability offered =
        FindAvailableItems(context, profile, locations, registry, *platform.fileSystem);
    for (std::size_t box = 0; box < boxes.size(); ++box) {
        boxes[box] = offered.enabled[box];
    }
    return boxes;
}

ScheduleChoices PolicyChoices(const Policies& policies, const AppState& state, Platform& platform,
                              Messages& messages)
{
    ScheduleChoices choices;
    choices.profile = state.ProfileNames.front();
    choices.items =
        policies.items.value_or(OfferedBoxes(state, platform, messages, choices.profile));
    choices.startTime = *policies.time;
    choices.days = *policies.days;
    choices.targetFile = *policies.target;
    choices.keep = policies.keep.value_or(1);
    choices.outlookWay = policies.whenOutlookRuns.value_or(IfOutlookRuns::Close);
    return choices;
}

// Whether the job runs when and as the policies say.
bool InLine(const ListedJob& listed, const UnattendedArguments& arguments,
            const ScheduleChoices& wanted)
{
    const std::optional<JobInfo> job = BuildJobInfo(wanted, "");
    return job && listed.job.DaysOfWeek == job->DaysOfWeek && listed.job.JobTime == job->JobTime &&
           arguments.keep == wanted.keep && arguments.itemFlags == ItemFlagsOf(wanted.items);
}

// Collects a refusal's text instead of showing it: nobody asked for this job.
class KeptMessages final : public Messages {
public:
    MessageAnswer Show(const std::string& text, const std::string&, MessageIcon,
                       MessageButtons) override
    {
        text_ = text;
        return MessageAnswer::Ok;
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

}  // namespace

PolicyJobResult BringPolicyJobInLine(const Policies& policies, const AppState& state,
                                     Platform& platform, Scheduler* scheduler, std::string& why)
{
    if (!policies.SetsSchedule()) {
        return PolicyJobResult::NotSet;
    }
    if (!scheduler || state.ProfileNames.empty() || policies.passwordRequired.value_or(false)) {
        why = !scheduler                   ? "this system offers no scheduler"
              : state.ProfileNames.empty() ? "there is no Outlook profile"
                                           : "a password is required";
        return PolicyJobResult::NotSet;
    }
    KeptMessages messages;
    const ScheduleChoices wanted = PolicyChoices(policies, state, platform, messages);
    const Result<std::vector<ListedJob>> jobs = scheduler->List();
    if (!jobs) {
        why = jobs.error().Reason();
        return PolicyJobResult::Failed;
    }
    bool replaced = false;
    for (const ListedJob& listed : *jobs) {
        const std::optional<UnattendedArguments> arguments =
            ParseUnattendedArguments(listed.job.Arguments);
        if (!arguments || !EqualsIgnoringCase(arguments->archivePath, wanted.targetFile)) {
            continue;
        }
        if (InLine(listed, *arguments, wanted)) {
            return PolicyJobResult::InLine;
        }
        if (const std::optional<Error> failure = scheduler->Remove(listed.id)) {
            why = failure->Reason();
            return PolicyJobResult::Failed;
        }
        replaced = true;
    }
    if (!AddScheduledJob(wanted, platform, scheduler, messages)) {
        why = messages.Text();
        return PolicyJobResult::Failed;
    }
    return replaced ? PolicyJobResult::Replaced : PolicyJobResult::Added;
}

}  // namespace kestrel
