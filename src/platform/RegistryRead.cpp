#include "platform/RegistryRead.h"

#include "platform/CodePage.h"

#include <cstring>
#include <vector>

namespace kestrel {
namespace {

// Reads a value's type and bytes through a handle opened for reading, growing the buffer
// when the value changes size between the two calls.
bool ReadRawValue(RegistryApi& registry, reg::Key root, const std::string& subKey,
                  const std::string& valueName, std::uint32_t& type,
                  std::vector<std::uint8_t>& data)
{
    reg::Key key = 0;
    if (registry.OpenKeyEx(root, Utf8ToAnsi(subKey).c_str(), reg::KeyRead, &key) != reg::Success) {
        return false;
    }
    long result = reg::MoreData;
    std::uint32_t size = 256;
    for (int attempt = 0; attempt < 4 && result == reg::MoreData; ++attempt) {
        data.assign(size, 0);
        result =
            registry.QueryValueEx(key, Utf8ToAnsi(valueName).c_str(), &type, data.data(), &size);
    }
    registry.CloseKey(key);
    if (result != reg::Success) {
        return false;
    }
    data.resize(size);
    return true;
}

}  // namespace

std::optional<std::string> ReadRegistryString(RegistryApi& registry, reg::Key root,
                                              const std::string& subKey,
                                              const std::string& valueName)
{
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!ReadRawValue(registry, root, subKey, valueName, type, data) ||
        (type != reg::TypeSz && type != reg::TypeExpandSz)) {
        return std::nullopt;
    }
    std::string text(data.begin(), data.end());
    return AnsiToUtf8(text.substr(0, text.find('\0')));
}

std::optional<std::uint32_t> ReadRegistryDword(RegistryApi& registry, reg::Key root,
                                               const std::string& subKey,
                                               const std::string& valueName)
{
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!ReadRawValue(registry, root, subKey, valueName, type, data) || type != reg::TypeDword ||
        data.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, data.data(), 4);  // registry DWORDs are little-endian, as is the host
    return value;
}

}  // namespace kestrel
