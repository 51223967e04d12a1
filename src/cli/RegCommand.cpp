// kestrel reg: registry files and trees, on the Linux store or the Windows registry.

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/HostPath.h"
#include "cli/ToolCommands.h"
#include "platform/CodePage.h"
#include "platform/FileContents.h"
#include "registry/KeyExport.h"
#include "registry/RegFile.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryWalk.h"
#include "ui/Messages.h"

namespace kestrel {

namespace {

constexpr const char* Usage =
    "usage: kestrel reg COMMAND ...\n"
    "  import FILE.reg            apply a registry file (version 5 or REGEDIT4)\n"
    "  export KEY FILE.reg        write the tree at KEY as a version 5 registry file\n"
    "  import-tree KEY FILE       replace the tree at KEY by a backup's export text\n"
    "  export-tree KEY FILE       write the tree at KEY as a backup's export text\n"
    "  query KEY [VALUE]          list the values and subkeys of KEY, or one value\n"
    "KEY is a full path such as HKEY_CURRENT_USER\\Software\\Microsoft.\n";

// The tool has nobody to click a message box: messages are errors on standard error.
class StderrMessages final : public Messages {
public:
    MessageAnswer Show(const std::string& text, const std::string&, MessageIcon,
                       MessageButtons) override
    {
        std::string line = text;
        for (char& c : line) {
            c = c == '\n' ? ' ' : c;
        }
        std::fprintf(stderr, "kestrel reg: %s\n", line.c_str());
        return MessageAnswer::Ok;
    }
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "kestrel reg: %s\n", message.c_str());
    return 1;
}

// A key path the registry can address: well-formed, with a known root, and there when
// mustExist. Reports the problem itself.
bool UsableKey(RegistryAccess& access, const std::string& keyPath, bool mustExist)
{
    std::string subKey = keyPath;
    reg::Key root = 0;
    access.ParseKeyPath(subKey, root);
    if (root == 0) {
        if (keyPath.compare(0, 5, "HKEY_") == 0 && keyPath.back() != '\\') {
            Fail("unknown root key in " + keyPath);
        }
        return false;
    }
    if (mustExist && !access.KeyExists(keyPath)) {
        Fail("no such key: " + keyPath);
        return false;
    }
    return true;
}

std::string TypeName(std::uint32_t type)
{
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    if (type < std::size(names)) {
        return names[type];
    }
    char text[24];
    std::snprintf(text, sizeof text, "REG_0x%x", type);
    return text;
}

std::uint64_t LittleEndian(const std::string& data, std::size_t bytes)
{
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < bytes && i < data.size(); ++i) {
        number |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    }
    return number;
}

std::string DataText(std::uint32_t type, const std::string& data)
{
    char number[32];
    if (type == reg::TypeSz || type == reg::TypeExpandSz) {
        return AnsiToUtf8(data.substr(0, data.find('\0')));
    }
    if (type == reg::TypeMultiSz) {
        std::string text = AnsiToUtf8(data);
        while (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        for (std::size_t at = 0; (at = text.find('\0', at)) != std::string::npos;) {
            text.replace(at, 1, "\\0");
        }
        return text;
    }
    if ((type == reg::TypeDword && data.size() == 4) ||
        (type == reg::TypeQword && data.size() == 8)) {
        std::snprintf(number, sizeof number, "0x%llx",
                      static_cast<unsigned long long>(LittleEndian(data, data.size())));
        return number;
    }
    std::string text;
    for (const char byte : data) {
        std::snprintf(number, sizeof number, "%02X", static_cast<unsigned char>(byte));
        text += number;
    }
    return text;
}

void PrintValue(const std::string& name, std::uint32_t type, const std::string& data)
{
    const std::string shown = name.empty() ? "(Default)" : AnsiToUtf8(name);
    std::printf("    %s    %s    %s\n", shown.c_str(), TypeName(type).c_str(),
                DataText(type, data).c_str());
}

int Query(RegistryAccess& access, const std::string& keyPath, const std::string* valueName)
{
    if (!UsableKey(access, keyPath, true)) {
        return 1;
    }
    RegistryApi& api = access.Api();
    const reg::Key key = access.OpenPath(keyPath, reg::KeyRead);
    std::string name;
    std::string data;
    std::uint32_t type = 0;
    if (valueName != nullptr) {
        const std::string wanted = Utf8ToAnsi(*valueName);
        std::uint32_t size = 0;
        long rc = api.QueryValueEx(key, wanted.c_str(), &type, nullptr, &size);
        data.resize(size);
        if (rc == reg::Success) {
            rc = api.QueryValueEx(key, wanted.c_str(), &type,
                                  reinterpret_cast<std::uint8_t*>(data.data()), &size);
        }
        access.Close(key);
        if (rc != reg::Success) {
            return Fail("no value \"" + *valueName + "\" in " + keyPath);
        }
        std::printf("%s\n", keyPath.c_str());
        PrintValue(wanted, type, data.substr(0, size));
        return 0;
    }
    std::printf("%s\n", keyPath.c_str());
    for (std::uint32_t index = 0; ValueAt(api, key, index, name, type, data); ++index) {
        PrintValue(name, type, data);
    }
    std::printf("\n");
    for (std::uint32_t index = 0; SubkeyAt(api, key, index, name); ++index) {
        std::printf("%s\\%s\n", keyPath.c_str(), AnsiToUtf8(name).c_str());
    }
    access.Close(key);
    return 0;
}

int ImportRegFile(RegistryAccess& access, FileSystem& files, const std::string& file)
{
    const auto bytes = ReadWholeFile(files, HostPath(file));
    if (!bytes) {
        return Fail(bytes.error().Describe());
    }
    RegFileError error;
    const auto keys = ParseRegFile(*bytes, error);
    if (!keys) {
        return Fail(file + ":" + std::to_string(error.line) + ": " + error.message);
    }
    if (const auto failure = ApplyRegFile(access, *keys)) {
        return Fail(*failure);
    }
    return 0;
}

int ExportRegFile(RegistryAccess& access, FileSystem& files, const std::string& keyPath,
                  const std::string& file)
{
    if (!UsableKey(access, keyPath, true)) {
        return 1;
    }
    const std::string text = FormatRegFile(ReadRegistryTree(access, keyPath));
    if (const auto error = ReplaceFile(files, HostPath(file), text)) {
        return Fail(error->Describe());
    }
    return 0;
}

int ImportTree(RegistryAccess& access, FileSystem& files, const std::string& keyPath,
               const std::string& file)
{
    if (!UsableKey(access, keyPath, false)) {
        return 1;
    }
    if (const auto error = ImportKeyFile(access, keyPath, files, HostPath(file))) {
        return Fail(error->line == 0
                        ? error->message
                        : file + ":" + std::to_string(error->line) + ": " + error->message);
    }
    return 0;
}

int ExportTree(RegistryAccess& access, FileSystem& files, const std::string& keyPath,
               const std::string& file)
{
    if (!UsableKey(access, keyPath, true)) {
        return 1;
    }
    return ExportKeyTree(access, keyPath, "", files, HostPath(file)) ? 0
                                                                     : Fail("cannot write " + file);
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& arguments, Platform& platform)
{
    StderrMessages messages;
    RegistryAccess access(*platform.registry, messages);
    const std::size_t count = arguments.size();
    const std::string command = count > 0 ? arguments[0] : "";
    if (command == "import" && count == 2) {
        return ImportRegFile(access, *platform.fileSystem, arguments[1]);
    }
    if (command == "export" && count == 3) {
        return ExportRegFile(access, *platform.fileSystem, arguments[1], arguments[2]);
    }
    if (command == "import-tree" && count == 3) {
        return ImportTree(access, *platform.fileSystem, arguments[1], arguments[2]);
    }
    if (command == "export-tree" && count == 3) {
        return ExportTree(access, *platform.fileSystem, arguments[1], arguments[2]);
    }
    if (command == "query" && (count == 2 || count == 3)) {
        return Query(access, arguments[1], count == 3 ? &arguments[2] : nullptr);
    }
    std::fputs(Usage, command == "--help" ? stdout : stderr);
    return command == "--help" ? 0 : 2;
}

}  // namespace kestrel
