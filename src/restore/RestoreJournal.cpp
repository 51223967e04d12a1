#include "restore/RestoreJournal.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/NameCase.h"
#include "platform/PathJoin.h"

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

// One file of a run, as far as the journal got with it.
struct FileSteps {
    std::string target;
    std::string kept;
    std::string temporary;
    bool written = false;
    bool keptDone = false;
    // The run gave the new version up itself (the old one could not be kept).
    bool dropped = false;
};

// The last run the journal records (a second run in the same second appends its own).
struct JournalRun {
    JournalState state;
    std::vector<FileSteps> files;
};

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
            continue;
        }
        if (!run) {
            continue;
        }
        if (step == "finished") {
            run->state.finished = true;
            continue;
        }
        if (fields.size() < 2) {
            continue;
        }
        const std::string& key = fields[1];
        if (step == "place" && fields.size() >= 3) {
            byTarget[key] = run->files.size();
            run->files.push_back({fields[1], fields[2], {}, false, false, false});
            continue;
        }
        const auto known = byTarget.find(key);
        if (known == byTarget.end()) {
            continue;
        }
        FileSteps& file = run->files[known->second];
        if (step == "temp" && fields.size() >= 3) {
            file.temporary = fields[2];
        } else if (step == "written") {
            file.written = true;
        } else if (step == "kept") {
            file.keptDone = true;
        } else if (step == "dropped") {
            file.dropped = true;
        }
    }
    return run;
}

bool IsOwnTemporaryName(const std::string& name)
{
    return name.size() > 7 && EqualsIgnoringCase(name.substr(0, 3), "ksb") &&
           EqualsIgnoringCase(name.substr(name.size() - 4), ".tmp");
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
    if (!fileSystem.Stat(file.target)) {
        return true;
    }
    fileSystem.RemoveFile(file.kept);
    if (fileSystem.RenameFile(file.target, file.kept)) {
        return true;
    }
    return fileSystem.CopyFileTo(file.target, file.kept) && fileSystem.FlushToDisk(file.kept);
}

// Puts the whole new version in place: true when it is there.
bool Complete(FileSystem& fileSystem, const FileSteps& file)
{
    if (!fileSystem.Stat(file.temporary)) {
        // Renamed into place before the crash.
        return static_cast<bool>(fileSystem.Stat(file.target));
    }
    if (!file.keptDone && !KeepOld(fileSystem, file)) {
        return false;
    }
    if (!fileSystem.MoveOver(file.temporary, file.target)) {
        return false;
    }
    fileSystem.FlushToDisk(ParentFolder(file.target));
    return true;
}

void Settle(FileSystem& fileSystem, const FileSteps& file, RecoveredRun& report)
{
    if (file.written && !file.dropped) {
        (Complete(fileSystem, file) ? report.completed : report.unsettled).push_back(file.target);
        return;
    }
    // Not written whole, or given up by the run: the old version stays, the new one goes.
    if (file.temporary.empty()) {
        RemoveUnnamedTemporaries(fileSystem, ParentFolder(file.target));
    } else {
        fileSystem.RemoveFile(file.temporary);
    }
    // A run that gave up once the old version was kept puts it back.
    const bool missing = file.keptDone && !fileSystem.Stat(file.target);
    (!missing || fileSystem.RenameFile(file.kept, file.target) ? report.restoredOld
                                                               : report.unsettled)
        .push_back(file.target);
}

}  // namespace

bool RestoreJournal::Begin(std::time_t started, const std::string& runFolder)
{
    return fileSystem_.AppendTextLine(path_, Heading) &&
           Mark("started", std::to_string(static_cast<long long>(started)), runFolder);
}

bool RestoreJournal::Mark(const std::string& step, const std::string& file,
                          const std::string& detail)
{
    std::string line = step;
    if (!file.empty() || !detail.empty()) {
        line += "\t" + Escape(file);
    }
    if (!detail.empty()) {
        line += "\t" + Escape(detail);
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
    const std::function<bool(const std::string& runFolder)>& isRunning)
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
            Settle(fileSystem, file, report);
        }
        RestoreJournal(fileSystem, path).Finish();
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
        for (const std::string& file : run.unsettled) {
            text +=
                "\r\nCould not be put in order (its new version is beside it, the old one "
                "in the Replaced folder): " +
                file;
        }
    }
    return text;
}

}  // namespace kestrel
