#pragma once

#include <string>

namespace kestrel {

// The file whose lock keeps a run folder alive. A name the program gives its own file: no file
// of an archive is extracted under it.
inline constexpr const char* RunLockName = "run.lock";

// A folder private to one running instance of the program, for the info file and temporary
// export files. Two instances (a scheduled backup beside an open window) never share one.
// Folders left behind by instances that died are removed when the next one starts.
class RunFolder {
public:
    virtual ~RunFolder() = default;

    // The folder as a Windows path without a trailing backslash; empty when it could not be
    // created (the program then runs without one and every step that needs it fails).
    virtual std::string Path() const = 0;
    // Whether the run folder at the path (another instance's, or this one's) belongs to an
    // instance that is still running. False for a folder that is gone or whose instance ended.
    virtual bool IsRunning(const std::string& runFolder) const { return runFolder == Path(); }
};

}  // namespace kestrel
