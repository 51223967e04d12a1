#include "outlook/OutlookVersion.h"

#include <gtest/gtest.h>

#include "outlook/ProfilesRootKey.h"
#include "support/FakePlatform.h"

namespace kestrel {
namespace {

TEST(MapOutlookVersion, RecognisesGenerationsByLeadingMajorNumber)
{
    struct Case {
        const char* versionText;
        const char* displayName;  // null: not recognised
        const char* shortVersion;
    };
    const Case cases[] = {
        {"8.0", "Outlook 97", "8.0"},
        {"9.0", "Outlook 2000", "9.0"},
        {"10.0", "Outlook 2002(XP)", "10.0"},
        {"11.0", "Outlook 2003", "11.0"},
        {"12.0", "Outlook 2007", "12.0"},
        // A build number holding an 8 is still Outlook 2007, not Outlook 97.
        {"12.0.4518", "Outlook 2007", "12.0"},
        {"14.0", "Outlook 2010", "14.0"},
        {"15.0", "Outlook 2013", "15.0"},
        {"16.0", "Outlook 2016 or later", "16.0"},
        {"16.0.17928.20114", "Outlook 2016 or later", "16.0"},
        {"13.0", nullptr, nullptr},  // Office skipped 13
        {"0", nullptr, nullptr},
        {"", nullptr, nullptr},
        {"Version 15", nullptr, nullptr},
        {"99999999999999999999", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        auto generation = MapOutlookVersion(c.versionText);
        if (!c.displayName) {
            EXPECT_FALSE(generation) << c.versionText;
            continue;
        }
        ASSERT_TRUE(generation) << c.versionText;
        EXPECT_EQ(c.displayName, generation->displayName) << c.versionText;
        EXPECT_EQ(c.shortVersion, generation->shortVersion) << c.versionText;
    }
}

TEST(GetOutlookVersion, AsksWordAndKeepsTheShortVersionWhenNothingIsRecognised)
{
    testing::FakePlatform fake;
    std::string shortVersion = "14.0";  // from an earlier probe
    EXPECT_EQ("No Outlook", GetOutlookVersion(*fake.platform.automation, shortVersion));
    fake.automation.version = "17.0";
    EXPECT_EQ("", GetOutlookVersion(*fake.platform.automation, shortVersion));
    EXPECT_EQ("14.0", shortVersion);
    fake.automation.version = "11.0";
    EXPECT_EQ("Outlook 2003", GetOutlookVersion(*fake.platform.automation, shortVersion));
    EXPECT_EQ("11.0", shortVersion);
    EXPECT_EQ(std::vector<std::string>(3, "Word.Application.8"), fake.automation.created);
    EXPECT_EQ(2, fake.automation.quitCalls);
}

TEST(LeadingNumericValue, ReadsAsVisualBasicValDoes)
{
    EXPECT_DOUBLE_EQ(15.0, LeadingNumericValue("15.0"));
    EXPECT_DOUBLE_EQ(12.5, LeadingNumericValue(" 12.5abc"));
    EXPECT_DOUBLE_EQ(0.0, LeadingNumericValue(""));
    EXPECT_DOUBLE_EQ(0.0, LeadingNumericValue("x15"));
    EXPECT_DOUBLE_EQ(1.2, LeadingNumericValue("1.2.3"));
}

}  // namespace
}  // namespace kestrel
