#pragma once

#include <string>

#include "platform/Platform.h"

namespace kestrel {

// The program started with an argument text: fills the shared state, runs the unattended
// backup and returns the process exit status (0 when a backup was written). Creates no
// window and shows no message, so it runs from a scheduler with no desktop session.
int RunFromCommandLine(const std::string& commandLineText, Platform& platform);

}  // namespace kestrel
