#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scheduler/Scheduler.h"

namespace kestrel {

// Jobs in the Task Scheduler (2.0, through COM) of the current user: tasks "Backup <id>" in the
// folder \Kestrel, each registered from one task document (scheduler/TaskXml.h). Where the
// system has no Task Scheduler 2.0 the jobs go to the AT service instead (AtScheduler).
class Win32Scheduler final : public Scheduler {
public:
    Result<std::uint32_t> Add(const JobInfo& job) override;
    Result<std::vector<ListedJob>> List() override;
    std::optional<Error> Remove(std::uint32_t id) override;
    Result<std::string> ShowJobs() override;
};

// The AT job interface (NetScheduleJobAdd, NetScheduleJobEnum, NetScheduleJobDel) of systems
// before Task Scheduler 2.0. Every call first asks the service control manager whether the
// "Schedule" service runs and reports an Error when it does not, instead of calling the
// interface (which is not safe to call without the service). The AT service keeps jobs for
// the whole machine; ours are those that start kestrelbak.exe.
class AtScheduler final : public Scheduler {
public:
    // `service`: the service that runs AT jobs, "Schedule" on every Windows.
    explicit AtScheduler(std::string service = "Schedule") : service_(std::move(service)) {}

    Result<std::uint32_t> Add(const JobInfo& job) override;
    Result<std::vector<ListedJob>> List() override;
    std::optional<Error> Remove(std::uint32_t id) override;
    Result<std::string> ShowJobs() override;

private:
    std::string service_;
};

// The reason the service that runs AT jobs cannot take them now (not installed, not running),
// as an Error of `operation`; nothing when it runs.
std::optional<Error> ScheduleServiceNotRunning(const std::string& operation,
                                               const std::string& service = "Schedule");

}  // namespace kestrel
