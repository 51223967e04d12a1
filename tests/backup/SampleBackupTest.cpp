// A whole backup of each sample machine's profile, over the registry and file system of the
// system the tests run on (the SQLite store and the emulated drive natively, Wine's registry
// and drive C: under Wine): every collector against real keys and files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "archive/ArchiveTestSupport.h"
#include "backup/BackupJob.h"
#include "outlook/ProfileDiscovery.h"
#include "outlook/ProfilesRootKey.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/SampleEnvironment.h"

namespace kestrel {
namespace {

std::string Folded(std::string name)
{
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

// The data of the sample's files by bare name (case folded), from its folder in tests/data.
std::multimap<std::string, std::string> SampleFiles(const std::string& environment)
{
    std::multimap<std::string, std::string> files;
    const auto root = testing::TestDataFolder() / "environments" / environment;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream data;
            data << in.rdbuf();
            files.emplace(Folded(entry.path().filename().string()), data.str());
        }
    }
    return files;
}

class SampleBackupTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.fileSystem = testing::TargetFileSystem(scratch_.Native("root"));
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
    }

    testing::FakePlatform fake_;
};

TEST_F(SampleBackupTest, EveryItemOfEachSampleMachineLandsWhole)
{
    const struct {
        const char* environment;
        DiscoveryContext context;
        const char* backupItem;
    } cases[] = {
        // No contacts folder of files; the address book of Outlook 2003 is there.
        {"outlook2003-xp", {"11.0", "5.1", "C:\\Documents and Settings\\ann", ""}, "11111111110"},
        // Outlook 2013 has no address book item, but the profile names an existing one.
        {"outlook2013-win7", {"15.0", "6.1", "C:\\Users\\bob", ""}, "11111111111"},
        // A sparse machine: no rules, signatures, stationery or contacts, templates only in a
        // subfolder; its preferences live under AppData on Windows 10 as on Windows 7.
        {"outlook2016-win10", {"16.0", "10.0", "C:\\Users\\carol", ""}, "11010001010"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.environment);
        c.context.ProfilesRootKey = ProfilesRootKeyFor(c.context.OutlookShortVersion);
        testing::SampleEnvironment sample(c.environment, *access_, *fake_.platform.fileSystem);
        BackupMachine machine{"PC", "user", scratch_.Folder("run"), c.context.ProfilesRootKey,
                              LocateProfileItems(c.context, "Outlook", *access_)};
        BackupRequest request;
        request.profileName = "Outlook";
        request.boxes.fill(true);
        request.targetPath = scratch_.Path("sample.ksb");

        BackupJob job(fake_.platform, messages_);
        SilentProgress progress;
        const BackupOutcome outcome = job.Run(request, machine, progress);
        ASSERT_EQ(BackupResult::Written, outcome.result) << outcome.error;
        EXPECT_TRUE(outcome.leftOut.empty());

        const auto sources = SampleFiles(c.environment);
        for (const auto& [name, data] :
             testing::ReadMembers(*fake_.platform.fileSystem, request.targetPath)) {
            if (name == "ksbackup.dat") {
                EXPECT_NE(std::string::npos,
                          data.find(std::string("\r\nBackupItem=") + c.backupItem + "\r\n"))
                    << data;
            } else if (name.ends_with(".tmp")) {  // a registry export
                EXPECT_EQ(0u, data.find("\\\r\n")) << name;
            } else {
                const auto [first, last] = sources.equal_range(Folded(name));
                EXPECT_TRUE(
                    std::any_of(first, last, [&](const auto& f) { return f.second == data; }))
                    << name << " matches no sample file of that name";
            }
        }
        fake_.platform.fileSystem->RemoveFile(request.targetPath);
    }
}

}  // namespace
}  // namespace kestrel
