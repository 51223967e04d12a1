#include "platform/TextFile.h"

#include <fstream>

#include "platform/CodePage.h"

namespace kestrel {

std::optional<std::vector<std::string>> ReadAnsiTextLines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start && text[end - 1] == '\r' && end != text.size()) {
            --end;
        }
        lines.push_back(AnsiToUtf8(std::string_view(text).substr(start, end - start)));
        start = next;
    }
    return lines;
}

bool AppendAnsiTextLine(const std::filesystem::path& file, const std::string& line)
{
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) {
        return false;
    }
    out << Utf8ToAnsi(line) << "\r\n";
    out.close();
    return !out.fail();
}

bool AppendLogTextLine(const std::filesystem::path& file, const std::string& line)
{
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) {
        return false;
    }
    out << Utf8ToLogText(line) << "\r\n";
    out.close();
    return !out.fail();
}

}  // namespace kestrel
