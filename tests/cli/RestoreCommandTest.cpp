#include "cli/RestoreCommand.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

using Arguments = std::vector<std::string>;

TEST(RestoreCommand, RefusesWhatCannotBeRunAndSaysWhy)
{
    const std::pair<Arguments, const char*> cases[] = {
        {{"--profile", "Outlook", "--items", "1"}, "the archive to restore from is missing"},
        {{"a.ksb", "--items", "1"}, "--profile NAME is missing"},
        {{"a.ksb", "--profile", "Outlook"}, "--items FLAGS is missing"},
        {{"a.ksb", "--profile", "Outlook", "--items", "12"},
         "--items takes 1 to 9 characters, each 0 or 1, not \"12\""},
        {{"a.ksb", "b.ksb", "--profile", "Outlook", "--items", "1"},
         "one archive only, not a.ksb and b.ksb"},
        {{"a.ksb", "--items", "1", "--profile", "Outlook", "--password-file"},
         "--password-file needs a value"},
        {{"a.ksb", "--profile", "Outlook", "--items", "1", "--description", "x"},
         "unknown option --description"},
    };
    for (const auto& [arguments, why] : cases) {
        const auto parsed = ParseRestoreOptions(arguments);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << why;
        EXPECT_EQ(why, std::get<std::string>(parsed));
    }

    const auto parsed = ParseRestoreOptions(
        {"--password-file", "/run/pw", "--items", "0010", "C:\\b.ksb", "--profile", "Second"});
    ASSERT_TRUE(std::holds_alternative<RestoreOptions>(parsed)) << std::get<std::string>(parsed);
    const RestoreOptions& options = std::get<RestoreOptions>(parsed);
    EXPECT_EQ("C:\\b.ksb", options.archive);
    EXPECT_EQ("Second", options.profile);
    EXPECT_EQ("0010", options.items);
    EXPECT_EQ(PasswordFrom::File, options.passwordFrom);
    EXPECT_EQ("/run/pw", options.passwordFile);
}

TEST(RestoreCommand, ReportsTheResultMessageAsPlainLines)
{
    RestoreOutcome outcome;
    outcome.ran[1] = outcome.succeeded[1] = true;  // data files
    outcome.ran[4] = true;                         // signatures, failed
    outcome.failures = {"Signatures: C:\\Sig\\Bob.htm could not be kept, so it was not replaced"};
    outcome.replacedFolder = "C:\\Kestrel\\Replaced\\2024-05-01 10-00-00";
    EXPECT_EQ(
        "The Restore ended with errors!\n"
        "Restore Personal Folders: Succeeded!\n"
        "Restore Signatures: Fail!\n"
        "Signatures: C:\\Sig\\Bob.htm could not be kept, so it was not replaced\n"
        "What the restore replaced is kept in C:\\Kestrel\\Replaced\\2024-05-01 10-00-00\n",
        RestoreReport(outcome));
}

}  // namespace
}  // namespace kestrel
