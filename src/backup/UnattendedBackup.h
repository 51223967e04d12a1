#pragma once

#include <string>

#include "outlook/ProfileDiscovery.h"
#include "platform/Platform.h"
#include "ui/Messages.h"

namespace kestrel {

// The backup taken without any window from the command line a scheduled job starts the
// program with. Returns true when a backup was written.
bool RunUnattendedBackup(const std::string& commandLineText, const DiscoveryContext& context,
                         Platform& platform, Messages& messages);

}  // namespace kestrel
