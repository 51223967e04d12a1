#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// A program that holds a file open without sharing it.
struct FileHolder {
    // The program's image name ("OUTLOOK.EXE").
    std::string name;
    std::uint32_t processId = 0;
    // How to start it again: the command line that started it where the system gives it,
    // else the program's full path; empty when neither is known.
    std::string commandLine;
};

// Who holds files, and asking such a program to close as a user would. Nothing here ends a
// process: a program killed while it writes its data file can damage it.
class FileHolders {
public:
    virtual ~FileHolders() = default;

    // The programs other than this one that hold the file (a Windows path) open; empty when
    // none does or the file is missing.
    virtual std::vector<FileHolder> HoldersOf(const std::string& path) = 0;
    // Asks the program to close (on Windows: the Restart Manager's shutdown without force, or
    // WM_CLOSE to its top-level windows) and returns without waiting. False when the request
    // could not be delivered; the program may still refuse it.
    virtual bool AskToClose(const FileHolder& holder) = 0;
    virtual bool IsRunning(const FileHolder& holder) = 0;
    // Starts the program again after AskToClose closed it.
    virtual bool StartAgain(const FileHolder& holder) = 0;
};

}  // namespace kestrel
