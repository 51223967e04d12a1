#include "restore/Restorers.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "archive/MemberName.h"
#include "outlook/DataStorePaths.h"
#include "outlook/ProfileDiscovery.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "platform/RunFolder.h"
#include "registry/KeyExport.h"

namespace kestrel {

namespace {

constexpr int ConfigPosition = 0;
constexpr int DatasPosition = 1;
constexpr int PabPosition = 6;
constexpr int RulesPosition = 2;
constexpr int AccountsPosition = 3;
constexpr int SignaturesPosition = 4;
constexpr int StationeryPosition = 5;
constexpr int ConfigsettingPosition = 7;
constexpr int TemplatesPosition = 8;
constexpr int SettingPosition = 9;
constexpr int ContactsPosition = 10;

bool Fail(RestoreContext& context, int position, const std::string& why)
{
    context.failures.push_back(std::string(ItemTable[position].name) + ": " + why);
    return false;
}

std::string ProfileKey(const RestoreContext& context)
{
    return context.profilesRootKey + "\\" + context.targetProfile;
}

// Why a registry change was not made, or was undone: its journal line could not be written.
std::string JournalRefused(const RestoreContext& context)
{
    return "the journal in " + context.replaced.Path() +
           " could not be written, so the registry was left as it was";
}

// Every tree the run may replace is kept before the first one is: a restore of the profile's
// key also rewrites its accounts, so keeping them later would keep the restored state.
bool KeepTrees(RestoreContext& context)
{
    if (!context.treesKept) {
        context.treesKept =
            context.replaced.KeepKeyTree(context.registry, "Config", ProfileKey(context),
                                         context.targetProfile + ".reg") &&
            context.replaced.KeepKeyTree(context.registry, "Configsetting",
                                         context.locations.OptionsKeyPath, "Options.reg");
    }
    return context.treesKept;
}

// Where a file the member replaces is kept: the item's folder of the Replaced folder, and the
// member's own subfolders below it, so that two pictures of one name stay told apart.
std::string KeptFolderFor(int position, const std::string& memberPath)
{
    std::string folder = ItemTable[position].name;
    const std::size_t slash = memberPath.rfind('/');
    if (slash != std::string::npos) {
        std::string subfolders = memberPath.substr(0, slash);
        std::replace(subfolders.begin(), subfolders.end(), '/', '\\');
        folder += "\\" + subfolders;
    }
    return folder;
}

// The member a step extracts next; none (and the item's failure said) when the run was
// cancelled or the backup does not hold it.
std::optional<ZipMember> MemberToExtract(RestoreContext& context, int position,
                                         const std::string& name)
{
    if (context.StopRequested()) {
        Fail(context, position, "cancelled before " + name);
        return std::nullopt;
    }
    std::optional<ZipMember> member = context.zip.FindMember(name);
    if (!member) {
        Fail(context, position, name + " is not in the backup");
    }
    return member;
}

// Whether the data file is rebuilt from a differential and its full rather than extracted.
bool IsRebuilt(const RestoreContext& context, int position, const std::string& name)
{
    return position == DatasPosition && context.differential != nullptr &&
           context.differential->Holds(name);
}

// Rebuilds a differential's data file into its temporary file, checked block by block, and
// only then places it as an extracted one is placed; a refusal leaves the user's file as it is.
bool RebuildKeeping(RestoreContext& context, int position, const std::string& name,
                    const std::string& folder)
{
    if (context.StopRequested()) {
        return Fail(context, position, "cancelled before " + name);
    }
    const std::string target = JoinMemberPath(folder, name);
    std::string why;
    std::string rebuildWhy;
    const bool placed = context.replaced.ReplaceFileSafely(
        KeptFolderFor(position, name), target,
        [&](const std::string& temporary) {
            return RebuildMember(context.fileSystem, *context.differential, context.zip, name,
                                 temporary, context.runFolder, rebuildWhy);
        },
        why);
    return placed || Fail(context, position, rebuildWhy.empty() ? why : rebuildWhy);
}

// Extracts the member into the folder (into its subfolders there, for a member with a path):
// the whole new file first, beside the one it replaces, which is then kept.
bool ExtractKeeping(RestoreContext& context, int position, const std::string& name,
                    const std::string& folder)
{
    if (IsRebuilt(context, position, name)) {
        return RebuildKeeping(context, position, name, folder);
    }
    const std::optional<ZipMember> member = MemberToExtract(context, position, name);
    if (!member) {
        return false;
    }
    const std::string target = JoinMemberPath(folder, member->name);
    if (!CreateFoldersBelow(context.fileSystem, folder, ParentFolder(target))) {
        return Fail(context, position, ParentFolder(target) + " could not be created");
    }
    std::string why;
    bool extracted = true;
    const bool placed = context.replaced.ReplaceFileSafely(
        KeptFolderFor(position, member->name), target,
        [&](const std::string& temporary) {
            extracted = context.zip.ExtractMemberToFile(*member, temporary);
            return extracted;
        },
        why);
    return placed || Fail(context, position, extracted ? why : context.zip.LastError());
}

// Registry exports and the rules file are extracted under their own names: each must be a bare
// file name, and never the name of the run folder's lock. A backup names an export after the
// temporary file it wrote (OBC<number>.tmp) and the rules file after its profile, so only a
// crafted archive names either so.
bool AcceptRunFolderName(RestoreContext& context, int position, const std::string& name)
{
    if (!IsBareFileName(name)) {
        return Fail(context, position, "\"" + name + "\" is not a file name");
    }
    if (EqualsIgnoringCase(name, RunLockName)) {
        return Fail(context, position,
                    "\"" + name + "\" is the name of the run folder's lock; it was refused");
    }
    return true;
}

// A folder of the run's own, made fresh below the run folder for what the run extracts there,
// so that no name in an archive reaches the run folder's lock or another run's files. Empty
// when none can be made.
std::string ExtractionFolder(RestoreContext& context)
{
    if (!context.extractionFolder.empty() || context.runFolder.empty()) {
        return context.extractionFolder;
    }
    for (int number = 1; number < 1000; ++number) {
        const std::string folder = JoinPath(context.runFolder, "extract-" + std::to_string(number));
        if (context.fileSystem.CreateFolder(folder)) {
            context.extractionFolder = folder;
            break;
        }
    }
    return context.extractionFolder;
}

// Registry exports and the rules file go to the run's extraction folder first: no user file is
// touched there. The extracted file; none (and the item's failure said) when it could not be
// extracted.
std::optional<std::string> ExtractToRunFolder(RestoreContext& context, int position,
                                              const std::string& name)
{
    const std::string folder = ExtractionFolder(context);
    if (folder.empty()) {
        Fail(context, position, "no folder to extract " + name + " into");
        return std::nullopt;
    }
    const std::optional<ZipMember> member = MemberToExtract(context, position, name);
    if (!member) {
        return std::nullopt;
    }
    if (!context.zip.ExtractMember(*member, folder)) {
        Fail(context, position, context.zip.LastError());
        return std::nullopt;
    }
    return JoinPath(folder, name);
}

bool RestoreTree(RestoreContext& context, int position, const std::string& keyPath)
{
    const std::string& name = context.values[position];
    // Writing a tree under a key that is not there would make up a profile or a version.
    if (!context.registry.KeyExists(keyPath)) {
        return Fail(context, position, keyPath + " does not exist");
    }
    if (!AcceptRunFolderName(context, position, name)) {
        return false;
    }
    if (!KeepTrees(context)) {
        return Fail(context, position,
                    "the registry could not be kept in " + context.replaced.Path() +
                        ", so it was not replaced");
    }
    // Refused on what it declares before a byte of it is extracted.
    if (const auto member = context.zip.FindMember(name);
        member && member->size > ArchivedTreeLimits.maxBytes) {
        return Fail(context, position,
                    name + " is larger than any registry tree of a profile; nothing was imported");
    }
    const std::optional<std::string> file = ExtractToRunFolder(context, position, name);
    if (!file) {
        return false;
    }
    if (!context.replaced.BeginTreeChange(keyPath)) {
        context.fileSystem.RemoveFile(*file);
        return Fail(context, position, JournalRefused(context));
    }
    const std::optional<ImportError> error =
        ImportKeyFile(context.registry, keyPath, context.fileSystem, *file, ArchivedTreeLimits);
    context.fileSystem.RemoveFile(*file);
    if (!context.replaced.EndTreeChange(context.registry, keyPath)) {
        return Fail(context, position, JournalRefused(context));
    }
    if (error) {
        return Fail(context, position, name + ": " + error->message);
    }
    return true;
}

// A piece of the item's list that is refused: it names no member, or no file the item may
// write (a path that climbs out, a drive, a device, a stream; for the data files, anything but
// a bare name). Only that file is left out; the report names it.
void RefuseEntry(RestoreContext& context, int position, const ValueEntry& entry, bool pathsAllowed)
{
    const bool safe = pathsAllowed ? IsMemberPath(entry.name) : IsBareFileName(entry.name);
    Fail(context, position,
         safe ? entry.name + " is not in the backup"
              : "\"" + entry.name + "\" names no file of the item's folder; it was refused");
}

// skipRules: the preferences hold the source profile's rules file, which the rules item
// restores under the target profile's name; under its own name it would replace the rules of
// the profile the backup came from.
bool RestoreFolder(RestoreContext& context, int position, const std::string& folder,
                   bool skipRules = false)
{
    if (folder.empty()) {
        return Fail(context, position, "this machine has no folder for it");
    }
    if (!CreateFoldersBelow(context.fileSystem, context.userProfileFolder, folder)) {
        return Fail(context, position, folder + " could not be created");
    }
    const std::vector<ValueEntry> entries =
        ValueEntries(context.zip, context.values[position], context.stopRequested);
    if (entries.empty()) {
        return Fail(context, position, "the backup does not name its files");
    }
    bool whole = true;
    for (const ValueEntry& entry : entries) {
        const std::string& name = entry.name;
        if (!entry.found) {
            RefuseEntry(context, position, entry, true);
            whole = false;
            continue;
        }
        // Only the rules file at the folder's top belongs to the rules item.
        if (skipRules && name.find('/') == std::string::npos && name.size() > 4 &&
            EqualsIgnoringCase(name.substr(name.size() - 4), ".RWZ")) {
            continue;
        }
        whole = ExtractKeeping(context, position, name, folder) && whole;
    }
    return whole;
}

// What an entry of the profile may hold (each source path when the archive recorded them,
// else each bare name), and the restored file it stands for.
struct RestoredFiles {
    bool bySource = false;
    bool whole = true;
    std::vector<std::pair<std::string, std::string>> files;
};

// Extracts the value's members into the data folder; nothing when none could be named.
std::optional<RestoredFiles> RestoreStoreFiles(RestoreContext& context, int position,
                                               const std::string& sources)
{
    if (!CreateFoldersBelow(context.fileSystem, context.userProfileFolder, context.dataFolder)) {
        Fail(context, position, context.dataFolder + " could not be created");
        return std::nullopt;
    }
    std::vector<ValueEntry> entries;
    if (position == DatasPosition && context.differential != nullptr) {
        for (const std::string& name : InfoEntries(context.values[position])) {
            entries.push_back({name, context.differential->Holds(name)});
        }
    } else {
        entries = ValueEntries(context.zip, context.values[position], context.stopRequested);
    }
    if (entries.empty()) {
        Fail(context, position, "the backup does not name its files");
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (std::size_t start = 0; !sources.empty() && start <= sources.size();) {
        std::size_t end = sources.find('|', start);
        end = end == std::string::npos ? sources.size() : end;
        paths.push_back(sources.substr(start, end - start));
        start = end + 1;
    }
    RestoredFiles restored;
    restored.bySource = paths.size() == entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].name;
        // The data folder holds its files directly; a name with a path is no data file.
        if (!entries[i].found || !IsBareFileName(name)) {
            RefuseEntry(context, position, entries[i], false);
            restored.whole = false;
        } else if (ExtractKeeping(context, position, name, context.dataFolder)) {
            restored.files.emplace_back(restored.bySource ? paths[i] : name,
                                        JoinPath(context.dataFolder, name));
        } else {
            restored.whole = false;
        }
    }
    return restored;
}

// The restored file an entry's old path stands for; empty when the backup did not restore it.
std::string RestoredPath(const RestoredFiles& restored, const std::string& oldPath)
{
    const std::string wanted = restored.bySource ? oldPath : BareName(oldPath);
    for (const auto& [held, path] : restored.files) {
        if (EqualsIgnoringCase(held, wanted)) {
            return path;
        }
    }
    return {};
}

}  // namespace

std::string DataFolderFor(const std::string& userProfileFolder, const std::string& windowsVersion)
{
    return userProfileFolder + (UsesAppDataLayout(windowsVersion)
                                    ? "\\AppData\\Local\\Microsoft\\Outlook"
                                    : "\\Local Settings\\Application Data\\Microsoft\\Outlook");
}

std::string FavouritesFileFor(const std::string& userProfileFolder,
                              const std::string& windowsVersion, const std::string& profile)
{
    return userProfileFolder +
           (UsesAppDataLayout(windowsVersion) ? "\\AppData\\Roaming" : "\\Application Data") +
           "\\Microsoft\\Outlook\\" + profile + ".FAV";
}

bool RestoreDatas(RestoreContext& context)
{
    const auto restored = RestoreStoreFiles(context, DatasPosition, context.datasSources);
    if (!restored) {
        return false;
    }
    const std::string profileKey = ProfileKey(context);
    const std::vector<std::string> sections = context.registry.EnumSubKeys(profileKey);
    if (sections.empty()) {
        return Fail(context, DatasPosition, profileKey + " has no entries to point at the files");
    }
    if (!KeepTrees(context)) {
        return Fail(context, DatasPosition,
                    "the registry could not be kept in " + context.replaced.Path() +
                        ", so the entries were not changed");
    }
    if (!context.replaced.BeginTreeChange(profileKey)) {
        return Fail(context, DatasPosition, JournalRefused(context));
    }
    for (const std::string& section : sections) {
        const std::string key = profileKey + "\\" + section;
        std::string oldPath = DecodeWidePathValue(context.registry, key, StoreIdentifierValue);
        if (oldPath == RegistryAccess::ErrorMarker) {
            oldPath = DecodeAnsiPathValue(context.registry, key, StoreIdentifierValue);
        }
        if (oldPath == RegistryAccess::ErrorMarker) {
            continue;
        }
        const std::string newPath = RestoredPath(*restored, oldPath);
        if (newPath.empty()) {
            continue;
        }
        context.registry.DeleteValue(key, "001e6700");
        ReplacePathInBinaryValue(context.registry, key, StoreIdentifierValue, oldPath, newPath);
        ReplacePathInBinaryValue(context.registry, key, StorePathValue, oldPath, newPath);
    }
    const std::string folders = profileKey + "\\0a0d020000000000c000000000000046";
    context.registry.DeleteValue(folders, "1102039b");
    context.registry.DeleteValue(folders, "001e023d");
    if (!context.replaced.EndTreeChange(context.registry, profileKey)) {
        return Fail(context, DatasPosition, JournalRefused(context));
    }
    if (!context.replaced.KeepFile("Datas", context.favouritesFile)) {
        return Fail(context, DatasPosition, context.favouritesFile + " could not be kept");
    }
    context.fileSystem.RemoveFile(context.favouritesFile);
    return restored->whole;
}

bool RestorePab(RestoreContext& context)
{
    const auto restored = RestoreStoreFiles(context, PabPosition, context.pabSources);
    if (!restored) {
        return false;
    }
    const std::string profileKey = ProfileKey(context);
    const std::vector<std::string> sections = context.registry.EnumSubKeys(profileKey);
    if (sections.empty()) {
        return Fail(context, PabPosition, profileKey + " has no entries to point at the files");
    }
    if (!KeepTrees(context)) {
        return Fail(context, PabPosition,
                    "the registry could not be kept in " + context.replaced.Path() +
                        ", so the entries were not changed");
    }
    if (!context.replaced.BeginTreeChange(profileKey)) {
        return Fail(context, PabPosition, JournalRefused(context));
    }
    for (const std::string& section : sections) {
        const std::string key = profileKey + "\\" + section;
        const std::string oldPath = context.registry.GetStringValue(key, AddressBookValue);
        if (oldPath == RegistryAccess::ErrorMarker || oldPath.empty()) {
            continue;
        }
        const std::string newPath = RestoredPath(*restored, oldPath);
        if (!newPath.empty()) {
            context.registry.SetStringValue(key, AddressBookValue, newPath);
        }
    }
    if (!context.replaced.EndTreeChange(context.registry, profileKey)) {
        return Fail(context, PabPosition, JournalRefused(context));
    }
    return restored->whole;
}

std::vector<ValueEntry> ValueEntries(const ZipComponent& zip, const std::string& value,
                                     const std::atomic<bool>* stopRequested)
{
    // The members by their folded names, and how far a join can usefully reach: no further
    // than the longest name, nor across more ";" than a name holds. That keeps the work linear
    // in the value's length for any archive whose names hold no ";", and bounded for any other.
    std::unordered_set<std::string> members;
    std::size_t longest = 0;
    std::size_t mostSeparators = 0;
    for (const ZipMember& member : zip.Members()) {
        members.insert(FoldedKey(member.name));
        longest = std::max(longest, member.name.size());
        mostSeparators = std::max(
            mostSeparators,
            static_cast<std::size_t>(std::count(member.name.begin(), member.name.end(), ';')));
    }
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // start and end in the value
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t end = std::min(value.find(';', start), value.size());
        pieces.emplace_back(start, end);
        start = end + 1;
    }
    const std::string_view text = value;
    // The pieces first to last as one text, with the ";" between them.
    auto joined = [&](std::size_t first, std::size_t last) {
        return text.substr(pieces[first].first, pieces[last].second - pieces[first].first);
    };
    // The last piece of the shortest join from `first` on that names a member, if any.
    auto memberEnd = [&](std::size_t first) -> std::optional<std::size_t> {
        for (std::size_t last = first; last < pieces.size() && last - first <= mostSeparators;
             ++last) {
            const std::string_view name = joined(first, last);
            if (name.size() > longest) {
                break;
            }
            if (members.count(FoldedKey(name)) != 0 && IsMemberPath(std::string(name))) {
                return last;
            }
        }
        return std::nullopt;
    };
    std::vector<ValueEntry> entries;
    for (std::size_t first = 0; first < pieces.size();) {
        if (stopRequested != nullptr && stopRequested->load()) {
            break;  // the caller sees the stop before it extracts anything
        }
        if (const std::optional<std::size_t> last = memberEnd(first)) {
            entries.push_back({std::string(joined(first, *last)), true});
            first = *last + 1;
        } else {
            // An empty piece (a doubled or trailing ";") names nothing to refuse.
            if (!joined(first, first).empty()) {
                entries.push_back({std::string(joined(first, first)), false});
            }
            ++first;
        }
    }
    return entries;
}

bool CreateFoldersBelow(FileSystem& fileSystem, const std::string& userProfileFolder,
                        const std::string& folder)
{
    if (fileSystem.FolderExists(folder)) {
        return true;
    }
    const std::string base = userProfileFolder + "\\";
    if (userProfileFolder.empty() || folder.size() <= base.size() ||
        !EqualsIgnoringCase(folder.substr(0, base.size()), base) ||
        !fileSystem.FolderExists(userProfileFolder)) {
        return false;
    }
    for (std::size_t slash = folder.find('\\', base.size());;
         slash = folder.find('\\', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (!fileSystem.FolderExists(level) && !fileSystem.CreateFolder(level)) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

bool RestoreConfig(RestoreContext& context)
{
    return RestoreTree(context, ConfigPosition, ProfileKey(context));
}

bool RestoreAccounts(RestoreContext& context)
{
    return RestoreTree(context, AccountsPosition,
                       ProfileKey(context) + "\\9375CFF0413111d3B88A00104B2A6676");
}

bool RestoreConfigsetting(RestoreContext& context)
{
    if (context.locations.OptionsKeyPath.empty()) {
        return Fail(context, ConfigsettingPosition, "no Outlook version is installed");
    }
    return RestoreTree(context, ConfigsettingPosition, context.locations.OptionsKeyPath);
}

bool RestoreRules(RestoreContext& context)
{
    const std::string& name = context.values[RulesPosition];
    const std::string& folder = context.locations.RulesFolder;
    if (!AcceptRunFolderName(context, RulesPosition, name)) {
        return false;
    }
    if (!CreateFoldersBelow(context.fileSystem, context.userProfileFolder, folder)) {
        return Fail(context, RulesPosition, folder + " could not be created");
    }
    // Extracted under its own name into the rules folder, it would replace the rules of the
    // profile the backup came from.
    const std::optional<std::string> extracted = ExtractToRunFolder(context, RulesPosition, name);
    if (!extracted) {
        return false;
    }
    const std::string target = JoinPath(folder, context.targetProfile + ".RWZ");
    std::string why;
    // A copy, as the run folder may be on another volume.
    const bool placed = context.replaced.ReplaceFileSafely(
        "Rules", target,
        [&](const std::string& temporary) {
            return context.fileSystem.CopyFileTo(*extracted, temporary) &&
                   context.fileSystem.FlushToDisk(temporary);
        },
        why);
    context.fileSystem.RemoveFile(*extracted);
    return placed || Fail(context, RulesPosition, why);
}

bool RestoreSignatures(RestoreContext& context)
{
    return RestoreFolder(context, SignaturesPosition, context.locations.SignaturesFolder);
}

bool RestoreStationery(RestoreContext& context)
{
    return RestoreFolder(context, StationeryPosition, context.locations.StationeryFolder);
}

bool RestoreTemplates(RestoreContext& context)
{
    return RestoreFolder(context, TemplatesPosition, context.locations.TemplatesFolder);
}

bool RestoreSetting(RestoreContext& context)
{
    return RestoreFolder(context, SettingPosition, context.locations.PreferencesFolder, true);
}

bool RestoreContacts(RestoreContext& context)
{
    return RestoreFolder(context, ContactsPosition, context.locations.ContactsFolder);
}

}  // namespace kestrel
