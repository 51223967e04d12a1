#pragma once

#include <string>

#include "app/AppState.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/Platform.h"
#include "ui/Messages.h"

namespace kestrel {

// Fills the shared state as the main window's load does, in this order: the info-file path,
// computer and user names and the Windows folder, the Windows version, the Outlook version,
// the profiles root key, the profile list and, when profiles exist, the user's profile
// folder and the first profile's item locations. A step that fails leaves its value empty and the
// next one runs. Needs no window, so the unattended backup runs it too. Registry paths that are
// malformed (none are built so) would be reported through `messages`. Interrupted restores are
// recovered before it, once per program (RecoverInterruptedRestore).
void LoadSharedState(AppState& state, Platform& platform, Messages& messages);

// Finishes or undoes the restores that were cut short (a crash, a kill): see
// RecoverInterruptedRestores. Returns what was done, for the caller to tell the user once;
// empty when there was nothing to do. Every program calls it when it starts.
std::string RecoverInterruptedRestore(Platform& platform);

// The discovery inputs as the shared state holds them.
DiscoveryContext DiscoveryContextOf(const AppState& state);

}  // namespace kestrel
