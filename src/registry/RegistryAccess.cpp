#include "registry/RegistryAccess.h"

#include <array>
#include <utility>

#include "platform/CodePage.h"

namespace kestrel {

namespace {

constexpr std::array<std::pair<const char*, reg::Key>, 7> RootNames = {{
    {"HKEY_CLASSES_ROOT", reg::HkeyClassesRoot},
    {"HKEY_CURRENT_USER", reg::HkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", reg::HkeyLocalMachine},
    {"HKEY_USERS", reg::HkeyUsers},
    {"HKEY_PERFORMANCE_DATA", reg::HkeyPerformanceData},
    {"HKEY_CURRENT_CONFIG", reg::HkeyCurrentConfig},
    {"HKEY_DYN_DATA", reg::HkeyDynData},
}};

}  // namespace

reg::Key RegistryAccess::GetRootKey(const std::string& rootName)
{
    for (const auto& [name, key] : RootNames) {
        if (rootName == name) {
            return key;
        }
    }
    return 0;
}

void RegistryAccess::ParseKeyPath(std::string& path, reg::Key& root)
{
    root = 0;
    if (path.compare(0, 5, "HKEY_") != 0 || path.back() == '\\') {
        messages_.Show("Incorrect Format:\n\n" + path, texts::ApplicationTitle, MessageIcon::None,
                       MessageButtons::Ok);
    } else if (const std::size_t slash = path.find('\\'); slash != std::string::npos) {
        root = GetRootKey(path.substr(0, slash));
        path.erase(0, slash + 1);
    } else {
        root = GetRootKey(path);
        path.clear();
    }
}

reg::Key RegistryAccess::OpenPath(const std::string& keyPath, std::uint32_t access)
{
    std::string subKey = keyPath;
    reg::Key root = 0;
    ParseKeyPath(subKey, root);
    if (root == 0) {
        return 0;
    }
    reg::Key key = 0;
    if (Record(api_.OpenKeyEx(root, Utf8ToAnsi(subKey).c_str(), access, &key)) != reg::Success) {
        return 0;
    }
    return key;
}

void RegistryAccess::Close(reg::Key key)
{
    api_.CloseKey(key);
}

std::string RegistryAccess::GetStringValue(const std::string& keyPath, const std::string& valueName)
{
    std::string subKey = keyPath;
    reg::Key root = 0;
    ParseKeyPath(subKey, root);
    if (root == 0) {
        return {};
    }
    reg::Key key = 0;
    if (Record(api_.OpenKeyEx(root, Utf8ToAnsi(subKey).c_str(), reg::KeyRead, &key)) !=
        reg::Success) {
        return ErrorMarker;
    }
    std::string buffer(StringBufferBytes, ' ');
    std::uint32_t size = StringBufferBytes;
    std::uint32_t type = reg::TypeSz;
    const long rc =
        Record(api_.QueryValueEx(key, Utf8ToAnsi(valueName).c_str(), &type,
                                 reinterpret_cast<std::uint8_t*>(buffer.data()), &size));
    api_.CloseKey(key);
    if (rc != reg::Success) {
        return ErrorMarker;
    }
    // Only the bytes the call returned: data stored without a NUL must not pick up the
    // buffer's filling.
    buffer.resize(size);
    buffer.resize(buffer.find('\0') == std::string::npos ? size : buffer.find('\0'));
    return AnsiToUtf8(buffer);
}

void RegistryAccess::SetStringValue(const std::string& keyPath, const std::string& valueName,
                                    const std::string& text)
{
    const reg::Key key = OpenPath(keyPath, reg::KeyWrite);
    if (key == 0) {
        return;
    }
    const std::string data = Utf8ToAnsi(text);
    Record(api_.SetValueEx(key, Utf8ToAnsi(valueName).c_str(), reg::TypeSz,
                           reinterpret_cast<const std::uint8_t*>(data.data()),
                           static_cast<std::uint32_t>(data.size())));
    api_.CloseKey(key);
}

long RegistryAccess::DeleteKey(const std::string& keyPath)
{
    std::string subKey = keyPath;
    reg::Key root = 0;
    ParseKeyPath(subKey, root);
    if (root == 0) {
        return reg::InvalidHandle;
    }
    if (subKey.empty()) {
        return reg::AccessDenied;
    }
    // A key right under a root is deleted through a handle to the root itself.
    const std::size_t slash = subKey.rfind('\\');
    const std::string parentPath = slash == std::string::npos ? "" : subKey.substr(0, slash);
    const std::string name = slash == std::string::npos ? subKey : subKey.substr(slash + 1);
    reg::Key parent = 0;
    if (Record(api_.OpenKeyEx(root, Utf8ToAnsi(parentPath).c_str(), reg::KeyWrite, &parent)) !=
        reg::Success) {
        return lastResult_;
    }
    const long rc = Record(api_.DeleteKey(parent, Utf8ToAnsi(name).c_str()));
    api_.CloseKey(parent);
    return rc;
}

void RegistryAccess::DeleteValue(const std::string& keyPath, const std::string& valueName)
{
    const reg::Key key = OpenPath(keyPath, reg::KeyWrite);
    if (key == 0) {
        return;
    }
    Record(api_.DeleteValue(key, Utf8ToAnsi(valueName).c_str()));
    api_.CloseKey(key);
}

std::vector<std::string> RegistryAccess::EnumSubKeys(const std::string& keyPath)
{
    std::vector<std::string> names;
    const reg::Key key = OpenPath(keyPath, reg::KeyRead);
    if (key == 0) {
        return names;
    }
    for (std::uint32_t index = 0;; ++index) {
        std::string name(NameBufferChars, ' ');
        std::uint32_t length = NameBufferChars;
        // Any failure ends the list, not only "no more items": a key deleted meanwhile fails
        // at every index and would never end it.
        if (Record(api_.EnumKeyEx(key, index, name.data(), &length)) != reg::Success) {
            break;
        }
        name.resize(length);
        name.resize(name.find('\0') == std::string::npos ? length : name.find('\0'));
        names.push_back(AnsiToUtf8(name));
    }
    api_.CloseKey(key);
    return names;
}

bool RegistryAccess::KeyExists(const std::string& keyPath)
{
    const reg::Key key = OpenPath(keyPath, reg::KeyRead);
    if (key == 0) {
        return false;
    }
    api_.CloseKey(key);
    return true;
}

}  // namespace kestrel
