#include "archive/MemberName.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/NameCase.h"
#include "platform/PathJoin.h"

namespace kestrel {
namespace {

bool IsReservedDeviceName(std::string_view stem)
{
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    constexpr std::array<std::string_view, 6> Plain{"CON", "PRN",    "AUX",
                                                    "NUL", "CONIN$", "CONOUT$"};
    if (std::any_of(Plain.begin(), Plain.end(),
                    [stem](std::string_view device) { return EqualsIgnoringCase(stem, device); })) {
        return true;
    }
    if (stem.size() < 4 || !(EqualsIgnoringCase(stem.substr(0, 3), "COM") ||
                             EqualsIgnoringCase(stem.substr(0, 3), "LPT"))) {
        return false;
    }
    // Windows also takes the superscript digits one to three (Latin-1's, in UTF-8) as port
    // numbers: "COM\u00B9" opens the first serial port.
    const std::string_view number = stem.substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

bool IsBareFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ') {
        return false;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return !IsReservedDeviceName(std::string_view(name).substr(0, name.find('.')));
}

bool IsMemberPath(const std::string& name)
{
    for (std::size_t start = 0;;) {
        const std::size_t slash = name.find('/', start);
        if (!IsBareFileName(name.substr(start, slash - start))) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
        start = slash + 1;
    }
}

std::string JoinMemberPath(const std::string& folder, const std::string& memberPath)
{
    std::string path = folder;
    for (std::size_t start = 0;;) {
        const std::size_t slash = memberPath.find('/', start);
        path = JoinPath(path, std::string_view(memberPath).substr(start, slash - start));
        if (slash == std::string::npos) {
            return path;
        }
        start = slash + 1;
    }
}

std::string PrintableText(const std::string& text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    std::string printable;
    printable.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            printable += "\\x";
            printable += Hex[byte >> 4];
            printable += Hex[byte & 0xF];
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            printable += "\\u00";
            printable += Hex[next >> 4];
            printable += Hex[next & 0xF];
            ++i;
        } else {
            printable += text[i];
        }
    }
    return printable;
}

std::string BareName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kestrel
