#include "restore/RestoreJournal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "archive/MemberName.h"
#include "platform/FileContents.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "registry/RegFile.h"

namespace kestrel {

namespace {

constexpr const char* Heading = "kestrel restore journal 1";

// Lines hold ASCII only, so that the system's code page cannot change a name on its way to the
// disk and back; every other byte, the separator and the escape itself go as %XX.
std::string Escape(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '%') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string Unescape(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            plain += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// A file's facts as the journal holds them (RecordFacts).
struct Facts {
    bool known = false;
    bool exists = false;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    std::optional<FileIdentity> identity;
};

Facts ParseFacts(const std::string& text)
{
    Facts facts;
    if (text == "none") {
        facts.known = true;
        return facts;
    }
    unsigned long long size = 0;
    long long modified = 0;
    unsigned long long volume = 0;
    unsigned long long index = 0;
    const int read =
        std::sscanf(text.c_str(), "%llu %lld %llu:%llu", &size, &modified, &volume, &index);
    if (read < 2) {
        return facts;
    }
    facts = {true, true, size, static_cast<std::time_t>(modified), std::nullopt};
    if (read == 4) {
        facts.identity = FileIdentity{volume, index};
    }
    return facts;
}

// Whether the file at the path is the one the facts describe. Without `withIdentity` a file
// moved to another name counts as the same file (a name is part of the identity on some
// systems). Unknown facts match nothing.
bool Matches(FileSystem& fileSystem, const std::string& path, const Facts& facts,
             bool withIdentity = true)
{
    if (!facts.known) {
        return false;
    }
    const Result<FileFacts> now = fileSystem.Stat(path);
    if (!now || now->isFolder) {
        return !facts.exists && !now;
    }
    if (!facts.exists || now->size != facts.size || now->modified != facts.modified) {
        return false;
    }
    return !withIdentity || !facts.identity || fileSystem.Identity(path) == facts.identity;
}

// One file of a run, as far as the journal got with it.
struct FileSteps {
    std::string target;
    std::string kept;
    std::string temporary;
    Facts old;
    Facts restored;
    bool written = false;
    bool keptDone = false;
    // The run gave the new version up itself (the old one could not be kept).
    bool dropped = false;
};

// One registry tree the run kept, and whether a change below it was begun and not ended.
struct TreeSteps {
    std::string key;
    std::string file;
};

// The last run the journal records (a second run in the same second appends its own).
struct JournalRun {
    JournalState state;
    std::vector<FileSteps> files;
    std::vector<TreeSteps> trees;
    // Keys whose change began and did not end, in the order they began.
    std::vector<std::string> openChanges;
};

void ReadFileStep(JournalRun& run, std::map<std::string, std::size_t>& byTarget,
                  const std::vector<std::string>& fields)
{
    const std::string& step = fields[0];
    const std::string& key = fields[1];
    if (step == "place" && fields.size() >= 3) {
        byTarget[key] = run.files.size();
        FileSteps file;
        file.target = fields[1];
        file.kept = fields[2];
        file.old = ParseFacts(fields.size() >= 4 ? fields[3] : std::string());
        run.files.push_back(file);
        return;
    }
    const auto known = byTarget.find(key);
    if (known == byTarget.end()) {
        return;
    }
    FileSteps& file = run.files[known->second];
    if (step == "temp" && fields.size() >= 3) {
        file.temporary = fields[2];
    } else if (step == "written") {
        file.written = true;
        file.restored = ParseFacts(fields.size() >= 3 ? fields[2] : std::string());
    } else if (step == "kept") {
        file.keptDone = true;
    } else if (step == "dropped") {
        file.dropped = true;
    }
}

void ReadTreeStep(JournalRun& run, const std::vector<std::string>& fields)
{
    const std::string& step = fields[0];
    const std::string& key = fields[1];
    if (step == "tree" && fields.size() >= 3) {
        run.trees.push_back({key, fields[2]});
    } else if (step == "import") {
        run.openChanges.push_back(key);
    } else if (step == "imported") {
        const auto open =
            std::find_if(run.openChanges.begin(), run.openChanges.end(),
                         [&](const std::string& begun) { return EqualsIgnoringCase(begun, key); });
        if (open != run.openChanges.end()) {
            run.openChanges.erase(open);
        }
    }
}

std::optional<JournalRun> ReadJournal(FileSystem& fileSystem, const std::string& path)
{
    const auto lines = fileSystem.ReadTextLines(path);
    if (!lines) {
        return std::nullopt;
    }
    std::optional<JournalRun> run;
    std::map<std::string, std::size_t> byTarget;
    for (const std::string& line : *lines) {
        const std::vector<std::string> fields = Fields(line);
        const std::string& step = fields[0];
        if (step == "started" && fields.size() >= 3) {
            run = JournalRun{};
            run->state.started =
                static_cast<std::time_t>(std::strtoll(fields[1].c_str(), nullptr, 10));
            run->state.runFolder = fields[2];
            byTarget.clear();
        } else if (!run) {
            continue;
        } else if (step == "finished") {
            run->state.finished = true;
        } else if (fields.size() >= 2) {
            ReadFileStep(*run, byTarget, fields);
            ReadTreeStep(*run, fields);
        }
    }
    return run;
}

bool IsOwnTemporaryName(const std::string& name)
{
    return name.size() > 7 && EqualsIgnoringCase(name.substr(0, 3), "ksb") &&
           EqualsIgnoringCase(name.substr(name.size() - 4), ".tmp");
}

// Whether the path is a file below the folder (its subfolders joined by either separator),
// climbing out nowhere.
bool IsInside(const std::string& folder, const std::string& path)
{
    if (path.size() <= folder.size() + 1 ||
        !EqualsIgnoringCase(path.substr(0, folder.size()), folder) ||
        (path[folder.size()] != '\\' && path[folder.size()] != '/')) {
        return false;
    }
    std::string below = path.substr(folder.size() + 1);
    std::replace(below.begin(), below.end(), '\\', '/');
    return IsMemberPath(below);
}

// A file a restore may replace: a full path to a file name, no part of it "." or "..".
bool IsPlainFilePath(const std::string& path)
{
    if (ParentFolder(path).empty() || !IsBareFileName(BareName(path))) {
        return false;
    }
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == "." || part == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// Whether the file's paths have the shape a run of this program gives them: the file a plain
// path, kept inside the journal's own folder, its temporary file one of the restore's names
// beside it.
bool HasOwnShape(const std::string& folder, const FileSteps& file)
{
    return IsPlainFilePath(file.target) && IsInside(folder, file.kept) &&
           (file.temporary.empty() ||
            (EqualsIgnoringCase(ParentFolder(file.temporary), ParentFolder(file.target)) &&
             IsOwnTemporaryName(BareName(file.temporary))));
}

// A temporary file made just before the journal could name it has no other trace: every one
// of the program's temporary names in the file's folder goes.
void RemoveUnnamedTemporaries(FileSystem& fileSystem, const std::string& folder)
{
    for (const std::string& name : fileSystem.FilesIn(folder)) {
        if (IsOwnTemporaryName(name)) {
            fileSystem.RemoveFile(JoinPath(folder, name));
        }
    }
}

// The old version goes to its kept place before the new one may take its place; a copy left
// half made by the crash is made again.
bool KeepOld(FileSystem& fileSystem, const FileSteps& file)
{
    fileSystem.RemoveFile(file.kept);
    if (fileSystem.RenameFile(file.target, file.kept)) {
        return true;
    }
    return fileSystem.CopyFileTo(file.target, file.kept) && fileSystem.FlushToDisk(file.kept);
}

// Puts the whole new version in place: true when it is there.
bool PlaceNew(FileSystem& fileSystem, const FileSteps& file)
{
    if (!fileSystem.MoveOver(file.temporary, file.target)) {
        return false;
    }
    fileSystem.FlushToDisk(ParentFolder(file.target));
    return true;
}

// Whether the file in the kept place is this file's old version: the run said it kept it, or
// it is the file the run found there (moved, so its identity may name the new place).
bool HoldsOldVersion(FileSystem& fileSystem, const FileSteps& file)
{
    return fileSystem.Stat(file.kept) &&
           (file.keptDone || Matches(fileSystem, file.kept, file.old, false));
}

// The whole new version, which may not take the place of a changed file, goes beside the old
// one in the Replaced folder; where it went, empty when it could not be moved.
std::string SetNewVersionAside(FileSystem& fileSystem, const FileSteps& file)
{
    const std::string folder = ParentFolder(file.kept);
    const std::string name = BareName(file.target);
    const std::size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
    for (int number = 1; number < 100; ++number) {
        const std::string aside =
            JoinPath(folder, stem + " (from the backup" +
                                 (number == 1 ? std::string() : " " + std::to_string(number)) +
                                 ")" + extension);
        if (!fileSystem.Stat(aside)) {
            return fileSystem.RenameFile(file.temporary, aside) ? aside : std::string();
        }
    }
    return {};
}

// A file whose new version was written whole: it goes in place only where the file there is
// still the one the run left, or nothing is there.
void SettleWritten(FileSystem& fileSystem, const FileSteps& file, RecoveredRun& report)
{
    const bool unknown = !file.old.known || !file.restored.known;
    const bool targetThere = static_cast<bool>(fileSystem.Stat(file.target));
    if (!file.temporary.empty() && fileSystem.Stat(file.temporary)) {
        if (!targetThere || (!file.keptDone && Matches(fileSystem, file.target, file.old))) {
            const bool placed =
                (!targetThere || KeepOld(fileSystem, file)) && PlaceNew(fileSystem, file);
            (placed ? report.completed : report.unsettled).push_back(file.target);
            return;
        }
        const std::string aside = SetNewVersionAside(fileSystem, file);
        if (aside.empty()) {
            report.unsettled.push_back(file.target);
        } else {
            report.changed.push_back({file.target, aside, unknown});
        }
        return;
    }
    // The new version left its temporary name: it was put in place, or given up.
    if (targetThere && Matches(fileSystem, file.target, file.restored)) {
        report.completed.push_back(file.target);
    } else if (targetThere && Matches(fileSystem, file.target, file.old)) {
        report.restoredOld.push_back(file.target);
    } else if (!targetThere && HoldsOldVersion(fileSystem, file)) {
        (fileSystem.RenameFile(file.kept, file.target) ? report.restoredOld : report.unsettled)
            .push_back(file.target);
    } else {
        report.changed.push_back({file.target, {}, unknown});
    }
}

void Settle(FileSystem& fileSystem, const std::string& folder, const FileSteps& file,
            RecoveredRun& report)
{
    if (!HasOwnShape(folder, file)) {
        report.refused.push_back(file.target);
        return;
    }
    if (file.written && !file.dropped) {
        SettleWritten(fileSystem, file, report);
        return;
    }
    // Not written whole, or given up by the run: the old version stays, the new one goes.
    if (file.temporary.empty()) {
        RemoveUnnamedTemporaries(fileSystem, ParentFolder(file.target));
    } else {
        fileSystem.RemoveFile(file.temporary);
    }
    // A run that gave up once the old version was kept puts it back.
    const bool missing = !fileSystem.Stat(file.target) && HoldsOldVersion(fileSystem, file);
    (!missing || fileSystem.RenameFile(file.kept, file.target) ? report.restoredOld
                                                               : report.unsettled)
        .push_back(file.target);
}

// Every change cut short is undone from the trees kept before it; the trees of finished
// changes stay as the run left them.
void SettleTrees(FileSystem& fileSystem, RegistryAccess* registry, const std::string& folder,
                 const JournalRun& run, RecoveredRun& report)
{
    std::vector<std::string> putBack;
    for (const std::string& change : run.openChanges) {
        bool covered = false;
        for (const TreeSteps& tree : run.trees) {
            if (!KeyHolds(tree.key, change)) {
                continue;
            }
            covered = true;
            if (!IsInside(folder, tree.file)) {
                report.refused.push_back(tree.file);
            } else if (std::find(putBack.begin(), putBack.end(), tree.key) != putBack.end()) {
                continue;
            } else if (registry != nullptr &&
                       PutTreeBack(fileSystem, *registry, tree.key, tree.file)) {
                putBack.push_back(tree.key);
                report.treesPutBack.push_back(tree.key);
            } else {
                report.unsettled.push_back(tree.key);
            }
        }
        if (!covered) {
            report.refused.push_back(change);
        }
    }
}

}  // namespace

std::string RecordFacts(FileSystem& fileSystem, const std::string& path)
{
    const Result<FileFacts> facts = fileSystem.Stat(path);
    if (!facts) {
        return "none";
    }
    std::string text =
        std::to_string(facts->size) + " " + std::to_string(static_cast<long long>(facts->modified));
    if (const std::optional<FileIdentity> identity = fileSystem.Identity(path)) {
        text += " " + std::to_string(identity->volume) + ":" + std::to_string(identity->index);
    }
    return text;
}

bool KeyHolds(const std::string& key, const std::string& keyPath)
{
    return !key.empty() && keyPath.size() >= key.size() &&
           EqualsIgnoringCase(keyPath.substr(0, key.size()), key) &&
           (keyPath.size() == key.size() || keyPath[key.size()] == '\\');
}

bool PutTreeBack(FileSystem& fileSystem, RegistryAccess& registry, const std::string& key,
                 const std::string& file)
{
    const Result<std::string> text = ReadWholeFile(fileSystem, file);
    if (!text) {
        return false;
    }
    RegFileError error;
    const std::optional<std::vector<RegFileKey>> keys = ParseRegFile(*text, error);
    if (!keys || keys->empty()) {
        return false;
    }
    for (const RegFileKey& each : *keys) {
        if (!KeyHolds(key, each.path)) {
            return false;
        }
    }
    return !ApplyRegFile(registry, *keys);
}

bool RestoreJournal::Begin(std::time_t started, const std::string& runFolder)
{
    return fileSystem_.AppendTextLine(path_, Heading) &&
           Mark("started", std::to_string(static_cast<long long>(started)), runFolder);
}

bool RestoreJournal::Mark(const std::string& step, const std::string& file,
                          const std::string& detail, const std::string& more)
{
    std::string line = step;
    if (!file.empty() || !detail.empty() || !more.empty()) {
        line += "\t" + Escape(file);
    }
    if (!detail.empty() || !more.empty()) {
        line += "\t" + Escape(detail);
    }
    if (!more.empty()) {
        line += "\t" + Escape(more);
    }
    return fileSystem_.AppendTextLine(path_, line) && fileSystem_.FlushToDisk(path_);
}

std::optional<JournalState> ReadJournalState(FileSystem& fileSystem, const std::string& path)
{
    const std::optional<JournalRun> run = ReadJournal(fileSystem, path);
    if (!run) {
        return std::nullopt;
    }
    return run->state;
}

std::vector<RecoveredRun> RecoverInterruptedRestores(
    FileSystem& fileSystem, const std::string& dataFolder,
    const std::function<bool(const std::string& runFolder)>& isRunning, RegistryAccess* registry)
{
    std::vector<RecoveredRun> recovered;
    if (dataFolder.empty()) {
        return recovered;
    }
    const std::string replaced = JoinPath(dataFolder, "Replaced");
    for (const std::string& name : fileSystem.FoldersIn(replaced)) {
        const std::string folder = JoinPath(replaced, name);
        const std::string path = JoinPath(folder, JournalName);
        const std::optional<JournalRun> run = ReadJournal(fileSystem, path);
        if (!run || run->state.finished || (isRunning && isRunning(run->state.runFolder))) {
            continue;
        }
        RecoveredRun report;
        report.folder = folder;
        for (const FileSteps& file : run->files) {
            Settle(fileSystem, folder, file, report);
        }
        SettleTrees(fileSystem, registry, folder, *run, report);
        // Unsettled, the run keeps its journal open: it is reported again and never pruned.
        if (report.unsettled.empty()) {
            RestoreJournal(fileSystem, path).Finish();
        }
        recovered.push_back(std::move(report));
    }
    return recovered;
}

std::string RecoveryReport(const std::vector<RecoveredRun>& runs)
{
    std::string text;
    for (const RecoveredRun& run : runs) {
        text += (text.empty() ? "" : "\r\n\r\n") +
                std::string(
                    "A restore was interrupted; its files were put in order at this "
                    "start. Its Replaced folder: ") +
                run.folder;
        for (const std::string& file : run.completed) {
            text += "\r\nRestored: " + file;
        }
        for (const std::string& file : run.restoredOld) {
            text += "\r\nLeft as it was: " + file;
        }
        for (const ChangedFile& file : run.changed) {
            text += file.unknown ? "\r\nLeft as it is (the interrupted restore's journal cannot "
                                   "tell whether it changed since): "
                                 : "\r\nChanged since the restore was interrupted, so left as "
                                   "it is: ";
            text += file.path;
            if (!file.newVersion.empty()) {
                text += "\r\nThe backup's version of it is kept in " + file.newVersion;
            }
        }
        for (const std::string& key : run.treesPutBack) {
            text += "\r\nRegistry put back as it was before the restore: " + key;
        }
        for (const std::string& file : run.unsettled) {
            text +=
                "\r\nCould not be put in order (its new version is beside it, the old one "
                "in the Replaced folder): " +
                file;
        }
        for (const std::string& path : run.refused) {
            text += "\r\nNot touched (the journal names it, but no restore writes there): " + path;
        }
    }
    return text;
}

}  // namespace kestrel
