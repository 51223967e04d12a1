#pragma once

#include <string>

#include "platform/Platform.h"

namespace kestrel {

// The program started with an argument text: fills the shared state, runs the unattended
// backup, appends its line to the log and returns the exit status: 0 written with every item,
// 1 written but an item failed, 2 nothing written (the argument text included). Creates no
// window and shows no message, so it runs from a scheduler with no desktop session.
int RunFromCommandLine(const std::string& commandLineText, Platform& platform);

}  // namespace kestrel
