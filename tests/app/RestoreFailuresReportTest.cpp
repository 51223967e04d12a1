// A restore with very many failures (an archive can be crafted to list a name per failure): the
// message lists a few hundred and counts the rest, the log keeps them all.

#include <gtest/gtest.h>

#include <string>

#include "app/RestoreSetup.h"
#include "restore/RestoreRun.h"
#include "support/FakePlatform.h"
#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

RestoreOutcome FailedSignatures(std::size_t count)
{
    RestoreOutcome outcome;
    outcome.ran[2] = true;
    for (std::size_t i = 1; i <= count; ++i) {
        outcome.failures.push_back("Signatures: C:\\Sig\\" + std::to_string(i) +
                                   ".txt could not be read");
    }
    return outcome;
}

std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(RestoreFailuresReport, TheMessageListsTwoHundredAndCountsTheRest)
{
    const struct {
        std::size_t failures;
        std::size_t listed;
        const char* ending;
    } cases[] = {
        {1, 1, "\r\nSignatures: C:\\Sig\\1.txt could not be read"},
        {200, 200, "\r\nSignatures: C:\\Sig\\200.txt could not be read"},
        {201, 200,
         "\r\nSignatures: C:\\Sig\\200.txt could not be read\r\nand 1 more, listed in kestrel.log"},
        {400000, 200,
         "\r\nSignatures: C:\\Sig\\200.txt could not be read\r\nand 399800 more, listed in "
         "kestrel.log"},
    };
    for (const auto& c : cases) {
        const std::string text = RestoreResultText(FailedSignatures(c.failures));
        EXPECT_EQ(c.listed, CountOf(text, "\r\nSignatures: ")) << c.failures;
        const std::string ending = c.ending;
        ASSERT_GE(text.size(), ending.size());
        EXPECT_EQ(ending, text.substr(text.size() - ending.size())) << c.failures;
    }
}

TEST(RestoreFailuresReport, TheLogHoldsEveryFailureOfACutList)
{
    const struct {
        std::size_t failures;
        std::size_t logged;
    } cases[] = {{200, 0}, {201, 201}, {1000, 1000}};
    for (const auto& c : cases) {
        testing::FakePlatform fake;
        auto* files = new testing::MemoryFileSystem;
        fake.platform.fileSystem.reset(files);
        fake.platform.dataFolder = "C:\\Users\\ann\\AppData\\Local\\Kestrel";
        files->AddFolder(fake.platform.dataFolder);
        RestoreOutcome outcome = FailedSignatures(c.failures);
        outcome.failures.back() += "\r\nsecond line";
        LogRestoreFailures(fake.platform, "D:\\mail.ksb", outcome);
        const auto lines = files->ReadTextLines(fake.platform.dataFolder + "\\kestrel.log");
        ASSERT_EQ(c.logged, lines ? lines->size() : 0) << c.failures;
        if (c.logged == 0) {
            continue;
        }
        const std::string last = lines->back();
        const std::string expected = "\trestore from D:\\mail.ksb: Signatures: C:\\Sig\\" +
                                     std::to_string(c.failures) +
                                     ".txt could not be read  second line";
        ASSERT_GE(last.size(), expected.size());
        EXPECT_EQ(expected, last.substr(last.size() - expected.size()));
        EXPECT_EQ(19u, last.find('\t')) << last;  // "YYYY-MM-DD hh:mm:ss" first
    }
}

}  // namespace
}  // namespace kestrel
