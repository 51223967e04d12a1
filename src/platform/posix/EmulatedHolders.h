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

// The holder program's side of the record (the tests' kestrel-holder), for this process.
// Records it as `name` holding `files` (Windows paths), started again with its own path and
// `arguments`; the record appears whole or not at all. False when it cannot be written.
bool RecordHolder(const std::filesystem::path& root, const std::string& name,
                  const std::vector<std::string>& files, const std::vector<std::string>& arguments);
// Whether this process has been asked to close since it last looked; the request is taken away.
bool TakeCloseRequest(const std::filesystem::path& root);
// Removes the record: a holder does so before it lets its files go, so that whoever waits for
// the files finds them free with no program left that claims them.
void RemoveHolderRecord(const std::filesystem::path& root);

}  // namespace kestrel
