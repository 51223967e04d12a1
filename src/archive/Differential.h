#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/BlockMap.h"
#include "archive/ZipComponent.h"
#include "platform/FileSystem.h"

namespace kestrel {

// What the info file says about block maps and differentials. Every key holds one entry per
// data file, in the order of BackupDatas, joined by ";".
//
// A full backup (one that holds its data files whole):
//   BackupBlockMaps=work.pst.block-map;old.pst.block-map   the map member of each data file
//   BackupFullId=<32 hexadecimal digits>                    drawn for this archive alone
// A differential backup, besides BackupDatas and BackupBlockMaps (its new maps):
//   BackupChangedBlocks=work.pst.changed-blocks;...         the changed blocks of each
//   DifferentialOf=work 2026-12-08 0230 UTC.ksb             the full's file name
//   DifferentialFullId=<the full's BackupFullId>
//   DifferentialFullMaps=<SHA-256 of the full's map member of each data file, hexadecimal>
// A differential's data files cannot be extracted by other tools: its ZIP comment and its info
// file's DifferentialNote say so and name the full it needs.
inline constexpr const char* BlockMapsKey = "BackupBlockMaps";
inline constexpr const char* FullIdKey = "BackupFullId";
inline constexpr const char* ChangedBlocksKey = "BackupChangedBlocks";
inline constexpr const char* DifferentialOfKey = "DifferentialOf";
inline constexpr const char* DifferentialFullIdKey = "DifferentialFullId";
inline constexpr const char* DifferentialFullMapsKey = "DifferentialFullMaps";
inline constexpr const char* DifferentialNoteKey = "DifferentialNote";

// The note a differential carries in its comment and info file.
std::string DifferentialNote(const std::string& fullName);

// A new full archive's id; empty when the system's random source failed.
std::string NewFullId();

// The info file of the open archive, read whole (at most MaxInfoFileBytes); none when it has
// none or it does not read.
std::optional<std::string> ReadInfoBytes(ZipComponent& zip);

// The entries of a ";"-joined info value; none for an empty value.
std::vector<std::string> InfoEntries(const std::string& value);

// A data file's map in an archive: the map and the SHA-256 of the member's bytes.
struct MemberMap {
    std::string dataName;
    std::string mapName;
    BlockMap map;
    std::string hash;
};

// The maps of the open archive's data files, as its info file names them, each read, parsed
// and checked to fit its data member (or, in a differential, its changed blocks). None, with
// `why`, when one is missing or damaged; an empty list for an archive without maps.
std::optional<std::vector<MemberMap>> ReadMemberMaps(ZipComponent& zip, const std::string& info,
                                                     std::string& why);

// What a differential's info file says of the full it needs.
struct DifferentialFacts {
    std::string fullName;
    std::string fullId;
    std::vector<std::string> dataNames;
    std::vector<std::string> fullMapHashes;
    std::vector<std::string> changedNames;
    std::vector<std::string> mapNames;
};
// None for a full archive (no DifferentialOf), or a differential whose keys do not agree.
std::optional<DifferentialFacts> ReadDifferentialFacts(const std::string& info);
bool IsDifferentialInfo(const std::string& info);

// Where a differential at `differentialPath` looks for its full: beside it, under its name.
std::string FullBeside(const std::string& differentialPath, const DifferentialFacts& facts);

// Checks that the open archive `full` at `fullPath` is the full the differential needs: the
// id and each data file's map hash. Its maps by data file (in the differential's order), or
// none with `why` naming the full and what does not match.
std::optional<std::vector<MemberMap>> MatchFull(ZipComponent& full, const std::string& fullPath,
                                                const DifferentialFacts& facts, std::string& why);

// What rebuilding a differential's data files needs: both archives open, the facts, and both
// sets of maps. `problem` says why nothing can be rebuilt (the full missing, different or
// damaged); the data files are then refused with it, and every other member still extracts.
struct DifferentialParts {
    ZipComponent* full = nullptr;
    std::string fullPath;
    std::string diffPath;
    DifferentialFacts facts;
    std::vector<MemberMap> fullMaps;
    std::vector<MemberMap> newMaps;
    std::string problem;

    // Whether the name is one of the differential's data files.
    bool Holds(const std::string& dataName) const;
};

// Opens `full` at `fullPath` with the password and checks it against the differential open in
// `diff` (at `diffPath`): the parts, with `problem` set when anything does not match.
DifferentialParts PrepareDifferential(ZipComponent& diff, const std::string& diffPath,
                                      const DifferentialFacts& facts, ZipComponent& full,
                                      const std::string& fullPath, const std::string& password);

// Rebuilds the data file into `output` (see RebuildDataFile), extracting its changed blocks into
// `scratchFolder` on the way. False with `why` naming the archive and the block.
bool RebuildMember(FileSystem& files, const DifferentialParts& parts, ZipComponent& diff,
                   const std::string& dataName, const std::string& output,
                   const std::string& scratchFolder, std::string& why);

}  // namespace kestrel
