// A whole backup of each sample machine's profile, and its restore into a second profile of the
// same machine, over the registry and file system of the system the tests run on (the SQLite
// store and the emulated drive natively, Wine's registry and drive C: under Wine): every
// collector and restorer against real keys and files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/BlockMap.h"
#include "archive/MemberName.h"
#include "backup/BackupJob.h"
#include "outlook/DataStorePaths.h"
#include "outlook/ProfileDiscovery.h"
#include "outlook/ProfilesRootKey.h"
#include "platform/FileContents.h"
#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "registry/KeyExport.h"
#include "registry/RegFile.h"
#include "registry/RegistryFixture.h"
#include "restore/RestoreSession.h"
#include "restore/Restorers.h"
#include "support/FakePlatform.h"
#include "support/SampleEnvironment.h"
#include "support/ScriptedDialogs.h"

#ifdef _WIN32
// windows.h, which the registry fixture includes, makes ReplaceFile a macro of its own.
#undef ReplaceFile
#endif

namespace kestrel {
namespace {

constexpr const char* StoreIdentifier = "01020fff";

// Key path relative to the tree's root -> "name=data" of each value.
using Tree = std::map<std::string, std::map<std::string, std::string>>;

// The values a restore changes on purpose: the data files' and address book's paths, the
// cached ones it drops, and the folder settings that name the source's data files.
bool Repointed(const std::string& name)
{
    for (const char* changed :
         {"01020fff", "001f6700", "001e6700", "001e6600", "1102039b", "001e023d"}) {
        if (EqualsIgnoringCase(name, changed)) {
            return true;
        }
    }
    return false;
}

// The sample's files, bare name and data, from its folder in tests/data.
std::vector<std::pair<std::string, std::string>> SampleFiles(const std::string& environment)
{
    std::vector<std::pair<std::string, std::string>> files;
    const auto root = testing::TestDataFolder() / "environments" / environment;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream data;
            data << in.rdbuf();
            files.emplace_back(entry.path().filename().string(), data.str());
        }
    }
    return files;
}

class SampleRestoreTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake_.platform.fileSystem = testing::TargetFileSystem(scratch_.Native("root"));
        fake_.platform.registry = testing::TargetRegistry(dbPath_);
        files_ = fake_.platform.fileSystem.get();
    }

    Tree Read(const std::string& key, bool withoutRepointed)
    {
        Tree tree;
        for (const RegFileKey& each : ReadRegistryTree(*access_, key)) {
            auto& values = tree[each.path.substr(key.size())];
            for (const RegFileValue& value : each.values) {
                if (!withoutRepointed || !Repointed(value.name)) {
                    values[value.name] = value.data;
                }
            }
        }
        return tree;
    }

    // The data file an entry of the profile names, in either of its encodings.
    std::string StorePath(const std::string& key)
    {
        const std::string wide = DecodeWidePathValue(*access_, key, StoreIdentifier);
        return wide != "Error" ? wide : DecodeAnsiPathValue(*access_, key, StoreIdentifier);
    }

    std::string Data(const std::string& path)
    {
        auto data = ReadWholeFile(*files_, path);
        return data ? *data : "<missing " + path + ">";
    }

    // Imports a registry file the restore kept.
    void PutBack(const std::string& regFile)
    {
        RegFileError error;
        const auto keys = ParseRegFile(Data(regFile), error);
        ASSERT_TRUE(keys) << regFile << ": " << error.message;
        EXPECT_EQ(std::nullopt, ApplyRegFile(*access_, *keys));
    }

    testing::FakePlatform fake_;
    FileSystem* files_ = nullptr;
};

TEST_F(SampleRestoreTest, EachProfileBacksUpWholeAndRestoresIntoProfileBKeepingWhatBHad)
{
    const struct {
        const char* environment;
        DiscoveryContext context;
        const char* backupItem;
        bool restored;
    } cases[] = {
        // The address book of Outlook 2003 is there; contacts only in a subfolder.
        {"outlook2003-xp",
         {"11.0", "5.1", "C:\\Documents and Settings\\ann", ""},
         "11111111111",
         true},
        // Outlook 2013 has no address book item, but the profile names an existing one.
        {"outlook2013-win7", {"15.0", "6.1", "C:\\Users\\bob", ""}, "11111111111", true},
        // A sparse machine: no rules, signatures, stationery or contacts, templates only in a
        // subfolder; its preferences live under AppData on Windows 10 as on Windows 7.
        {"outlook2016-win10", {"16.0", "10.0", "C:\\Users\\carol", ""}, "11010001110", false},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.environment);
        c.context.ProfilesRootKey = ProfilesRootKeyFor(c.context.OutlookShortVersion);
        testing::SampleEnvironment sample(c.environment, *access_, *files_);
        const std::string root = c.context.ProfilesRootKey;
        const std::string a = root + "\\Outlook";
        const std::string b = root + "\\B";
        const ProfileLocations aPlaces = LocateProfileItems(c.context, "Outlook", *access_);

        BackupRequest backup;
        backup.profileName = "Outlook";
        backup.boxes.fill(true);
        backup.protect = true;
        backup.password = "p4ss";
        backup.targetPath = scratch_.Path("sample.ksb");
        BackupJob job(fake_.platform, messages_);
        SilentProgress progress;
        const BackupOutcome written =
            job.Run(backup, {"PC", "user", scratch_.Folder("run"), root, aPlaces}, progress);
        ASSERT_EQ(BackupResult::Written, written.result) << written.error;
        EXPECT_TRUE(written.leftOut.empty());

        // Every member is a sample file of that name, whole, or a registry export; a file of a
        // subfolder keeps its path.
        const auto sources = SampleFiles(c.environment);
        for (const auto& [name, data] : testing::ReadMembers(*files_, backup.targetPath, "p4ss")) {
            if (name == "ksbackup.dat") {
                EXPECT_NE(std::string::npos,
                          data.find(std::string("\r\nBackupItem=") + c.backupItem + "\r\n"))
                    << data;
            } else if (name.ends_with(BlockMapSuffix)) {
                EXPECT_TRUE(ParseBlockMap(std::vector<std::uint8_t>(data.begin(), data.end())))
                    << name;
            } else if (name.ends_with(".tmp")) {
                EXPECT_EQ(0u, data.find("\\\r\n")) << name;
            } else {
                const auto same = [&](const auto& file) {
                    return EqualsIgnoringCase(file.first, BareName(name)) && file.second == data;
                };
                EXPECT_TRUE(std::any_of(sources.begin(), sources.end(), same))
                    << name << " matches no sample file of that name";
            }
        }
        if (!c.restored) {
            files_->RemoveFile(backup.targetPath);
            continue;
        }

        // Profile B as it was: a key of its own and a signature of the same name as A's, which
        // changed after the backup: the restore must bring the backed-up one back.
        ASSERT_EQ(
            std::nullopt,
            ApplyRegFile(*access_,
                         {{b + "\\9375CFF0413111d3B88A00104B2A6676",
                           false,
                           {{"Account", false, reg::TypeSz, {"b@b", 4}}}},
                          {b + "\\ffff", false, {{"Only", false, reg::TypeSz, {"in B", 5}}}}}));
        const std::string signature = files_->FilesIn(aPlaces.SignaturesFolder).front();
        const std::string signaturePath = JoinPath(aPlaces.SignaturesFolder, signature);
        const std::string aSignature = Data(signaturePath);
        ASSERT_FALSE(ReplaceFile(*files_, signaturePath, "B's signature"));
        // On the key the sample adds, which goes with it: the options key itself outlives the
        // test in Wine's registry, and a value left there would be in the next run's backup.
        access_->SetStringValue(aPlaces.OptionsKeyPath + "\\Mail", "Changed", "after the backup");
        const Tree aTree = Read(a, true);
        const Tree bBefore = Read(b, false);
        const Tree optionsBefore = Read(aPlaces.OptionsKeyPath, false);

        RestoreSession session(fake_.platform);
        testing::ScriptedDialogs dialogs;
        dialogs.Expect(testing::ScriptedDialogs::Kind::Password, {}, "p4ss");
        OpenedBackup opened;
        ASSERT_EQ(OpenResult::Opened, session.Open(scratch_.Folder("run"), backup.targetPath,
                                                   dialogs, messages_, opened));
        RestoreRequest request;
        request.targetProfile = "B";
        request.ticked.fill(true);
        RestoreMachine machine{scratch_.Folder("run"),
                               c.context.UserProfileFolder,
                               c.context.WindowsVersion,
                               root,
                               LocateProfileItems(c.context, "B", *access_),
                               scratch_.Folder(std::string("data-") + c.environment)};
        const RestoreOutcome outcome = session.Run(opened, request, machine, progress);
        EXPECT_EQ(0, RestoreExitStatus(outcome)) << RestoreResultText(outcome);

        // B holds A's tree but for the repointed values; each entry of a restored data file
        // names a file in this machine's data folder that holds A's data file.
        EXPECT_EQ(aTree, Read(b, true));
        const std::string dataFolder =
            DataFolderFor(c.context.UserProfileFolder, c.context.WindowsVersion);
        int repointed = 0;
        for (const std::string& section : access_->EnumSubKeys(b)) {
            const std::string path = StorePath(b + "\\" + section);
            if (path == "Error" || !EqualsIgnoringCase(ParentFolder(path), dataFolder)) {
                continue;
            }
            const std::string source = StorePath(a + "\\" + section);
            EXPECT_EQ(Data(source), Data(path)) << path;
            ++repointed;
        }
        EXPECT_GE(repointed, 1);
        EXPECT_EQ(aSignature, Data(signaturePath));
        // The options come back under the installed version's key, as they were backed up.
        Tree optionsRestored = optionsBefore;
        optionsRestored["\\Mail"].erase("Changed");
        EXPECT_EQ(optionsRestored, Read(aPlaces.OptionsKeyPath, false));

        // Everything replaced is kept, and puts the previous state back.
        ASSERT_FALSE(outcome.replacedFolder.empty());
        const std::string kept = outcome.replacedFolder;
        EXPECT_EQ("B's signature", Data(kept + "\\Signatures\\" + signature));
        PutBack(kept + "\\Config\\B.reg");
        PutBack(kept + "\\Configsetting\\Options.reg");
        EXPECT_EQ(bBefore, Read(b, false));
        EXPECT_EQ(optionsBefore, Read(aPlaces.OptionsKeyPath, false));

        // What the run added around the sample goes, so the next machine starts clean.
        DeleteKeyTree(*access_, b);
        for (const std::string& name : files_->FilesIn(dataFolder)) {
            files_->RemoveFile(JoinPath(dataFolder, name));
        }
        files_->RemoveFile(backup.targetPath);
    }
}

}  // namespace
}  // namespace kestrel
