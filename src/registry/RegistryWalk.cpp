#include "registry/RegistryWalk.h"

#include <algorithm>
#include <vector>

#include "registry/RegistryAccess.h"

namespace kestrel {

namespace {

// Windows' limit for a value name; only asked for when a name does not fit the usual buffer.
constexpr std::uint32_t LongestValueName = 16384;
constexpr std::uint32_t FirstDataBuffer = 4096;

}  // namespace

bool SubkeyAt(RegistryApi& api, reg::Key key, std::uint32_t index, std::string& name)
{
    name.assign(RegistryAccess::NameBufferChars, ' ');
    std::uint32_t length = RegistryAccess::NameBufferChars;
    if (api.EnumKeyEx(key, index, name.data(), &length) != reg::Success) {
        return false;
    }
    name.resize(std::min<std::size_t>(length, name.size()));
    name.resize(std::min(name.size(), name.find('\0')));
    return true;
}

bool ValueAt(RegistryApi& api, reg::Key key, std::uint32_t index, std::string& name,
             std::uint32_t& type, std::string& data)
{
    std::uint32_t nameLength = RegistryAccess::NameBufferChars;
    std::uint32_t dataSize = FirstDataBuffer;
    name.assign(nameLength, ' ');
    data.assign(dataSize, '\0');
    long rc = api.EnumValue(key, index, name.data(), &nameLength, &type,
                            reinterpret_cast<std::uint8_t*>(data.data()), &dataSize);
    if (rc == reg::MoreData) {
        nameLength = LongestValueName;
        name.assign(nameLength, ' ');
        data.assign(std::max(dataSize, FirstDataBuffer), '\0');
        dataSize = static_cast<std::uint32_t>(data.size());
        rc = api.EnumValue(key, index, name.data(), &nameLength, &type,
                           reinterpret_cast<std::uint8_t*>(data.data()), &dataSize);
    }
    if (rc != reg::Success) {
        return false;
    }
    name.resize(std::min<std::size_t>(nameLength, name.size()));
    data.resize(std::min<std::size_t>(dataSize, data.size()));
    return true;
}

void DeleteTree(RegistryApi& api, reg::Key root, const std::string& subKey)
{
    // The names are gathered first: deleting while enumerating would shift the indexes.
    std::vector<std::string> names;
    reg::Key key = 0;
    if (api.OpenKeyEx(root, subKey.c_str(), reg::KeyRead, &key) == reg::Success) {
        std::string name;
        for (std::uint32_t index = 0; SubkeyAt(api, key, index, name); ++index) {
            names.push_back(name);
        }
        api.CloseKey(key);
    }
    for (const std::string& name : names) {
        DeleteTree(api, root, subKey + "\\" + name);
    }
    const std::size_t slash = subKey.rfind('\\');
    const std::string parentPath = slash == std::string::npos ? "" : subKey.substr(0, slash);
    reg::Key parent = 0;
    if (api.OpenKeyEx(root, parentPath.c_str(), reg::KeyWrite, &parent) == reg::Success) {
        api.DeleteKey(parent, subKey.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
        api.CloseKey(parent);
    }
}

}  // namespace kestrel
