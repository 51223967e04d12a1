#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace kestrel {

// The AT job interface's JOB_RUN_PERIODICALLY: the job repeats every week on its weekdays
// instead of running once.
inline constexpr std::uint8_t JobRunPeriodically = 0x01;

// One job of the system's scheduler, laid out as the AT job interface's AT_INFO record, with
// the command line also given in its two parts so that no backend has to split it again.
struct JobInfo {
    // Start time as milliseconds after local midnight.
    std::uint32_t JobTime = 0;
    // Bit n: day n + 1 of the month. The program never sets one.
    std::uint32_t DaysOfMonth = 0;
    // Bit 0 Monday, 0x02 Tuesday, ... 0x40 Sunday. With no bit set the job runs once, at the
    // next time JobTime comes round, on every backend.
    std::uint8_t DaysOfWeek = 0;
    std::uint8_t Flags = 0;
    // A job without weekdays runs once on this day (local time), when set; otherwise at the
    // next time JobTime comes round.
    int OnceYear = 0;
    int OnceMonth = 0;
    int OnceDay = 0;
    // The whole command line: Program in double quotes, one blank, Arguments.
    std::string Command;
    // The program's Windows path. A backend that runs its own build of the program instead
    // (Linux) starts that one with the same Arguments.
    std::string Program;
    // The argument text the program must see, exactly: it is the backend's task to escape it
    // for the way its scheduler hands it on (XML, systemd units, crontab lines).
    std::string Arguments;
    // Run with the user's highest rights (an administrator's elevated token) where the
    // scheduler knows such a thing: the unattended run then reads held data files from a shadow
    // copy, which needs them. Backends without it ignore it.
    bool HighestRunLevel = false;
};

// A job the scheduler holds for this user, as it was added.
struct ListedJob {
    std::uint32_t id = 0;
    JobInfo job;
    // When the system will start it next, in the system's words; empty when it does not say.
    std::string nextRun;
    // Whether a run missed while the machine was off happens when it next starts (the Task
    // Scheduler's "start when available", a timer's Persistent=); cron has no such thing.
    bool catchesUp = true;
};

// The system's scheduler, for the current user's jobs that this program added. Every call
// reports the system's refusal as an Error whose systemText is the system's own reason, fit
// to be shown to the user after a sentence of the caller's.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Adds one job that starts the program as the current user. Returns its id, which differs
    // from that of every job of ours the scheduler holds.
    virtual Result<std::uint32_t> Add(const JobInfo& job) = 0;
    // Our jobs, in increasing id order.
    virtual Result<std::vector<ListedJob>> List() = 0;
    // Removes our job with this id; an id the scheduler does not hold is an error.
    virtual std::optional<Error> Remove(std::uint32_t id) = 0;
    // Shows the user the scheduler's jobs. Where the system has a tool of its own for that (the
    // Task Scheduler console) it is started and the text is empty; elsewhere the text is the
    // system's own listing of our jobs (timers, or the crontab) for the caller to show.
    virtual Result<std::string> ShowJobs() = 0;
};

}  // namespace kestrel
