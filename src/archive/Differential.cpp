#include "archive/Differential.h"

#include <algorithm>

#include "archive/ChangedBlocks.h"
#include "archive/InfoFile.h"
#include "archive/MemberName.h"
#include "platform/Crypto.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

// A map of a 4 TiB file at the default block size; nothing larger is read into memory.
constexpr std::uint64_t MaxMapBytes = 128u << 20;

std::optional<std::vector<std::uint8_t>> ReadWholeMember(ZipComponent& zip, const ZipMember& member,
                                                         std::uint64_t limit, std::string& why)
{
    if (member.size > limit) {
        why = member.name + " is larger than any such member";
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(member.size));
    const bool read = zip.ReadMember(member, [&](const char* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return bytes.size() <= limit;
    });
    if (!read) {
        why = zip.LastError();
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::string DifferentialNote(const std::string& fullName)
{
    return "Kestrel differential backup: its data files (the .changed-blocks members) hold only "
           "the blocks changed since the full backup \"" +
           fullName +
           "\"; Kestrel rebuilds them from that full backup. Every other file extracts as it "
           "is.";
}

std::string NewFullId()
{
    Sha256::Digest id{};
    if (!FillRandom(id)) {
        return {};
    }
    return DigestText(id).substr(0, 32);
}

std::optional<std::string> ReadInfoBytes(ZipComponent& zip)
{
    const std::optional<ZipMember> member = zip.FindMember(InfoFileName);
    std::string why;
    if (!member) {
        return std::nullopt;
    }
    const auto bytes = ReadWholeMember(zip, *member, MaxInfoFileBytes, why);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

std::vector<std::string> InfoEntries(const std::string& value)
{
    std::vector<std::string> entries;
    for (std::size_t start = 0; !value.empty() && start <= value.size();) {
        std::size_t end = value.find(';', start);
        end = end == std::string::npos ? value.size() : end;
        entries.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::optional<std::vector<MemberMap>> ReadMemberMaps(ZipComponent& zip, const std::string& info,
                                                     std::string& why)
{
    const std::vector<std::string> dataNames = InfoEntries(InfoValueIn(info, "BackupDatas"));
    const std::vector<std::string> mapNames = InfoEntries(InfoValueIn(info, BlockMapsKey));
    std::vector<MemberMap> maps;
    if (mapNames.empty()) {
        return maps;
    }
    if (mapNames.size() != dataNames.size()) {
        why = "its info file names " + std::to_string(mapNames.size()) + " block maps for " +
              std::to_string(dataNames.size()) + " data files";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < mapNames.size(); ++i) {
        const std::optional<ZipMember> member = zip.FindMember(mapNames[i]);
        if (!member) {
            why = "it lacks the block map " + mapNames[i];
            return std::nullopt;
        }
        const auto bytes = ReadWholeMember(zip, *member, MaxMapBytes, why);
        if (!bytes) {
            return std::nullopt;
        }
        std::optional<BlockMap> map = ParseBlockMap(*bytes);
        if (!map) {
            why = "its block map " + mapNames[i] + " is damaged";
            return std::nullopt;
        }
        const std::optional<ZipMember> data = zip.FindMember(dataNames[i]);
        if (data && data->size != map->fileSize) {
            why = dataNames[i] + " does not match its block map";
            return std::nullopt;
        }
        maps.push_back({dataNames[i], mapNames[i], std::move(*map), BlockMapHash(*bytes)});
    }
    return maps;
}

bool IsDifferentialInfo(const std::string& info)
{
    return !InfoValueIn(info, DifferentialOfKey).empty();
}

std::optional<DifferentialFacts> ReadDifferentialFacts(const std::string& info)
{
    DifferentialFacts facts;
    facts.fullName = InfoValueIn(info, DifferentialOfKey);
    facts.fullId = InfoValueIn(info, DifferentialFullIdKey);
    facts.dataNames = InfoEntries(InfoValueIn(info, "BackupDatas"));
    facts.fullMapHashes = InfoEntries(InfoValueIn(info, DifferentialFullMapsKey));
    facts.changedNames = InfoEntries(InfoValueIn(info, ChangedBlocksKey));
    facts.mapNames = InfoEntries(InfoValueIn(info, BlockMapsKey));
    const std::size_t count = facts.dataNames.size();
    if (facts.fullName.empty() || BareName(facts.fullName) != facts.fullName ||
        facts.fullMapHashes.size() != count || facts.changedNames.size() != count ||
        facts.mapNames.size() != count) {
        return std::nullopt;
    }
    return facts;
}

std::string FullBeside(const std::string& differentialPath, const DifferentialFacts& facts)
{
    return JoinPath(ParentFolder(differentialPath), facts.fullName);
}

std::optional<std::vector<MemberMap>> MatchFull(ZipComponent& full, const std::string& fullPath,
                                                const DifferentialFacts& facts, std::string& why)
{
    const std::optional<std::string> info = ReadInfoBytes(full);
    if (!info) {
        why = "the full backup " + fullPath + " cannot be read: " + full.LastError();
        return std::nullopt;
    }
    if (InfoValueIn(*info, FullIdKey) != facts.fullId) {
        why = fullPath + " is not the full backup this differential was made from (" +
              facts.fullName + ")";
        return std::nullopt;
    }
    std::string problem;
    const std::optional<std::vector<MemberMap>> maps = ReadMemberMaps(full, *info, problem);
    if (!maps) {
        why = "the full backup " + fullPath + " is damaged: " + problem;
        return std::nullopt;
    }
    std::vector<MemberMap> ordered;
    for (std::size_t i = 0; i < facts.dataNames.size(); ++i) {
        const MemberMap* found = nullptr;
        for (const MemberMap& map : *maps) {
            if (map.dataName == facts.dataNames[i]) {
                found = &map;
            }
        }
        if (found == nullptr) {
            why = "the full backup " + fullPath + " has no " + facts.dataNames[i];
            return std::nullopt;
        }
        if (found->hash != facts.fullMapHashes[i]) {
            why = "the block map of " + facts.dataNames[i] + " in the full backup " + fullPath +
                  " is not the one this differential was made against";
            return std::nullopt;
        }
        ordered.push_back(*found);
    }
    return ordered;
}

bool DifferentialParts::Holds(const std::string& dataName) const
{
    return std::find(facts.dataNames.begin(), facts.dataNames.end(), dataName) !=
           facts.dataNames.end();
}

DifferentialParts PrepareDifferential(ZipComponent& diff, const std::string& diffPath,
                                      const DifferentialFacts& facts, ZipComponent& full,
                                      const std::string& fullPath, const std::string& password)
{
    DifferentialParts parts;
    parts.fullPath = fullPath;
    parts.diffPath = diffPath;
    parts.facts = facts;
    std::string why;
    const std::optional<std::string> info = ReadInfoBytes(diff);
    std::optional<std::vector<MemberMap>> newMaps;
    if (!info || !(newMaps = ReadMemberMaps(diff, *info, why))) {
        parts.problem = "the differential backup " + diffPath +
                        " is damaged: " + (why.empty() ? diff.LastError() : why);
        return parts;
    }
    parts.newMaps = std::move(*newMaps);
    if (fullPath.empty()) {
        parts.problem =
            "the full backup " + facts.fullName + " it needs was not found beside " + diffPath;
        return parts;
    }
    full.SetReadPassword(password);
    if (!full.Open(fullPath)) {
        parts.problem =
            "the full backup " + facts.fullName + " it needs cannot be opened: " + full.LastError();
        return parts;
    }
    std::optional<std::vector<MemberMap>> fullMaps = MatchFull(full, fullPath, facts, why);
    if (!fullMaps) {
        parts.problem = why;
        return parts;
    }
    parts.fullMaps = std::move(*fullMaps);
    parts.full = &full;
    return parts;
}

bool RebuildMember(FileSystem& files, const DifferentialParts& parts, ZipComponent& diff,
                   const std::string& dataName, const std::string& output,
                   const std::string& scratchFolder, std::string& why)
{
    if (!parts.problem.empty() || parts.full == nullptr) {
        why = dataName + " was not rebuilt: " + parts.problem;
        return false;
    }
    const auto& names = parts.facts.dataNames;
    const std::size_t at =
        static_cast<std::size_t>(std::find(names.begin(), names.end(), dataName) - names.begin());
    if (at >= names.size() || at >= parts.newMaps.size() || at >= parts.fullMaps.size()) {
        why = dataName + " is not a data file of " + parts.diffPath;
        return false;
    }
    const std::optional<ZipMember> fullData = parts.full->FindMember(dataName);
    const std::optional<ZipMember> changed = diff.FindMember(parts.facts.changedNames[at]);
    if (!fullData || !changed) {
        why = dataName + " was not rebuilt: " + (fullData ? parts.diffPath : parts.fullPath) +
              " lacks its part of it";
        return false;
    }
    const RebuildParts rebuild{
        .full = *parts.full,
        .fullData = *fullData,
        .fullMap = parts.fullMaps[at].map,
        .diff = diff,
        .changed = *changed,
        .newMap = parts.newMaps[at].map,
        .fullPath = parts.fullPath,
        .diffPath = parts.diffPath,
        .fileName = dataName,
        .scratchFolder = scratchFolder,
    };
    return RebuildDataFile(files, rebuild, output, why);
}

}  // namespace kestrel
