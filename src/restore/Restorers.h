#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "archive/Differential.h"
#include "archive/ItemTable.h"
#include "archive/ZipComponent.h"
#include "outlook/ProfileLocations.h"
#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"
#include "restore/ReplacedFolder.h"

namespace kestrel {

// What the restorers work with: the opened archive, the item values of its info file, and the
// target profile's places on this machine (never the source machine's). Each restorer writes
// its item into the target and says whether it was written whole; everything it replaces is
// kept in `replaced` first, and a file or tree it could not keep is left as it was.
struct RestoreContext {
    FileSystem& fileSystem;
    RegistryAccess& registry;
    ZipComponent& zip;
    ReplacedFolder& replaced;
    // OpenedItemValues of the opened backup.
    std::array<std::string, ItemCount> values;
    // The program's private work folder: registry exports and the rules file are extracted
    // into a fresh folder made below it (extractionFolder, once the first is needed), never
    // into a folder of the user's nor beside the run folder's own files. Whoever sets up the
    // context removes extractionFolder at the end.
    std::string runFolder;
    // Folders are created only below it.
    std::string userProfileFolder;
    std::string profilesRootKey;
    std::string targetProfile;
    // Where the target profile's items live on this machine (LocateProfileItems).
    ProfileLocations locations;
    // This machine's folder for data files and address books, and the target profile's
    // favourites file, which names the data files as they were and is dropped.
    std::string dataFolder;
    std::string favouritesFile;
    // The source path of each data-file and address-book member, joined by "|"
    // (OpenedBackup::DatasSources, PabSources); empty for older archives.
    std::string datasSources;
    std::string pabSources;
    // Why items failed, one line each, for the result message.
    std::vector<std::string> failures;
    // Set once the trees the run replaces have been kept.
    bool treesKept = false;
    // Raised from another thread to stop the run before its next member; may be null.
    const std::atomic<bool>* stopRequested = nullptr;
    std::string extractionFolder;
    // For a differential backup: its data files are rebuilt from these parts; null otherwise.
    const DifferentialParts* differential = nullptr;

    bool StopRequested() const { return stopRequested != nullptr && stopRequested->load(); }
};

// One file an item's info value names: a member of the archive, or a piece of the value that
// names none (missing, or no name the restore may use: IsMemberPath).
struct ValueEntry {
    std::string name;
    bool found = false;

    bool operator==(const ValueEntry&) const = default;
};

// The files of a value split at ";", a piece that names no member joined with the following
// ones until it does (a file name may hold ";"). A piece that never does is an entry of its
// own, not found, and the next piece starts afresh: one bad name costs only its own file.
// A stop raised meanwhile ends the work early, with the entries found so far.
std::vector<ValueEntry> ValueEntries(const ZipComponent& zip, const std::string& value,
                                     const std::atomic<bool>* stopRequested = nullptr);

// Creates every missing level of the folder, only below userProfileFolder. True when the
// folder exists afterwards.
bool CreateFoldersBelow(FileSystem& fileSystem, const std::string& userProfileFolder,
                        const std::string& folder);

// The data folder and favourites file of this machine's layout for the profile.
std::string DataFolderFor(const std::string& userProfileFolder, const std::string& windowsVersion);
std::string FavouritesFileFor(const std::string& userProfileFolder,
                              const std::string& windowsVersion, const std::string& profile);

bool RestoreConfig(RestoreContext& context);
// Extracts the data files into the data folder and points the target profile's entries of
// those files (and only those: an entry of a file the backup lacks keeps its path) at them.
bool RestoreDatas(RestoreContext& context);
bool RestorePab(RestoreContext& context);
bool RestoreRules(RestoreContext& context);
bool RestoreAccounts(RestoreContext& context);
bool RestoreSignatures(RestoreContext& context);
bool RestoreStationery(RestoreContext& context);
bool RestoreConfigsetting(RestoreContext& context);
bool RestoreTemplates(RestoreContext& context);
bool RestoreSetting(RestoreContext& context);
bool RestoreContacts(RestoreContext& context);

}  // namespace kestrel
