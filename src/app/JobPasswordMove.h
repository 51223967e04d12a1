#pragma once

#include <string>

#include "backup/UnattendedBackup.h"
#include "platform/Platform.h"
#include "scheduler/Scheduler.h"

namespace kestrel {

// What moving a job's password out of its command line came to, for the run's log.
struct JobPasswordMove {
    // Empty when there was nothing to move: no password in the text, or no job of ours starts
    // the program with this text (someone typed it).
    std::string logText;
    bool moved = false;
};

// A job made before passwords were kept as the user's secrets holds its password in its command
// line, which every user of the machine can read while it runs. At the job's run the password
// moves: it is kept as the user's secret, every job of ours with this argument text is replaced
// by one that names the secret instead (same times, program and run level), and the old one is
// removed. When a step fails the job stays as it was and nothing is left behind: no secret, no
// second job. `arguments` are those parsed from `argumentText`; a null scheduler moves nothing.
JobPasswordMove MoveJobPasswordToSecrets(Platform& platform, Scheduler* scheduler,
                                         const std::string& argumentText,
                                         const UnattendedArguments& arguments);

}  // namespace kestrel
