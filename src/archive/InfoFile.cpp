#include "archive/InfoFile.h"

#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileContents.h"
#include "platform/NameCase.h"
#include "platform/Utf8.h"

namespace kestrel {
namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

bool FitsCodePage(const std::string& text)
{
    return AnsiToUtf8(Utf8ToAnsi(text)) == text;
}

bool IsUtf8InfoFile(const std::vector<std::string>& lines)
{
    return !lines.empty() && lines.front() == InfoFileUtf8Line;
}

// Well-formed UTF-8 as it is; each byte that is not becomes U+FFFD, so a damaged file never
// hands invalid text to the rest of the program.
std::string CleanUtf8(std::string_view text)
{
    if (IsValidUtf8(text)) {
        return std::string(text);
    }
    std::string clean;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character next = DecodeUtf8(text, at);
        AppendUtf8(clean, next.value);
        at += next.length;
    }
    return clean;
}

// Lines end at CR LF or LF, as the ANSI reading has them.
std::vector<std::string> Utf8Lines(std::string_view text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start && text[end - 1] == '\r' && end != text.size()) {
            --end;
        }
        lines.push_back(CleanUtf8(text.substr(start, end - start)));
        start = next;
    }
    return lines;
}

std::optional<std::vector<std::string>> ReadInfoLines(FileSystem& fileSystem,
                                                      const std::string& fileName)
{
    auto lines = fileSystem.ReadTextLines(fileName);
    if (!lines || !IsUtf8InfoFile(*lines)) {
        return lines;
    }
    const Result<std::string> bytes = ReadWholeFile(fileSystem, fileName, MaxInfoFileBytes);
    if (!bytes) {
        return std::nullopt;
    }
    return Utf8Lines(*bytes);
}

}  // namespace

bool SaveINI(FileSystem& fileSystem, const std::string& keyName, const std::string& keyValue,
             const std::string& fileName)
{
    const std::string line = keyName + "=" + keyValue;
    const auto lines = fileSystem.ReadTextLines(fileName);
    const bool utf8 = lines && IsUtf8InfoFile(*lines);
    if (!utf8 && FitsCodePage(line)) {
        return fileSystem.AppendTextLine(fileName, line);
    }
    // From the first value the code page cannot hold, the whole file is UTF-8 under its
    // marker line: the lines written so far are rewritten, so no name ever turns into "?".
    std::string bytes;
    if (utf8) {
        const Result<std::string> written = ReadWholeFile(fileSystem, fileName, MaxInfoFileBytes);
        if (!written) {
            return false;
        }
        bytes = *written;
    } else {
        bytes = std::string(InfoFileUtf8Line) + "\r\n";
        for (const std::string& earlier : lines.value_or(std::vector<std::string>{})) {
            bytes += earlier + "\r\n";
        }
    }
    bytes += line + "\r\n";
    return !ReplaceFile(fileSystem, fileName, bytes);
}

namespace {

std::string ValueIn(const std::vector<std::string>& lines, const std::string& keyName)
{
    for (const std::string& line : lines) {
        if (line.empty()) {
            break;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos &&
            EqualsIgnoringCase(std::string_view(line).substr(0, equals), keyName)) {
            return line.substr(equals + 1);
        }
    }
    return std::string();
}

}  // namespace

std::optional<std::string> GetINI(FileSystem& fileSystem, const std::string& keyName,
                                  const std::string& fileName)
{
    const auto lines = ReadInfoLines(fileSystem, fileName);
    if (!lines) {
        return std::nullopt;
    }
    return ValueIn(*lines, keyName);
}

std::string InfoValueIn(std::string_view bytes, const std::string& keyName)
{
    std::vector<std::string> lines = Utf8Lines(bytes);
    if (!IsUtf8InfoFile(lines)) {
        lines.clear();
        for (std::size_t start = 0; start < bytes.size();) {
            std::size_t end = bytes.find('\n', start);
            const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
            end = end == std::string_view::npos ? bytes.size() : end;
            if (end > start && bytes[end - 1] == '\r') {
                --end;
            }
            lines.push_back(AnsiToUtf8(std::string(bytes.substr(start, end - start))));
            start = next;
        }
    }
    return ValueIn(lines, keyName);
}

std::string sGetTempFile(FileSystem& fileSystem, const std::string& runFolder,
                         const std::string& sPrefix)
{
    std::string path = fileSystem.CreateTempFile(runFolder, sPrefix);
    const std::size_t first = path.find_first_not_of(' ');
    const std::size_t last = path.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : path.substr(first, last - first + 1);
}

std::string EncodeDescription(const std::string& text)
{
    // Text boxes hand over bare LFs and pasted text can hold bare CRs. Each becomes the marker
    // too, so that the value stays on its one line whatever a reader takes for a line end: a
    // split line would leave pieces that read as keys, or an empty line that ends every later
    // key lookup and so the whole backup.
    std::string stored;
    stored.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            stored += DescriptionLineBreak;
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            stored += text[i];
        }
    }
    return stored;
}

std::string DecodeDescription(const std::string& stored)
{
    return ReplaceAll(stored, DescriptionLineBreak, "\r\n");
}

}  // namespace kestrel
