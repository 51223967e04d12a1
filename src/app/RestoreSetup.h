#pragma once

#include <string>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "restore/RestoreSession.h"
#include "ui/Messages.h"

namespace kestrel {

// This machine's places for a restore into the target profile, from the shared state: the
// profile's items located for it and the options key of the installed Outlook version.
RestoreMachine RestoreMachineFor(const AppState& state, const std::string& targetProfile,
                                 Platform& platform, Messages& messages);

}  // namespace kestrel
