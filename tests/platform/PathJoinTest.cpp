#include "platform/PathJoin.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(PathJoin, PutsOneSeparatorOfTheFoldersKindBetween)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"C:\\Users\\ann", "x.pst", "C:\\Users\\ann\\x.pst"},
        {"D:\\", "ksbackup.dat", "D:\\ksbackup.dat"},
        {"C:\\Temp\\", "\\x.tmp", "C:\\Temp\\x.tmp"},
        {"C:\\Temp", "\\\\x.tmp", "C:\\Temp\\x.tmp"},
        {"C:", "x", "C:\\x"},
        {"\\\\srv\\share", "x", "\\\\srv\\share\\x"},
        {"C:/Temp", "x", "C:/Temp\\x"},  // a Windows path, whatever separator it ends in
        {"C:/Temp/", "x", "C:/Temp/x"},
        {"/tmp/kestrel", "x.ksb", "/tmp/kestrel/x.ksb"},
        {"/tmp/kestrel/", "/x.ksb", "/tmp/kestrel/x.ksb"},
        {"/", "x", "/x"},
        {"", "x.pst", "x.pst"},
        {"", "\\x.pst", "\\x.pst"},
        {"C:\\Temp", "", "C:\\Temp\\"},
    };
    for (const auto& [folder, name, joined] : cases) {
        EXPECT_EQ(joined, JoinPath(folder, name)) << folder << " + " << name;
    }
}

TEST(PathJoin, ParentFolderIsWhatTheNameWasJoinedTo)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Backups\\Outlook.ksb", "C:\\Backups"},
        {"\\\\srv\\share\\x.ksb", "\\\\srv\\share"},
        {"/tmp/kestrel/x.ksb", "/tmp/kestrel"},
        {"/x.ksb", "/"},
        {"x.ksb", ""},
    };
    for (const auto& [path, parent] : cases) {
        EXPECT_EQ(parent, ParentFolder(path)) << path;
    }
}

}  // namespace
}  // namespace kestrel
