#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kestrel {

// The name of the journal a restore keeps in its Replaced folder.
inline constexpr const char* JournalName = "restore.journal";

// The record of one restore run, written beside what it keeps so that a run cut short (a
// crash, a kill, a power cut) can be finished or undone by the next program that starts. Each
// line is on the disk before the step it announces (or after the step it confirms) begins, so
// the journal never claims more than was done. For every file the run replaces:
//   place   the file and where its old version will be kept, before anything is made
//   temp    the temporary file the new version is written to, beside the file
//   written the new version is complete and on the disk
//   kept    the old version is in the Replaced folder
//   placed  the new version is in place
//   dropped the run gave the new version up and left the old one (it could not be kept)
// and "finished" once the run has ended, whatever its outcome.
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
    bool Mark(const std::string& step, const std::string& file, const std::string& detail = {});
    bool Finish() { return Mark("finished", {}); }

private:
    FileSystem& fileSystem_;
    std::string path_;
};

// What a journal says about its run, read back.
struct JournalState {
    std::time_t started = 0;
    std::string runFolder;
    bool finished = false;
};

// The state of the last run the journal at the path records; none when there is no journal
// or it was never begun.
std::optional<JournalState> ReadJournalState(FileSystem& fileSystem, const std::string& path);

// One run that recovery finished or undid.
struct RecoveredRun {
    // The run's Replaced folder.
    std::string folder;
    // The files whose new version was put in place, and those left (or put back) as they were.
    std::vector<std::string> completed;
    std::vector<std::string> restoredOld;
    // Files recovery could not settle (a rename refused): they are named so the user can act.
    std::vector<std::string> unsettled;
};

// Settles every unfinished journal in <data folder>\Replaced: each file the run had begun to
// replace ends up in its place, the new version where it was written whole (the old one kept
// first), the old one otherwise; the run's temporary files are removed and the journal is
// marked finished, so the same run is reported once. A journal whose run folder `isRunning`
// says belongs to a running instance is left alone.
std::vector<RecoveredRun> RecoverInterruptedRestores(
    FileSystem& fileSystem, const std::string& dataFolder,
    const std::function<bool(const std::string& runFolder)>& isRunning);

// The report of recovered runs, one paragraph each; empty when there were none.
std::string RecoveryReport(const std::vector<RecoveredRun>& runs);

}  // namespace kestrel
