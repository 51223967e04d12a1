#pragma once

#include <cstdint>
#include <optional>

#include "platform/Platform.h"
#include "scheduler/ScheduledBackup.h"
#include "scheduler/Scheduler.h"
#include "ui/Messages.h"

namespace kestrel {

// Adds the job of the options window and of `kestrel schedule add`, one flow for both: the
// checks (each refusal shown through `messages`), the password kept as a secret of the user,
// the job handed to the system's scheduler. Returns the job's id, or nothing after a message
// that says why; a refused job leaves no secret behind. A shadow-copy job of a program anyone
// could replace is added with the close way, after a message that says why. Reporting success is
// the caller's. The way a job's runs take when Outlook holds a file: a shadow copy only where the
// program may run with the highest run level (installed where only administrators can change it);
// otherwise closing Outlook.
IfOutlookRuns JobOutlookWay(IfOutlookRuns chosen, Platform& platform);

// A null scheduler: this system offers none, and the job is refused with a message that says so.
std::optional<std::uint32_t> AddScheduledJob(const ScheduleChoices& choices, Platform& platform,
                                             Scheduler* scheduler, Messages& messages);

}  // namespace kestrel
