#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/FileHolders.h"
#include "platform/ShadowCopies.h"

namespace kestrel::testing {

// "Outlook" holding one data file until it is asked to close, unless it refuses. Each call that
// changes something is recorded; a start says whether the run's archive was there by then.
struct FakeHolders final : FileHolders {
    std::vector<FileHolder> HoldersOf(const std::string& path) override
    {
        return running && path == dataFile ? std::vector<FileHolder>{outlook}
                                           : std::vector<FileHolder>{};
    }
    bool AskToClose(const FileHolder&) override
    {
        calls.push_back("ask");
        running = refuses;
        return true;
    }
    bool IsRunning(const FileHolder&) override { return running; }
    bool StartAgain(const FileHolder&) override
    {
        calls.push_back(archiveWritten && archiveWritten() ? "start after the run" : "start");
        running = true;
        return true;
    }

    std::string dataFile;
    FileHolder outlook{"OUTLOOK.EXE", 412, "OUTLOOK.EXE"};
    bool running = true;
    bool refuses = false;
    std::function<bool()> archiveWritten;
    std::vector<std::string> calls;
};

// Shadow copies that hold the files of `copies` (original path to the path of its copy), or
// that cannot be made when `refusal` is set (Problem then says it). Creating and deleting are
// recorded in `calls` as "create" and "delete".
struct FakeShadowCopies final : ShadowCopies {
    bool Create(const std::vector<std::string>&) override
    {
        calls.push_back("create");
        if (!refusal.empty()) {
            problem = refusal;
            return false;
        }
        taken = true;
        return true;
    }
    std::string PathInSnapshot(const std::string& path) override
    {
        const auto found = copies.find(path);
        return taken && found != copies.end() ? found->second : std::string();
    }
    bool Delete() override
    {
        if (taken) {
            calls.push_back("delete");
        }
        taken = false;
        return true;
    }
    std::string Problem() const override { return problem; }

    std::map<std::string, std::string> copies;
    std::string refusal;
    std::string problem;
    bool taken = false;
    std::vector<std::string> calls;
};

}  // namespace kestrel::testing
