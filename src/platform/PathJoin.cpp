#include "platform/PathJoin.h"

#include <algorithm>

namespace kestrel {

std::string JoinPath(std::string_view folder, std::string_view name)
{
    if (folder.empty()) {
        return std::string(name);
    }
    constexpr std::string_view Separators = "\\/";
    name.remove_prefix(std::min(name.size(), name.find_first_not_of(Separators)));
    std::string path(folder);
    if (Separators.find(folder.back()) == std::string_view::npos) {
        path += folder.front() == '/' ? '/' : '\\';
    }
    return path.append(name);
}

std::string ParentFolder(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string()
                                           : std::string(path.substr(0, slash == 0 ? 1 : slash));
}

}  // namespace kestrel
