#pragma once

#include "platform/Platform.h"

namespace kestrel {

// Runs the main window until the user quits; returns the process exit status.
int RunMainWindow(int argc, char** argv, Platform& platform);

}  // namespace kestrel
