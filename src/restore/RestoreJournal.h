#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

// The name of the journal a restore keeps in its Replaced folder.
inline constexpr const char* JournalName = "restore.journal";

// The record of one restore run, written beside what it keeps so that a run cut short (a
// crash, a kill, a power cut) can be finished or undone by the next program that starts. Each
// line is on the disk before the step it announces (or after the step it confirms) begins, so
// the journal never claims more than was done. For every file the run replaces:
//   place   the file, where its old version will be kept, and the old version's facts
//           (RecordFacts), before anything is made
//   temp    the temporary file the new version is written to, beside the file
//   written the new version is complete and on the disk, with its facts
//   kept    the old version is in the Replaced folder
//   placed  the new version is in place
//   dropped the run gave the new version up and left the old one (it could not be kept)
// for every registry tree it replaces:
//   tree    the key and the registry file in the Replaced folder that puts it back as it was
//   import  a change below the key begins; imported: it has ended
// and "finished" once the run has ended, whatever its outcome. Journals written before the
// facts were recorded are still read: a file whose facts are unknown counts as changed.
class RestoreJournal {
public:
    RestoreJournal(FileSystem& fileSystem, std::string path)
        : fileSystem_(fileSystem), path_(std::move(path))
    {
    }

    const std::string& Path() const { return path_; }
    // Starts the journal: when the run began and which run folder (the instance's lock) runs
    // it. False when it cannot be written, and the run must then change nothing.
    bool Begin(std::time_t started, const std::string& runFolder);
    // Appends one step and puts it on the disk; false when that failed.
    bool Mark(const std::string& step, const std::string& file, const std::string& detail = {},
              const std::string& more = {});
    bool Finish() { return Mark("finished", {}); }

private:
    FileSystem& fileSystem_;
    std::string path_;
};

// What the journal records of a file, so that recovery can tell whether it is still the file the
// run left: its size, time of last change and identity, or "none" when nothing is at the path.
std::string RecordFacts(FileSystem& fileSystem, const std::string& path);

// Whether keyPath is the key itself or a key below it, without regard to case.
bool KeyHolds(const std::string& key, const std::string& keyPath);

// Imports a kept tree file, which first removes the key, so that the tree is as it was when it
// was kept. Refuses (false, nothing changed) a file that is unreadable or names any key that is
// not the key or below it.
bool PutTreeBack(FileSystem& fileSystem, RegistryAccess& registry, const std::string& key,
                 const std::string& file);

// What a journal says about its run, read back.
struct JournalState {
    std::time_t started = 0;
    std::string runFolder;
    bool finished = false;
};

// The state of the last run the journal at the path records; none when there is no journal
// or it was never begun.
std::optional<JournalState> ReadJournalState(FileSystem& fileSystem, const std::string& path);

// A file recovery left as it found it because it had changed since the run was cut short.
struct ChangedFile {
    std::string path;
    // Where the restore's whole new version was put instead (in the run's Replaced folder);
    // empty when there was none to keep.
    std::string newVersion;
    // The journal was written by an earlier version that recorded no facts to compare.
    bool unknown = false;

    bool operator==(const ChangedFile&) const = default;
};

// One run that recovery finished or undid.
struct RecoveredRun {
    // The run's Replaced folder.
    std::string folder;
    // The files whose new version was put in place, and those left (or put back) as they were.
    std::vector<std::string> completed;
    std::vector<std::string> restoredOld;
    // Files changed after the crash (edited, or made anew where the old one had been taken
    // away): the user's version stays in place.
    std::vector<ChangedFile> changed;
    // Registry keys whose change was cut short, put back as they were before the run.
    std::vector<std::string> treesPutBack;
    // Files and keys recovery could not settle (a rename refused, no registry to import into):
    // they are named so the user can act, and the run stays unfinished.
    std::vector<std::string> unsettled;
    // Paths the journal names that no restore writes (a damaged or foreign journal): nothing
    // was done with them.
    std::vector<std::string> refused;
};

// Settles every unfinished journal in <data folder>\Replaced, acting only on paths of the
// run's own shape (kept files inside the journal's own folder, temporary files of the
// restore's names beside their target): each file the run had begun to replace ends up in
// its place, the new version where it was written whole and the file there is still the one
// the run left (the old one kept first), the old one where the new one was not written whole
// or the file and the new version are gone. A file changed since is left as it is, the new
// version kept beside the old one in the Replaced folder. A registry tree whose change was cut
// short is put back from its kept file (`registry` null: it is reported unsettled). The run's
// temporary files are removed and the journal is marked finished, so the same run is reported
// once; a run with anything unsettled stays unfinished (and so is never pruned). A journal
// whose run folder `isRunning` says belongs to a running instance is left alone.
std::vector<RecoveredRun> RecoverInterruptedRestores(
    FileSystem& fileSystem, const std::string& dataFolder,
    const std::function<bool(const std::string& runFolder)>& isRunning,
    RegistryAccess* registry = nullptr);

// The report of recovered runs, one paragraph each; empty when there were none.
std::string RecoveryReport(const std::vector<RecoveredRun>& runs);

}  // namespace kestrel
