#include "backup/Collectors.h"

#include <algorithm>

#include "archive/InfoFile.h"
#include "archive/ItemTable.h"
#include "archive/MemberName.h"
#include "backup/BackupGenerations.h"
#include "outlook/DataStorePaths.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "registry/KeyExport.h"

namespace kestrel {
namespace {

std::string JoinNames(const std::vector<std::string>& names, char separator)
{
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) {
            joined += separator;
        }
        joined += name;
    }
    return joined;
}

std::string ProfileKey(const CollectorContext& context, const std::string& profileName)
{
    return context.profilesRootKey + "\\" + profileName;
}

// The archive being written and the partial files its write leaves beside it. The target is
// found by what the file system says the path reaches, so another spelling of it (case, a
// link) is no way around; a found file that is the target but not an archive of ours is the
// user's, and is recorded so the run refuses the target.
bool IsOwnArchive(CollectorContext& context, const std::string& path)
{
    const std::string& target = context.targetPath;
    if (target.empty()) {
        return false;
    }
    if (context.targetIdentity && context.fileSystem.Identity(path) == context.targetIdentity) {
        if (!context.targetHoldsBackup) {
            context.sourcesAtTarget.push_back(path);
        }
        return true;
    }
    const std::string partPrefix = target + ".part-";
    if (path.size() > partPrefix.size() &&
        EqualsIgnoringCase(std::string_view(path).substr(0, partPrefix.size()), partPrefix)) {
        return true;
    }
    // The target's older archives, which a job that keeps a history leaves beside it.
    const std::string name = BareName(path);
    return EqualsIgnoringCase(ParentFolder(path), ParentFolder(target)) &&
           (IsGenerationName(target, name) || IsIncompleteName(target, name));
}

// Files collected for one item: their member names and source paths, and whether one that was
// found had to be left out.
struct ItemFiles {
    std::vector<std::string> names;
    std::vector<std::string> sources;
    bool leftOut = false;

    void Add(CollectorContext& context, const std::string& path, const std::string& memberPath = {})
    {
        std::string why;
        Took(context, context.archive.Add(path, why, memberPath), path, why);
    }
    // A data file goes in with its block map, or as its changed blocks.
    void AddDataFile(CollectorContext& context, const std::string& path)
    {
        std::string why;
        Took(context, context.archive.AddDataFile(path, why), path, why);
    }
    void Took(CollectorContext& context, const std::optional<std::string>& name,
              const std::string& path, const std::string& why)
    {
        if (name) {
            names.push_back(*name);
            sources.push_back(path);
        } else {
            context.leftOut.push_back(why);
            leftOut = true;
        }
    }
    // Records the item and says whether it was backed up whole.
    bool Record(CollectorContext& context, const char* infoKey, const char* sourcesKey = nullptr)
    {
        if (names.empty()) {
            return false;
        }
        if (!SaveINI(context.fileSystem, infoKey, JoinNames(names, ';'), context.infoFilePath)) {
            return false;
        }
        if (sourcesKey != nullptr && !SaveINI(context.fileSystem, sourcesKey,
                                              JoinNames(sources, '|'), context.infoFilePath)) {
            return false;
        }
        return !leftOut;
    }
};

bool RegistryItem(CollectorContext& context, const std::string& keyPath, const char* prefix,
                  const char* infoKey)
{
    if (!context.registry.KeyExists(keyPath)) {
        return false;
    }
    const std::string exportFile = sGetTempFile(context.fileSystem, context.runFolder, prefix);
    if (exportFile.empty()) {
        return false;
    }
    context.exportFiles.push_back(exportFile);
    std::vector<std::string> valuesLeftOut;
    if (!ExportKeyTree(context.registry, keyPath, "", context.fileSystem, exportFile,
                       &valuesLeftOut)) {
        return false;
    }
    for (const std::string& value : valuesLeftOut) {
        // The account section lies inside the profile's own tree: say it once.
        const std::string line = value + ": a line break or \"=\" that a backup cannot hold";
        if (std::find(context.leftOut.begin(), context.leftOut.end(), line) ==
            context.leftOut.end()) {
            context.leftOut.push_back(line);
        }
    }
    ItemFiles files;
    files.Add(context, exportFile);
    return files.Record(context, infoKey);
}

// The data files or address books the sections of a profile name.
bool ProfileFiles(CollectorContext& context, const std::string& profileName, bool addressBooks)
{
    const std::string profileKey = ProfileKey(context, profileName);
    const std::vector<std::string> paths =
        addressBooks ? ProfileAddressBookPaths(context.registry, profileKey)
                     : ProfileDataFilePaths(context.registry, profileKey);
    ItemFiles files;
    for (const std::string& path : paths) {
        // A file the profile names is backed up even when hidden: leaving it out silently
        // would lose mail.
        if (!NamedFileExists(context.fileSystem, path)) {
            continue;
        }
        context.dataFolders.push_back(ParentFolder(path));
        if (IsOwnArchive(context, path)) {
            continue;
        }
        if (addressBooks) {
            files.Add(context, path);
        } else {
            files.AddDataFile(context, path);
        }
    }
    return addressBooks ? files.Record(context, "BackupPab", PabSourcesKey)
                        : files.Record(context, "BackupDatas", DatasSourcesKey);
}

// Deeper than any folder an item holds; it stops a link that leads back up the tree.
constexpr int MaxFolderDepth = 32;

// The files of the folder and of its subfolders at any depth, each under its path relative to
// the item's folder ("Name_files/image001.png"): a signature's pictures and theme live in a
// folder beside it, and the signature is broken without them.
void AddFolderFiles(CollectorContext& context, ItemFiles& files, const std::string& folder,
                    const std::string& relative, int depth)
{
    FileSystem& fileSystem = context.fileSystem;
    const std::vector<std::string> fileNames = fileSystem.FilesIn(folder);
    const std::vector<std::string> folderNames =
        depth < MaxFolderDepth ? fileSystem.FoldersIn(folder) : std::vector<std::string>();
    // A folder that is there but cannot be read is not an empty one: what it holds is missing.
    // Only a listing that came back empty can hide that, so only it costs the question.
    if (fileNames.empty() && folderNames.empty() && !fileSystem.CanListFolder(folder) &&
        fileSystem.FolderExists(folder)) {
        context.leftOut.push_back("cannot read the folder " + folder);
        files.leftOut = true;
        return;
    }
    for (const std::string& name : fileNames) {
        const std::string path = JoinPath(folder, name);
        if (!name.empty() && !IsOwnArchive(context, path)) {
            files.Add(context, path, relative + name);
        }
    }
    for (const std::string& name : folderNames) {
        if (!name.empty()) {
            AddFolderFiles(context, files, JoinPath(folder, name), relative + name + "/",
                           depth + 1);
        }
    }
}

bool FolderItem(CollectorContext& context, const std::string& folder, const char* infoKey)
{
    if (folder.empty()) {
        return false;
    }
    ItemFiles files;
    AddFolderFiles(context, files, folder, "", 0);
    context.foundNothing =
        files.names.empty() && !files.leftOut && context.fileSystem.FolderExists(folder);
    return files.Record(context, infoKey);
}

}  // namespace

std::optional<std::string> TargetClash(const CollectorContext& context)
{
    const std::string& target = context.targetPath;
    if (!context.sourcesAtTarget.empty()) {
        return "the target " + target + " is " + context.sourcesAtTarget.front() +
               ", a file the backup reads, so nothing was written";
    }
    if (!context.targetIdentity || context.targetHoldsBackup) {
        return std::nullopt;
    }
    const std::optional<FileIdentity> targetFolder =
        context.fileSystem.Identity(ParentFolder(target));
    for (const std::string& folder : context.dataFolders) {
        if (targetFolder && context.fileSystem.Identity(folder) == targetFolder) {
            return "the target " + target + " is a file in " + folder +
                   ", which holds the profile's data files, so nothing was written";
        }
    }
    return std::nullopt;
}

bool BackupConfig(CollectorContext& context, const std::string& strIdentity)
{
    return RegistryItem(context, ProfileKey(context, strIdentity), "OBC", "BackupConfig");
}

bool BackupDatas(CollectorContext& context, const std::string& strIdentity)
{
    return ProfileFiles(context, strIdentity, false);
}

bool BackupRules(CollectorContext& context, const std::string& strIdentity)
{
    const std::string path = context.locations.RulesFolder + "\\" + strIdentity + ".RWZ";
    if (!NamedFileExists(context.fileSystem, path)) {
        return false;
    }
    ItemFiles files;
    if (!IsOwnArchive(context, path)) {
        files.Add(context, path);
    }
    return files.Record(context, "BackupRules");
}

bool BackupAccounts(CollectorContext& context, const std::string& /*strIdentity*/)
{
    // The account key was located for the profile being backed up.
    return RegistryItem(context, context.locations.AccountKeyPath, "OBA", "BackupAccounts");
}

bool BackupSignatures(CollectorContext& context)
{
    return FolderItem(context, context.locations.SignaturesFolder, "BackupSignatures");
}

bool BackupStationery(CollectorContext& context)
{
    return FolderItem(context, context.locations.StationeryFolder, "BackupStationery");
}

bool BackupPab(CollectorContext& context, const std::string& strIdentity)
{
    return ProfileFiles(context, strIdentity, true);
}

bool BackupConfigsetting(CollectorContext& context)
{
    return RegistryItem(context, context.locations.OptionsKeyPath, "OBC", "BackupConfigsetting");
}

bool BackupTemplates(CollectorContext& context)
{
    return FolderItem(context, context.locations.TemplatesFolder, "BackupTemplates");
}

bool BackupSetting(CollectorContext& context)
{
    return FolderItem(context, context.locations.PreferencesFolder, "BackupSetting");
}

bool BackupContacts(CollectorContext& context)
{
    return FolderItem(context, context.locations.ContactsFolder, "BackupContacts");
}

bool CollectItem(int position, CollectorContext& context, const std::string& profileName)
{
    switch (position) {
        case 0:
            return BackupConfig(context, profileName);
        case 1:
            return BackupDatas(context, profileName);
        case 2:
            return BackupRules(context, profileName);
        case 3:
            return BackupAccounts(context, profileName);
        case 4:
            return BackupSignatures(context);
        case 5:
            return BackupStationery(context);
        case 6:
            return BackupPab(context, profileName);
        case 7:
            return BackupConfigsetting(context);
        case 8:
            return BackupTemplates(context);
        case 9:
            return BackupSetting(context);
        case 10:
            return BackupContacts(context);
        default:
            return false;
    }
}

}  // namespace kestrel
