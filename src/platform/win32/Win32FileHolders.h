#pragma once

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileHolders.h"

namespace kestrel {

// Holders from the Restart Manager; where it names none (Wine only stubs it), the processes
// named OUTLOOK.EXE when a test open of the file finds it held. Closing goes through the
// Restart Manager's shutdown without force when it knew the program, else WM_CLOSE to the
// program's top-level windows; starting again through RmRestart or the program's path.
class Win32FileHolders final : public FileHolders {
public:
    Win32FileHolders();
    ~Win32FileHolders() override;
    Win32FileHolders(const Win32FileHolders&) = delete;
    Win32FileHolders& operator=(const Win32FileHolders&) = delete;

    std::vector<FileHolder> HoldersOf(const std::string& path) override;
    bool AskToClose(const FileHolder& holder) override;
    bool IsRunning(const FileHolder& holder) override;
    bool StartAgain(const FileHolder& holder) override;

private:
    struct Shutdown;

    // The files each process was found holding, for the Restart Manager's shutdown.
    std::map<unsigned long, std::vector<std::string>> heldBy_;
    // Shutdowns under way or done, by process: RmShutdown blocks, so it runs on a thread of
    // its own, cancelled when this object goes.
    std::map<unsigned long, std::unique_ptr<Shutdown>> shutdowns_;
};

}  // namespace kestrel
