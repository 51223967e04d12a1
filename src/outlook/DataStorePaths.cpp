#include "outlook/DataStorePaths.h"

#include <algorithm>
#include <cstdint>

#include "platform/CodePage.h"
#include "platform/Utf16Text.h"
#include "registry/HexNumber.h"

namespace kestrel {

namespace {

constexpr std::uint32_t FirstDataBuffer = 4096;

// --- Hex byte text ----------------------------------------------------------------------------

void AppendHexByte(std::string& out, unsigned char byte)
{
    constexpr char Digits[] = "0123456789ABCDEF";
    if (byte >= 16) {
        out += Digits[byte >> 4];
    }
    out += Digits[byte & 15];
}

// Plain text replacement of every non-overlapping occurrence, left to right. An empty pattern
// (an empty path) occurs nowhere.
std::string ReplaceEvery(const std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty()) {
        return text;
    }
    std::string out;
    std::size_t start = 0;
    for (std::size_t found = text.find(from); found != std::string::npos;
         found = text.find(from, start)) {
        out.append(text, start, found - start);
        out += to;
        start = found + from.size();
    }
    out.append(text, start);
    return out;
}

// --- Registry ---------------------------------------------------------------------------------

enum class Enumerated { Value, NameTooLong, End };

// The value at `index` through a 260-character name buffer and a data buffer of 4096 bytes,
// enlarged to the size the registry asks for. A name that does not fit is reported apart: a
// bigger data buffer cannot cure it, and asking again would never end.
Enumerated ValueAtIndex(RegistryApi& api, reg::Key key, std::uint32_t index, std::string& name,
                        std::uint32_t& type, std::string& data)
{
    std::uint32_t capacity = FirstDataBuffer;
    for (;;) {
        std::uint32_t nameLength = RegistryAccess::NameBufferChars;
        std::uint32_t dataSize = capacity;
        name.assign(nameLength, '\0');
        data.assign(capacity, '\0');
        const long rc = api.EnumValue(key, index, name.data(), &nameLength, &type,
                                      reinterpret_cast<std::uint8_t*>(data.data()), &dataSize);
        if (rc == reg::Success) {
            name.resize(std::min<std::size_t>(nameLength, name.size()));
            data.resize(std::min<std::size_t>(dataSize, data.size()));
            return Enumerated::Value;
        }
        if (rc != reg::MoreData) {
            return Enumerated::End;
        }
        if (dataSize <= capacity) {
            return Enumerated::NameTooLong;
        }
        capacity = dataSize;
    }
}

}  // namespace

std::optional<std::string> FindBinaryValue(RegistryAccess& access, const std::string& keyPath,
                                           const std::string& valueName)
{
    const reg::Key key = access.OpenPath(keyPath, reg::KeyRead);
    if (key == 0) {
        return std::nullopt;
    }
    const std::string wanted = Utf8ToAnsi(valueName);
    std::optional<std::string> found;
    std::string name;
    std::string data;
    std::uint32_t type = 0;
    for (std::uint32_t index = 0;; ++index) {
        const Enumerated result = ValueAtIndex(access.Api(), key, index, name, type, data);
        if (result == Enumerated::End) {
            break;
        }
        // A name too long for the buffer cannot be one that fits it, so looking on is safe.
        if (result == Enumerated::Value && type == reg::TypeBinary && name == wanted) {
            found = std::move(data);
            break;
        }
    }
    access.Close(key);
    return found;
}

std::u16string DecodeWideText(std::string_view data)
{
    const auto at = [&](std::size_t i) -> unsigned {
        return i < data.size() ? static_cast<unsigned char>(data[i]) : 0;
    };
    std::u16string text;
    bool lowHalfPending = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned byte = at(i);
        const unsigned previous = i == 0 ? 0 : at(i - 1);
        if (byte == 0) {
            continue;
        }
        if (at(i + 1) != 0 && !lowHalfPending) {
            lowHalfPending = true;
        } else if (previous != 0 && lowHalfPending) {
            text += static_cast<char16_t>(byte * 256 + previous);
            lowHalfPending = false;
        } else {
            text += static_cast<char16_t>(byte);
        }
    }
    return text;
}

std::u16string DecodeAnsiText(std::string_view data)
{
    std::string bytes;
    bytes.reserve(data.size());
    for (char byte : data) {
        if (byte != '\0') {
            bytes += byte;
        }
    }
    // Cut on code units like the wide text, not on UTF-8 bytes: the "third character" rule
    // counts characters, and a double-byte code page could hide a backslash in a letter's
    // second byte.
    return Utf8ToUtf16(AnsiToUtf8(bytes));
}

// The pairing walk happily produces lone surrogates (and a cut can split a pair); they come out
// as U+FFFD, so no string in the program is invalid UTF-8. Such a path names no file anyway.
std::string CutPath(std::u16string_view text)
{
    // Positions are 1-based in the rule: index 2 is the third character.
    std::size_t start = std::u16string_view::npos;
    if (const std::size_t colon = text.rfind(u":\\");
        colon != std::u16string_view::npos && colon >= 2) {
        start = colon - 1;
    } else if (const std::size_t share = text.rfind(u"\\\\");
               share != std::u16string_view::npos && share >= 2) {
        start = share;
    }
    if (start == std::u16string_view::npos || start >= text.size()) {
        return RegistryAccess::ErrorMarker;
    }
    return Utf16ToUtf8(text.substr(start));
}

std::string RenderHex(std::string_view bytes)
{
    std::string hex;
    hex.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            hex += '=';
        }
        AppendHexByte(hex, static_cast<unsigned char>(bytes[i]));
    }
    return hex;
}

std::optional<std::string> ParseHex(std::string_view hex)
{
    std::string bytes;
    if (hex.empty()) {
        return bytes;
    }
    for (std::size_t start = 0;;) {
        const std::size_t end = hex.find('=', start);
        const auto byte = ParseHexNumber(hex.substr(start, end - start), 2);
        if (!byte) {
            return std::nullopt;
        }
        bytes += static_cast<char>(*byte);
        if (end == std::string_view::npos) {
            return bytes;
        }
        start = end + 1;
    }
}

std::string EncodeTextBytes(std::string_view text)
{
    // The ANSI bytes, not the character codes: 8-bit paths are stored in the ANSI code page
    // and DecodeAnsiPathValue reads them from it, so a path it found is rendered as the very
    // bytes it came from, whatever the code page (and "?" for what the code page lacks).
    std::string hex;
    for (char byte : Utf8ToAnsi(text)) {
        AppendHexByte(hex, static_cast<unsigned char>(byte));
        hex += '=';
    }
    return hex;
}

std::string EncodeTextWide(std::string_view text)
{
    std::string hex;
    for (char16_t unit : Utf8ToUtf16(text)) {
        AppendHexByte(hex, static_cast<unsigned char>(unit & 0xFF));
        hex += '=';
        AppendHexByte(hex, static_cast<unsigned char>(unit >> 8));
        hex += '=';
    }
    return hex;
}

std::string ReplacePathInHex(const std::string& hex, std::string_view oldPath,
                             std::string_view newPath)
{
    const std::string wide = ReplaceEvery(hex, EncodeTextWide(oldPath), EncodeTextWide(newPath));
    if (wide != hex) {
        return wide;
    }
    return ReplaceEvery(hex, EncodeTextBytes(oldPath), EncodeTextBytes(newPath));
}

// Some versions store a path with every backslash doubled, others as it is, so pairs are made
// single. A network path stored as it is begins with a pair that must stay; stored doubled it
// begins with two pairs, which come out as its two.
std::string CollapseDoubledBackslashes(const std::string& path)
{
    std::string result;
    result.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        result += path[i];
        if (path[i] == '\\' && i + 1 < path.size() && path[i + 1] == '\\') {
            ++i;
        }
    }
    if (path.starts_with("\\\\") && !result.starts_with("\\\\")) {
        result.insert(0, 1, '\\');
    }
    return result;
}

std::string DecodeWidePathValue(RegistryAccess& access, const std::string& keyPath,
                                const std::string& valueName)
{
    const auto data = FindBinaryValue(access, keyPath, valueName);
    return data ? CutPath(DecodeWideText(*data)) : RegistryAccess::ErrorMarker;
}

std::string DecodeAnsiPathValue(RegistryAccess& access, const std::string& keyPath,
                                const std::string& valueName)
{
    const auto data = FindBinaryValue(access, keyPath, valueName);
    return data ? CutPath(DecodeAnsiText(*data)) : RegistryAccess::ErrorMarker;
}

std::string ReadBinaryValueHex(RegistryAccess& access, const std::string& keyPath,
                               const std::string& valueName)
{
    const auto data = FindBinaryValue(access, keyPath, valueName);
    return data ? RenderHex(*data) : RegistryAccess::ErrorMarker;
}

void ReplacePathInBinaryValue(RegistryAccess& access, const std::string& keyPath,
                              const std::string& valueName, const std::string& oldPath,
                              const std::string& newPath)
{
    const std::string hex = ReadBinaryValueHex(access, keyPath, valueName);
    if (hex == RegistryAccess::ErrorMarker || hex.empty()) {
        return;
    }
    // A rendering whose first byte is below 0x10 (a control character, or in UTF-16LE a
    // character such as U+0401 whose low byte is) starts with one digit and can match inside
    // a byte's two digits. Paths found by the readers start with a drive letter or a
    // backslash and never do; when such a match leaves a piece that is no byte, nothing is
    // written rather than a value the registry cannot be given.
    const auto bytes = ParseHex(ReplacePathInHex(hex, oldPath, newPath));
    if (!bytes) {
        return;
    }
    const reg::Key key = access.OpenPath(keyPath, reg::KeyWrite);
    if (key == 0) {
        return;
    }
    access.Api().SetValueEx(key, Utf8ToAnsi(valueName).c_str(), reg::TypeBinary,
                            reinterpret_cast<const std::uint8_t*>(bytes->data()),
                            static_cast<std::uint32_t>(bytes->size()));
    access.Close(key);
}

std::vector<std::string> ProfileDataFilePaths(RegistryAccess& access, const std::string& profileKey)
{
    std::vector<std::string> paths;
    for (const std::string& section : access.EnumSubKeys(profileKey)) {
        const std::string sectionKey = profileKey + "\\" + section;
        std::string path = DecodeWidePathValue(access, sectionKey, StoreIdentifierValue);
        if (path == RegistryAccess::ErrorMarker) {
            path = DecodeAnsiPathValue(access, sectionKey, StoreIdentifierValue);
        }
        if (path != RegistryAccess::ErrorMarker) {
            paths.push_back(path);
        }
    }
    return paths;
}

std::vector<std::string> ProfileAddressBookPaths(RegistryAccess& access,
                                                 const std::string& profileKey)
{
    std::vector<std::string> paths;
    for (const std::string& section : access.EnumSubKeys(profileKey)) {
        const std::string path =
            access.GetStringValue(profileKey + "\\" + section, AddressBookValue);
        if (!path.empty() && path != RegistryAccess::ErrorMarker) {
            paths.push_back(CollapseDoubledBackslashes(path));
        }
    }
    return paths;
}

}  // namespace kestrel
