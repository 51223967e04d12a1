// The one writer of files that hold a password on Linux (scheduled jobs' units, the user's
// secrets): private from the first byte, never written over where a new file was asked for.

#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "platform/posix/PrivateFile.h"
#include "support/ScratchFolder.h"

namespace kestrel {
namespace {

unsigned ModeOf(const std::filesystem::path& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 0777 : 0;
}

TEST(PrivateFile, WritesOnlyWhatTheOwnerMayRead)
{
    struct Case {
        const char* name;
        std::optional<std::string> before;  // the file there before, mode 0644
        PrivateWrite how;
        bool written;
        bool existed;
    };
    const Case cases[] = {
        {"new file", std::nullopt, PrivateWrite::CreateNew, true, false},
        {"new file asked for, one there", "old text, longer", PrivateWrite::CreateNew, false, true},
        {"replacing a readable file", "old text, longer", PrivateWrite::Replace, true, false},
        {"replacing where there is none", std::nullopt, PrivateWrite::Replace, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScratchFolder scratch;
        const std::filesystem::path path = scratch.Native("unit");
        if (c.before) {
            scratch.Make("unit", *c.before);
            chmod(path.c_str(), 0644);
        }
        bool existed = !c.existed;
        const std::optional<Error> failure = WritePrivateFile(path, "ps=secret", c.how, &existed);
        EXPECT_EQ(!failure, c.written);
        EXPECT_EQ(existed, c.existed);
        EXPECT_EQ(scratch.Read("unit"), c.written ? "ps=secret" : *c.before);
        EXPECT_EQ(ModeOf(path), c.written ? 0600u : 0644u);
    }
}

TEST(PrivateFile, AFolderThatIsNotThereIsAnError)
{
    testing::ScratchFolder scratch;
    bool existed = true;
    const std::optional<Error> failure =
        WritePrivateFile(scratch.Native("missing/unit"), "x", PrivateWrite::Replace, &existed);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->operation, "create");
    EXPECT_FALSE(existed);
}

}  // namespace
}  // namespace kestrel

#endif
