#include "support/MemoryFileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kestrel::testing {
namespace {

// The codes Windows reports, so messages read as they would there.
constexpr long AccessDenied = 5;
constexpr long SharingViolation = 32;
constexpr long NotFound = 2;
constexpr long PathNotFound = 3;
constexpr long DiskFull = 112;

Error Failed(const char* operation, const std::string& path, long code, const char* text)
{
    return {operation, path, code, text};
}

class MemoryOutputFile final : public OutputFile {
public:
    MemoryOutputFile(MemoryFileSystem& fs, std::shared_ptr<std::string> data, std::string path)
        : fs_(fs), data_(std::move(data)), path_(std::move(path))
    {
    }

    bool Write(const char* data, std::size_t size) override
    {
        if (!Usable()) {
            return false;
        }
        data_->append(data, size);
        return true;
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override
    {
        if (!Usable()) {
            return false;
        }
        if (offset + size > data_->size()) {
            return Fail(87, "The parameter is incorrect");
        }
        std::memcpy(data_->data() + offset, data, size);
        return true;
    }

    bool Commit() override
    {
        const bool ok = !closed_ && !failed_;
        closed_ = true;
        return ok;
    }

    const Error& Failure() const override { return failure_; }

private:
    bool Usable()
    {
        if (closed_ || failed_) {
            return false;
        }
        return fs_.TakeWrite() || Fail(DiskFull, "There is not enough space on the disk");
    }

    bool Fail(long code, const char* text)
    {
        failed_ = true;
        failure_ = Failed("write", path_, code, text);
        return false;
    }

    MemoryFileSystem& fs_;
    std::shared_ptr<std::string> data_;
    std::string path_;
    Error failure_;
    bool closed_ = false;
    bool failed_ = false;
};

class MemoryInputFile final : public InputFile {
public:
    explicit MemoryInputFile(std::shared_ptr<std::string> data) : data_(std::move(data)) {}

    std::int64_t Read(char* data, std::size_t size) override
    {
        const std::size_t take =
            position_ >= data_->size() ? 0 : std::min(size, data_->size() - position_);
        std::memcpy(data, data_->data() + position_, take);
        position_ += take;
        return static_cast<std::int64_t>(take);
    }
    bool Seek(std::uint64_t offset) override
    {
        position_ = offset;
        return true;
    }
    std::uint64_t Size() const override { return data_->size(); }
    const Error& Failure() const override { return none_; }  // reading memory never fails

private:
    std::shared_ptr<std::string> data_;
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
    if (parent.size() == 2 && parent[1] == ':') {
        return true;  // a drive
    }
    const auto found = nodes_.find(parent);
    return found != nodes_.end() && found->second.folder;
}

void MemoryFileSystem::AddFolder(const std::string& path)
{
    const std::string key = Key(path);
    for (std::size_t slash = key.find('\\'); slash != std::string::npos;
         slash = key.find('\\', slash + 1)) {
        if (slash > 2) {
            nodes_.try_emplace(key.substr(0, slash), Node{path.substr(0, slash), true});
        }
    }
    nodes_.try_emplace(key, Node{path, true});
}

void MemoryFileSystem::AddFile(const std::string& path, std::string data, bool hidden)
{
    AddFolder(path.substr(0, path.find_last_of("\\/")));
    Node node{path, false, hidden};
    *node.data = std::move(data);
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

void MemoryFileSystem::FailWriteNumber(std::uint64_t n)
{
    failingWrite_ = n == 0 ? 0 : writes_ + n;
}

void MemoryFileSystem::RefuseOpening(const std::string& path)
{
    refusedOpens_.insert(Key(path));
}

void MemoryFileSystem::FailRenamesTo(const std::string& path)
{
    failingRenames_.insert(Key(path));
}

bool MemoryFileSystem::TakeWrite()
{
    return ++writes_ != failingWrite_;
}

bool MemoryFileSystem::FileExists(const std::string& path)
{
    const Node* node = Find(path);
    return node != nullptr && !node->folder && !node->hidden;
}

bool MemoryFileSystem::FolderExists(const std::string& path)
{
    const Node* node = Find(path);
    return node != nullptr && node->folder;
}

std::vector<std::string> MemoryFileSystem::FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    const std::string parent = Key(folder);
    for (const auto& [key, node] : nodes_) {
        if (!node.folder && ParentKey(key) == parent) {
            names.push_back(node.path.substr(node.path.find_last_of("\\/") + 1));
        }
    }
    return names;
}

bool MemoryFileSystem::CreateFolder(const std::string& path)
{
    if (Find(path) != nullptr || !ParentIsFolder(path)) {
        return false;
    }
    nodes_[Key(path)] = Node{path, true};
    return true;
}

bool MemoryFileSystem::RemoveFile(const std::string& path)
{
    const Node* node = Find(path);
    return node != nullptr && !node->folder && nodes_.erase(Key(path)) == 1;
}

bool MemoryFileSystem::RenameFile(const std::string& from, const std::string& to)
{
    return Find(to) == nullptr && MoveOver(from, to);
}

bool MemoryFileSystem::MoveOver(const std::string& from, const std::string& to)
{
    Node* source = Find(from);
    const Node* target = Find(to);
    if (source == nullptr || source->folder || (target != nullptr && target->folder) ||
        failingRenames_.count(Key(to)) != 0 || !ParentIsFolder(to)) {
        return false;
    }
    Node moved = *source;
    moved.path = to;
    nodes_.erase(Key(from));
    nodes_[Key(to)] = moved;
    return true;
}

bool MemoryFileSystem::CopyFileTo(const std::string& from, const std::string& to)
{
    const Node* source = Find(from);
    if (source == nullptr || source->folder || !ParentIsFolder(to)) {
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
    std::size_t start = 0;
    const std::string& text = *node->data;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r') {
            lines.back().pop_back();
        }
        start = end + 1;
    }
    return lines;
}

bool MemoryFileSystem::AppendTextLine(const std::string& path, const std::string& line)
{
    if (Find(path) == nullptr) {
        if (!ParentIsFolder(path)) {
            return false;
        }
        nodes_[Key(path)] = Node{path, false};
    }
    Node& node = nodes_[Key(path)];
    if (node.folder || !TakeWrite()) {
        return false;
    }
    *node.data += line + "\r\n";
    return true;
}

std::string MemoryFileSystem::CreateTempFile(const std::string& folder, const std::string& prefix)
{
    if (!FolderExists(folder)) {
        return {};
    }
    char name[32];
    std::snprintf(name, sizeof name, "%.3s%X.tmp", prefix.c_str(), ++tempNumber_);
    const std::string path = folder + "\\" + name;
    nodes_[Key(path)] = Node{path, false};
    return path;
}

Result<std::unique_ptr<OutputFile>> MemoryFileSystem::CreateOutputFile(const std::string& path)
{
    if (refusedOpens_.count(Key(path)) != 0) {
        return Failed("create", path, SharingViolation, "The file is in use");
    }
    const Node* existing = Find(path);
    if (existing != nullptr && existing->folder) {
        return Failed("create", path, AccessDenied, "Access is denied");
    }
    if (!ParentIsFolder(path)) {
        return Failed("create", path, PathNotFound, "The path was not found");
    }
    Node node{path, false};
    nodes_[Key(path)] = node;
    return std::unique_ptr<OutputFile>(std::make_unique<MemoryOutputFile>(*this, node.data, path));
}

Result<std::unique_ptr<InputFile>> MemoryFileSystem::OpenInputFile(const std::string& path)
{
    const Node* node = Find(path);
    if (refusedOpens_.count(Key(path)) != 0) {
        return Failed("open", path, SharingViolation, "The file is in use");
    }
    if (node == nullptr || node->folder) {
        return Failed("open", path, node == nullptr ? NotFound : AccessDenied, "Not a file");
    }
    // A snapshot: what the reader sees does not change under it.
    return std::unique_ptr<InputFile>(
        std::make_unique<MemoryInputFile>(std::make_shared<std::string>(*node->data)));
}

Result<FileFacts> MemoryFileSystem::Stat(const std::string& path)
{
    const Node* node = Find(path);
    if (node == nullptr) {
        return Failed("find", path, NotFound, "The file was not found");
    }
    return FileFacts{node->data->size(), std::time(nullptr), node->folder};
}

bool MemoryFileSystem::FlushToDisk(const std::string& path)
{
    return Find(path) != nullptr || ParentIsFolder(path + "\\x");
}

std::filesystem::path MemoryFileSystem::NativePath(const std::string&)
{
    return {};
}

}  // namespace kestrel::testing
