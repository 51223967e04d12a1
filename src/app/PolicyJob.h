#pragma once

#include <string>

#include "app/AppState.h"
#include "app/Policies.h"
#include "platform/Platform.h"
#include "scheduler/Scheduler.h"

namespace kestrel {

// The scheduled backup the administrator's policies give every user of the machine: when they
// set the days, the time and the target, each user's start of Kestrel makes the user's job (with
// the first profile, the policy's items, else every item the profile offers, and its keep), or
// brings the one it made before in line with the policies. That job is the user's one whose
// target is the policy's; the user's other jobs stay as they are. Nothing is made where a
// password is required: nobody is there to give it (the user adds the job in the options
// window, whose controls the policies fill in).
// The start of a message that says why the job could not be made.
inline constexpr const char* PolicyJobNotMade =
    "The scheduled backup your administrator set up could not be made: ";

enum class PolicyJobResult { NotSet, InLine, Added, Replaced, Failed };

// `why` says why, for Failed (and for NotSet when the policies set the schedule but the job
// cannot be made here, a null scheduler among the reasons).
PolicyJobResult BringPolicyJobInLine(const Policies& policies, const AppState& state,
                                     Platform& platform, Scheduler* scheduler, std::string& why);

}  // namespace kestrel
