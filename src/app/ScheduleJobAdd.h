#pragma once

#include <cstdint>
#include <optional>

#include "platform/Platform.h"
#include "scheduler/ScheduledBackup.h"
#include "ui/Messages.h"

namespace kestrel {

// Adds the job of the options window and of `kestrel schedule add`, one flow for both: the
// checks (each refusal shown through `messages`), the password kept as a secret of the user,
// the job handed to the system's scheduler. Returns the job's id, or nothing after a message
// that says why; a refused job leaves no secret behind. Reporting success is the caller's.
std::optional<std::uint32_t> AddScheduledJob(const ScheduleChoices& choices, Platform& platform,
                                             Messages& messages);

}  // namespace kestrel
