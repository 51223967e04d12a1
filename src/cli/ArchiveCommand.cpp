// kestrel archive list|verify|extract: backup archives from the command line, through the same
// ZIP component and info-file reader the program uses.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

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
    "       kestrel archive verify FILE.ksb [--password-stdin | --password-file FILE]\n"
    "       kestrel archive extract FILE.ksb DIR [--password-stdin | --password-file FILE]\n"
    "  the password is the first line of standard input or of FILE, never an argument\n";

struct Options {
    std::string command;
    std::vector<std::string> paths;
    PasswordFrom passwordFrom = PasswordFrom::None;
    std::string passwordFile;
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

int Verify(ZipComponent& zip)
{
    int failed = 0;
    for (const ZipMember& member : zip.Members()) {
        if (zip.ReadMember(member)) {
            std::printf("ok      %s\n", PrintableText(member.name).c_str());
        } else {
            std::printf("FAILED  %s: %s\n", PrintableText(member.name).c_str(),
                        PrintableText(zip.LastError()).c_str());
            ++failed;
        }
    }
    std::printf("%d of %zu members failed\n", failed, zip.Members().size());
    return failed == 0 ? 0 : 1;
}

int Extract(ZipComponent& zip, const std::string& folder)
{
    int failed = 0;
    for (const ZipMember& member : zip.Members()) {
        if (!zip.ExtractMember(member, folder)) {
            std::fprintf(stderr, "kestrel archive: %s\n", PrintableText(zip.LastError()).c_str());
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
    if (options->command == "verify") {
        return Verify(zip);
    }
    const std::string folder = HostPath(options->paths[1]);
    if (!platform.fileSystem->FolderExists(folder)) {
        std::fprintf(stderr, "kestrel archive: no such folder: %s\n", folder.c_str());
        return 2;
    }
    return Extract(zip, folder);
}

}  // namespace kestrel
