#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileHolders.h"

namespace kestrel {

// The emulated machine's programs that hold files: each holds the FileLock of its files and
// records itself in <root>/processes/<pid>.holder, lines "name=", "pid=", "file=" (a Windows
// path, one per file) and "arg=" (its argument vector, to start it again). It is asked to
// close by a file <pid>.close beside the record, which it may ignore as a program may ignore
// WM_CLOSE; when it closes it removes its record first.
class EmulatedHolders final : public FileHolders {
public:
    explicit EmulatedHolders(std::filesystem::path root);

    std::vector<FileHolder> HoldersOf(const std::string& path) override;
    bool AskToClose(const FileHolder& holder) override;
    bool IsRunning(const FileHolder& holder) override;
    bool StartAgain(const FileHolder& holder) override;

private:
    std::filesystem::path root_;
};

// The holder program itself (kestrel-holder): `[--name NAME] [--refuse-close] PATH...` holds
// the files named by Windows paths of the environment root until asked to close (or ended by
// a signal). Returns its exit status: 2 when a file cannot be held.
int RunEmulatedHolder(const std::vector<std::string>& arguments);

}  // namespace kestrel
