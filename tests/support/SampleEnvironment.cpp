#include "support/SampleEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "registry/KeyExport.h"
#include "registry/RegFile.h"

namespace kestrel::testing {
namespace {

bool ValueExists(RegistryAccess& registry, const std::string& keyPath, const std::string& name)
{
    const reg::Key key = registry.OpenPath(keyPath, reg::KeyRead);
    if (key == 0) {
        return false;
    }
    std::uint32_t size = 0;
    const long result = registry.Api().QueryValueEx(key, name.c_str(), nullptr, nullptr, &size);
    registry.Close(key);
    return result == reg::Success;
}

}  // namespace

std::filesystem::path TestDataFolder()
{
    std::string folder = KESTREL_TEST_DATA;
#ifdef _WIN32
    // A Linux path seen from Wine lies on drive Z:.
    if (!folder.empty() && folder.front() == '/') {
        folder = "Z:" + folder;
    }
#endif
    return std::filesystem::path(folder);
}

SampleEnvironment::SampleEnvironment(const std::string& name, RegistryAccess& registry,
                                     FileSystem& fileSystem)
    : registry_(registry)
{
    const std::filesystem::path folder = TestDataFolder() / "environments" / name;
    ImportRegistry(folder / "outlook.reg");
    CopyTree(folder / "drive_c", fileSystem.NativePath("C:\\"));
#ifndef _WIN32
    // unc/SERVER/SHARE/... holds the shares' contents.
    std::error_code none;
    for (const auto& server : std::filesystem::directory_iterator(folder / "unc", none)) {
        for (const auto& share : std::filesystem::directory_iterator(server.path())) {
            CopyTree(share.path(),
                     fileSystem.NativePath("\\\\" + server.path().filename().string() + "\\" +
                                           share.path().filename().string()));
        }
    }
#endif
}

SampleEnvironment::~SampleEnvironment()
{
    for (const auto& [key, value] : addedValues_) {
        registry_.DeleteValue(key, value);
    }
    for (const std::string& key : addedKeys_) {
        DeleteKeyTree(registry_, key);
    }
    std::error_code ignored;
    for (auto file = addedFiles_.rbegin(); file != addedFiles_.rend(); ++file) {
        std::filesystem::remove_all(*file, ignored);
    }
}

void SampleEnvironment::ImportRegistry(const std::filesystem::path& regFile)
{
    std::ifstream in(regFile, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    RegFileError error;
    const auto keys = ParseRegFile(bytes.str(), error);
    ASSERT_TRUE(keys.has_value()) << regFile << ":" << error.line << ": " << error.message;
    // Remember what the import adds (new keys, new values of keys that were there) before
    // anything changes; a key below a new one goes with it, and goes again harmlessly.
    for (const RegFileKey& key : *keys) {
        if (!registry_.KeyExists(key.path)) {
            addedKeys_.push_back(key.path);
            continue;
        }
        for (const RegFileValue& value : key.values) {
            if (!ValueExists(registry_, key.path, value.name)) {
                addedValues_.emplace_back(key.path, value.name);
            }
        }
    }
    const auto failure = ApplyRegFile(registry_, *keys);
    ASSERT_FALSE(failure.has_value()) << regFile << ": " << *failure;
}

void SampleEnvironment::CopyTree(const std::filesystem::path& from, const std::filesystem::path& to)
{
    ASSERT_FALSE(to.empty()) << "no place for " << from;
    for (const auto& entry : std::filesystem::directory_iterator(from)) {
        const std::filesystem::path target = to / entry.path().filename();
        if (std::filesystem::exists(target) && entry.is_directory()) {
            CopyTree(entry.path(), target);
            continue;
        }
        ASSERT_FALSE(std::filesystem::exists(target)) << target << " is in the way";
        std::filesystem::create_directories(to);
        std::filesystem::copy(entry.path(), target, std::filesystem::copy_options::recursive);
        addedFiles_.push_back(target);
    }
}

}  // namespace kestrel::testing
