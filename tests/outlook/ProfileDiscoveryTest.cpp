// Profile listing, item locations and the boxes each profile offers, over the sample machines
// of tests/data/environments: on a fresh SQLite store natively, on Wine's registry and drive C:
// under Wine.

#include "outlook/ProfileDiscovery.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/MainWindowModel.h"
#include "outlook/DataStorePaths.h"
#include "outlook/ProfilesRootKey.h"
#include "registry/RegistryFixture.h"
#include "support/MemoryFileSystem.h"
#include "support/SampleEnvironment.h"
#include "support/SampleMachineFixture.h"

namespace kestrel {
namespace {

class ProfileDiscoveryTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fileSystem_ = testing::TargetFileSystem(scratch_.Native("root"));
    }
    void TearDown() override
    {
        sample_.reset();
        RegistryFixture::TearDown();
    }

    void Install(const std::string& environment)
    {
        sample_ = std::make_unique<testing::SampleEnvironment>(environment, *access_, *fileSystem_);
    }

    // "1" for every offered box, "0" for the others, box 0 first.
    std::string OfferedBoxes(const DiscoveryContext& context, const std::string& profile)
    {
        const ProfileLocations locations = LocateProfileItems(context, profile, *access_);
        const ItemAvailability items =
            FindAvailableItems(context, profile, locations, *access_, *fileSystem_);
        std::string boxes;
        for (bool enabled : items.enabled) {
            boxes += enabled ? '1' : '0';
        }
        lastToolTip_ = items.addressBookToolTip.value_or("(unchanged)");
        return boxes;
    }

    std::unique_ptr<FileSystem> fileSystem_;
    std::unique_ptr<testing::SampleEnvironment> sample_;
    std::string lastToolTip_;
};

TEST(ProfileNames, BlankMeansNothingButSpacesAndNuls)
{
    using namespace std::string_literals;
    const struct {
        std::string name;
        bool blank;
    } cases[] = {
        {"", true},   {"   ", true},          {"\0\0"s, true}, {" \0 \0"s, true},
        {"a", false}, {"  Outlook  ", false}, {"\0a"s, false}, {"\t", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.blank, IsBlankName(c.name)) << '"' << c.name << '"';
    }
}

TEST_F(ProfileDiscoveryTest, ListsProfilesInRegistryOrderWithoutBlankNames)
{
    for (const char* name : {"Zed", "   ", "Outlook", "ann"}) {
        MakeKey(std::string("Profiles\\") + name);
    }
    EXPECT_EQ((std::vector<std::string>{"ann", "Outlook", "Zed"}),
              ListProfiles(*access_, base_ + "\\Profiles"));
    EXPECT_TRUE(ListProfiles(*access_, base_ + "\\Missing").empty());
}

TEST_F(ProfileDiscoveryTest, LocationsFollowTheWindowsAndOutlookVersions)
{
    Install("outlook2013-win7");
    // With the spaces the shared-tools value may carry around it.
    access_->SetStringValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools",
                            "SharedFilesDir", "  C:\\Common\\Shared\\  ");

    const std::string user = "C:\\Users\\ann";
    const struct {
        const char* windows;
        std::string roaming;
    } windowsCases[] = {
        {"5.1", user + "\\Application Data\\Microsoft"},
        {"6.1", user + "\\AppData\\Roaming\\Microsoft"},
        {"6.3", user + "\\AppData\\Roaming\\Microsoft"},
        {"10.0", user + "\\AppData\\Roaming\\Microsoft"},
        {"", user + "\\Application Data\\Microsoft"},
        {"6.x", user + "\\Application Data\\Microsoft"},
    };
    const std::string messaging =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
        "Subsystem\\Profiles";
    const struct {
        const char* outlook;
        std::string stationery;
        std::string profilesRoot;
    } outlookCases[] = {
        {"11.0", user + "\\Application Data\\Microsoft\\Stationery", messaging},
        // Outlook 2007 and 2010 find the stationery in the shared folder, the profiles still
        // under Windows Messaging.
        {"14.0", "C:\\Common\\Shared\\Stationery", messaging},
        {"15.0", "C:\\Common\\Shared\\Stationery",
         "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles"},
        {"16.0", "C:\\Common\\Shared\\Stationery",
         "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles"},
    };
    for (const auto& w : windowsCases) {
        for (const auto& o : outlookCases) {
            SCOPED_TRACE(std::string("Windows ") + w.windows + ", Outlook " + o.outlook);
            const DiscoveryContext context{o.outlook, w.windows, user,
                                           ProfilesRootKeyFor(o.outlook)};
            const ProfileLocations got = LocateProfileItems(context, "Mail", *access_);
            EXPECT_EQ(o.profilesRoot + "\\Mail\\9375CFF0413111d3B88A00104B2A6676",
                      got.AccountKeyPath);
            EXPECT_EQ(w.roaming + "\\Signatures", got.SignaturesFolder);
            EXPECT_EQ(o.stationery, got.StationeryFolder);
            EXPECT_EQ(w.roaming + "\\Outlook", got.RulesFolder);
            EXPECT_EQ(std::string("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\") + o.outlook +
                          "\\Outlook\\Options",
                      got.OptionsKeyPath);
            EXPECT_EQ(w.roaming + "\\Templates", got.TemplatesFolder);
            EXPECT_EQ(got.RulesFolder, got.PreferencesFolder);
            EXPECT_EQ(user + "\\Contacts", got.ContactsFolder);
            // The restore puts an older Outlook's stationery where this machine's layout
            // keeps roaming data, not where the backup side looks for it.
            EXPECT_EQ(o.outlook == std::string("11.0") ? w.roaming + "\\Stationery" : o.stationery,
                      RestoreStationeryFolder(context, *access_));
        }
    }
}

// Each sample machine's profiles, their boxes and their data files, read as the backup reads
// them (wide first, 8-bit when that finds nothing).
TEST_F(ProfileDiscoveryTest, SampleMachinesOfferBoxesAndNameTheirDataFiles)
{
    const std::string xp =
        "C:\\Documents and Settings\\ann\\Local Settings\\Application "
        "Data\\Microsoft\\Outlook\\";
    const struct {
        const char* environment;
        DiscoveryContext context;
        std::vector<std::string> profiles;
        std::vector<std::string> boxes;  // per profile, box 0 first
        const char* toolTip;
        std::vector<std::vector<std::string>> paths;  // per profile
    } cases[] = {
        // Contacts holds only a subfolder; "Personal" has no accounts and a missing address book.
        {"outlook2003-xp",
         {"11.0", "5.1", "C:\\Documents and Settings\\ann", ""},
         {"Outlook", "Personal"},
         {"111111110", "101101110"},
         "(unchanged)",
         {{xp + "Outlook.pst"}, {xp + "Personal.pst"}}},
        // The address book exists on disk, but Outlook 2013 has none.
        {"outlook2013-win7",
         {"15.0", "6.1", "C:\\Users\\bob", ""},
         {"Outlook"},
         {"111101111"},
         "Your MS Outlook don't support Personal Address Book!",
         {{"C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst",
           "\\\\fileserver\\mail\\bob\\archive.pst"}}},
        // No signatures, no shared-tools folder, templates only in a subfolder, no contacts; seen
        // as "10.0" (the real version rather than the one GetVersionExA reports) the same.
        {"outlook2016-win10",
         {"16.0", "6.2", "C:\\Users\\carol", ""},
         {"Outlook", "Work"},
         {"110001010", "100001010"},
         "Your MS Outlook don't support Personal Address Book!",
         {{"C:\\Users\\carol\\AppData\\Local\\Microsoft\\Outlook\\carol@example.com.ost"},
          {"D:\\Mail\\work.pst"}}},
        {"outlook2016-win10",
         {"16.0", "10.0", "C:\\Users\\carol", ""},
         {"Outlook", "Work"},
         {"110001010", "100001010"},
         "Your MS Outlook don't support Personal Address Book!",
         {}},
    };
    const auto readPaths = [&](const std::string& profileKey) {
        std::vector<std::string> found;
        for (const std::string& section : access_->EnumSubKeys(profileKey)) {
            const std::string key = profileKey + "\\" + section;
            std::string path = DecodeWidePathValue(*access_, key, StoreIdentifierValue);
            if (path == RegistryAccess::ErrorMarker) {
                path = DecodeAnsiPathValue(*access_, key, StoreIdentifierValue);
            }
            if (path != RegistryAccess::ErrorMarker) {
                found.push_back(path);
            }
        }
        return found;
    };
    for (auto c : cases) {
        SCOPED_TRACE(std::string(c.environment) + " on Windows " + c.context.WindowsVersion);
        Install(c.environment);
        c.context.ProfilesRootKey = ProfilesRootKeyFor(c.context.OutlookShortVersion);
        ASSERT_EQ(c.profiles, ListProfiles(*access_, c.context.ProfilesRootKey));
        for (std::size_t i = 0; i < c.profiles.size(); ++i) {
            EXPECT_EQ(c.boxes[i], OfferedBoxes(c.context, c.profiles[i])) << c.profiles[i];
            EXPECT_EQ(c.toolTip, lastToolTip_);
            if (i < c.paths.size()) {
                EXPECT_EQ(c.paths[i], readPaths(c.context.ProfilesRootKey + "\\" + c.profiles[i]));
            }
        }
        sample_.reset();
    }
}

// An empty path or a folder names no file; a hidden file counts, and a network path keeps its
// leading pair when the doubled backslashes are made single.
TEST_F(ProfileDiscoveryTest, AddressBookIsTheCollapsedPathOfANamedFile)
{
    testing::MemoryFileSystem files;
    files.AddFolder("C:\\Users\\ann");
    files.AddFile("C:\\Mail\\hidden.pab", "pab", true);
    files.AddFile("\\\\srv\\share\\ann.pab", "pab");
    const DiscoveryContext context{"11.0", "5.1", "C:\\Users\\ann", base_};
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"", std::nullopt},
        {"C:\\Users\\ann", std::nullopt},
        {"C:\\\\Mail\\\\hidden.pab", "C:\\Mail\\hidden.pab"},
        {"\\\\srv\\share\\ann.pab", "\\\\srv\\share\\ann.pab"},
        {"\\\\\\\\srv\\\\share\\\\ann.pab", "\\\\srv\\share\\ann.pab"},
    };
    for (const auto& [stored, found] : cases) {
        access_->SetStringValue(MakeKey("Mail\\section"), "001e6600", stored);
        EXPECT_EQ(found, FindAddressBookFile(context, "Mail", *access_, files)) << stored;
    }
}

using SourceProfileTest = testing::Outlook2003Machine;

// The backup tab over a sample machine: another profile unticks everything and recomputes.
TEST_F(SourceProfileTest, ChangingTheSourceProfileUnticksAndRecomputes)
{
    AppState state;
    HeadlessWindowHost host;
    MainWindowModel model(state, fake.platform, nullptr, messages_, host);
    model.Load();
    model.SetItemChecked(MainTab::Backup, 2, true);
    model.SourceProfileChosen(1);

    std::string offered;
    for (const ItemBox& box : model.Items(MainTab::Backup)) {
        EXPECT_FALSE(box.checked);
        offered += box.enabled ? '1' : '0';
    }
    EXPECT_EQ("101101110", offered);
    EXPECT_EQ(ProfilesRootKeyFor("11.0") + "\\Personal\\9375CFF0413111d3B88A00104B2A6676",
              state.ProfileLocations.AccountKeyPath);
}

}  // namespace
}  // namespace kestrel
