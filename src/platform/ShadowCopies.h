#pragma once

#include <string>
#include <vector>

namespace kestrel {

// A point-in-time copy (on Windows a Volume Shadow Copy) of the volumes that hold some files,
// from which files another program holds open without sharing can still be read whole. One
// snapshot at a time; it is not persistent, so it also goes when the program ends.
class ShadowCopies {
public:
    virtual ~ShadowCopies() = default;

    // Takes one snapshot of just the volumes that hold the files (Windows paths). False, with
    // nothing left behind and Problem() saying why, when it could not be taken (no rights, no
    // such service). Replaces nothing: Delete the one taken before.
    virtual bool Create(const std::vector<std::string>& paths) = 0;
    // Where the file (a Windows path given to Create) is read inside the snapshot, in the form
    // the FileSystem opens; empty when there is no snapshot or its volume is not in it.
    virtual std::string PathInSnapshot(const std::string& path) = 0;
    // Deletes the snapshot. True when none is left, also when none was taken.
    virtual bool Delete() = 0;
    // Why the last Create or Delete failed, for the report of the run.
    virtual std::string Problem() const = 0;
};

}  // namespace kestrel
