#include "registry/RegFile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "platform/CodePage.h"
#include "platform/NameCase.h"
#include "platform/Utf16Text.h"
#include "registry/HexNumber.h"
#include "registry/RegistryWalk.h"

namespace kestrel {

namespace {

constexpr std::string_view Version5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view Version4 = "REGEDIT4";
constexpr std::string_view Utf16Bom = "\xFF\xFE";
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t WrapColumn = 76;

constexpr std::array<std::pair<std::string_view, std::string_view>, 12> RootAliases = {{
    {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},
    {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},
    {"HKCU", "HKEY_CURRENT_USER"},
    {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
    {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKEY_USERS", "HKEY_USERS"},
    {"HKU", "HKEY_USERS"},
    {"HKEY_CURRENT_CONFIG", "HKEY_CURRENT_CONFIG"},
    {"HKCC", "HKEY_CURRENT_CONFIG"},
    {"HKEY_PERFORMANCE_DATA", "HKEY_PERFORMANCE_DATA"},
    {"HKEY_DYN_DATA", "HKEY_DYN_DATA"},
}};

// --- UTF-16LE, the text of version 5 files --------------------------------------------------

std::string Utf16LeToUtf8(std::string_view bytes)
{
    return Utf16ToUtf8(FromUtf16LeBytes(bytes));
}

std::string Utf8ToUtf16Le(std::string_view text)
{
    return Utf16LeBytes(Utf8ToUtf16(text));
}

// --- Reading ----------------------------------------------------------------------------------

std::string_view TrimLeft(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimRight(std::string_view text)
{
    const std::size_t last = text.find_last_not_of(" \t");
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// Only blanks or a comment may follow a value's data.
bool OnlyCommentLeft(std::string_view rest)
{
    rest = TrimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

class Parser {
public:
    Parser(std::string_view text, RegFileError& error) : error_(error)
    {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            lines_.push_back(line);
            start = end + 1;
        }
    }

    std::optional<std::vector<RegFileKey>> Parse(bool unicodeData)
    {
        unicodeData_ = unicodeData;
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const std::string_view line = TrimLeft(lines_[index_]);
            lineNumber_ = index_ + 1;
            bool ok = true;
            if (line.empty() || line.front() == ';') {
                continue;
            }
            if (line.front() == '[') {
                ok = ParseKey(line);
            } else if (line.front() == '"' || line.front() == '@') {
                ok = ParseValue(line);
            } else {
                ok = Fail("not a key, a value or a comment");
            }
            if (!ok) {
                return std::nullopt;
            }
        }
        return std::move(keys_);
    }

private:
    bool Fail(std::string message)
    {
        error_ = {lineNumber_, std::move(message)};
        return false;
    }

    bool ParseKey(std::string_view line)
    {
        line = TrimRight(line);
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || !OnlyCommentLeft(line.substr(close + 1))) {
            return Fail("a key line without its closing \"]\"");
        }
        std::string_view path = line.substr(1, close - 1);
        RegFileKey key;
        if (!path.empty() && path.front() == '-') {
            key.remove = true;
            path.remove_prefix(1);
        }
        while (!path.empty() && path.back() == '\\') {
            path.remove_suffix(1);
        }
        const std::size_t slash = path.find('\\');
        const std::string_view rootName = path.substr(0, slash);
        const auto root = std::find_if(RootAliases.begin(), RootAliases.end(), [&](auto& alias) {
            return EqualsIgnoringCase(alias.first, rootName);
        });
        if (root == RootAliases.end()) {
            return Fail("a key that does not start with a root key name");
        }
        if (key.remove && slash == std::string_view::npos) {
            return Fail("a root key cannot be deleted");
        }
        key.path = std::string(root->second);
        if (slash != std::string_view::npos) {
            key.path += path.substr(slash);
        }
        keys_.push_back(std::move(key));
        return true;
    }

    // A quoted text at `position` (on its opening quote); `position` ends after the closing
    // quote.
    bool ParseQuoted(std::string_view line, std::size_t& position, std::string& text)
    {
        for (++position; position < line.size(); ++position) {
            const char c = line[position];
            if (c == '"') {
                ++position;
                return true;
            }
            if (c != '\\' || position + 1 == line.size()) {
                text += c;
                continue;
            }
            const char next = line[++position];
            switch (next) {
                case 'n':
                    text += '\n';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case '0':
                    text += '\0';
                    break;
                case '\\':
                case '"':
                    text += next;
                    break;
                default:
                    text += '\\';
                    text += next;
            }
        }
        return Fail("a text without its closing quote");
    }

    bool ParseValue(std::string_view line)
    {
        if (keys_.empty() || keys_.back().remove) {
            return Fail("a value outside a key");
        }
        RegFileValue value;
        std::size_t position = 0;
        if (line.front() == '@') {
            position = 1;
        } else if (!ParseQuoted(line, position, value.name)) {
            return false;
        }
        std::string_view rest = TrimLeft(line.substr(position));
        if (rest.empty() || rest.front() != '=') {
            return Fail("a value name without \"=\" after it");
        }
        rest = TrimLeft(rest.substr(1));
        if (!ParseData(rest, value)) {
            return false;
        }
        keys_.back().values.push_back(std::move(value));
        return true;
    }

    bool ParseData(std::string_view rest, RegFileValue& value)
    {
        if (!rest.empty() && rest.front() == '"') {
            std::size_t position = 0;
            std::string text;
            if (!ParseQuoted(rest, position, text)) {
                return false;
            }
            if (!OnlyCommentLeft(rest.substr(position))) {
                return Fail("text after a value's closing quote");
            }
            value.type = reg::TypeSz;
            value.data = Utf8ToAnsi(text) + '\0';
            return true;
        }
        if (!rest.empty() && rest.front() == '-' && OnlyCommentLeft(rest.substr(1))) {
            value.remove = true;
            return true;
        }
        if (EqualsIgnoringCase(rest.substr(0, 6), "dword:")) {
            const auto number = ParseHexNumber(TrimRight(rest.substr(6)), 8);
            if (!number) {
                return Fail("a dword that is not 1 to 8 hex digits");
            }
            value.type = reg::TypeDword;
            for (int shift = 0; shift < 32; shift += 8) {
                value.data += static_cast<char>((*number >> shift) & 0xFF);
            }
            return true;
        }
        if (EqualsIgnoringCase(rest.substr(0, 4), "hex:")) {
            value.type = reg::TypeBinary;
            return ParseBytes(rest.substr(4), value);
        }
        if (EqualsIgnoringCase(rest.substr(0, 4), "hex(")) {
            const std::size_t close = rest.find("):");
            const auto type = close == std::string_view::npos
                                  ? std::nullopt
                                  : ParseHexNumber(rest.substr(4, close - 4), 8);
            if (!type) {
                return Fail("a hex(N): type that is not a hex number");
            }
            value.type = *type;
            return ParseBytes(rest.substr(close + 2), value);
        }
        return Fail("a value that is not text, -, dword:, hex: or hex(N):");
    }

    // A byte list, continued on the next lines while a line ends in a backslash.
    bool ParseBytes(std::string_view first, RegFileValue& value)
    {
        std::string list(TrimRight(first));
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            if (index_ + 1 >= lines_.size()) {
                return Fail("a byte list continued past the end of the file");
            }
            list += TrimRight(TrimLeft(lines_[++index_]));
        }
        std::string bytes;
        std::string_view rest = list;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            const std::string_view item = TrimRight(TrimLeft(rest.substr(0, comma)));
            // A comma may end the list, as it does before a continuation.
            if (item.empty() && comma == std::string_view::npos) {
                break;
            }
            const auto byte = ParseHexNumber(item, 2);
            if (!byte) {
                return Fail("a byte list with something other than two-digit hex numbers");
            }
            bytes += static_cast<char>(*byte);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        value.data = unicodeData_ && reg::IsStringType(value.type)
                         ? Utf8ToAnsi(Utf16LeToUtf8(bytes))
                         : std::move(bytes);
        return true;
    }

    RegFileError& error_;
    std::vector<std::string_view> lines_;
    std::vector<RegFileKey> keys_;
    std::size_t index_ = 0;
    std::size_t lineNumber_ = 0;
    bool unicodeData_ = false;
};

// --- Writing ----------------------------------------------------------------------------------

// Line breaks and NULs only occur here in names (such text values are written as hex lists)
// and would otherwise break the file's lines.
std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '\\':
            case '"':
                out += '\\';
                out += c;
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

// Text a quoted value holds exactly: one final NUL, and no other NUL or line break before it.
bool FitsQuotes(std::string_view data)
{
    return !data.empty() && data.back() == '\0' &&
           data.substr(0, data.size() - 1).find_first_of(std::string_view("\0\r\n", 3)) ==
               std::string_view::npos;
}

void AppendByteList(std::string& out, std::string_view bytes, std::size_t lineStart)
{
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
        out += hex;
        if (i + 1 < bytes.size()) {
            out += ',';
            if (out.size() - lineStart > WrapColumn) {
                out += "\\\r\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
}

void AppendValue(std::string& out, const RegFileValue& value)
{
    const std::size_t lineStart = out.size();
    out += value.name.empty() ? "@" : Quoted(value.name);
    out += '=';
    if (value.remove) {
        out += '-';
    } else if (value.type == reg::TypeSz && FitsQuotes(value.data)) {
        out += Quoted(AnsiToUtf8(value.data.substr(0, value.data.size() - 1)));
    } else if (value.type == reg::TypeDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(value.data[i]))
                      << (8 * i);
        }
        char text[20];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        out += text;
    } else {
        char prefix[20];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        out += value.type == reg::TypeBinary ? "hex:" : prefix;
        AppendByteList(
            out, reg::IsStringType(value.type) ? Utf8ToUtf16Le(AnsiToUtf8(value.data)) : value.data,
            lineStart);
    }
    out += "\r\n";
}

void ReadTree(RegistryApi& api, reg::Key key, const std::string& path,
              std::vector<RegFileKey>& keys)
{
    RegFileKey entry{path, false, {}};
    std::string name;
    std::string data;
    std::uint32_t type = 0;
    for (std::uint32_t index = 0; ValueAt(api, key, index, name, type, data); ++index) {
        entry.values.push_back({AnsiToUtf8(name), false, type, data});
    }
    keys.push_back(std::move(entry));
    for (std::uint32_t index = 0; SubkeyAt(api, key, index, name); ++index) {
        reg::Key child = 0;
        if (api.OpenKeyEx(key, name.c_str(), reg::KeyRead, &child) == reg::Success) {
            ReadTree(api, child, path + "\\" + AnsiToUtf8(name), keys);
            api.CloseKey(child);
        }
    }
}

std::string Failure(const std::string& what, const std::string& path, long rc)
{
    return what + " " + path + " (error " + std::to_string(rc) + ")";
}

}  // namespace

std::optional<std::vector<RegFileKey>> ParseRegFile(std::string_view bytes, RegFileError& error)
{
    std::string text;
    if (bytes.substr(0, 2) == Utf16Bom) {
        text = Utf16LeToUtf8(bytes.substr(2));
    } else if (bytes.substr(0, 3) == Utf8Bom) {
        // Through UTF-16 and back, so that malformed UTF-8 becomes U+FFFD here, once.
        text = Utf16LeToUtf8(Utf8ToUtf16Le(bytes.substr(3)));
    } else {
        text = AnsiToUtf8(bytes);
    }
    Parser parser(text, error);
    std::string_view firstLine = std::string_view(text).substr(0, text.find('\n'));
    if (!firstLine.empty() && firstLine.back() == '\r') {
        firstLine.remove_suffix(1);
    }
    const std::string_view headerText = TrimRight(firstLine);
    if (headerText != Version5 && headerText != Version4) {
        error = {1, "not a registry file: the first line is neither \"" + std::string(Version5) +
                        "\" nor \"" + std::string(Version4) + "\""};
        return std::nullopt;
    }
    return parser.Parse(headerText == Version5);
}

std::string FormatRegFile(const std::vector<RegFileKey>& keys)
{
    std::string text(Version5);
    text += "\r\n\r\n";
    for (const RegFileKey& key : keys) {
        text += (key.remove ? "[-" : "[") + key.path + "]\r\n";
        for (const RegFileValue& value : key.values) {
            AppendValue(text, value);
        }
        text += "\r\n";
    }
    return std::string(Utf16Bom) + Utf8ToUtf16Le(text);
}

std::vector<RegFileKey> ReadRegistryTree(RegistryAccess& access, const std::string& keyPath)
{
    std::vector<RegFileKey> keys;
    RegistryBatch batch(access.Api());  // one state of the registry, one lock
    if (const reg::Key key = access.OpenPath(keyPath, reg::KeyRead); key != 0) {
        ReadTree(access.Api(), key, keyPath, keys);
        access.Close(key);
    }
    batch.Commit();
    return keys;
}

std::optional<std::string> ApplyRegFile(RegistryAccess& access, const std::vector<RegFileKey>& keys)
{
    RegistryApi& api = access.Api();
    RegistryBatch batch(api);
    for (const RegFileKey& key : keys) {
        const std::size_t slash = key.path.find('\\');
        const reg::Key root = RegistryAccess::GetRootKey(key.path.substr(0, slash));
        const std::string subKey =
            slash == std::string::npos ? "" : Utf8ToAnsi(key.path.substr(slash + 1));
        if (key.remove) {
            if (!subKey.empty()) {
                DeleteTree(api, root, subKey);
            }
            continue;
        }
        reg::Key handle = 0;
        if (const long rc = api.CreateKey(root, subKey.c_str(), &handle); rc != reg::Success) {
            return Failure("cannot create the key", key.path, rc);
        }
        for (const RegFileValue& value : key.values) {
            const std::string name = Utf8ToAnsi(value.name);
            long rc = reg::Success;
            if (value.remove) {
                rc = api.DeleteValue(handle, name.c_str());
                rc = rc == reg::FileNotFound ? reg::Success : rc;
            } else {
                rc = api.SetValueEx(handle, name.c_str(), value.type,
                                    reinterpret_cast<const std::uint8_t*>(value.data.data()),
                                    static_cast<std::uint32_t>(value.data.size()));
            }
            if (rc != reg::Success) {
                api.CloseKey(handle);
                return Failure("cannot write the value \"" + value.name + "\" of", key.path, rc);
            }
        }
        api.CloseKey(handle);
    }
    if (const long rc = batch.Commit(); rc != reg::Success) {
        return Failure("cannot save the keys in", "the registry", rc);
    }
    return std::nullopt;
}

}  // namespace kestrel
