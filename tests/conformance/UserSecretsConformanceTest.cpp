// The user's secrets on the backend of the system built for: a scheduled job's password kept
// where only this user reads it, read back the same, never as plain text on Windows.

#include <gtest/gtest.h>

#include <memory>

#include "support/ScratchFolder.h"

#ifdef _WIN32
#include "platform/win32/Win32UserSecrets.h"
#else
#include <sys/stat.h>

#include "platform/posix/PosixUserSecrets.h"
#endif

namespace kestrel {
namespace {

std::string ReadOrSay(UserSecrets& secrets, const std::string& name)
{
    const Result<std::string> read = secrets.Read(name);
    return read ? *read : "(unread: " + read.error().Describe() + ")";
}

std::unique_ptr<UserSecrets> SecretsIn(const testing::ScratchFolder& scratch)
{
#ifdef _WIN32
    return std::make_unique<Win32UserSecrets>(scratch.Path("data") + "\\Secrets");
#else
    return std::make_unique<PosixUserSecrets>(scratch.Native("secrets"));
#endif
}

TEST(UserSecretsConformance, KeepsEachSecretUnderANewNameOnlyThisUserReads)
{
    testing::ScratchFolder scratch;
    const std::unique_ptr<UserSecrets> secrets = SecretsIn(scratch);
    const std::string password = "p\xC3\xA4ss w=rd \"'%$\\";
    const Result<std::string> first = secrets->Store("job-", password);
    const Result<std::string> second = secrets->Store("job-", "another");
    ASSERT_TRUE(first) << first.error().Describe();
    ASSERT_TRUE(second) << second.error().Describe();
    EXPECT_NE(*first, *second);
    EXPECT_EQ(0u, first->rfind("job-", 0));
    EXPECT_TRUE(IsSecretName(*first));
    EXPECT_EQ(password, ReadOrSay(*secrets, *first));
    EXPECT_EQ("another", ReadOrSay(*secrets, *second));

#ifdef _WIN32
    // Sealed for the user: the file never holds the password as it is.
    const std::string stored = scratch.Read("data/Secrets/" + *first);
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(std::string::npos, stored.find("w=rd"));
#else
    struct stat facts {};
    ASSERT_EQ(0, stat(scratch.Native("secrets/" + *first).c_str(), &facts));
    EXPECT_EQ(0600u, facts.st_mode & 07777);
    ASSERT_EQ(0, stat(scratch.Native("secrets").c_str(), &facts));
    EXPECT_EQ(0700u, facts.st_mode & 07777);
    EXPECT_EQ(password, scratch.Read("secrets/" + *first));
#endif

    EXPECT_TRUE(secrets->Remove(*first));
    EXPECT_FALSE(secrets->Remove(*first));
    EXPECT_FALSE(secrets->Read(*first));
    // A name that is none of a secret's could lead out of the folder.
    for (const char* name : {"", "../secrets/x", "a/b", "a\\b", "job.1"}) {
        EXPECT_FALSE(secrets->Read(name)) << name;
        EXPECT_FALSE(secrets->Remove(name)) << name;
    }
    EXPECT_EQ("another", ReadOrSay(*secrets, *second));
}

}  // namespace
}  // namespace kestrel
