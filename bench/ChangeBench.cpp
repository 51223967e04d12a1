// change_bench SIZE_MIB [DAYS] [WORK_FOLDER] [SEED] [--compact-day N]
// change_bench generate SIZE_MIB FILE [SEED]
// change_bench apply DAY FILE [SEED] [--compact-day N]
//
// How much of a large mail data file changes from one day to the next, at block sizes from
// 4 KiB to 1 MiB: the measure for choosing the block size of the block maps and differential
// archives. The first form generates a PST-like data file of about SIZE_MIB (archive_bench's
// data with a data file's header and allocation maps, OutlookChanges.h) as WORK_FOLDER/
// Outlook.pst (default 7 days, /var/tmp/change-bench, seed 1) and changes it in place as Outlook
// does over DAYS days: mail arriving, read and deleted, written copy-on-write, and on the
// Compact day (the last one unless --compact-day says otherwise; 0: none) nearly everything
// rewritten. Each day it prints the bytes of the blocks that differ from the day before and from
// day 0 (a differential is taken against the last full backup), the size of a block map (32
// bytes a block) and the time the day took; at the end a table of changed bytes plus map bytes
// against day 0 and the block size with the fewest of them over the ordinary days.
//
// "generate" makes day 0's file; "apply" changes a file in place as day DAY does (the Compact
// day by default day 7): the same file, day and seed give the same bytes, so a benchmark can
// take the file through the days one at a time.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "OutlookChanges.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrel::bench;

constexpr double MiB = 1024.0 * 1024.0;
constexpr int DefaultDays = 7;
constexpr std::uint64_t DefaultSeed = 1;

int Usage()
{
    std::fputs(
        "usage: change_bench SIZE_MIB [DAYS] [WORK_FOLDER] [SEED] [--compact-day N]\n"
        "       change_bench generate SIZE_MIB FILE [SEED]\n"
        "       change_bench apply DAY FILE [SEED] [--compact-day N]\n",
        stderr);
    return 2;
}

// A whole number from an argument; false when it is not one (or is out of range).
bool ParseNumber(const std::string& text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoull(text);
    return true;
}

std::string Size(std::uint64_t bytes)
{
    char text[32];
    if (bytes >= 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.2f MiB", static_cast<double>(bytes) / MiB);
    } else {
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    }
    return text;
}

std::string BlockName(std::uint64_t blockSize)
{
    return blockSize >= 1024 * 1024 ? std::to_string(blockSize / (1024 * 1024)) + " MiB"
                                    : std::to_string(blockSize / 1024) + " KiB";
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void PrintDay(int day, const DayReport& report, double seconds)
{
    if (report.compact) {
        std::printf("day %d: Compact", day);
    } else {
        std::printf("day %d: %d mails in, %d read, %d older items changed, %d deleted", day,
                    report.mailsIn, report.mailsRead, report.itemsChanged, report.mailsDeleted);
    }
    std::printf(
        "; %d commits, %s written; file %s -> %s (%+lld bytes); %.2f s\n", report.commits,
        Size(report.bytesWritten).c_str(), Size(report.sizeBefore).c_str(),
        Size(report.sizeAfter).c_str(),
        static_cast<long long>(report.sizeAfter) - static_cast<long long>(report.sizeBefore),
        seconds);
}

void PrintCounts(const ChangeCounter& counter)
{
    std::printf("  %-8s %14s %14s %12s %16s\n", "block", "vs day before", "vs day 0", "map",
                "vs day 0 + map");
    for (std::uint64_t blockSize : MeasuredBlockSizes) {
        const std::uint64_t sinceZero = counter.ChangedSinceDayZero(blockSize);
        std::printf("  %-8s %14s %14s %12s %16s\n", BlockName(blockSize).c_str(),
                    Size(counter.ChangedSincePrevious(blockSize)).c_str(), Size(sinceZero).c_str(),
                    Size(counter.MapBytes(blockSize)).c_str(),
                    Size(sinceZero + counter.MapBytes(blockSize)).c_str());
    }
}

struct DayCosts {
    bool compact = false;
    std::vector<std::uint64_t> againstFull;  // changed since day 0 + map, per block size
};

void PrintSummary(const std::vector<DayCosts>& days)
{
    std::printf("\nchanged bytes + map bytes against day 0 (the full backup), MiB:\n  %-8s",
                "block");
    for (std::size_t day = 0; day < days.size(); ++day) {
        std::printf(" %9s",
                    ("day " + std::to_string(day + 1) + (days[day].compact ? "C" : "")).c_str());
    }
    std::printf(" %12s\n", "ordinary sum");
    std::size_t best = 0;
    std::vector<std::uint64_t> sums(MeasuredBlockSizes.size(), 0);
    for (std::size_t size = 0; size < MeasuredBlockSizes.size(); ++size) {
        std::printf("  %-8s", BlockName(MeasuredBlockSizes[size]).c_str());
        for (const DayCosts& day : days) {
            std::printf(" %9.2f", static_cast<double>(day.againstFull[size]) / MiB);
            if (!day.compact) {
                sums[size] += day.againstFull[size];
            }
        }
        std::printf(" %12.2f\n", static_cast<double>(sums[size]) / MiB);
        if (sums[size] < sums[best]) {
            best = size;
        }
    }
    std::printf("fewest bytes on each day:");
    for (std::size_t day = 0; day < days.size(); ++day) {
        std::size_t dayBest = 0;
        for (std::size_t size = 0; size < MeasuredBlockSizes.size(); ++size) {
            if (days[day].againstFull[size] < days[day].againstFull[dayBest]) {
                dayBest = size;
            }
        }
        std::printf(" day %zu %s;", day + 1, BlockName(MeasuredBlockSizes[dayBest]).c_str());
    }
    std::printf(
        "\nblock size with the fewest changed + map bytes over the ordinary days: %llu "
        "bytes (%s)\n",
        static_cast<unsigned long long>(MeasuredBlockSizes[best]),
        BlockName(MeasuredBlockSizes[best]).c_str());
}

// Reads "--compact-day N" out of the arguments; false when it is malformed.
bool TakeCompactDay(std::vector<std::string>& arguments, std::uint64_t& compactDay)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--compact-day") {
            if (i + 1 == arguments.size() || !ParseNumber(arguments[i + 1], compactDay)) {
                return false;
            }
            arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                            arguments.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return true;
        }
    }
    return true;
}

int Generate(const std::vector<std::string>& arguments)
{
    std::uint64_t sizeMiB = 0;
    std::uint64_t seed = DefaultSeed;
    if (arguments.size() < 3 || arguments.size() > 4 || !ParseNumber(arguments[1], sizeMiB) ||
        sizeMiB == 0 || (arguments.size() == 4 && !ParseNumber(arguments[3], seed))) {
        return Usage();
    }
    GenerateDataFile(arguments[2], sizeMiB * 1024 * 1024, seed);
    std::printf("%s\n", arguments[2].c_str());
    return 0;
}

int Apply(std::vector<std::string> arguments)
{
    std::uint64_t compactDay = DefaultDays;
    std::uint64_t day = 0;
    std::uint64_t seed = DefaultSeed;
    if (!TakeCompactDay(arguments, compactDay) || arguments.size() < 3 || arguments.size() > 4 ||
        !ParseNumber(arguments[1], day) || day == 0 ||
        (arguments.size() == 4 && !ParseNumber(arguments[3], seed))) {
        return Usage();
    }
    DataFile file(arguments[2]);
    const auto start = std::chrono::steady_clock::now();
    const DayReport report = ApplyDay(file, seed, static_cast<int>(day), day == compactDay);
    PrintDay(static_cast<int>(day), report, Seconds(start));
    return 0;
}

int Measure(std::vector<std::string> arguments)
{
    std::uint64_t sizeMiB = 0;
    std::uint64_t days = DefaultDays;
    std::uint64_t seed = DefaultSeed;
    std::uint64_t compactDay = 0;
    const bool compactGiven =
        std::find(arguments.begin(), arguments.end(), "--compact-day") != arguments.end();
    if (!TakeCompactDay(arguments, compactDay) || arguments.empty() || arguments.size() > 4 ||
        !ParseNumber(arguments[0], sizeMiB) || sizeMiB == 0 ||
        (arguments.size() > 1 && (!ParseNumber(arguments[1], days) || days == 0)) ||
        (arguments.size() > 3 && !ParseNumber(arguments[3], seed))) {
        return Usage();
    }
    if (!compactGiven) {
        compactDay = days;
    }
    const fs::path work =
        fs::absolute(arguments.size() > 2 ? arguments[2] : "/var/tmp/change-bench");
    fs::create_directories(work);
    const std::string path = (work / "Outlook.pst").string();

    auto start = std::chrono::steady_clock::now();
    GenerateDataFile(path, sizeMiB * 1024 * 1024, seed);
    DataFile file(path);
    std::printf("day 0: %s generated, %s, seed %llu, in %.2f s\n", path.c_str(),
                Size(file.Size()).c_str(), static_cast<unsigned long long>(seed), Seconds(start));
    start = std::chrono::steady_clock::now();
    ChangeCounter counter(file);
    file.ClearTouched();
    std::printf("day 0 hashed in %.2f s\n", Seconds(start));

    std::vector<DayCosts> costs;
    for (std::uint64_t day = 1; day <= days; ++day) {
        start = std::chrono::steady_clock::now();
        const DayReport report = ApplyDay(file, seed, static_cast<int>(day), day == compactDay);
        counter.Update(file);
        PrintDay(static_cast<int>(day), report, Seconds(start));
        PrintCounts(counter);
        DayCosts dayCosts{report.compact, {}};
        for (std::uint64_t blockSize : MeasuredBlockSizes) {
            dayCosts.againstFull.push_back(counter.ChangedSinceDayZero(blockSize) +
                                           counter.MapBytes(blockSize));
        }
        costs.push_back(dayCosts);
        std::fflush(stdout);
    }
    PrintSummary(costs);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        if (!arguments.empty() && arguments[0] == "generate") {
            return Generate(arguments);
        }
        if (!arguments.empty() && arguments[0] == "apply") {
            return Apply(arguments);
        }
        return Measure(arguments);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "change_bench: %s\n", error.what());
        return 1;
    }
}
