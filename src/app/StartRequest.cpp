#include "app/StartRequest.h"

#include <algorithm>
#include <cctype>

namespace kestrel {
namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
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
