#include "restore/ReplacedFolder.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "archive/MemberName.h"
#include "platform/FileContents.h"
#include "platform/LocalTime.h"
#include "platform/PathJoin.h"
#include "registry/RegFile.h"

namespace kestrel {

std::string ReplacedRunName(std::time_t started)
{
    const std::string text = FormatLocalTime(started, "%Y-%m-%d %H-%M-%S");
    return text.empty() ? "unknown time" : text;
}

namespace {

// The most runs that can start in one second and each get a folder of their own.
constexpr int MostRunsPerSecond = 999;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the text is " (N)" with N from 2 on, as MakeRunFolder numbers a later run.
bool IsRunNumber(std::string_view text)
{
    if (text.size() < 4 || text.substr(0, 2) != " (" || text.back() != ')' || text[2] == '0') {
        return false;
    }
    const std::string_view digits = text.substr(2, text.size() - 3);
    return digits.size() <= 3 && std::all_of(digits.begin(), digits.end(), IsDigit) &&
           digits != "1";
}

std::string RunFolderName(const std::string& base, int number)
{
    return number == 1 ? base : base + " (" + std::to_string(number) + ")";
}

// The item's folder with "/" between its parts, to be checked as a member path is.
std::string ToMemberPath(std::string item)
{
    std::replace(item.begin(), item.end(), '\\', '/');
    return item;
}

}  // namespace

bool IsReplacedRunName(const std::string& name)
{
    constexpr std::string_view form = "0000-00-00 00-00-00";
    if (name.size() < form.size()) {
        return false;
    }
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '0' ? !IsDigit(name[i]) : name[i] != form[i]) {
            return false;
        }
    }
    return name.size() == form.size() || IsRunNumber(std::string_view(name).substr(form.size()));
}

void RemoveOldReplacedFolders(FileSystem& fileSystem, const std::string& dataFolder,
                              std::size_t keep)
{
    // Without a data folder "Replaced" would name a folder wherever the process runs.
    if (dataFolder.empty()) {
        return;
    }
    const std::string replaced = JoinPath(dataFolder, "Replaced");
    // Runs without a journal were made before runs kept one, so they sort first, by name.
    std::vector<std::pair<std::time_t, std::string>> runs;
    for (const std::string& name : fileSystem.FoldersIn(replaced)) {
        if (!IsReplacedRunName(name)) {
            continue;
        }
        const auto journal =
            ReadJournalState(fileSystem, JoinPath(JoinPath(replaced, name), JournalName));
        if (journal && !journal->finished) {
            continue;
        }
        runs.emplace_back(journal ? journal->started : std::time_t{-1}, name);
    }
    if (runs.size() <= keep) {
        return;
    }
    std::sort(runs.begin(), runs.end());
    for (auto run = runs.begin(); run != runs.end() - static_cast<std::ptrdiff_t>(keep); ++run) {
        fileSystem.RemoveFolderTree(JoinPath(replaced, run->second));
    }
}

ReplacedFolder::ReplacedFolder(FileSystem& fileSystem, const std::string& dataFolder,
                               std::time_t started, const std::string& runFolder)
    : fileSystem_(fileSystem),
      dataFolder_(dataFolder),
      path_(JoinPath(JoinPath(dataFolder, "Replaced"), ReplacedRunName(started))),
      runFolder_(runFolder),
      started_(started)
{
}

bool ReplacedFolder::MakeRunFolder()
{
    const std::string replaced = JoinPath(dataFolder_, "Replaced");
    if (!MakeLevels(replaced)) {
        return false;
    }
    const std::string base = ReplacedRunName(started_);
    for (int number = 1; number <= MostRunsPerSecond; ++number) {
        const std::string folder = JoinPath(replaced, RunFolderName(base, number));
        // Created, never found: a folder that is there belongs to another run.
        if (fileSystem_.CreateFolder(folder)) {
            path_ = folder;
            created_ = true;
            return true;
        }
        if (!fileSystem_.Stat(folder)) {
            return false;
        }
    }
    return false;
}

RestoreJournal* ReplacedFolder::Journal()
{
    if (!journal_) {
        if (dataFolder_.empty() || (!created_ && !MakeRunFolder())) {
            return nullptr;
        }
        RestoreJournal journal(fileSystem_, JoinPath(path_, JournalName));
        if (!journal.Begin(started_, runFolder_)) {
            // A folder with no journal to order it by would be pruned before older ones.
            if (!used_ && fileSystem_.RemoveFolderTree(path_)) {
                created_ = false;
            }
            return nullptr;
        }
        journal_.emplace(journal);
    }
    return &*journal_;
}

bool ReplacedFolder::PutBack(const std::string& target, const std::string& kept)
{
    // After a copy to another volume the original never left.
    if (fileSystem_.Stat(target)) {
        fileSystem_.RemoveFile(kept);
        return true;
    }
    return fileSystem_.RenameFile(kept, target);
}

bool ReplacedFolder::MoveToKept(const std::string& path, const std::string& kept)
{
    if (fileSystem_.RenameFile(path, kept)) {
        return true;
    }
    // Another volume: the copy must be whole and on the disk before the original may go.
    if (fileSystem_.CopyFileTo(path, kept) && fileSystem_.FlushToDisk(kept)) {
        return true;
    }
    fileSystem_.RemoveFile(kept);
    return false;
}

bool ReplacedFolder::ReplaceFileSafely(const std::string& item, const std::string& target,
                                       const std::function<bool(const std::string&)>& write,
                                       std::string& why)
{
    RestoreJournal* journal = Journal();
    const std::string folder = ItemFolder(item);
    if (journal == nullptr || folder.empty()) {
        why = target + " could not be kept in " + path_ + ", so it was not replaced";
        return false;
    }
    const std::string kept = FreeName(folder, BareName(target));
    if (!journal->Mark("place", target, kept, RecordFacts(fileSystem_, target))) {
        why =
            "the journal in " + path_ + " could not be written, so " + target + " was not replaced";
        return false;
    }
    const std::string temporary = fileSystem_.CreateTempFile(ParentFolder(target), "ksb");
    if (temporary.empty()) {
        why = "cannot create a temporary file in " + ParentFolder(target);
        return false;
    }
    const bool written = journal->Mark("temp", target, temporary) && write(temporary) &&
                         journal->Mark("written", target, RecordFacts(fileSystem_, temporary));
    if (!written) {
        fileSystem_.RemoveFile(temporary);
        why = target + " was not written whole, so it was left as it was";
        return false;
    }
    const bool hadOld = static_cast<bool>(fileSystem_.Stat(target));
    if (hadOld && !MoveToKept(target, kept)) {
        fileSystem_.RemoveFile(temporary);
        journal->Mark("dropped", target);
        why = target + " could not be kept, so it was not replaced";
        return false;
    }
    // A kept file the journal does not name would be lost to recovery: the step is undone.
    if (hadOld && !journal->Mark("kept", target)) {
        fileSystem_.RemoveFile(temporary);
        journal->Mark("dropped", target);
        if (!PutBack(target, kept)) {
            used_ = true;
            why = "the journal in " + path_ + " could not be written, so " + target +
                  " was not replaced; it is kept in " + kept;
        } else {
            why = "the journal in " + path_ + " could not be written, so " + target +
                  " was not replaced";
        }
        return false;
    }
    used_ = used_ || hadOld;
    // After a copy to another volume the old version is still there, and goes in one step.
    if (!fileSystem_.MoveOver(temporary, target)) {
        fileSystem_.RemoveFile(temporary);
        journal->Mark("dropped", target);
        if (hadOld && !fileSystem_.Stat(target) && !fileSystem_.RenameFile(kept, target)) {
            why = target + " could not be replaced; the old version is kept in " + kept;
        } else {
            why = target + " could not be replaced, so it was left as it was";
        }
        return false;
    }
    fileSystem_.FlushToDisk(ParentFolder(target));
    journal->Mark("placed", target);
    return true;
}

void ReplacedFolder::Finish()
{
    if (!journal_) {
        return;
    }
    journal_->Finish();
    if (created_ && !used_) {
        fileSystem_.RemoveFolderTree(path_);
    }
    journal_.reset();
}

std::string ReplacedFolder::ItemFolder(const std::string& item)
{
    // Without a data folder the copies would land relative to wherever the process runs.
    if (dataFolder_.empty() || !IsMemberPath(ToMemberPath(item))) {
        return {};
    }
    const std::string folder = JoinMemberPath(path_, ToMemberPath(item));
    return MakeLevels(folder) ? folder : std::string();
}

bool ReplacedFolder::MakeLevels(const std::string& folder)
{
    std::vector<std::string> missing;
    // Up to the first level that exists; a drive's root is left for CreateFolder to refuse.
    for (std::string level = folder; !level.empty() && !fileSystem_.FolderExists(level);
         level = ParentFolder(level)) {
        if (ParentFolder(level).empty() || level == ParentFolder(level)) {
            break;
        }
        missing.push_back(level);
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        if (!fileSystem_.CreateFolder(*level) && !fileSystem_.FolderExists(*level)) {
            return false;
        }
    }
    return true;
}

std::string ReplacedFolder::FreeName(const std::string& folder, const std::string& name)
{
    const std::size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
    std::string candidate = JoinPath(folder, name);
    for (int number = 2; static_cast<bool>(fileSystem_.Stat(candidate)); ++number) {
        candidate = JoinPath(folder, stem + " (" + std::to_string(number) + ")" + extension);
    }
    return candidate;
}

bool ReplacedFolder::KeepFile(const std::string& item, const std::string& path,
                              std::string* movedTo)
{
    if (!fileSystem_.Stat(path)) {
        return true;
    }
    // The journal first, so that the folder is ordered among the others by its time.
    const std::string folder = Journal() != nullptr ? ItemFolder(item) : std::string();
    if (folder.empty()) {
        return false;
    }
    const std::string kept = FreeName(folder, BareName(path));
    if (!MoveToKept(path, kept)) {
        return false;
    }
    used_ = true;
    if (movedTo != nullptr && !fileSystem_.Stat(path)) {
        *movedTo = kept;
    }
    return true;
}

bool ReplacedFolder::KeepKeyTree(RegistryAccess& registry, const std::string& item,
                                 const std::string& keyPath, const std::string& fileName)
{
    if (!registry.KeyExists(keyPath)) {
        return true;
    }
    std::vector<RegFileKey> keys = ReadRegistryTree(registry, keyPath);
    if (keys.empty()) {
        return false;
    }
    // Importing adds to what is there; removing the key first drops what the restore added.
    RegFileKey removal;
    removal.path = keyPath;
    removal.remove = true;
    keys.insert(keys.begin(), removal);
    RestoreJournal* journal = Journal();
    const std::string folder = journal != nullptr ? ItemFolder(item) : std::string();
    if (folder.empty() || !IsBareFileName(fileName)) {
        return false;
    }
    const std::string file = FreeName(folder, fileName);
    if (ReplaceFile(fileSystem_, file, FormatRegFile(keys))) {
        return false;
    }
    if (!journal->Mark("tree", keyPath, file)) {
        used_ = used_ || !fileSystem_.RemoveFile(file);
        return false;
    }
    used_ = true;
    trees_.emplace_back(keyPath, file);
    return true;
}

bool ReplacedFolder::BeginTreeChange(const std::string& keyPath)
{
    RestoreJournal* journal = Journal();
    return journal != nullptr && journal->Mark("import", keyPath);
}

bool ReplacedFolder::EndTreeChange(RegistryAccess& registry, const std::string& keyPath)
{
    if (journal_ && journal_->Mark("imported", keyPath)) {
        return true;
    }
    for (const auto& [key, file] : trees_) {
        if (KeyHolds(key, keyPath)) {
            PutTreeBack(fileSystem_, registry, key, file);
        }
    }
    return false;
}

}  // namespace kestrel
