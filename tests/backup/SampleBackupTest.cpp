// A whole backup of each sample machine's profile, over the registry and file system of the
// system the tests run on (the SQLite store and the emulated drive natively, Wine's registry
// and drive C: under Wine): every collector against real keys and files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "archive/ZipComponent.h"
#include "backup/BackupJob.h"
#include "outlook/ProfileDiscovery.h"
#include "outlook/ProfilesRootKey.h"
#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/SampleEnvironment.h"

namespace kestrel {
namespace {

std::string HostFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

// The sample's files by bare name (case folded), from its folder in tests/data.
std::multimap<std::string, std::filesystem::path> SampleFiles(const std::string& environment)
{
    std::multimap<std::string, std::filesystem::path> files;
    const auto root = testing::TestDataFolder() / "environments" / environment;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::string name = entry.path().filename().string();
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            files.emplace(name, entry.path());
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

        NoZipEvents events;
        ZipComponent zip(*fake_.platform.fileSystem, events);
        ASSERT_TRUE(zip.Open(request.targetPath)) << zip.LastError();
        const auto sources = SampleFiles(c.environment);
        for (const ZipMember& member : zip.Members()) {
            std::string data;
            ASSERT_TRUE(zip.ReadMember(member, [&](const char* bytes, std::size_t size) {
                data.append(bytes, size);
                return true;
            }));
            if (member.name == "ksbackup.dat") {
                EXPECT_NE(std::string::npos,
                          data.find(std::string("\r\nBackupItem=") + c.backupItem + "\r\n"))
                    << data;
                continue;
            }
            if (member.name.ends_with(".tmp")) {  // a registry export
                EXPECT_EQ(0u, data.find("\\\r\n")) << member.name;
                continue;
            }
            std::string folded = member.name;
            for (char& ch : folded) {
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            }
            const auto [first, last] = sources.equal_range(folded);
            bool same = false;
            for (auto source = first; source != last; ++source) {
                same = same || HostFile(source->second) == data;
            }
            EXPECT_TRUE(same) << member.name << " matches no sample file of that name";
        }
        zip.Close();
        fake_.platform.fileSystem->RemoveFile(request.targetPath);
    }
}

}  // namespace
}  // namespace kestrel
