#pragma once

#include <string>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreSession.h"
#include "ui/Messages.h"

namespace kestrel {

// This machine's places for a restore into the target profile, from the shared state: the
// profile's items located for it and the options key of the installed Outlook version.
RestoreMachine RestoreMachineFor(const AppState& state, const std::string& targetProfile,
                                 Platform& platform, Messages& messages);

// A restore whose result message lists only the first ReportedFailuresAtMost failures leaves
// all of them in the program's log (kestrel.log), one line each: the local time, the archive
// restored from, the reason. Nothing is written for a shorter list.
void LogRestoreFailures(Platform& platform, const std::string& archivePath,
                        const RestoreOutcome& outcome);

}  // namespace kestrel
