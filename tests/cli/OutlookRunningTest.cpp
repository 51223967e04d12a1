#include "cli/OutlookRunning.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(IfOutlookRunsOption, TakesTheValueEachCommandAllows)
{
    const struct {
        std::vector<std::string> arguments;
        bool restore;
        bool taken;
        const char* why;
        IfOutlookRuns way;  // when taken without a why
    } cases[] = {
        {{"--if-outlook-runs", "close"}, false, true, "", IfOutlookRuns::Close},
        {{"--if-outlook-runs", "skip"}, false, true, "", IfOutlookRuns::Skip},
        {{"--if-outlook-runs", "snapshot"}, false, true, "", IfOutlookRuns::Snapshot},
        {{"--if-outlook-runs", "snapshot"},
         true,
         true,
         "--if-outlook-runs takes close",
         IfOutlookRuns::Refuse},
        {{"--if-outlook-runs", "close"}, true, true, "", IfOutlookRuns::Close},
        // A restore never writes beside the program, so leaving files out is no choice there.
        {{"--if-outlook-runs", "skip"},
         true,
         true,
         "--if-outlook-runs takes close",
         IfOutlookRuns::Refuse},
        {{"--if-outlook-runs", "Close"},
         false,
         true,
         "--if-outlook-runs takes skip, close or snapshot",
         IfOutlookRuns::Refuse},
        {{"--if-outlook-runs"},
         false,
         true,
         "--if-outlook-runs takes skip, close or snapshot",
         IfOutlookRuns::Refuse},
        {{"--profile", "close"}, false, false, "", IfOutlookRuns::Refuse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        std::size_t i = 0;
        IfOutlookRuns way = IfOutlookRuns::Refuse;
        std::string why;
        EXPECT_EQ(c.taken, TakeIfOutlookRunsOption(c.arguments, i, c.restore, way, why));
        EXPECT_EQ(c.why, why);
        EXPECT_EQ(c.way, way);
        EXPECT_EQ(c.taken && c.arguments.size() > 1 ? 1u : 0u, i);
    }
}

}  // namespace
}  // namespace kestrel
