#pragma once

#include <ctime>
#include <string>

#include "archive/ItemTable.h"
#include "outlook/ProfileLocations.h"

namespace kestrel {

// What one backup was asked for, read once when it starts: whatever the window does
// afterwards, the run works on these values.
struct BackupRequest {
    std::string profileName;
    ItemBoxes boxes{};
    bool protect = false;
    std::string password;
    // The free description as typed; its line breaks are stored in a form the info file holds.
    std::string description;
    // Full Windows path of the archive to write.
    std::string targetPath;
    // Where the write puts the archive when not at targetPath: a run that reads its archive
    // back before anything is replaced writes it beside the target first. Empty: targetPath.
    std::string writePath;
    // When the run started; recorded in the info file.
    std::time_t startTime = 0;
};

// The machine and profile facts a backup records and reads its items from, gathered by the
// program at start-up (and for the profile chosen) so the run needs no window.
struct BackupMachine {
    std::string computerName;
    std::string logonUserName;
    // This run's private folder: the info file and the registry exports are made there.
    std::string runFolder;
    std::string profilesRootKey;
    // Where the items of the profile being backed up live.
    ProfileLocations locations;
};

}  // namespace kestrel
