#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/CommandArguments.h"
#include "platform/Platform.h"
#include "scheduler/ScheduledBackup.h"
#include "ui/Messages.h"

namespace kestrel {

// The pieces of `kestrel schedule` (RunScheduleCommand in ToolCommands.h) that decide what the
// user sees.

enum class ScheduleAction { Add, List, Remove, Help };

struct ScheduleOptions {
    ScheduleAction action = ScheduleAction::Help;
    // add: the choices of the options window.
    std::string profile;
    // One "0" or "1" per item box, as for `kestrel backup --items`; none ticked is left to the
    // window's own check and its message.
    std::string items;
    std::string startTime = DefaultStartTime;
    WeekdayBoxes days{};
    // As given; empty when --target is missing, which the window's check refuses.
    std::string target;
    PasswordFrom passwordFrom = PasswordFrom::None;
    std::string passwordFile;
    int keep = 1;
    // Whether --time and --keep were given: a policy decides what was not.
    bool timeGiven = false;
    bool keepGiven = false;
    // --once DATE: "YYYY-MM-DD", a job without weekdays that runs on that day.
    std::string onceDate;
    // list
    bool json = false;
    // remove
    std::uint32_t id = 0;
};

// The options, or why they cannot be used.
std::variant<ScheduleOptions, std::string> ParseScheduleOptions(
    const std::vector<std::string>& arguments);

// Carries out add, list or remove. `password` is the one read for --password-stdin or
// --password-file. Refusals go to `messages` (the options window's own texts for adding);
// what a script reads goes to `out`; a null scheduler refuses every action but help. Returns
// the exit status: 0 done, 1 refused or failed.
int RunSchedule(const ScheduleOptions& options, const std::optional<std::string>& password,
                Platform& platform, Scheduler* scheduler, Messages& messages, std::string& out);

// The jobs as a JSON array: JobListingTable's facts (app/JobListing.h) for scripts.
std::string ScheduleJson(const std::vector<ListedJob>& jobs,
                         const std::vector<std::string>& logLines = {});

}  // namespace kestrel
