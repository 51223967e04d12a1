#pragma once

#include <string>
#include <vector>

#include "outlook/ProfileLocations.h"

namespace kestrel {

// The program-wide values that the windows and runs share. Created at start-up and passed by
// reference; tests build their own. Paths are Windows paths without a trailing backslash.
struct AppState {
    // This run's private folder for the info file and temporary export files.
    std::string RunFolder;
    std::string ComputerName;
    std::string LogonUserName;
    std::string WindowsFolder;
    // "major.minor", such as "6.1".
    std::string WindowsVersion;
    // Short version of the last successful Outlook probe, such as "15.0"; empty until one.
    std::string OutlookShortVersion;
    std::string ProfilesRootKey;
    std::vector<std::string> ProfileNames;
    bool NoOutlookFlag = false;
    // The expansion of %UserProfile%; set only when profiles exist.
    std::string UserProfileFolder;
    // Where the source profile's items live: computed at start-up for the first profile and
    // again whenever another source profile is chosen.
    kestrel::ProfileLocations ProfileLocations;

    // Restore side: no valid backup archive is open on the restore tab.
    bool NoValidBackupFlag = true;
    std::string RestorePassword;

    // Backup side.
    std::string TargetArchivePath;

    // Hand-over of a finished archive to the disc-writing window, which clears both.
    std::string PendingDiscFileName;
    std::string PendingDiscFilePath;
};

}  // namespace kestrel
