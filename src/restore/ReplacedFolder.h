#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"
#include "restore/RestoreJournal.h"

namespace kestrel {

// Where one restore run keeps what it replaces, so that nothing the user had is lost:
// <data folder>\Replaced\<YYYY-MM-DD HH-MM-SS>\<item>\. Files are moved in before they are
// overwritten or deleted; registry trees are exported as registry-editor files before they are
// replaced. Folders are made on first use only, so a run that replaces nothing leaves none.
// Each run has a folder of its own: one made in the same second as another's is named
// "<YYYY-MM-DD HH-MM-SS> (2)" (then 3, ...), created only where nothing is, so no run ever
// writes into, or removes, another's.
class ReplacedFolder {
public:
    // The run's folder is named after `started`, in local time. `runFolder` is the running
    // instance's folder, which its journal names so that no other instance takes the run for
    // an interrupted one while it goes on.
    ReplacedFolder(FileSystem& fileSystem, const std::string& dataFolder, std::time_t started,
                   const std::string& runFolder = {});

    // The run's folder: the one it made once it kept anything, the name it will try first
    // until then.
    const std::string& Path() const { return path_; }
    // Whether anything was kept, so the result message names the folder only then.
    bool Used() const { return used_; }

    // Moves the file at `path` into the item's folder (`item` may go on with subfolders of it,
    // joined by "\", each a bare file name; a rename where it is on the same volume, a copy
    // that leaves the original in place otherwise), under its own name or, when a file
    // of that name was kept already, a numbered one. True when there is no file at the path or
    // it is kept; false when it could not be kept, and the caller must then leave the file
    // alone. `movedTo`, when given, receives where the file went when it was moved (so it is
    // no longer at the path); it stays empty when the original is still in place.
    bool KeepFile(const std::string& item, const std::string& path, std::string* movedTo = nullptr);

    // Writes the tree at keyPath into the item's folder as `fileName`, a version-5 registry file
    // that first removes the key, so that importing it puts the tree back exactly as it was.
    // True when the key does not exist (nothing to keep) or the file is written and the
    // journal names it; false, leaving no file, otherwise (the tree must then not be changed).
    bool KeepKeyTree(RegistryAccess& registry, const std::string& item, const std::string& keyPath,
                     const std::string& fileName);

    // Announce and confirm a change to the registry at keyPath (an import, values rewritten),
    // which a tree kept before must hold, so that recovery puts the kept tree back when a run
    // dies between the two. BeginTreeChange is false when the journal cannot say so, and the
    // key must then not be changed. EndTreeChange is false when the confirmation cannot be
    // written: the kept tree is then put back at once (as recovery would), and the change
    // counts as not made.
    bool BeginTreeChange(const std::string& keyPath);
    bool EndTreeChange(RegistryAccess& registry, const std::string& keyPath);

    // Replaces the file at `target` (made when missing) so that a crash at any instant leaves
    // the old version in place, or the new one in place with the old one kept: `write` fills a
    // temporary file beside the target with the whole new version and puts it on the disk
    // (true only then); only after that is the old version moved into the item's folder and
    // the new one renamed into place. Each step is recorded in the run's journal first. True
    // when the new version is in place; otherwise the target is as it was, no temporary file
    // is left, and `why` says what failed.
    bool ReplaceFileSafely(const std::string& item, const std::string& target,
                           const std::function<bool(const std::string& temporary)>& write,
                           std::string& why);

    // Marks the run's journal finished; a run that kept nothing leaves no folder behind. Only
    // the folder this run made is ever removed, and never one holding a file it kept.
    void Finish();

private:
    // Makes the run's own folder, under the first free name; false when none can be made.
    bool MakeRunFolder();
    // Gives the old version back its place after its kept line could not be written; false
    // when it stays in the kept place.
    bool PutBack(const std::string& target, const std::string& kept);
    // The item's folder, every missing level created; empty when it cannot be made.
    std::string ItemFolder(const std::string& item);
    // Creates every missing level of the folder; true when it exists afterwards.
    bool MakeLevels(const std::string& folder);
    // A name for the kept file that is not taken yet in the folder.
    std::string FreeName(const std::string& folder, const std::string& name);
    // The journal, begun on first use; null when it cannot be written.
    RestoreJournal* Journal();
    // Moves (or copies) the file into the kept place chosen for it; true when it is kept.
    bool MoveToKept(const std::string& path, const std::string& kept);

    FileSystem& fileSystem_;
    std::string dataFolder_;
    std::string path_;
    std::string runFolder_;
    std::time_t started_;
    std::optional<RestoreJournal> journal_;
    // The kept tree files by key path, to put a tree back when its change cannot be confirmed.
    std::vector<std::pair<std::string, std::string>> trees_;
    bool created_ = false;
    bool used_ = false;
};

// "YYYY-MM-DD HH-MM-SS" in local time: sorts as the runs happened and is a valid file name.
std::string ReplacedRunName(std::time_t started);

// Whether a folder in Replaced has the form of a run's: ReplacedRunName's, alone or followed by
// " (N)" for a later run in the same second.
bool IsReplacedRunName(const std::string& name);

// How many earlier runs' folders a restore leaves in place when it starts.
inline constexpr std::size_t KeptReplacedRuns = 3;

// Removes the folders of earlier runs in <data folder>\Replaced but the `keep` newest, for a
// restore to call when it starts, before its own folder exists: with KeptReplacedRuns the three
// newest stay, and the new run's folder may then be a fourth. Only folders whose names have the
// form IsReplacedRunName accepts count, ordered by the start time their journals hold (a clock set
// back must not make the newest look oldest), folders of runs that kept no journal first, by
// name; a folder whose journal is unfinished is never removed, as recovery still needs it.
// Anything else there (a folder the user made, a file) stays. A folder that cannot be removed,
// wholly or in part (a file in it held open), stays as it is left: the restore goes on without a
// word about it.
void RemoveOldReplacedFolders(FileSystem& fileSystem, const std::string& dataFolder,
                              std::size_t keep);

}  // namespace kestrel
