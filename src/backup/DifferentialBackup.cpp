#include "backup/DifferentialBackup.h"

#include <algorithm>

#include "archive/Differential.h"
#include "archive/InfoFile.h"
#include "archive/MemberName.h"

namespace kestrel {

namespace {

constexpr std::time_t SecondsPerDay = 24 * 60 * 60;

}  // namespace

std::optional<DifferentialBase> ChooseDifferentialBase(FileSystem& files,
                                                       const BackupRequest& request,
                                                       const KeepPolicy& keep,
                                                       const DifferentialPolicy& policy,
                                                       std::string& because)
{
    const std::string& target = request.targetPath;
    if (keep.keep <= MinimumKept) {
        because =
            "a differential backup needs dated generations beside the full one (keep 2 or "
            "more)";
        return std::nullopt;
    }
    const std::string fullPath = NewestFull(files, target, request.startTime);
    if (fullPath.empty()) {
        because = "there is no full backup of " + target + " yet";
        return std::nullopt;
    }
    const std::string fullName = BareName(fullPath);
    const std::optional<std::time_t> made = NamedTime(target, fullName);
    const int days = std::max(policy.fullAfterDays, 0);
    if (made && request.startTime - *made >= days * SecondsPerDay) {
        because = "the full backup " + fullName + " is " +
                  std::to_string((request.startTime - *made) / SecondsPerDay) +
                  " days old, and a full backup is written after " + std::to_string(days);
        return std::nullopt;
    }
    NoZipEvents events;
    ZipComponent zip(files, events);
    zip.SetReadPassword(request.protect ? request.password : std::string());
    if (!zip.Open(fullPath)) {
        because = "the full backup " + fullName + " cannot be read: " + zip.LastError();
        return std::nullopt;
    }
    const auto members = zip.Members();
    const bool protectedFull = std::any_of(
        members.begin(), members.end(), [](const ZipMember& member) { return member.encrypted; });
    if (protectedFull != request.protect) {
        because = "the full backup " + fullName + " was written " +
                  (protectedFull ? "with" : "without") + " a password";
        return std::nullopt;
    }
    if (protectedFull && !zip.CheckPassword()) {
        because = "the password is not the one of the full backup " + fullName;
        return std::nullopt;
    }
    const std::optional<std::string> info = ReadInfoBytes(zip);
    if (!info) {
        because = "the full backup " + fullName + " cannot be read: " + zip.LastError();
        return std::nullopt;
    }
    std::string why;
    std::optional<std::vector<MemberMap>> maps = ReadMemberMaps(zip, *info, why);
    if (!maps) {
        because = "the full backup " + fullName + " does not match its block maps: " + why;
        return std::nullopt;
    }
    const std::string id = InfoValueIn(*info, FullIdKey);
    if (maps->empty() || id.empty()) {
        because = "the full backup " + fullName + " has no block maps";
        return std::nullopt;
    }
    return DifferentialBase{fullPath, fullName, id, std::move(*maps)};
}

}  // namespace kestrel
