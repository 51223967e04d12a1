// The readers of data-file paths in binary profile values, and the path replacement, on
// arbitrary values. Beyond not crashing: a path read is valid UTF-8 and starts as a path does;
// hex text reads back to the same bytes; the registry readers agree with the byte logic, also
// past the first data buffer and behind a name too long for the name buffer; the replacement
// writes nothing when the value cannot be read, and otherwise writes exactly the bytes of the
// replaced hex text, through a key opened for writing; no key is left open.
//
// Input: one byte of flags, the lengths of the old and the new path (one byte each), the two
// paths, then the value's data.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/DataStorePaths.h"
#include "platform/RegistryApi.h"
#include "platform/Utf8.h"
#include "registry/RegistryAccess.h"
#include "ui/Messages.h"

namespace {

using namespace kestrel;

enum Flags : unsigned {
    TextType = 1,       // the value is REG_SZ, not REG_BINARY
    UpperCaseName = 2,  // the value is named "01020FFF"
    MissingKey = 4,     // the section's key does not exist
    LongNameFirst = 8,  // a value with a 300-character name comes before it
    ZeroPadding = 16,   // the value starts with 5000 zero bytes, which neither decoder sees
};

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

struct StoredValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

// One key under HKEY_CURRENT_USER with the Win32 rules that matter here: access checked per
// handle, reg::MoreData with the needed size for data that does not fit, and also for a name
// that does not fit.
class MemoryRegistry final : public RegistryApi {
public:
    std::string subKey;
    bool keyExists = true;
    std::vector<StoredValue> values;
    int writes = 0;

    std::size_t OpenHandles() const { return handles_.size(); }

    long OpenKeyEx(reg::Key key, const char* sub, std::uint32_t access, reg::Key* result) override
    {
        if (key != reg::HkeyCurrentUser || !keyExists || sub == nullptr || subKey != sub) {
            return reg::FileNotFound;
        }
        *result = ++lastHandle_;
        handles_[*result] = access;
        return reg::Success;
    }
    long CloseKey(reg::Key key) override
    {
        return handles_.erase(key) == 1 ? reg::Success : reg::InvalidHandle;
    }
    long QueryValueEx(reg::Key, const char*, std::uint32_t*, std::uint8_t*, std::uint32_t*) override
    {
        return reg::FileNotFound;
    }
    long SetValueEx(reg::Key key, const char* name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override
    {
        const auto handle = handles_.find(key);
        Require(handle != handles_.end() && (handle->second & reg::KeySetValue) != 0);
        ++writes;
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        for (StoredValue& value : values) {
            if (value.name == name) {
                value = {name, type, bytes};
                return reg::Success;
            }
        }
        values.push_back({name, type, bytes});
        return reg::Success;
    }
    long CreateKey(reg::Key, const char*, reg::Key*) override { return reg::AccessDenied; }
    long DeleteKey(reg::Key, const char*) override { return reg::AccessDenied; }
    long DeleteValue(reg::Key, const char*) override { return reg::AccessDenied; }
    long EnumKeyEx(reg::Key, std::uint32_t, char*, std::uint32_t*) override
    {
        return reg::NoMoreItems;
    }
    long EnumValue(reg::Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                   std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override
    {
        const auto handle = handles_.find(key);
        if (handle == handles_.end()) {
            return reg::InvalidHandle;
        }
        if ((handle->second & reg::KeyQueryValue) == 0) {
            return reg::AccessDenied;
        }
        if (index >= values.size()) {
            return reg::NoMoreItems;
        }
        const StoredValue& value = values[index];
        bool fits = value.name.size() < *nameSize;
        if (fits) {
            std::memcpy(name, value.name.c_str(), value.name.size() + 1);
            *nameSize = static_cast<std::uint32_t>(value.name.size());
        }
        if (type != nullptr) {
            *type = value.type;
        }
        if (dataSize != nullptr) {
            const std::uint32_t capacity = *dataSize;
            *dataSize = static_cast<std::uint32_t>(value.data.size());
            if (data != nullptr && value.data.size() > capacity) {
                fits = false;
            } else if (data != nullptr) {
                std::memcpy(data, value.data.data(), value.data.size());
            }
        }
        return fits ? reg::Success : reg::MoreData;
    }
    void BeginBatch() override {}
    long EndBatch(bool) override { return reg::Success; }

private:
    std::map<reg::Key, std::uint32_t> handles_;
    reg::Key lastHandle_ = 0x1000;
};

// "Error", or valid UTF-8 starting with two backslashes or with one character and ":\".
void CheckPath(const std::string& path)
{
    if (path == RegistryAccess::ErrorMarker) {
        return;
    }
    Require(IsValidUtf8(path));
    if (path.compare(0, 2, "\\\\") == 0) {
        return;
    }
    Require(path.compare(DecodeUtf8(path, 0).length, 2, ":\\") == 0);
}

// The first piece of a rendering has two digits, so it can only match a whole byte.
bool StartsWithTwoDigits(const std::string& hex)
{
    return hex.size() >= 2 && hex[1] != '=';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) {
        return 0;
    }
    const unsigned flags = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::string oldPath(rest.substr(0, data[1]));
    const std::string newPath(rest.substr(oldPath.size(), data[2]));
    const std::string value(rest.substr(oldPath.size() + newPath.size()));

    // The byte and text logic on its own.
    const std::string widePath = CutPath(DecodeWideText(value));
    const std::string ansiPath = CutPath(DecodeAnsiText(value));
    CheckPath(widePath);
    CheckPath(ansiPath);
    Require(ParseHex(RenderHex(value)) == value);
    for (const std::string& text : {oldPath, newPath}) {
        for (const std::string& hex : {EncodeTextWide(text), EncodeTextBytes(text)}) {
            Require(hex.empty() || (hex.back() == '=' && ParseHex(hex.substr(0, hex.size() - 1))));
        }
    }

    // The same value in a profile section.
    MemoryRegistry registry;
    registry.subKey = "Software\\Profiles\\Outlook\\0a0d020000000000c000000000000046";
    registry.keyExists = (flags & MissingKey) == 0;
    if (flags & LongNameFirst) {
        registry.values.push_back({"0" + std::string(299, 'f'), reg::TypeBinary, "C:\\x"});
    }
    const std::string stored = (flags & ZeroPadding ? std::string(5000, '\0') : "") + value;
    const std::string storedName = flags & UpperCaseName ? "01020FFF" : StoreIdentifierValue;
    registry.values.push_back(
        {storedName, flags & TextType ? reg::TypeSz : reg::TypeBinary, stored});
    SilentMessages messages;
    RegistryAccess access(registry, messages);
    const std::string keyPath = "HKEY_CURRENT_USER\\" + registry.subKey;

    const bool readable = (flags & (TextType | UpperCaseName | MissingKey)) == 0;
    const std::string hex = ReadBinaryValueHex(access, keyPath, StoreIdentifierValue);
    Require(hex == (readable ? RenderHex(stored) : RegistryAccess::ErrorMarker));
    Require(DecodeWidePathValue(access, keyPath, StoreIdentifierValue) ==
            (readable ? widePath : RegistryAccess::ErrorMarker));
    Require(DecodeAnsiPathValue(access, keyPath, StoreIdentifierValue) ==
            (readable ? ansiPath : RegistryAccess::ErrorMarker));

    ReplacePathInBinaryValue(access, keyPath, StoreIdentifierValue, oldPath, newPath);
    const StoredValue& after = registry.values.back();
    Require(registry.OpenHandles() == 0);
    if (hex == RegistryAccess::ErrorMarker || hex.empty()) {
        Require(registry.writes == 0 && after.data == stored);
        return 0;
    }
    const std::string replaced = ReplacePathInHex(hex, oldPath, newPath);
    const auto bytes = ParseHex(replaced);
    if (!bytes) {
        Require(registry.writes == 0 && after.data == stored);
        // Only a rendering that starts with a one-digit byte can split a byte's digits.
        Require(!StartsWithTwoDigits(EncodeTextWide(oldPath)) ||
                !StartsWithTwoDigits(EncodeTextBytes(oldPath)));
        return 0;
    }
    Require(registry.writes == 1 && after.name == storedName && after.type == reg::TypeBinary);
    Require(after.data == *bytes && RenderHex(after.data) == replaced);
    return 0;
}
