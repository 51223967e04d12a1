#include "app/ScheduleJobAdd.h"

#include <string>

#include "outlook/OutlookRunsSetting.h"
#include "scheduler/SchedulerTexts.h"

namespace kestrel {
namespace {

constexpr const char* SecretPrefix = "job-";

std::nullopt_t NotScheduled(Messages& messages, const std::string& why)
{
    messages.Show(texts::TaskNotScheduled + why, texts::ApplicationTitle, MessageIcon::Stop,
                  MessageButtons::Ok);
    return std::nullopt;
}

// A job whose unattended run reads held files from a shadow copy needs the administrator's
// elevated token, which only the highest run level gives a task; the rights are checked here,
// as registering such a task needs them too.
bool NeedsHighestRunLevel(Platform& platform, IfOutlookRuns outlookWay)
{
    return outlookWay == IfOutlookRuns::Snapshot && platform.system->HasAdministratorRights();
}

void SayWhyNoShadowCopy(Platform& platform, Messages& messages)
{
    messages.Show(texts::ShadowCopyNeedsAllUsersInstallBefore + platform.system->ProgramFolder() +
                      texts::ShadowCopyNeedsAllUsersInstallAfter,
                  texts::ApplicationTitle, MessageIcon::Information, MessageButtons::Ok);
}

}  // namespace

// A task at the highest run level starts whatever file is then at the program's path with the
// administrator's token: where an unelevated process could put its own program there, it would
// gain those rights at the next run.
IfOutlookRuns JobOutlookWay(IfOutlookRuns chosen, Platform& platform)
{
    if (chosen != IfOutlookRuns::Snapshot ||
        (platform.system && platform.system->ProgramIsAdministratorsOnly())) {
        return chosen;
    }
    return IfOutlookRuns::Close;
}

std::optional<std::uint32_t> AddScheduledJob(const ScheduleChoices& choices, Platform& platform,
                                             Scheduler* scheduler, Messages& messages)
{
    if (!CheckScheduleChoices(choices, messages)) {
        return std::nullopt;
    }
    if (!scheduler || !platform.system) {
        return NotScheduled(messages, "this system offers no scheduler to add it to.");
    }
    std::string passwordKey;
    if (choices.protect) {
        if (!platform.secrets) {
            return NotScheduled(messages, "this system has no place to keep its password.");
        }
        Result<std::string> stored = platform.secrets->Store(SecretPrefix, choices.password);
        if (!stored) {
            return NotScheduled(messages,
                                "its password cannot be kept: " + stored.error().Reason());
        }
        passwordKey = *stored;
    }
    const IfOutlookRuns way = JobOutlookWay(choices.outlookWay, platform);
    if (way != choices.outlookWay) {
        SayWhyNoShadowCopy(platform, messages);
    }
    std::optional<JobInfo> job =
        BuildJobInfo(choices, platform.system->ProgramFolder(), passwordKey);
    if (job) {
        job->HighestRunLevel = NeedsHighestRunLevel(platform, way);
    }
    Result<std::uint32_t> added =
        job ? scheduler->Add(*job)
            : Result<std::uint32_t>(
                  Error{"schedule", choices.startTime, 0,
                        "the start time " + choices.startTime + " is no time of day"});
    if (!added) {
        if (!passwordKey.empty()) {
            platform.secrets->Remove(passwordKey);
        }
        return NotScheduled(messages, added.error().Reason());
    }
    return *added;
}

}  // namespace kestrel
