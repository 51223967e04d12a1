// kestrel archive list|verify|extract: backup archives from the command line, through the same
// ZIP component and info-file reader the program uses.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "archive/ChangedBlocks.h"
#include "archive/Differential.h"
#include "archive/InfoFile.h"
#include "archive/ItemTable.h"
#include "archive/MemberName.h"
#include "archive/ZipComponent.h"
#include "cli/CommandArguments.h"
#include "cli/HostPath.h"
#include "cli/ToolCommands.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

constexpr const char* Usage =
    "usage: kestrel archive list FILE.ksb [--password-stdin | --password-file FILE]\n"
    "       kestrel archive verify FILE.ksb [--full FULL.ksb] [--password-stdin | "
    "--password-file FILE]\n"
    "       kestrel archive extract FILE.ksb DIR [--full FULL.ksb] [--password-stdin | "
    "--password-file FILE]\n"
    "  the password is the first line of standard input or of FILE, never an argument;\n"
    "  a differential backup's data files are rebuilt from its full backup, the one beside it\n"
    "  unless --full names another\n";

struct Options {
    std::string command;
    std::vector<std::string> paths;
    PasswordFrom passwordFrom = PasswordFrom::None;
    std::string passwordFile;
    std::string fullPath;
};

// The options, or why they cannot be used (empty for a plain usage error).
std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& why)
{
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (TakePasswordOption(arguments, i, options.passwordFrom, options.passwordFile, why)) {
            if (!why.empty()) {
                return std::nullopt;
            }
        } else if (arguments[i] == "--full") {
            if (i + 1 >= arguments.size()) {
                why = "--full needs the path of the full backup";
                return std::nullopt;
            }
            options.fullPath = arguments[++i];
        } else if (options.command.empty()) {
            options.command = arguments[i];
        } else {
            options.paths.push_back(arguments[i]);
        }
    }
    const std::size_t wanted = options.command == "extract" ? 2 : 1;
    if ((options.command != "list" && options.command != "verify" &&
         options.command != "extract") ||
        options.paths.size() != wanted) {
        return std::nullopt;
    }
    return options;
}

// The info file's facts, read with GetINI from a copy in the run folder as the program does.
void PrintInfoFacts(ZipComponent& zip, FileSystem& files, const std::string& runFolder)
{
    const auto info = zip.FindMember(InfoFileName);
    if (!info) {
        std::puts("no info file: not a Kestrel backup");
        return;
    }
    if (info->size > MaxInfoFileBytes) {
        std::printf("info file unreadable: it declares %llu bytes, more than an info file holds\n",
                    static_cast<unsigned long long>(info->size));
        return;
    }
    if (runFolder.empty() || !zip.ExtractMember(*info, runFolder)) {
        std::printf("info file unreadable: %s\n", PrintableText(zip.LastError()).c_str());
        return;
    }
    const std::string path = JoinPath(runFolder, InfoFileName);
    const auto value = [&](const char* key) {
        return PrintableText(GetINI(files, key, path).value_or(""));
    };
    for (const char* key :
         {"BackupComputer", "BackupLogonUser", "BackupIdentity", "BackupTime", "Outlookversion"}) {
        std::printf("%s: %s\n", key, value(key).c_str());
    }
    std::printf("BackupInformation: %s\n", DecodeDescription(value("BackupInformation")).c_str());
    const std::string items = value("BackupItem");
    std::printf("BackupItem: %s%s\n", items.c_str(),
                IsValidBackupItemValue(items) ? "" : " (damaged backup)");
    for (std::size_t i = 0; i < ItemTable.size() && i < items.size(); ++i) {
        if (items[i] == '1') {
            std::printf("  %s: %s\n", ItemTable[i].name, value(ItemTable[i].infoKey).c_str());
        }
    }
    files.RemoveFile(path);
}

int List(ZipComponent& zip, Platform& platform)
{
    for (const ZipMember& member : zip.Members()) {
        std::printf("%14llu %14llu %s %s\n", static_cast<unsigned long long>(member.size),
                    static_cast<unsigned long long>(member.compressedSize),
                    member.encrypted ? "protected" : "plain    ",
                    PrintableText(member.name).c_str());
    }
    PrintInfoFacts(zip, *platform.fileSystem,
                   platform.runFolder ? platform.runFolder->Path() : std::string());
    return 0;
}

// Reads every member, a data file's also against its block map; the count of failures.
int VerifyMembers(ZipComponent& zip, const std::string& label)
{
    int failed = 0;
    const auto fail = [&](const std::string& name, const std::string& why) {
        std::printf("FAILED  %s%s: %s\n", label.c_str(), PrintableText(name).c_str(),
                    PrintableText(why).c_str());
        ++failed;
    };
    std::vector<MemberMap> maps;
    if (const std::optional<std::string> info = ReadInfoBytes(zip)) {
        std::string why;
        if (auto read = ReadMemberMaps(zip, *info, why)) {
            maps = std::move(*read);
        } else {
            fail("block maps", why);
        }
    }
    for (const ZipMember& member : zip.Members()) {
        const MemberMap* map = nullptr;
        for (const MemberMap& candidate : maps) {
            if (candidate.dataName == member.name) {
                map = &candidate;
            }
        }
        BlockMapBuilder builder(map != nullptr ? map->map.blockSize : DefaultBlockSize,
                                map != nullptr ? map->map.hash : DefaultBlockHash);
        const bool read = zip.ReadMember(member, [&](const char* data, std::size_t size) {
            if (map != nullptr) {
                builder.Update(reinterpret_cast<const std::uint8_t*>(data), size);
            }
            return true;
        });
        if (!read) {
            fail(member.name, zip.LastError());
        } else if (map != nullptr && !(builder.Finish() == map->map)) {
            fail(member.name, "does not match its block map " + map->mapName);
        } else {
            std::printf("ok      %s%s\n", label.c_str(), PrintableText(member.name).c_str());
        }
    }
    return failed;
}

// The parts of an open differential (its full found beside it or at `fullPath`); none for a
// full backup.
std::optional<DifferentialParts> DifferentialOf(ZipComponent& zip, const std::string& path,
                                                const std::string& fullPath, ZipComponent& full,
                                                const std::string& password, FileSystem& files)
{
    const std::optional<std::string> info = ReadInfoBytes(zip);
    if (!info || !IsDifferentialInfo(*info)) {
        return std::nullopt;
    }
    const std::optional<DifferentialFacts> facts = ReadDifferentialFacts(*info);
    if (!facts) {
        DifferentialParts broken;
        broken.problem = "its info file does not name the full backup it needs in full";
        return broken;
    }
    std::string found = fullPath;
    if (found.empty() && files.FileExists(FullBeside(path, *facts))) {
        found = FullBeside(path, *facts);
    }
    return PrepareDifferential(zip, path, *facts, full, found, password);
}

int Verify(ZipComponent& zip, const std::optional<DifferentialParts>& differential,
           FileSystem& files, const std::string& scratchFolder)
{
    int failed = VerifyMembers(zip, "");
    std::size_t checked = zip.Members().size();
    if (differential) {
        std::printf("differential of %s\n", PrintableText(differential->facts.fullName).c_str());
        if (!differential->problem.empty()) {
            std::printf("FAILED  %s\n", PrintableText(differential->problem).c_str());
            ++failed;
        } else {
            std::printf("full backup: %s\n", PrintableText(differential->fullPath).c_str());
            failed += VerifyMembers(*differential->full, "full: ");
            checked += differential->full->Members().size();
            for (const std::string& name : differential->facts.dataNames) {
                std::string why;
                if (RebuildMember(files, *differential, zip, name, {}, scratchFolder, why)) {
                    std::printf("ok      rebuilt %s\n", PrintableText(name).c_str());
                } else {
                    std::printf("FAILED  %s\n", PrintableText(why).c_str());
                    ++failed;
                }
                ++checked;
            }
        }
    }
    std::printf("%d of %zu members failed\n", failed, checked);
    return failed == 0 ? 0 : 1;
}

bool IsChangedBlocksOf(const DifferentialParts& differential, const std::string& member)
{
    const auto& names = differential.facts.changedNames;
    return std::find(names.begin(), names.end(), member) != names.end();
}

int Extract(ZipComponent& zip, const std::string& folder,
            const std::optional<DifferentialParts>& differential, FileSystem& files)
{
    int failed = 0;
    for (const ZipMember& member : zip.Members()) {
        if (differential && IsChangedBlocksOf(*differential, member.name)) {
            continue;
        }
        if (!zip.ExtractMember(member, folder)) {
            std::fprintf(stderr, "kestrel archive: %s\n", PrintableText(zip.LastError()).c_str());
            ++failed;
        }
    }
    if (!differential) {
        return failed == 0 ? 0 : 1;
    }
    // Each data file is rebuilt into a temporary file and replaces nothing until it has passed
    // every check.
    for (const std::string& name : differential->facts.dataNames) {
        std::string why;
        const std::string temporary =
            IsBareFileName(name) ? files.CreateTempFile(folder, "ksb") : std::string();
        const bool rebuilt =
            !temporary.empty() &&
            RebuildMember(files, *differential, zip, name, temporary, folder, why) &&
            files.MoveOver(temporary, JoinPath(folder, name));
        if (!rebuilt) {
            if (!temporary.empty()) {
                files.RemoveFile(temporary);
            }
            std::fprintf(stderr, "kestrel archive: %s\n",
                         PrintableText(why.empty() ? name + " was not rebuilt" : why).c_str());
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace

int RunArchiveCommand(const std::vector<std::string>& arguments, Platform& platform)
{
    std::string why;
    const auto options = ParseOptions(arguments, why);
    if (!options) {
        if (!why.empty()) {
            std::fprintf(stderr, "kestrel archive: %s\n", why.c_str());
        }
        std::fputs(Usage, stderr);
        return 2;
    }
    if (!platform.fileSystem) {
        std::fputs("kestrel archive: no file system\n", stderr);
        return 2;
    }
    std::string password;
    if (options->passwordFrom != PasswordFrom::None) {
        const std::optional<std::string> read =
            ReadPassword(options->passwordFrom, options->passwordFile, platform, why);
        if (!read) {
            std::fprintf(stderr, "kestrel archive: cannot read the password: %s\n", why.c_str());
            return 2;
        }
        password = *read;
    }
    NoZipEvents events;
    ZipComponent zip(*platform.fileSystem, events);
    zip.SetReadPassword(password);
    if (!zip.Open(HostPath(options->paths[0]))) {
        std::fprintf(stderr, "kestrel archive: %s\n", zip.LastError().c_str());
        return 2;
    }
    if (options->command == "list") {
        return List(zip, platform);
    }
    const std::string archivePath = HostPath(options->paths[0]);
    ZipComponent full(*platform.fileSystem, events);
    const std::optional<DifferentialParts> differential = DifferentialOf(
        zip, archivePath, options->fullPath.empty() ? "" : HostPath(options->fullPath), full,
        password, *platform.fileSystem);
    if (options->command == "verify") {
        const std::string scratch =
            platform.runFolder ? platform.runFolder->Path() : ParentFolder(archivePath);
        return Verify(zip, differential, *platform.fileSystem, scratch);
    }
    const std::string folder = HostPath(options->paths[1]);
    if (!platform.fileSystem->FolderExists(folder)) {
        std::fprintf(stderr, "kestrel archive: no such folder: %s\n", folder.c_str());
        return 2;
    }
    return Extract(zip, folder, differential, *platform.fileSystem);
}

}  // namespace kestrel
