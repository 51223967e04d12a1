#include "cli/CommandArguments.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iostream>

#include "archive/ItemTable.h"
#include "cli/HostPath.h"
#include "platform/FileContents.h"
#include "platform/NameCase.h"

namespace kestrel {
namespace {

// A password file is one line; anything this large is not one.
constexpr std::uint64_t MaxPasswordFileBytes = 64 * 1024;

}  // namespace

bool TakePasswordOption(const std::vector<std::string>& arguments, std::size_t& i,
                        PasswordFrom& from, std::string& file, std::string& why)
{
    const std::string& argument = arguments[i];
    if (argument == "--password") {
        why =
            "--password is refused: other users see it in the process list; use "
            "--password-stdin or --password-file";
        return true;
    }
    const bool fromFile = argument == "--password-file";
    if (!fromFile && argument != "--password-stdin") {
        return false;
    }
    const PasswordFrom other = fromFile ? PasswordFrom::StandardInput : PasswordFrom::File;
    if (from == other) {
        why = "choose one of --password-stdin and --password-file";
        return true;
    }
    if (!fromFile) {
        from = PasswordFrom::StandardInput;
        return true;
    }
    if (i + 1 >= arguments.size()) {
        why = argument + " needs a value";
        return true;
    }
    from = PasswordFrom::File;
    file = arguments[++i];
    return true;
}

std::string PasswordLine(std::string_view text)
{
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::optional<std::string> ReadPassword(PasswordFrom from, const std::string& file,
                                        Platform& platform, std::string& why)
{
    if (from == PasswordFrom::StandardInput) {
        std::string line;
        std::getline(std::cin, line);
        return PasswordLine(line);
    }
    Result<std::string> bytes =
        ReadWholeFile(*platform.fileSystem, HostPath(file), MaxPasswordFileBytes);
    if (!bytes) {
        why = bytes.error().Describe();
        return std::nullopt;
    }
    return PasswordLine(*bytes);
}

std::string ItemFlagsFormatProblem(const std::string& flags)
{
    if (flags.empty() || flags.size() > static_cast<std::size_t>(ItemBoxCount) ||
        flags.find_first_not_of("01") != std::string::npos) {
        return "--items takes 1 to 9 characters, each 0 or 1, not \"" + flags + "\"";
    }
    return {};
}

std::string ItemFlagsProblem(const std::string& flags)
{
    if (std::string why = ItemFlagsFormatProblem(flags); !why.empty()) {
        return why;
    }
    if (flags.find('1') == std::string::npos) {
        return "--items selects no item";
    }
    return {};
}

std::optional<int> KeepArgument(const std::string& text)
{
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int keep = std::stoi(text);
    return keep >= 1 && keep <= 99 ? std::optional(keep) : std::nullopt;
}

std::optional<std::string> FindProfile(const AppState& state, const std::string& name)
{
    const auto found =
        std::find_if(state.ProfileNames.begin(), state.ProfileNames.end(),
                     [&](const std::string& profile) { return EqualsIgnoringCase(profile, name); });
    return found == state.ProfileNames.end() ? std::nullopt : std::optional(*found);
}

std::string QuotedProfileNames(const AppState& state)
{
    std::string known;
    for (const std::string& name : state.ProfileNames) {
        known += (known.empty() ? "\"" : ", \"") + name + "\"";
    }
    return known;
}

std::string ArchiveArgumentPath(const std::string& argument)
{
    const bool drive = argument.size() >= 2 && argument[1] == ':' &&
                       std::isalpha(static_cast<unsigned char>(argument[0]));
    const bool unc = argument.rfind("\\\\", 0) == 0;
    return drive || unc ? argument : HostPath(argument);
}

std::string HostTargetProblem(const std::string& path)
{
    if (path.rfind('/', 0) != 0 || path.find('\\') == std::string::npos) {
        return {};
    }
    return "the archive " + path +
           " holds a \"\\\", which the program reads as a folder separator as Windows does, "
           "so no archive can be written there";
}

}  // namespace kestrel
