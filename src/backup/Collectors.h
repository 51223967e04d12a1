#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backup/ArchiveContents.h"
#include "outlook/ProfileLocations.h"
#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

// What the eleven collectors work with. Each collector finds its item's files or registry
// trees for the profile, adds them to the archive, appends the item's line to the info file
// and says whether the item was backed up whole. None of them looks at the window.
struct CollectorContext {
    FileSystem& fileSystem;
    RegistryAccess& registry;
    ArchiveContents& archive;
    std::string infoFilePath;
    // Where the registry exports are made.
    std::string runFolder;
    std::string profilesRootKey;
    ProfileLocations locations;
    // The archive being written: never collected, nor its partial files, when it lies in a
    // collected folder.
    std::string targetPath;
    // What the target path reaches now, and whether that is an archive of ours (a previous
    // backup kept beside the signatures, say) rather than a file of the user's.
    std::optional<FileIdentity> targetIdentity;
    bool targetHoldsBackup = false;
    // Set by the item that just ran when it failed for having nothing to back up: its folder
    // is there and holds no file (a missing folder, or a file it could not read, is a failure).
    bool foundNothing = false;
    // Files found that are the target itself and are the user's: a run that wrote the archive
    // there would replace them (see TargetClash).
    std::vector<std::string> sourcesAtTarget;
    // The folders holding the data files found.
    std::vector<std::string> dataFolders;
    // Registry exports made, for the run to remove after the write.
    std::vector<std::string> exportFiles;
    // What the archive lacks although it was found, one line each: a file that could not be
    // read, a registry value that cannot be stored.
    std::vector<std::string> leftOut;
};

// Why the target must not be written: it is a file the run found (`sourcesAtTarget`), or an
// existing file of the user's in a folder that holds the profile's data files. Nothing when
// the target is safe to write.
std::optional<std::string> TargetClash(const CollectorContext& context);

// Each returns true when the item produced at least one member and nothing it found was left
// out. An item that found something but had to leave a file out still records what it added
// (its info line), and returns false.
bool BackupConfig(CollectorContext& context, const std::string& strIdentity);
bool BackupDatas(CollectorContext& context, const std::string& strIdentity);
bool BackupRules(CollectorContext& context, const std::string& strIdentity);
bool BackupAccounts(CollectorContext& context, const std::string& strIdentity);
bool BackupSignatures(CollectorContext& context);
bool BackupStationery(CollectorContext& context);
bool BackupPab(CollectorContext& context, const std::string& strIdentity);
bool BackupConfigsetting(CollectorContext& context);
bool BackupTemplates(CollectorContext& context);
bool BackupSetting(CollectorContext& context);
bool BackupContacts(CollectorContext& context);

// The collector of the item at this position of the item table.
bool CollectItem(int position, CollectorContext& context, const std::string& profileName);

}  // namespace kestrel
