#pragma once

#include <string>
#include <vector>

#include "app/AppState.h"
#include "backup/BackupRequest.h"
#include "platform/Platform.h"
#include "ui/Messages.h"

namespace kestrel {

// The facts a backup of the profile records, from the shared state, with the profile's item
// locations found for that profile (the window's state holds those of the profile it shows,
// which an unattended run or `kestrel backup` may not name).
BackupMachine BackupMachineFor(const AppState& state, const std::string& profileName,
                               Platform& platform, Messages& messages);

// Where each unattended run leaves its line: %LOCALAPPDATA%\Kestrel\kestrel.log.
std::string BackupLogPath(const Platform& platform);

// The lines of that log, as UTF-8; none when there is no log yet.
std::vector<std::string> ReadBackupLog(Platform& platform);

}  // namespace kestrel
