// kestrel-holder: stands in for a running Outlook on the emulated machine, as OutlookStandIn.cpp
// does under Wine, for the checks of runs made while Outlook is running.
//   kestrel-holder [--name NAME] [--refuse-close] WINDOWS-PATH...
// Holds the files named by Windows paths of the environment root (their FileLock) and records
// itself where EmulatedHolders finds it, until asked to close (unless told to refuse) or ended
// by a signal. Exit status 2 when a file cannot be held or the record cannot be written.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/ArgumentText.h"
#include "platform/FileLock.h"
#include "platform/posix/EmulatedHolders.h"
#include "platform/posix/EnvironmentRoot.h"

namespace {

std::atomic<bool> endSignalled{false};

void OnEndSignal(int)
{
    endSignalled = true;
}

struct HolderOptions {
    std::string name = "OUTLOOK.EXE";
    bool refuseClose = false;
    std::vector<std::string> files;
};

HolderOptions ParseOptions(const std::vector<std::string>& arguments)
{
    HolderOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--name" && i + 1 < arguments.size()) {
            options.name = arguments[++i];
        } else if (arguments[i] == "--refuse-close") {
            options.refuseClose = true;
        } else {
            options.files.push_back(arguments[i]);
        }
    }
    return options;
}

// The locks of every file, or none when one of them cannot be held.
std::vector<std::unique_ptr<kestrel::FileLock>> HoldFiles(const std::filesystem::path& root,
                                                          const std::vector<std::string>& files)
{
    std::vector<std::unique_ptr<kestrel::FileLock>> locks;
    for (const std::string& file : files) {
        const auto native = kestrel::MapWindowsPath(root, file);
        std::error_code error;
        std::unique_ptr<kestrel::FileLock> lock;
        if (native && std::filesystem::is_regular_file(*native, error)) {
            lock = kestrel::FileLock::TryAcquire(*native);
        }
        if (!lock) {
            std::fprintf(stderr, "kestrel-holder: cannot hold %s\n", file.c_str());
            return {};
        }
        locks.push_back(std::move(lock));
    }
    return locks;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = kestrel::ProgramArguments(argc, argv);
    const HolderOptions options = ParseOptions(arguments);
    const std::filesystem::path root = kestrel::EnvironmentRoot();
    const std::vector<std::unique_ptr<kestrel::FileLock>> locks = HoldFiles(root, options.files);
    if (locks.size() != options.files.size()) {
        return 2;
    }
    signal(SIGTERM, OnEndSignal);
    signal(SIGINT, OnEndSignal);
    if (!kestrel::RecordHolder(root, options.name, options.files, arguments)) {
        std::fprintf(stderr, "kestrel-holder: cannot record itself in %s\n", root.c_str());
        return 2;
    }
    while (!endSignalled) {
        if (kestrel::TakeCloseRequest(root) && !options.refuseClose) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kestrel::RemoveHolderRecord(root);
    return 0;
}
