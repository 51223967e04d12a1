#include "support/MemoryFileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace kestrel::testing {
namespace {

// The codes Windows reports, so messages read as they would there.
constexpr long NotFound = 2, PathNotFound = 3, AccessDenied = 5, SharingViolation = 32;
constexpr long BadParameter = 87, DiskFull = 112;

class MemoryOutputFile final : public OutputFile {
public:
    MemoryOutputFile(MemoryFileSystem& fs, std::shared_ptr<std::string> data, std::string path)
        : fs_(fs), data_(std::move(data)), path_(std::move(path))
    {
    }

    bool Write(const char* data, std::size_t size) override
    {
        if (Usable()) {
            data_->append(data, size);
        }
        return open_;
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        if (!Usable()) {
            return false;
        }
        if (offset + size > data_->size()) {
            return Fail(BadParameter, "The parameter is incorrect");
        }
        std::memcpy(data_->data() + offset, data, size);
        return true;
    }

    // Closed by the first Commit, failed or not.
    bool Commit() override { return std::exchange(open_, false); }
    const Error& Failure() const override { return failure_; }

private:
    bool Usable()
    {
        return open_ &&
               (fs_.TakeWrite() || Fail(DiskFull, "There is not enough space on the disk"));
    }

    bool Fail(long code, const char* text)
    {
        open_ = false;
        failure_ = {"write", path_, code, text};
        return false;
    }

    MemoryFileSystem& fs_;
    std::shared_ptr<std::string> data_;
    std::string path_;
    Error failure_;
    bool open_ = true;
};

// A snapshot: what the reader sees does not change under it. Reading memory never fails.
class MemoryInputFile final : public InputFile {
public:
    explicit MemoryInputFile(std::string data) : data_(std::move(data)) {}

    std::int64_t Read(char* data, std::size_t size) override
    {
        const std::size_t take = data_.copy(data, size, std::min(position_, data_.size()));
        position_ += take;
        return static_cast<std::int64_t>(take);
    }
    bool Seek(std::uint64_t offset) override
    {
        position_ = offset;
        return true;
    }
    std::uint64_t Size() const override { return data_.size(); }
    const Error& Failure() const override { return none_; }

private:
    std::string data_;
    std::size_t position_ = 0;
    Error none_;
};

}  // namespace

std::string MemoryFileSystem::Key(const std::string& path)
{
    std::string key = path;
    std::replace(key.begin(), key.end(), '/', '\\');
    while (key.size() > 2 && key.back() == '\\') {
        key.pop_back();
    }
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return key;
}

std::string MemoryFileSystem::ParentKey(const std::string& key)
{
    const std::size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

MemoryFileSystem::Node* MemoryFileSystem::Find(const std::string& path)
{
    const auto found = nodes_.find(Key(path));
    return found == nodes_.end() ? nullptr : &found->second;
}

bool MemoryFileSystem::ParentIsFolder(const std::string& path)
{
    const std::string parent = ParentKey(Key(path));
    const Node* node = Find(parent);
    return (parent.size() == 2 && parent[1] == ':') || (node != nullptr && node->folder);
}

void MemoryFileSystem::AddFolder(const std::string& path)
{
    const std::string key = Key(path);
    for (std::size_t slash = key.find('\\', 3); slash != std::string::npos;
         slash = key.find('\\', slash + 1)) {
        nodes_.try_emplace(key.substr(0, slash), Node{path.substr(0, slash), true});
    }
    nodes_.try_emplace(key, Node{path, true});
}

void MemoryFileSystem::AddFile(const std::string& path, std::string data, bool hidden)
{
    AddFolder(path.substr(0, path.find_last_of("\\/")));
    Node node{path, false, hidden};
    *node.data = std::move(data);
    node.modified = ++clock_;
    nodes_[Key(path)] = node;
}

std::string MemoryFileSystem::Data(const std::string& path) const
{
    const auto found = nodes_.find(Key(path));
    return found == nodes_.end() ? std::string() : *found->second.data;
}

std::set<std::string> MemoryFileSystem::Paths() const
{
    std::set<std::string> paths;
    for (const auto& [key, node] : nodes_) {
        paths.insert(node.path);
    }
    return paths;
}

std::vector<std::string> MemoryFileSystem::NamesIn(const std::string& folder, bool folders)
{
    std::vector<std::string> names;
    if (refusedListings_.count(Key(folder)) != 0) {
        return names;
    }
    for (const auto& [key, node] : nodes_) {
        if (node.folder == folders && ParentKey(key) == Key(folder)) {
            names.push_back(node.path.substr(node.path.find_last_of("\\/") + 1));
        }
    }
    return names;
}

std::vector<std::string> MemoryFileSystem::FoldersIn(const std::string& folder)
{
    // Against name order, as a real system may list them: code must not rely on any order.
    std::vector<std::string> names = NamesIn(folder, true);
    std::reverse(names.begin(), names.end());
    return names;
}

MemoryFileSystem MemoryFileSystem::DeepCopy() const
{
    MemoryFileSystem copy = *this;
    for (auto& [key, node] : copy.nodes_) {
        node.data = std::make_shared<std::string>(*node.data);
    }
    return copy;
}

bool MemoryFileSystem::CreateFolder(const std::string& path)
{
    return TakeChange() && Find(path) == nullptr && ParentIsFolder(path) &&
           nodes_.emplace(Key(path), Node{path, true}).second;
}

bool MemoryFileSystem::RemoveFile(const std::string& path)
{
    const Node* node = Find(path);
    return TakeChange() && node != nullptr && !node->folder && nodes_.erase(Key(path)) == 1;
}

bool MemoryFileSystem::RemoveFolderTree(const std::string& folder)
{
    const Node* top = Find(folder);
    if (!TakeChange()) {
        return false;
    }
    if (top == nullptr || !top->folder) {
        return top == nullptr;
    }
    const std::string key = Key(folder);
    std::set<std::string> held;
    for (const std::string& refused : refusedOpens_) {
        for (std::string level = refused; level.rfind(key, 0) == 0; level = ParentKey(level)) {
            held.insert(level);
        }
    }
    for (auto node = nodes_.begin(); node != nodes_.end();) {
        const bool inside = node->first == key || node->first.rfind(key + "\\", 0) == 0;
        node = inside && held.count(node->first) == 0 ? nodes_.erase(node) : std::next(node);
    }
    return Find(folder) == nullptr;
}

bool MemoryFileSystem::MoveOver(const std::string& from, const std::string& to)
{
    const Node* source = Find(from);
    const Node* target = Find(to);
    if (!TakeChange() || source == nullptr || source->folder ||
        (target != nullptr && target->folder) || failingRenames_.count(Key(to)) != 0 ||
        !ParentIsFolder(to)) {
        return false;
    }
    Node moved = *source;
    moved.path = to;
    const std::string toKey = Key(to);
    const bool damaged =
        std::any_of(damagedMoves_.begin(), damagedMoves_.end(),
                    [&](const std::string& start) { return toKey.rfind(start, 0) == 0; });
    if (damaged && !moved.data->empty()) {
        moved.data = std::make_shared<std::string>(*moved.data);
        (*moved.data)[moved.data->size() / 2] ^= 0x55;
    }
    nodes_.erase(Key(from));
    nodes_[Key(to)] = moved;
    return true;
}

bool MemoryFileSystem::CopyFileTo(const std::string& from, const std::string& to)
{
    const Node* source = Find(from);
    // A file held open without sharing cannot be read for the copy either.
    if (!TakeChange() || source == nullptr || source->folder || !ParentIsFolder(to) ||
        refusedOpens_.count(Key(from)) != 0) {
        return false;
    }
    AddFile(to, *source->data);
    return true;
}

bool MemoryFileSystem::SetNormalAttributes(const std::string& path)
{
    Node* node = Find(path);
    if (node != nullptr) {
        node->hidden = false;
    }
    return node != nullptr;
}

std::optional<std::vector<std::string>> MemoryFileSystem::ReadTextLines(const std::string& path)
{
    const Node* node = Find(path);
    if (node == nullptr || node->folder || refusedOpens_.count(Key(path)) != 0) {
        return std::nullopt;
    }
    // Lines end at LF or CR LF; a break at the very end starts no further line.
    std::vector<std::string> lines;
    const std::string& text = *node->data;
    for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r') {
            lines.back().pop_back();
        }
    }
    return lines;
}

bool MemoryFileSystem::AppendTextLine(const std::string& path, const std::string& line)
{
    const Node* existing = Find(path);
    if ((existing == nullptr && !ParentIsFolder(path)) ||
        (existing != nullptr && existing->folder) || !TakeWrite()) {
        return false;
    }
    Node& node = nodes_.try_emplace(Key(path), Node{path}).first->second;
    *node.data += line + "\r\n";
    node.modified = ++clock_;
    return true;
}

std::string MemoryFileSystem::CreateTempFile(const std::string& folder, const std::string& prefix)
{
    if (!TakeChange() || !FolderExists(folder)) {
        return {};
    }
    char name[32];
    std::snprintf(name, sizeof name, "%.3s%X.tmp", prefix.c_str(), ++tempNumber_);
    const std::string path = folder + "\\" + name;
    nodes_[Key(path)] = Node{path};
    nodes_[Key(path)].modified = ++clock_;
    return path;
}

Result<std::unique_ptr<OutputFile>> MemoryFileSystem::CreateOutputFile(const std::string& path)
{
    const Node* existing = Find(path);
    if (refusedOpens_.count(Key(path)) != 0) {
        return Error{"create", path, SharingViolation, "The file is in use"};
    }
    if (existing != nullptr && existing->folder) {
        return Error{"create", path, AccessDenied, "Access is denied"};
    }
    if (!TakeChange()) {
        return Error{"create", path, AccessDenied, "The program has ended"};
    }
    if (!ParentIsFolder(path)) {
        return Error{"create", path, PathNotFound, "The path was not found"};
    }
    Node& node = nodes_[Key(path)] = Node{path};
    node.modified = ++clock_;
    return std::unique_ptr<OutputFile>(std::make_unique<MemoryOutputFile>(*this, node.data, path));
}

Result<std::unique_ptr<InputFile>> MemoryFileSystem::OpenInputFile(const std::string& path)
{
    const Node* node = Find(path);
    if (refusedOpens_.count(Key(path)) != 0) {
        return Error{"open", path, SharingViolation, "The file is in use"};
    }
    if (node == nullptr || node->folder) {
        return Error{"open", path, node == nullptr ? NotFound : AccessDenied, "Not a file"};
    }
    return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(*node->data));
}

Result<FileFacts> MemoryFileSystem::Stat(const std::string& path)
{
    const Node* node = Find(path);
    if (node == nullptr) {
        return Error{"find", path, NotFound, "The file was not found"};
    }
    return FileFacts{node->data->size(), node->modified, node->folder};
}

bool MemoryFileSystem::FlushToDisk(const std::string& path)
{
    return Find(path) != nullptr || ParentIsFolder(path + "\\x");
}

}  // namespace kestrel::testing
