#include "app/ScheduleJobAdd.h"

#include <string>

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

}  // namespace

std::optional<std::uint32_t> AddScheduledJob(const ScheduleChoices& choices, Platform& platform,
                                             Messages& messages)
{
    if (!CheckScheduleChoices(choices, messages)) {
        return std::nullopt;
    }
    if (!platform.scheduler || !platform.system) {
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
    const std::optional<JobInfo> job =
        BuildJobInfo(choices, platform.system->ProgramFolder(), passwordKey);
    Result<std::uint32_t> added =
        job ? platform.scheduler->Add(*job)
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
