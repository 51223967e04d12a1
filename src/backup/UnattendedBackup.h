#pragma once

#include "app/AppState.h"
#include "app/Messages.h"
#include "platform/Platform.h"

namespace kestrel {

// The backup taken without any window from the command line a scheduled job starts the
// program with. Returns true when a backup was written.
bool RunUnattendedBackup(AppState& state, Platform& platform, Messages& messages);

}  // namespace kestrel
