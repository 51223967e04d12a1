#include "outlook/OutlookRunsSetting.h"

#include <gtest/gtest.h>

#include "registry/RegistryFixture.h"

namespace kestrel {
namespace {

class OutlookRunsSettingTest : public testing::RegistryFixture {
protected:
    void TearDown() override
    {
        // The key is the program's own, not the fixture's scratch key: leave none of it behind
        // for the other tests that share this registry.
        access_->DeleteValue(KestrelSettingsKey, WhenOutlookRunsValue);
        testing::RegistryFixture::TearDown();
    }
};

TEST_F(OutlookRunsSettingTest, ReadsBackWhatWasWrittenAndDefaultsToClosing)
{
    EXPECT_EQ(IfOutlookRuns::Close, ReadUnattendedOutlookWay(*access_));

    struct Case {
        IfOutlookRuns written;
        const char* stored;
        IfOutlookRuns read;
    };
    const Case cases[] = {
        {IfOutlookRuns::Skip, "skip", IfOutlookRuns::Skip},
        {IfOutlookRuns::Snapshot, "snapshot", IfOutlookRuns::Snapshot},
        {IfOutlookRuns::Close, "close", IfOutlookRuns::Close},
        // Nobody is there to answer at night: a refusal is stored as the default.
        {IfOutlookRuns::Refuse, "close", IfOutlookRuns::Close},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteUnattendedOutlookWay(*access_, c.written)) << c.stored;
        EXPECT_EQ(c.stored, access_->GetStringValue(KestrelSettingsKey, WhenOutlookRunsValue));
        EXPECT_EQ(c.read, ReadUnattendedOutlookWay(*access_)) << c.stored;
    }
}

TEST_F(OutlookRunsSettingTest, AValueItDoesNotKnowReadsAsTheDefault)
{
    ASSERT_TRUE(WriteUnattendedOutlookWay(*access_, IfOutlookRuns::Skip));
    for (const char* text : {"Skip", "snapshot ", "", "terminate"}) {
        access_->SetStringValue(KestrelSettingsKey, WhenOutlookRunsValue, text);
        EXPECT_EQ(IfOutlookRuns::Close, ReadUnattendedOutlookWay(*access_)) << text;
    }
}

}  // namespace
}  // namespace kestrel
