#include "registry/KeyExport.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileContents.h"
#include "registry/ExportText.h"
#include "registry/RegistryWalk.h"

namespace kestrel {

namespace {

// A full path split into its root and its sub-key part in ANSI, the registry's own spelling.
struct Located {
    reg::Key root = 0;
    std::string subKey;
};

std::optional<Located> Locate(RegistryAccess& access, const std::string& keyPath)
{
    std::string subKey = keyPath;
    reg::Key root = 0;
    access.ParseKeyPath(subKey, root);
    if (root == 0) {
        return std::nullopt;
    }
    return Located{root, Utf8ToAnsi(subKey)};
}

// The entry of a left-out value or key: its key's full path and its own name.
void NoteLeftOut(std::vector<std::string>* leftOut, const std::string& keyPath,
                 std::string_view ansiName)
{
    if (leftOut != nullptr) {
        leftOut->push_back(keyPath + "\\" + AnsiToUtf8(ansiName));
    }
}

// A value whose line would not read back is left out rather than written: the import refuses
// a file with a broken line, or reads it into other keys and values, so one such value would
// cost the whole item on restore.
void WriteValues(RegistryApi& api, reg::Key key, const std::string& keyPath,
                 std::vector<std::string>* leftOut, std::ostream& out)
{
    std::string name;
    std::string data;
    std::uint32_t type = 0;
    for (std::uint32_t index = 0; ValueAt(api, key, index, name, type, data); ++index) {
        if (!IsExportedType(type)) {
            continue;
        }
        if (const auto line = FormatValueLine(name, type, data)) {
            out << *line;
        } else {
            NoteLeftOut(leftOut, keyPath, name);
        }
    }
}

// The values and the subtrees of an open key; its own line is already written. keyPath is the
// key's full path (UTF-8) for what is left out, relativePath its key line (ANSI).
void WriteTree(RegistryApi& api, reg::Key key, const std::string& keyPath,
               const std::string& relativePath, std::vector<std::string>* leftOut,
               std::ostream& out)
{
    WriteValues(api, key, keyPath, leftOut, out);
    std::string name;
    for (std::uint32_t index = 0; SubkeyAt(api, key, index, name); ++index) {
        // A key whose line would not read back goes with everything below it, as its values
        // would land in another key or nowhere.
        if (!KeyNameReadsBack(name)) {
            NoteLeftOut(leftOut, keyPath, name);
            continue;
        }
        const std::string childPath = relativePath + "\\" + name;
        out << FormatKeyLine(childPath);
        reg::Key child = 0;
        if (api.OpenKeyEx(key, name.c_str(), reg::KeyRead, &child) == reg::Success) {
            WriteTree(api, child, keyPath + "\\" + AnsiToUtf8(name), childPath, leftOut, out);
            api.CloseKey(child);
        }
    }
}

void WriteKeys(RegistryApi& api, const Located& base, const std::vector<ExportKey>& keys)
{
    reg::Key current = 0;
    for (const ExportKey& key : keys) {
        if (current != 0) {
            api.CloseKey(current);
            current = 0;
        }
        if (key.replacesTree) {
            DeleteTree(api, base.root, base.subKey);
        }
        const std::string subKey = key.replacesTree ? base.subKey : base.subKey + key.line;
        if (api.CreateKey(base.root, subKey.c_str(), &current) != reg::Success) {
            current = 0;
            continue;
        }
        for (const ExportValue& value : key.values) {
            api.SetValueEx(current, value.name.c_str(), value.type,
                           reinterpret_cast<const std::uint8_t*>(value.data.data()),
                           static_cast<std::uint32_t>(value.data.size()));
        }
    }
    if (current != 0) {
        api.CloseKey(current);
    }
}

}  // namespace

bool ExportKeyTree(RegistryAccess& access, const std::string& keyPath,
                   const std::string& relativePath, std::ostream& out,
                   std::vector<std::string>* leftOut)
{
    const std::string relative = Utf8ToAnsi(relativePath);
    out << FormatKeyLine(relative);
    // One batch: the whole tree is read from one state of the registry, and the store takes
    // its locks once instead of for every call.
    RegistryBatch batch(access.Api());
    if (const reg::Key key = access.OpenPath(keyPath, reg::KeyRead); key != 0) {
        WriteTree(access.Api(), key, keyPath, relative, leftOut, out);
        access.Close(key);
    }
    batch.Commit();
    return out.good();
}

namespace {

// Appending keeps what the file holds and adds the text; either way the file is replaced whole.
bool WriteExport(FileSystem& fileSystem, const std::string& file, bool append,
                 const std::string& text)
{
    std::string bytes;
    if (append && fileSystem.Stat(file)) {
        auto existing = ReadWholeFile(fileSystem, file);
        if (!existing) {
            return false;
        }
        bytes = std::move(*existing);
    }
    return !ReplaceFile(fileSystem, file, bytes + text);
}

// Counted on the text before it is parsed, so that a tree of a million keys costs no more
// than reading it: each key line starts with "\\", each value line with a quote (lines the
// reader ignores count too, which only errs towards refusing).
std::optional<ImportError> OverLimits(std::string_view text, const ImportLimits& limits)
{
    std::size_t keys = 0;
    std::size_t values = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const char first = text[start];
        keys += first == '\\' ? 1 : 0;
        values += first == '"' ? 1 : 0;
        if (keys > limits.maxKeys) {
            return ImportError{0, "holds more than " + std::to_string(limits.maxKeys) +
                                      " keys, more than any profile has; nothing was imported"};
        }
        if (values > limits.maxValues) {
            return ImportError{0, "holds more than " + std::to_string(limits.maxValues) +
                                      " values, more than any profile has; nothing was imported"};
        }
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

bool ExportKeyTree(RegistryAccess& access, const std::string& keyPath,
                   const std::string& relativePath, FileSystem& fileSystem, const std::string& file,
                   std::vector<std::string>* leftOut)
{
    std::ostringstream out;
    ExportKeyTree(access, keyPath, relativePath, out, leftOut);
    return WriteExport(fileSystem, file, !relativePath.empty(), out.str());
}

void ExportKeyValues(RegistryAccess& access, const std::string& keyPath, std::ostream& out,
                     std::vector<std::string>* leftOut)
{
    if (const reg::Key key = access.OpenPath(keyPath, reg::KeyRead); key != 0) {
        WriteValues(access.Api(), key, keyPath, leftOut, out);
        access.Close(key);
    }
}

bool ExportKeyValues(RegistryAccess& access, const std::string& keyPath, FileSystem& fileSystem,
                     const std::string& file, std::vector<std::string>* leftOut)
{
    std::ostringstream out;
    ExportKeyValues(access, keyPath, out, leftOut);
    return out.str().empty() || WriteExport(fileSystem, file, true, out.str());
}

std::optional<ImportError> ImportKeyText(RegistryAccess& access, const std::string& basePath,
                                         std::string_view text)
{
    ExportTextError problem;
    const auto keys = ParseExportText(text, problem);
    if (!keys) {
        return ImportError{problem.line, problem.message};
    }
    const auto base = Locate(access, basePath);
    if (!base) {
        return ImportError{0, "not a key path with a known root: " + basePath};
    }
    // Replacing a whole root would wipe everything the user has there.
    if (base->subKey.empty()) {
        return ImportError{0, "cannot replace a root key: " + basePath};
    }
    RegistryBatch batch(access.Api());
    WriteKeys(access.Api(), *base, *keys);
    if (batch.Commit() != reg::Success) {
        return ImportError{0, "the registry could not save the imported keys"};
    }
    return std::nullopt;
}

std::optional<ImportError> ImportKeyFile(RegistryAccess& access, const std::string& basePath,
                                         FileSystem& fileSystem, const std::string& file,
                                         const std::optional<ImportLimits>& limits)
{
    const auto text = limits ? ReadWholeFile(fileSystem, file, limits->maxBytes)
                             : ReadWholeFile(fileSystem, file);
    if (!text) {
        return ImportError{0, text.error().Describe()};
    }
    if (limits) {
        if (std::optional<ImportError> over = OverLimits(*text, *limits)) {
            return over;
        }
    }
    return ImportKeyText(access, basePath, *text);
}

void DeleteKeyTree(RegistryAccess& access, const std::string& keyPath)
{
    const auto located = Locate(access, keyPath);
    // A root itself is never deleted, and neither is everything below it.
    if (!located || located->subKey.empty()) {
        return;
    }
    RegistryBatch batch(access.Api());
    DeleteTree(access.Api(), located->root, located->subKey);
    batch.Commit();
}

}  // namespace kestrel
