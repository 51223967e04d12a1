#include "backup/BackupGenerations.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <tuple>

#include "archive/Differential.h"
#include "archive/InfoFile.h"
#include "archive/MemberName.h"
#include "archive/ZipComponent.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

constexpr std::string_view Extension = ".ksb";
// "2026-12-07 2330": a local time in the names of earlier builds, UTC followed by " UTC" now.
constexpr std::string_view StampPattern = "0000-00-00 0000";
constexpr std::string_view UtcMark = " UTC";
constexpr std::string_view IncompleteOpening = " (incomplete ";
constexpr std::string_view IncompleteClosing = ")";
constexpr std::string_view DifferentialClosing = " differential";
// The write goes to "<target>.part-" and six letters or digits first, so nothing is replaced
// before the archive is whole (and read back). The form is that of a write's temporary file, so
// a run killed meanwhile leaves nothing that a later write to the target does not clear away;
// the letters are drawn for each run, so two runs to one target never share the file.
constexpr std::string_view StagingMarker = ".part-";
constexpr std::string_view StagingLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t StagingLength = 6;

bool EndsWithIgnoringCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() &&
           EqualsIgnoringCase(text.substr(text.size() - end.size()), end);
}

// The target's bare name split before its extension ("work" and ".ksb"; "work" and "" when it
// has none). A leading dot starts no extension.
std::pair<std::string, std::string> StemAndExtension(const std::string& target)
{
    const std::string name = BareName(target);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return {name, {}};
    }
    return {name.substr(0, dot), name.substr(dot)};
}

bool HasKsbExtension(const std::string& target)
{
    const std::string name = BareName(target);
    return name.size() > Extension.size() && EndsWithIgnoringCase(name, Extension);
}

std::string UtcStamp(std::time_t when)
{
    using namespace std::chrono;
    const sys_seconds time{seconds(when)};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<minutes>(time - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()));
    return std::string(text) + std::string(UtcMark);
}

struct StampFields {
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    int hour = 0;
    int minute = 0;
};

// The fields of "2026-12-07 2330", when the text is of that form and the date and time exist.
std::optional<StampFields> ReadStamp(std::string_view text)
{
    if (text.size() != StampPattern.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (StampPattern[i] == '0' ? !digit : text[i] != StampPattern[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    StampFields fields{number(0, 4), static_cast<unsigned>(number(5, 2)),
                       static_cast<unsigned>(number(8, 2)), number(11, 2), number(13, 2)};
    const std::chrono::year_month_day date{std::chrono::year(fields.year),
                                           std::chrono::month(fields.month),
                                           std::chrono::day(fields.day)};
    if (!date.ok() || fields.hour > 23 || fields.minute > 59) {
        return std::nullopt;
    }
    return fields;
}

std::optional<std::time_t> UtcTime(std::string_view text)
{
    const std::optional<StampFields> fields = ReadStamp(text);
    if (!fields) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const sys_days day{year(fields->year) / month(fields->month) / fields->day};
    return system_clock::to_time_t(day + hours(fields->hour) + minutes(fields->minute));
}

// An earlier build's local stamp, read in the time zone the machine has now.
std::optional<std::time_t> LocalTime(std::string_view text)
{
    const std::optional<StampFields> fields = ReadStamp(text);
    if (!fields) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = fields->year - 1900;
    local.tm_mon = static_cast<int>(fields->month) - 1;
    local.tm_mday = static_cast<int>(fields->day);
    local.tm_hour = fields->hour;
    local.tm_min = fields->minute;
    local.tm_isdst = -1;
    const std::time_t time = std::mktime(&local);
    return time == static_cast<std::time_t>(-1) ? std::nullopt : std::optional(time);
}

// The text of the name between `before` and `after`, compared without regard to case.
std::optional<std::string_view> Between(std::string_view name, std::string_view before,
                                        std::string_view after)
{
    if (name.size() <= before.size() + after.size() ||
        !EqualsIgnoringCase(name.substr(0, before.size()), before) ||
        !EndsWithIgnoringCase(name, after)) {
        return std::nullopt;
    }
    return name.substr(before.size(), name.size() - before.size() - after.size());
}

// The time a name holds, and whether it was a local stamp of an earlier build.
struct NameTime {
    std::time_t time = 0;
    bool local = false;
};

// A local stamp is read in today's time zone, which may lie up to this far from the one it was
// written in (the zones of the earth span 26 hours); only a stamp further ahead of the clock
// than that proves the clock has gone back.
constexpr std::time_t LocalStampSpan = 26 * 60 * 60;

// Whether the time was stamped while the clock was ahead of `now`.
bool After(const NameTime& named, std::time_t now)
{
    return named.time > now + (named.local ? LocalStampSpan : 0);
}

// The time in the name when it is `before` + a stamp + `after`: a UTC stamp, or for a ".ksb"
// target an earlier build's local one.
std::optional<NameTime> TimeBetween(const std::string& target, const std::string& fileName,
                                    const std::string& before, const std::string& after)
{
    const std::optional<std::string_view> stamp = Between(fileName, before, after);
    if (!stamp) {
        return std::nullopt;
    }
    std::optional<std::time_t> time;
    const bool local = !EndsWithIgnoringCase(*stamp, UtcMark);
    if (!local) {
        time = UtcTime(stamp->substr(0, stamp->size() - UtcMark.size()));
    } else if (HasKsbExtension(target)) {
        time = LocalTime(*stamp);
    }
    return time ? std::optional(NameTime{*time, local}) : std::nullopt;
}

std::optional<NameTime> GenerationTime(const std::string& target, const std::string& name)
{
    const auto [stem, extension] = StemAndExtension(target);
    return TimeBetween(target, name, stem + " ", extension);
}

std::optional<NameTime> IncompleteTime(const std::string& target, const std::string& name)
{
    const auto [stem, extension] = StemAndExtension(target);
    return TimeBetween(target, name, stem + std::string(IncompleteOpening),
                       std::string(IncompleteClosing) + extension);
}

std::optional<NameTime> DifferentialTime(const std::string& target, const std::string& name)
{
    const auto [stem, extension] = StemAndExtension(target);
    const std::optional<NameTime> named =
        TimeBetween(target, name, stem + " ", std::string(DifferentialClosing) + extension);
    // Differentials were never named by the local clock.
    return named && !named->local ? named : std::nullopt;
}

std::string DatedName(const std::string& target, const std::string& opening, std::time_t when,
                      const std::string& closing)
{
    const auto [stem, extension] = StemAndExtension(target);
    return JoinPath(ParentFolder(target), stem + opening + UtcStamp(when) + closing + extension);
}

using TimeOfName = std::optional<NameTime> (*)(const std::string&, const std::string&);

// The names the pattern dates, beyond the newest `keep`, oldest first (see GenerationsBeyond).
std::vector<std::string> Beyond(TimeOfName timeOf, const std::string& target,
                                const std::vector<std::string>& fileNames, int keep,
                                std::time_t now, const std::string& written)
{
    // (dated after now, time, name): the ones dated after now sort first.
    std::vector<std::tuple<bool, std::time_t, std::string>> dated;
    std::size_t newest = 0;
    for (const std::string& name : fileNames) {
        const std::optional<NameTime> named = timeOf(target, name);
        if (!named) {
            continue;
        }
        if (EqualsIgnoringCase(name, written)) {
            newest = 1;
        } else {
            dated.emplace_back(!After(*named, now), named->time, name);
        }
    }
    std::sort(dated.begin(), dated.end());
    const std::size_t kept = static_cast<std::size_t>(std::max(keep, MinimumKept));
    std::vector<std::string> beyond;
    for (std::size_t i = 0; i + kept < dated.size() + newest; ++i) {
        beyond.push_back(std::get<2>(dated[i]));
    }
    return beyond;
}

std::string StagingPath(const std::string& target)
{
    static std::mt19937 draw(std::random_device{}());
    static std::mutex drawing;
    std::uniform_int_distribution<std::size_t> letter(0, StagingLetters.size() - 1);
    std::string suffix(StagingLength, ' ');
    {
        const std::lock_guard<std::mutex> lock(drawing);
        for (char& c : suffix) {
            c = StagingLetters[letter(draw)];
        }
    }
    return target + std::string(StagingMarker) + suffix;
}

void RemoveIfThere(FileSystem& files, const std::string& path)
{
    if (files.Stat(path)) {
        files.RemoveFile(path);
    }
}

// The names in the folder that are archives of ours: a name of the target's pattern alone is
// no proof, the user may have given a file of theirs such a name.
std::vector<std::string> OurArchives(FileSystem& files, const std::string& folder,
                                     const std::vector<std::string>& names)
{
    std::vector<std::string> ours;
    for (const std::string& name : names) {
        if (HoldsBackup(files, JoinPath(folder, name))) {
            ours.push_back(name);
        }
    }
    return ours;
}

std::vector<std::string> Matching(const std::string& target, const std::vector<std::string>& names)
{
    std::vector<std::string> matching;
    for (const std::string& name : names) {
        if (NamedTime(target, name)) {
            matching.push_back(name);
        }
    }
    return matching;
}

std::vector<std::string> RemoveNames(FileSystem& files, const std::string& folder,
                                     const std::vector<std::string>& names)
{
    std::vector<std::string> removed;
    for (const std::string& name : names) {
        const std::string path = JoinPath(folder, name);
        if (files.RemoveFile(path)) {
            removed.push_back(path);
        }
    }
    return removed;
}

// What is beside the target: the folder, and the generations and incomplete archives in it
// that are ours.
struct Beside {
    std::string folder;
    std::vector<std::string> ours;
};

Beside LookBeside(FileSystem& files, const std::string& target)
{
    Beside beside{ParentFolder(target), {}};
    beside.ours = OurArchives(files, beside.folder, Matching(target, files.FilesIn(beside.folder)));
    return beside;
}

// The complete backup a run that lacks an item must not replace nor push out: the target
// (keep 1) or the newest generation; empty when there is none of ours.
std::string BackupToKeep(FileSystem& files, const std::string& target, const Beside& beside,
                         int keep, std::time_t now)
{
    if (keep <= MinimumKept) {
        return HoldsBackup(files, target) ? target : std::string();
    }
    std::vector<std::string> generations;
    for (const std::string& name : beside.ours) {
        if (IsGenerationName(target, name)) {
            generations.push_back(name);
        }
    }
    const std::vector<std::string> older = GenerationsBeyond(target, generations, 1, now);
    for (const std::string& name : generations) {
        if (std::find(older.begin(), older.end(), name) == older.end()) {
            return JoinPath(beside.folder, name);
        }
    }
    return {};
}

// The fulls and differentials beside the target, each differential with the full its info file
// names; one that does not read with the password (an earlier one's) names none.
std::vector<RestorePoint> RestorePointsOf(FileSystem& files, const Beside& beside,
                                          const std::string& target, const std::string& password)
{
    std::vector<RestorePoint> points;
    for (const std::string& name : beside.ours) {
        if (IsGenerationName(target, name)) {
            points.push_back({name, false, {}});
        } else if (IsDifferentialName(target, name)) {
            NoZipEvents events;
            ZipComponent zip(files, events);
            zip.SetReadPassword(password);
            std::string full;
            if (zip.Open(JoinPath(beside.folder, name))) {
                if (const auto info = ReadInfoBytes(zip)) {
                    full = InfoValueIn(*info, DifferentialOfKey);
                }
            }
            points.push_back({name, true, full});
        }
    }
    return points;
}

// After a complete run: the generations beyond `keep`, and every incomplete archive of the
// target, which the complete one supersedes. After one that lacks an item: its incomplete
// archives beyond `keep`.
std::vector<std::string> RemoveSuperseded(FileSystem& files, const std::string& target,
                                          const Beside& beside, int keep, std::time_t now,
                                          const std::string& written, bool complete,
                                          const std::string& password,
                                          std::vector<std::string>& unrestorable)
{
    std::vector<std::string> doomed;
    if (complete) {
        if (keep > MinimumKept) {
            const Pruning pruning = RestorePointsBeyond(
                target, RestorePointsOf(files, beside, target, password), keep, now, written);
            doomed = pruning.beyond;
            doomed.insert(doomed.end(), pruning.unrestorable.begin(), pruning.unrestorable.end());
            for (const std::string& name : pruning.unrestorable) {
                unrestorable.push_back(JoinPath(beside.folder, name));
            }
        }
        for (const std::string& name : beside.ours) {
            if (IsIncompleteName(target, name) && !EqualsIgnoringCase(name, written)) {
                doomed.push_back(name);
            }
        }
    } else {
        doomed = IncompleteBeyond(target, beside.ours, keep, now, written);
    }
    return RemoveNames(files, beside.folder, doomed);
}

BackupOutcome Unwritten(BackupOutcome outcome, BackupResult result, std::string why)
{
    outcome.result = result;
    outcome.error = std::move(why);
    outcome.archivePath.clear();
    outcome.archiveBytes = 0;
    return outcome;
}

}  // namespace

std::string GenerationPath(const std::string& target, std::time_t when)
{
    return DatedName(target, " ", when, "");
}

std::string IncompletePath(const std::string& target, std::time_t when)
{
    return DatedName(target, std::string(IncompleteOpening), when, std::string(IncompleteClosing));
}

std::string DifferentialPath(const std::string& target, std::time_t when)
{
    return DatedName(target, " ", when, std::string(DifferentialClosing));
}

bool IsDifferentialName(const std::string& target, const std::string& fileName)
{
    return DifferentialTime(target, fileName).has_value();
}

Pruning RestorePointsBeyond(const std::string& target, const std::vector<RestorePoint>& points,
                            int keep, std::time_t now, const std::string& written)
{
    const auto timeOf = [&](const RestorePoint& point) {
        return point.differential ? DifferentialTime(target, point.name)
                                  : GenerationTime(target, point.name);
    };
    const auto fullPresent = [&](const std::string& fullName) {
        return std::any_of(points.begin(), points.end(), [&](const RestorePoint& point) {
            return !point.differential && EqualsIgnoringCase(point.name, fullName) && timeOf(point);
        });
    };
    // A differential is made against the newest full before it: the one taken for a
    // differential whose info could not be read. With none, it is kept as any restore point.
    const auto fullBefore = [&](std::time_t time) {
        std::string newest;
        std::time_t newestTime = 0;
        for (const RestorePoint& point : points) {
            const std::optional<NameTime> named = point.differential ? std::nullopt : timeOf(point);
            if (named && named->time <= time && (newest.empty() || named->time > newestTime)) {
                newest = point.name;
                newestTime = named->time;
            }
        }
        return newest;
    };
    Pruning pruning;
    // (dated after now, time, position): the ones dated after now sort first, as in Beyond.
    std::vector<std::tuple<bool, std::time_t, std::size_t>> dated;
    std::size_t newest = 0;
    std::vector<std::string> needed;  // the fulls of the kept differentials
    std::vector<std::string> fullsNeeded(points.size());  // by each differential
    for (std::size_t i = 0; i < points.size(); ++i) {
        const RestorePoint& point = points[i];
        const std::optional<NameTime> named = timeOf(point);
        if (!named) {
            continue;
        }
        const bool isWritten = EqualsIgnoringCase(point.name, written);
        const std::string fullName =
            point.differential && point.fullName.empty() ? fullBefore(named->time) : point.fullName;
        if (point.differential && !point.fullName.empty() && !fullPresent(fullName)) {
            if (!isWritten) {
                pruning.unrestorable.push_back(point.name);
            }
            continue;
        }
        if (isWritten) {
            newest = 1;
            if (point.differential) {
                needed.push_back(fullName);
            }
        } else {
            dated.emplace_back(!After(*named, now), named->time, i);
            fullsNeeded[i] = fullName;
        }
    }
    std::sort(dated.begin(), dated.end());
    const std::size_t kept = static_cast<std::size_t>(std::max(keep, MinimumKept));
    const std::size_t firstKept = dated.size() + newest > kept ? dated.size() + newest - kept : 0;
    for (std::size_t i = firstKept; i < dated.size(); ++i) {
        const std::size_t at = std::get<2>(dated[i]);
        if (points[at].differential) {
            needed.push_back(fullsNeeded[at]);
        }
    }
    for (std::size_t i = 0; i < firstKept; ++i) {
        const RestorePoint& point = points[std::get<2>(dated[i])];
        const bool isNeeded =
            !point.differential &&
            std::any_of(needed.begin(), needed.end(), [&](const std::string& fullName) {
                return EqualsIgnoringCase(fullName, point.name);
            });
        if (!isNeeded) {
            pruning.beyond.push_back(point.name);
        }
    }
    return pruning;
}

std::optional<int> FullAfterDaysCount(const std::string& text)
{
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int days = std::stoi(text);
    return days >= 1 && days <= MaximumFullAfterDays ? std::optional(days) : std::nullopt;
}

std::string NewestFull(FileSystem& files, const std::string& target, std::time_t now)
{
    const Beside beside = LookBeside(files, target);
    std::vector<std::string> fulls;
    for (const std::string& name : beside.ours) {
        if (IsGenerationName(target, name)) {
            const std::optional<NameTime> named = GenerationTime(target, name);
            if (named && !After(*named, now)) {
                fulls.push_back(name);
            }
        }
    }
    const std::vector<std::string> older = GenerationsBeyond(target, fulls, 1, now);
    for (const std::string& name : fulls) {
        if (std::find(older.begin(), older.end(), name) == older.end()) {
            return JoinPath(beside.folder, name);
        }
    }
    return {};
}

bool IsGenerationName(const std::string& target, const std::string& fileName)
{
    return GenerationTime(target, fileName).has_value();
}

bool IsIncompleteName(const std::string& target, const std::string& fileName)
{
    return IncompleteTime(target, fileName).has_value();
}

std::optional<std::time_t> NamedTime(const std::string& target, const std::string& fileName)
{
    std::optional<NameTime> named = GenerationTime(target, fileName);
    if (!named) {
        named = IncompleteTime(target, fileName);
    }
    if (!named) {
        named = DifferentialTime(target, fileName);
    }
    return named ? std::optional(named->time) : std::nullopt;
}

std::vector<std::string> GenerationsBeyond(const std::string& target,
                                           const std::vector<std::string>& fileNames, int keep,
                                           std::time_t now, const std::string& written)
{
    return Beyond(GenerationTime, target, fileNames, keep, now, written);
}

std::vector<std::string> IncompleteBeyond(const std::string& target,
                                          const std::vector<std::string>& fileNames, int keep,
                                          std::time_t now, const std::string& written)
{
    return Beyond(IncompleteTime, target, fileNames, keep, now, written);
}

std::vector<std::string> DatedAfter(const std::string& target,
                                    const std::vector<std::string>& fileNames, std::time_t now)
{
    std::vector<std::pair<std::time_t, std::string>> dated;
    for (const std::string& name : fileNames) {
        std::optional<NameTime> named = GenerationTime(target, name);
        if (!named) {
            named = IncompleteTime(target, name);
        }
        if (named && After(*named, now)) {
            dated.emplace_back(named->time, name);
        }
    }
    std::sort(dated.begin(), dated.end());
    std::vector<std::string> after;
    for (auto& [time, name] : dated) {
        after.push_back(std::move(name));
    }
    return after;
}

std::optional<std::string> ArchiveReadBackProblem(FileSystem& files, const std::string& path,
                                                  const std::string& password)
{
    NoZipEvents events;
    ZipComponent zip(files, events);
    zip.SetReadPassword(password);
    if (!zip.Open(path)) {
        return zip.LastError();
    }
    const std::vector<ZipMember> members = zip.Members();
    if (members.empty()) {
        return "the archive holds no file";
    }
    for (const ZipMember& member : members) {
        if (!zip.ReadMember(member)) {
            const std::string& why = zip.LastError();
            return why.find(member.name) == std::string::npos ? member.name + ": " + why : why;
        }
    }
    return std::nullopt;
}

bool HoldsBackup(FileSystem& files, const std::string& path)
{
    NoZipEvents events;
    ZipComponent zip(files, events);
    return zip.Open(path) && zip.FindMember(InfoFileName).has_value();
}

BackupRequest StagedRequest(const BackupRequest& request)
{
    BackupRequest staged = request;
    staged.writePath = StagingPath(request.targetPath);
    return staged;
}

std::optional<std::string> CheckStagedArchive(const BackupOutcome& outcome,
                                              const BackupRequest& staged, FileSystem& files)
{
    if (!outcome.Written()) {
        return std::nullopt;
    }
    return ArchiveReadBackProblem(files, staged.writePath,
                                  staged.protect ? staged.password : std::string());
}

BackupOutcome PlaceStagedArchive(BackupOutcome outcome, const BackupRequest& staged,
                                 const KeepPolicy& policy,
                                 const std::optional<std::string>& readBackProblem,
                                 FileSystem& files)
{
    const std::string& target = staged.targetPath;
    if (!outcome.Written()) {
        RemoveIfThere(files, staged.writePath);
        outcome.archivePath.clear();
        // The user knows the target, not the name it is written under first.
        for (std::size_t at = outcome.error.find(staged.writePath); at != std::string::npos;
             at = outcome.error.find(staged.writePath, at + target.size())) {
            outcome.error.replace(at, staged.writePath.size(), target);
        }
        return outcome;
    }
    if (readBackProblem) {
        files.RemoveFile(staged.writePath);
        return Unwritten(std::move(outcome), BackupResult::NotReadBack,
                         "the written archive did not read back (" + *readBackProblem +
                             "), so it was removed and any previous archive at " + target +
                             " is as it was");
    }
    const std::time_t now = staged.startTime;
    const bool complete = !outcome.LacksAnItem();
    const std::string kept =
        complete ? std::string()
                 : BackupToKeep(files, target, LookBeside(files, target), policy.keep, now);
    const std::string placed = !kept.empty()                    ? IncompletePath(target, now)
                               : policy.keep <= MinimumKept     ? target
                               : outcome.differentialOf.empty() ? GenerationPath(target, now)
                                                                : DifferentialPath(target, now);
    // A dated name is the run's own; a file of the user's that happens to bear it stays.
    if (placed != target && files.Stat(placed) && !HoldsBackup(files, placed)) {
        files.RemoveFile(staged.writePath);
        return Unwritten(std::move(outcome), BackupResult::WriteFailed,
                         placed +
                             " is a file that is not a backup, so the new archive was not "
                             "put there and nothing was replaced");
    }
    if (!files.MoveOver(staged.writePath, placed)) {
        files.RemoveFile(staged.writePath);
        return Unwritten(std::move(outcome), BackupResult::WriteFailed,
                         "cannot put the new archive in place at " + placed);
    }
    outcome.archivePath = placed;
    outcome.writtenBeside = !kept.empty();
    outcome.keptBackup = kept;
    const Beside beside = LookBeside(files, target);
    outcome.removed = RemoveSuperseded(files, target, beside, policy.keep, now, BareName(placed),
                                       complete, staged.protect ? staged.password : std::string(),
                                       outcome.removedUnrestorable);
    for (const std::string& name : DatedAfter(target, beside.ours, now)) {
        const std::string path = JoinPath(beside.folder, name);
        if (std::find(outcome.removed.begin(), outcome.removed.end(), path) ==
            outcome.removed.end()) {
            outcome.datedAfter.push_back(path);
        }
    }
    return outcome;
}

BackupOutcome RunKeptBackup(BackupJob& job, const BackupRequest& request,
                            const BackupMachine& machine, ProgressSink& progress,
                            const KeepPolicy& policy, FileSystem& files)
{
    const BackupRequest staged = StagedRequest(request);
    const BackupOutcome outcome = job.Run(staged, machine, progress);
    const std::optional<std::string> problem =
        policy.verify ? CheckStagedArchive(outcome, staged, files) : std::nullopt;
    return PlaceStagedArchive(outcome, staged, policy, problem, files);
}

}  // namespace kestrel
