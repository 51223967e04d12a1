// Registry access on the registry of the system the tests run on.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/RegistryAccess.h"
#include "registry/RegistryFixture.h"

namespace kestrel {
namespace {

using testing::RegistryFixture;
using Names = std::vector<std::string>;

class RegistryAccessTest : public RegistryFixture {
protected:
    void ExpectIncorrectFormat(const std::string& path)
    {
        messages_.Expect("Incorrect Format:\n\n" + path, MessageIcon::None, MessageAnswer::Ok);
    }
};

TEST_F(RegistryAccessTest, ParseKeyPathSplitsOffTheRootOrRefusesThePath)
{
    struct Case {
        std::string path;
        reg::Key root;
        std::string rest;
        bool malformed;
    };
    const Case cases[] = {
        {"HKEY_CURRENT_USER", reg::HkeyCurrentUser, "", false},
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft", reg::HkeyLocalMachine, "Software\\Microsoft",
         false},
        {"HKEY_DYN_DATA\\X", reg::HkeyDynData, "X", false},
        {"HKEY_Current_User\\X", 0, "X", false},  // "HKEY_" but no root of that spelling
        {"HKEY_CURRENT_USER\\", 0, "HKEY_CURRENT_USER\\", true},
        {"Software\\Microsoft", 0, "Software\\Microsoft", true},
        {"hkey_local_machine", 0, "hkey_local_machine", true},
        {"HKCU\\Software", 0, "HKCU\\Software", true},
        {"", 0, "", true},
    };
    for (const Case& test : cases) {
        if (test.malformed) {
            ExpectIncorrectFormat(test.path);
        }
        std::string path = test.path;
        reg::Key root = 1;
        access_->ParseKeyPath(path, root);
        EXPECT_EQ(test.root, root) << test.path;
        EXPECT_EQ(test.rest, path) << test.path;
    }
}

TEST_F(RegistryAccessTest, MalformedPathsAndUnknownRootsChangeNothing)
{
    MakeKey("Keep");
    access_->SetStringValue(base_ + "\\Keep", "v", "kept");
    for (const std::string& bad : {std::string("Software\\Microsoft"), base_ + "\\Keep\\"}) {
        for (int i = 0; i < 6; ++i) {
            ExpectIncorrectFormat(bad);
        }
        EXPECT_EQ("", access_->GetStringValue(bad, "v"));
        access_->SetStringValue(bad, "v", "changed");
        access_->DeleteValue(bad, "v");
        EXPECT_EQ(reg::InvalidHandle, access_->DeleteKey(bad));
        EXPECT_EQ(Names{}, access_->EnumSubKeys(bad));
        EXPECT_FALSE(access_->KeyExists(bad));
    }
    // An unknown root is silent.
    const std::string unknown = "HKEY_NOWHERE\\" + subKey_ + "\\Keep";
    EXPECT_EQ("", access_->GetStringValue(unknown, "v"));
    EXPECT_EQ(Names{}, access_->EnumSubKeys(unknown));
    EXPECT_FALSE(access_->KeyExists(unknown));
    EXPECT_EQ("kept", access_->GetStringValue(base_ + "\\Keep", "v"));
}

TEST_F(RegistryAccessTest, StringsReadThroughA255ByteBuffer)
{
    const std::string key = MakeKey("Strings");
    struct Case {
        std::string name;
        std::string written;  // UTF-8, as the program holds it
        std::string read;
    };
    const Case cases[] = {
        {"254", std::string(254, 'x'), std::string(254, 'x')},
        {"255", std::string(255, 'x'), "Error"},
        {"Literal", "Error", "Error"},  // indistinguishable from a failure, as callers accept
        {"", "default value", "default value"},
        {"Caf\xC3\xA9", "\xE2\x82\xAC 5 \xC3\xBC", "\xE2\x82\xAC 5 \xC3\xBC"},
        {"Empty", "", ""},
    };
    for (const Case& test : cases) {
        access_->SetStringValue(key, test.name, test.written);
        EXPECT_EQ(test.read, access_->GetStringValue(key, test.name)) << test.name;
    }
    EXPECT_EQ("Error", access_->GetStringValue(key, "Missing"));
    EXPECT_EQ("Error", access_->GetStringValue(key + "\\Missing", "254"));
    // Only the bytes the registry returned count: data stored without a NUL gains nothing.
    SetRaw("Strings", "Bytes", reg::TypeBinary, "abc");
    EXPECT_EQ("abc", access_->GetStringValue(key, "Bytes"));

    access_->SetStringValue(key + "\\Missing", "v", "x");
    EXPECT_FALSE(access_->KeyExists(key + "\\Missing")) << "writing never creates the key";
    access_->DeleteValue(key, "254");
    EXPECT_EQ("Error", access_->GetStringValue(key, "254"));
    access_->DeleteValue(key, "254");  // already gone: silent
}

TEST_F(RegistryAccessTest, EnumSubKeysListsDirectChildrenAndDeleteKeyTakesOnlyLeaves)
{
    MakeKey("List\\beta\\Deeper");
    MakeKey("List\\Alpha");
    MakeKey("List\\Gamma");
    MakeKey("Leaf");
    EXPECT_EQ((Names{"Alpha", "beta", "Gamma"}), access_->EnumSubKeys(base_ + "\\List"));
    EXPECT_EQ(Names{}, access_->EnumSubKeys(base_ + "\\Leaf"));
    EXPECT_EQ(Names{}, access_->EnumSubKeys(base_ + "\\Missing"));
    EXPECT_TRUE(access_->KeyExists(base_ + "\\list\\BETA"));

    // A root alone addresses the root key itself.
    const Names roots = access_->EnumSubKeys("HKEY_CURRENT_USER");
    EXPECT_NE(roots.end(), std::find(roots.begin(), roots.end(), "Software"));
    EXPECT_TRUE(access_->KeyExists("HKEY_CURRENT_USER"));

    const std::string beta = base_ + "\\List\\beta";
    EXPECT_NE(reg::Success, access_->DeleteKey(beta));
    EXPECT_TRUE(access_->KeyExists(beta + "\\Deeper"));
    EXPECT_EQ(reg::Success, access_->DeleteKey(beta + "\\Deeper"));
    EXPECT_EQ(reg::Success, access_->DeleteKey(beta));
    EXPECT_EQ((Names{"Alpha", "Gamma"}), access_->EnumSubKeys(base_ + "\\List"));
    EXPECT_EQ(reg::FileNotFound, access_->DeleteKey(beta));
    EXPECT_EQ(reg::FileNotFound, access_->DeleteKey(base_ + "\\Gone\\Parent"));
    EXPECT_EQ(reg::AccessDenied, access_->DeleteKey("HKEY_CURRENT_USER"));
}

}  // namespace
}  // namespace kestrel
