#include "registry/ExportText.h"

#include <charconv>
#include <limits>

#include "platform/RegistryApi.h"

namespace kestrel {

namespace {

constexpr std::string_view LineEnd = "\r\n";

std::string_view TrimSpaces(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A whole decimal number, spaces around it allowed, within [low, high].
template <typename Number>
bool ParseNumber(std::string_view text, std::int64_t low, std::int64_t high, Number& result)
{
    text = TrimSpaces(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return false;
        }
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return false;
    }
    result = static_cast<Number>(value);
    return true;
}

bool ParseDword(std::string_view text, std::string& data)
{
    std::int32_t value = 0;
    if (!ParseNumber(text, std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max(), value)) {
        return false;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        data.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
    return true;
}

bool ParseBinary(std::string_view text, std::string& data)
{
    if (text.empty()) {
        return true;
    }
    while (true) {
        const std::size_t comma = text.find(',');
        std::uint8_t byte = 0;
        if (!ParseNumber(text.substr(0, comma), 0, 255, byte)) {
            return false;
        }
        data.push_back(static_cast<char>(byte));
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

// A value line: the name sits between the first character and the character before the
// first "=", the three characters after the "=" name the type, the data starts five
// characters after it. Returns an error message, or nothing when the line is fine; `value`
// stays without a type for a marker this format does not know.
std::optional<std::string> ParseValueLine(std::string_view line, ExportValue& value)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return "a value line without \"=\"";
    }
    if (equals < 2) {
        return "a value line without a quoted name before \"=\"";
    }
    value.name = std::string(line.substr(1, equals - 2));
    const std::string_view tag = TrimSpaces(line.substr(equals + 1, 3));
    const std::string_view data =
        equals + 5 <= line.size() ? line.substr(equals + 5) : std::string_view();
    value.type = reg::TypeNone;
    if (tag == "sz" || tag == "esz") {
        value.type = tag == "sz" ? reg::TypeSz : reg::TypeExpandSz;
        value.data = std::string(data);
    } else if (tag == "dw") {
        value.type = reg::TypeDword;
        if (!ParseDword(data, value.data)) {
            return "a \"dw\" value that is not a number from -2147483648 to 2147483647";
        }
    } else if (tag == "bin") {
        value.type = reg::TypeBinary;
        if (!ParseBinary(data, value.data)) {
            return "a \"bin\" value that is not a list of numbers from 0 to 255";
        }
    }
    return std::nullopt;
}

// The next line and where the one after it starts. CR LF ends a line, and so does a bare LF,
// as editors on other systems write; a CR on its own is part of the text.
std::string_view NextLine(std::string_view text, std::size_t& position)
{
    const std::size_t lf = text.find('\n', position);
    std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    if (end > position && text[end - 1] == '\r' && lf != std::string_view::npos) {
        --end;
    }
    const std::string_view line = text.substr(position, end - position);
    position = next;
    return line;
}

}  // namespace

std::optional<std::vector<ExportKey>> ParseExportText(std::string_view text, ExportTextError& error)
{
    std::vector<ExportKey> keys;
    std::string_view lastKeyLine;
    std::size_t position = 0;
    for (std::size_t number = 1; position < text.size(); ++number) {
        const std::string_view line = NextLine(text, position);
        if (line.empty()) {
            break;
        }
        // The same key line twice in a row is not a new key, and reads as a value line.
        if (line.front() == '\\' && line != lastKeyLine) {
            lastKeyLine = line;
            keys.push_back({std::string(line), line.back() == '\\', {}});
            continue;
        }
        ExportValue value;
        if (auto problem = ParseValueLine(line, value)) {
            error = {number, std::move(*problem)};
            return std::nullopt;
        }
        if (value.type != reg::TypeNone && !keys.empty()) {
            keys.back().values.push_back(std::move(value));
        }
    }
    return keys;
}

std::string FormatKeyLine(std::string_view relativePath)
{
    std::string line = relativePath.empty() ? "\\" : std::string(relativePath);
    line += LineEnd;
    return line;
}

bool IsExportedType(std::uint32_t type)
{
    return type == reg::TypeSz || type == reg::TypeExpandSz || type == reg::TypeBinary ||
           type == reg::TypeDword;
}

bool ValueLineReadsBack(std::string_view name, std::uint32_t type, std::string_view data)
{
    const bool text = type == reg::TypeSz || type == reg::TypeExpandSz;
    return name.find_first_of("=\r\n") == std::string_view::npos &&
           (!text || data.find_first_of("\r\n") == std::string_view::npos);
}

bool KeyNameReadsBack(std::string_view name)
{
    return !name.empty() && name.find_first_of("\\\r\n") == std::string_view::npos;
}

std::optional<std::string> FormatValueLine(std::string_view name, std::uint32_t type,
                                           std::string_view data)
{
    if (!IsExportedType(type) || !ValueLineReadsBack(name, type, data)) {
        return std::nullopt;
    }
    std::string line = "\"" + std::string(name) + "\"";
    switch (type) {
        case reg::TypeSz:
        case reg::TypeExpandSz:
            line += type == reg::TypeSz ? "= sz:" : "=esz:";
            // The stored terminator is not part of the text. Data stored without one keeps
            // its last character.
            if (!data.empty() && data.back() == '\0') {
                data.remove_suffix(1);
            }
            line += data;
            break;
        case reg::TypeBinary:
            line += "=bin:";
            for (std::size_t i = 0; i < data.size(); ++i) {
                line += (i == 0 ? "" : ",");
                line += std::to_string(static_cast<unsigned char>(data[i]));
            }
            break;
        case reg::TypeDword: {
            // A DWORD stored with fewer than four bytes reads as if the rest were zero.
            std::uint32_t bits = 0;
            for (std::size_t i = 0; i < 4 && i < data.size(); ++i) {
                bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
            }
            line += "= dw:" + std::to_string(static_cast<std::int32_t>(bits));
            break;
        }
        default:
            return std::nullopt;
    }
    line += LineEnd;
    return line;
}

}  // namespace kestrel
