#include "archive/InfoFile.h"

#include <string_view>

#include "platform/NameCase.h"

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

}  // namespace

bool SaveINI(FileSystem& fileSystem, const std::string& keyName, const std::string& keyValue,
             const std::string& fileName)
{
    return fileSystem.AppendTextLine(fileName, keyName + "=" + keyValue);
}

std::optional<std::string> GetINI(FileSystem& fileSystem, const std::string& keyName,
                                  const std::string& fileName)
{
    const auto lines = fileSystem.ReadTextLines(fileName);
    if (!lines) {
        return std::nullopt;
    }
    for (const std::string& line : *lines) {
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
