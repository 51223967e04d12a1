#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "scheduler/Scheduler.h"

namespace kestrel::testing {

struct FakeSystemInfo final : SystemInfo {
    std::string computerName = "OFFICE-PC";
    std::string logonUserName = "ann";
    std::string windowsFolder = "C:\\Windows";
    std::string windowsVersion = "6.1";
    std::string programFolder = "C:\\Program Files\\Kestrel";
    bool administrator = false;
    bool programAdministratorsOnly = true;
    std::map<std::string, std::string> variables{{"%UserProfile%", "C:\\Users\\ann"}};

    std::string ComputerName() override { return computerName; }
    std::string LogonUserName() override { return logonUserName; }
    std::string WindowsFolder() override { return windowsFolder; }
    std::string WindowsVersion() override { return windowsVersion; }
    std::string ExpandEnvironmentText(const std::string& text) override
    {
        auto found = variables.find(text);
        return found == variables.end() ? text : found->second;
    }
    std::string ProgramFolder() override { return programFolder; }
    bool HasAdministratorRights() override { return administrator; }
    bool ProgramIsAdministratorsOnly() override { return programAdministratorsOnly; }
};

struct FakeShell final : Shell {
    std::vector<std::string> opened;
    std::vector<std::pair<std::string, std::string>> started;

    bool OpenDocument(const std::string& target) override
    {
        opened.push_back(target);
        return true;
    }
    bool StartProcess(const std::string& program, const std::string& arguments) override
    {
        started.emplace_back(program, arguments);
        return true;
    }
};

// An automation server that reports a fixed version, or none at all.
struct FakeAutomation final : OfficeAutomation {
    std::optional<std::string> version;  // no value: no server registered
    std::vector<std::string> created;
    int quitCalls = 0;

    std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override;
};

struct FakeRunFolder final : RunFolder {
    std::string path = "C:\\Users\\ann\\AppData\\Local\\Kestrel\\run-1";
    std::string Path() const override { return path; }
};

// A scheduler that keeps the jobs it is given, numbered from 1, or refuses them.
struct FakeScheduler final : Scheduler {
    std::vector<JobInfo> added;
    std::string refusal;  // empty: jobs are taken
    Result<std::string> listing = std::string("listing");

    Result<std::uint32_t> Add(const JobInfo& job) override
    {
        if (!refusal.empty()) {
            return Error{"add", "job", 5, refusal};
        }
        added.push_back(job);
        return static_cast<std::uint32_t>(added.size());
    }
    Result<std::vector<ListedJob>> List() override
    {
        std::vector<ListedJob> jobs;
        for (std::size_t i = 0; i < added.size(); ++i) {
            jobs.push_back({static_cast<std::uint32_t>(i + 1), added[i], ""});
        }
        return jobs;
    }
    std::optional<Error> Remove(std::uint32_t) override { return std::nullopt; }
    Result<std::string> ShowJobs() override { return listing; }
};

// Secrets held in memory under the prefix and the number of secrets stored so far, or refused.
struct FakeSecrets final : UserSecrets {
    std::map<std::string, std::string> kept;
    std::string refusal;  // empty: secrets are kept
    int stored = 0;

    Result<std::string> Store(const std::string& prefix, const std::string& secret) override
    {
        if (!refusal.empty()) {
            return Error{"store", "secret", 5, refusal};
        }
        const std::string name = prefix + std::to_string(++stored);
        kept[name] = secret;
        return name;
    }
    Result<std::string> Read(const std::string& name) override
    {
        auto found = kept.find(name);
        if (found == kept.end()) {
            return Error{"read", "secret " + name, 2, "The system cannot find the file specified."};
        }
        return found->second;
    }
    bool Remove(const std::string& name) override { return kept.erase(name) == 1; }
};

// A platform of fakes; the registry stays null unless a test sets one.
struct FakePlatform {
    FakePlatform();

    Platform platform;
    FakeSystemInfo& system;
    FakeShell& shell;
    FakeAutomation& automation;
    FakeRunFolder& runFolder;
    FakeSecrets& secrets;
};

}  // namespace kestrel::testing
