#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "scheduler/Scheduler.h"

namespace kestrel::testing {

// A local time, as the schedulers' "now".
inline std::tm At(int year, int month, int day, int hour, int minute)
{
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    return time;
}

// A weekly job at the time on the weekdays (none: once), as the options window records it.
inline JobInfo Job(int hour, int minute, std::uint8_t days, const std::string& arguments = "",
                   const std::string& program = "")
{
    JobInfo job;
    job.JobTime = static_cast<std::uint32_t>((hour * 60 + minute) * 60 * 1000);
    job.DaysOfWeek = days;
    job.Flags = JobRunPeriodically;
    job.Program = program;
    job.Arguments = arguments;
    return job;
}

// The ids of the jobs the scheduler lists, in its order; a refused listing fails the test.
inline std::vector<std::uint32_t> ListedIds(Scheduler& scheduler)
{
    const Result<std::vector<ListedJob>> jobs = scheduler.List();
    EXPECT_TRUE(jobs) << (jobs ? "" : jobs.error().Describe());
    std::vector<std::uint32_t> ids;
    for (const ListedJob& job : jobs ? *jobs : std::vector<ListedJob>{}) {
        ids.push_back(job.id);
    }
    return ids;
}

}  // namespace kestrel::testing
