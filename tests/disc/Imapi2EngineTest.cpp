// The IMAPI2 engine where the system has no IMAPI2 (Wine): it cannot initialise, offers no
// drive, and ends cleanly.

#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include "disc/SystemDiscEngine.h"
#include "support/MemoryFileSystem.h"
#include "support/Wine.h"

namespace kestrel {
namespace {

using testing::UnderWine;

TEST(Imapi2Engine, CannotInitialiseWithoutImapi2)
{
    if (!UnderWine()) {
        GTEST_SKIP() << "Windows has IMAPI2; this checks a system without it";
    }
    testing::MemoryFileSystem files;
    const SystemDiscOptions options[] = {{}, {{"C:\\kestrel-test.iso"}}};
    for (const SystemDiscOptions& each : options) {
        std::unique_ptr<DiscEngine> engine = CreateSystemDiscEngine(files, each);
        ASSERT_TRUE(engine);
        EXPECT_FALSE(engine->Initialize());
        EXPECT_FALSE(engine->Initialize());  // asking again changes nothing
        EXPECT_EQ(engine->DeviceCount(), 0);
    }
}

}  // namespace
}  // namespace kestrel

#endif
