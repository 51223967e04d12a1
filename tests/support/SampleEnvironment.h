#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "registry/RegistryAccess.h"

namespace kestrel::testing {

// tests/data, in a form the test program can open (under Wine: through drive Z:).
std::filesystem::path TestDataFolder();

// One of the machines in tests/data/environments, installed for a test: its Outlook keys
// imported into the registry and its file trees copied to where their Windows paths lead
// (C:\ through the file system; network shares only on Linux, where they are folders of the
// environment root). Whatever was not there before is removed again when the object goes, so
// tests can share Wine's registry and drive C: one after another.
class SampleEnvironment {
public:
    SampleEnvironment(const std::string& name, RegistryAccess& registry, FileSystem& fileSystem);
    ~SampleEnvironment();
    SampleEnvironment(const SampleEnvironment&) = delete;
    SampleEnvironment& operator=(const SampleEnvironment&) = delete;

private:
    void ImportRegistry(const std::filesystem::path& regFile);
    void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to);

    RegistryAccess& registry_;
    std::vector<std::string> addedKeys_;
    std::vector<std::pair<std::string, std::string>> addedValues_;
    std::vector<std::filesystem::path> addedFiles_;
};

}  // namespace kestrel::testing
