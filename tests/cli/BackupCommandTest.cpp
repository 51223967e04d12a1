#include "cli/BackupCommand.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kestrel {
namespace {

using Arguments = std::vector<std::string>;

TEST(BackupCommand, RefusesWhatCannotBeRunAndSaysWhy)
{
    const std::pair<Arguments, const char*> cases[] = {
        {{"--items", "1", "a.ksb"}, "--profile NAME is missing"},
        {{"--profile", "Outlook", "a.ksb"}, "--items FLAGS is missing"},
        {{"--profile", "Outlook", "--items", "1"}, "the archive to write is missing"},
        {{"--profile", "Outlook", "--items", "1111111111", "a.ksb"},
         "--items takes 1 to 9 characters, each 0 or 1, not \"1111111111\""},
        {{"--profile", "Outlook", "--items", "1x1", "a.ksb"},
         "--items takes 1 to 9 characters, each 0 or 1, not \"1x1\""},
        {{"--profile", "Outlook", "--items", "", "a.ksb"},
         "--items takes 1 to 9 characters, each 0 or 1, not \"\""},
        {{"--profile", "Outlook", "--items", "000000000", "a.ksb"}, "--items selects no item"},
        {{"--profile", "Outlook", "--items", "1", "a.ksb", "b.ksb"},
         "one archive only, not a.ksb and b.ksb"},
        {{"--profile", "Outlook", "--items", "1", "--password", "pw", "a.ksb"},
         "--password is refused: other users see it in the process list; use --password-stdin "
         "or --password-file"},
        {{"--profile", "Outlook", "--items", "1", "--password-stdin", "--password-file", "f",
          "a.ksb"},
         "choose one of --password-stdin and --password-file"},
        {{"--profile", "Outlook", "--items", "1", "--password-file", "f", "--password-stdin",
          "a.ksb"},
         "choose one of --password-stdin and --password-file"},
        {{"--profile", "Outlook", "--items", "1", "--verbose", "a.ksb"},
         "unknown option --verbose"},
        {{"--profile", "Outlook", "a.ksb", "--items"}, "--items needs a value"},
        {{"--profile", "Outlook", "--items", "1", "--keep", "0", "a.ksb"},
         "--keep takes a number from 1 to 99"},
        {{"--profile", "Outlook", "--items", "1", "a.ksb", "--keep"},
         "--keep takes a number from 1 to 99"},
    };
    for (const auto& [arguments, why] : cases) {
        const auto parsed = ParseBackupOptions(arguments);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << why;
        EXPECT_EQ(why, std::get<std::string>(parsed));
    }
}

TEST(BackupCommand, ReadsEveryOptionInAnyOrder)
{
    const auto parsed = ParseBackupOptions({"C:\\Backups\\a.ksb", "--password-file", "/run/pw",
                                            "--description", "before the move", "--keep", "12",
                                            "--items", "101", "--verify", "--profile", "Outlook"});
    ASSERT_TRUE(std::holds_alternative<BackupOptions>(parsed)) << std::get<std::string>(parsed);
    const BackupOptions& options = std::get<BackupOptions>(parsed);
    EXPECT_EQ("Outlook", options.profile);
    EXPECT_EQ("101", options.items);
    EXPECT_EQ("before the move", options.description);
    EXPECT_EQ(PasswordFrom::File, options.passwordFrom);
    EXPECT_EQ("/run/pw", options.passwordFile);
    EXPECT_EQ("C:\\Backups\\a.ksb", options.target);
    EXPECT_EQ(12, options.keep);
    EXPECT_TRUE(options.verify);

    const auto help = ParseBackupOptions({"--items", "2", "--help"});
    ASSERT_TRUE(std::holds_alternative<BackupOptions>(help));
    EXPECT_TRUE(std::get<BackupOptions>(help).help);
}

TEST(BackupCommand, PasswordIsTheFirstLineWithoutItsBreak)
{
    const std::pair<const char*, const char*> cases[] = {
        {"secret\n", "secret"},       {"secret\r\n", "secret"}, {"secret", "secret"},
        {"a=b c\nsecond\n", "a=b c"}, {"\nsecret\n", ""},       {"\r\n", ""},
        {"in\rside\n", "in\rside"},   {"trail \n", "trail "},
    };
    for (const auto& [text, password] : cases) {
        EXPECT_EQ(password, PasswordLine(text)) << text;
    }
}

TEST(BackupCommand, WindowsPathsStayAsGivenAndHostPathsBecomeAbsolute)
{
    for (const char* path : {"C:\\Backups\\a.ksb", "d:backup.ksb", "\\\\srv\\share\\a.ksb"}) {
        EXPECT_EQ(path, ArchiveArgumentPath(path));
    }
    const std::string relative = ArchiveArgumentPath("nightly.ksb");
    EXPECT_NE("nightly.ksb", relative);
    EXPECT_EQ("nightly.ksb", relative.substr(relative.size() - 11));
    // A backslash in a path of this system would be read as a separator: refused at once.
    EXPECT_EQ(
        "the archive /srv/a\\b.ksb holds a \"\\\", which the program reads as a folder "
        "separator as Windows does, so no archive can be written there",
        HostTargetProblem("/srv/a\\b.ksb"));
    for (const char* path : {"/srv/a b.ksb", "C:\\Backups\\a.ksb", "\\\\srv\\s\\a.ksb", ""}) {
        EXPECT_EQ("", HostTargetProblem(path)) << path;
    }
}

// The outcome of a run of every item, with the given items failed.
BackupOutcome Outcome(BackupResult result, std::initializer_list<int> failed)
{
    BackupOutcome outcome;
    outcome.result = result;
    outcome.ran.fill(true);
    outcome.succeeded.fill(true);
    for (int item : failed) {
        outcome.succeeded[static_cast<std::size_t>(item)] = false;
    }
    return outcome;
}

TEST(BackupCommand, ReportNamesEachItemAndWhatBecameOfTheArchive)
{
    BackupOutcome written = Outcome(BackupResult::Written, {2});
    written.archiveBytes = 4211;
    EXPECT_EQ(
        "Config                           ok\n"
        "Backup Personal Folders          ok\n"
        "Rules                            none\n"
        "Backup Accounts Settings         ok\n"
        "Backup Signatures                ok\n"
        "Backup Stationeries              ok\n"
        "Backup Personal Address Book     ok\n"
        "Backup Options Settings          ok\n"
        "Backup Templates                 ok\n"
        "Backup Preferences               ok\n"
        "Backup Contacts Folder           ok\n"
        "written: /tmp/a.ksb (4211 bytes)\n",
        BackupReport(written, "/tmp/a.ksb"));

    BackupOutcome partial = Outcome(BackupResult::Written, {1});
    partial.ran = {true, true, true};
    partial.leftOut = {"C:\\Mail\\a.pst: held open by another program"};
    partial.archiveBytes = 99;
    EXPECT_EQ(
        "Config                           ok\n"
        "Backup Personal Folders          FAILED\n"
        "Rules                            ok\n"
        "not in the backup: C:\\Mail\\a.pst: held open by another program\n"
        "written, but an item failed: C:\\B\\a.ksb (99 bytes)\n",
        BackupReport(partial, "C:\\B\\a.ksb"));
    // A run that kept a history: where its archive went, and what it took the place of.
    partial.archivePath = "C:\\B\\a (incomplete 2026-12-07 2330 UTC).ksb";
    partial.writtenBeside = true;
    partial.keptBackup = "C:\\B\\a.ksb";
    partial.leftOut.clear();
    EXPECT_EQ(
        "Config                           ok\n"
        "Backup Personal Folders          FAILED\n"
        "Rules                            ok\n"
        "written, but an item failed: C:\\B\\a (incomplete 2026-12-07 2330 UTC).ksb (99 bytes)\n"
        "kept: C:\\B\\a.ksb, which this archive would have replaced\n",
        BackupReport(partial, "C:\\B\\a.ksb"));
    // With generations, the newest of them is what the run kept.
    partial.keptBackup = "C:\\B\\a 2026-12-06 2330 UTC.ksb";
    partial.removed = {"C:\\B\\a (incomplete 2026-12-05 2330 UTC).ksb"};
    EXPECT_EQ(
        "Config                           ok\n"
        "Backup Personal Folders          FAILED\n"
        "Rules                            ok\n"
        "written, but an item failed: C:\\B\\a (incomplete 2026-12-07 2330 UTC).ksb (99 bytes)\n"
        "kept: C:\\B\\a 2026-12-06 2330 UTC.ksb, the newest complete backup\n"
        "removed: C:\\B\\a (incomplete 2026-12-05 2330 UTC).ksb\n",
        BackupReport(partial, "C:\\B\\a.ksb"));
    written.archivePath = "/tmp/a 2026-12-07 2330 UTC.ksb";
    written.removed = {"/tmp/a 2026-12-05 2330 UTC.ksb"};
    written.datedAfter = {"/tmp/a 2027-01-01 0000 UTC.ksb"};
    written.ran = {true};
    EXPECT_EQ(
        "Config                           ok\n"
        "written: /tmp/a 2026-12-07 2330 UTC.ksb (4211 bytes)\n"
        "removed: /tmp/a 2026-12-05 2330 UTC.ksb\n"
        "dated after this run, so not taken for the newest: /tmp/a 2027-01-01 0000 UTC.ksb\n",
        BackupReport(written, "/tmp/a.ksb"));

    BackupOutcome failed = Outcome(BackupResult::WriteFailed, {4});
    failed.ran = {false, false, false, false, true, true};
    failed.error = "cannot write C:\\B\\a.ksb: No space left on device (error 28)";
    EXPECT_EQ(
        "Backup Signatures                FAILED\n"
        "Backup Stationeries              not written\n"
        "nothing written: cannot write C:\\B\\a.ksb: No space left on device (error 28)\n",
        BackupReport(failed, "C:\\B\\a.ksb"));
}

}  // namespace
}  // namespace kestrel
