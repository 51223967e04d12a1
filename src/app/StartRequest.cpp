#include "app/StartRequest.h"

#include <string_view>

#include "platform/NameCase.h"

namespace kestrel {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

bool NamesBackupFile(const std::vector<std::string>& arguments, FileSystem* files)
{
    if (arguments.size() != 1 || files == nullptr) {
        return false;
    }
    const std::string& path = arguments.front();
    return !StartsWithNoCase(path, "sf=") && EndsWithNoCase(path, ".ksb") &&
           files->FileExists(path);
}

}  // namespace

StartRequest ChooseStart(const std::string& argumentText, const std::vector<std::string>& arguments,
                         FileSystem* files)
{
    if (argumentText.empty()) {
        return {StartKind::MainWindow, ""};
    }
    if (NamesBackupFile(arguments, files)) {
        return {StartKind::OpenBackup, arguments.front()};
    }
    return {StartKind::Unattended, argumentText};
}

}  // namespace kestrel
