#include "backup/ArchiveContents.h"

#include "archive/InfoFile.h"
#include "archive/MemberName.h"
#include "platform/NameCase.h"

namespace kestrel {

ArchiveContents::ArchiveContents(FileSystem& fileSystem, ZipComponent& zip)
    : fileSystem_(fileSystem), zip_(zip)
{
}

std::optional<std::string> ArchiveContents::Add(const std::string& path, std::string& why,
                                                const std::string& memberPath)
{
    for (const Added& added : added_) {
        if (EqualsIgnoringCase(added.path, path)) {
            return added.memberName;
        }
    }
    // Opened now, so that a file that cannot be read is left out with a reason instead of
    // failing the whole write later.
    auto opened = fileSystem_.OpenInputFile(path);
    if (!opened) {
        why = opened.error().Describe();
        return std::nullopt;
    }
    opened->reset();
    const std::string name = FreeName(memberPath.empty() ? BareName(path) : memberPath);
    if (!zip_.AddFile(path, name)) {
        why = zip_.LastError();
        return std::nullopt;
    }
    added_.push_back({path, name});
    return name;
}

bool ArchiveContents::AddInfoFile(const std::string& path, std::string& why)
{
    if (!zip_.AddFile(path, InfoFileName)) {
        why = zip_.LastError();
        return false;
    }
    return true;
}

bool ArchiveContents::NameTaken(const std::string& name) const
{
    if (EqualsIgnoringCase(name, InfoFileName)) {
        return true;
    }
    for (const Added& added : added_) {
        if (EqualsIgnoringCase(added.memberName, name)) {
            return true;
        }
    }
    return false;
}

std::string ArchiveContents::FreeName(const std::string& memberPath) const
{
    if (!NameTaken(memberPath)) {
        return memberPath;
    }
    // The number goes into the file's own name, never into a folder's.
    const std::size_t nameStart = memberPath.rfind('/') + 1;
    const std::size_t dot = memberPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const std::string stem = hasExtension ? memberPath.substr(0, dot) : memberPath;
    const std::string extension = hasExtension ? memberPath.substr(dot) : std::string();
    for (int number = 2;; ++number) {
        std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (!NameTaken(candidate)) {
            return candidate;
        }
    }
}

}  // namespace kestrel
