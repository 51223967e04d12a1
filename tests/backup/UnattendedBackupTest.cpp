// The argument text a scheduled job starts the program with, and the log line of each run.

#include "backup/UnattendedBackup.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(UnattendedArguments, ExactlyFiveFieldsWithTheirNamesReadByPosition)
{
    const struct {
        const char* text;
        const char* expected;  // "profile|flags|password|path", or null: nothing is written
    } cases[] = {
        {"sf=Outlookxm=111111111ps=secretbf=C:\\Backups\\a.ksb",
         "Outlook|111111111|secret|C:\\Backups\\a.ksb"},
        {"sf=Outlookxm=000000001ps=bf=D:\\b.ksb", "Outlook|000000001||D:\\b.ksb"},
        {"sf=My Profilexm=1ps=pwbf=\\\\srv\\share\\c.ksb", "My Profile|1|pw|\\\\srv\\share\\c.ksb"},
        // The part names are compared as well as counted: other names, or the right ones in
        // another order, would put a password where the path belongs.
        {"ab=My Profilecd=1ef=pwgh=\\\\srv\\share\\c.ksb", nullptr},
        {"sf=Outlookxm=1bf=C:\\a.ksbps=secret", nullptr},
        // Names compare without regard to case, as every name the program reads.
        {"SF=OutlookXM=1Ps=bF=C:\\a.ksb", "Outlook|1||C:\\a.ksb"},
        {"  Sf=Outlookxm=1ps=secretBF=C:\\a.ksb", "Outlook|1|secret|C:\\a.ksb"},
        {"  sf=Outlookxm=1ps=bf=C:\\a.ksb", "Outlook|1||C:\\a.ksb"},
        {"x sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"sf=Outlookxm=1ps=bx=C:\\a.ksb", nullptr},
        // A password or path holding "=" would shift the fields: refused, not guessed.
        {"sf=Outlookxm=111111111ps=a=bbf=C:\\a.ksb", nullptr},
        {"sf=Outlookxm=111111111ps=secretbf=C:\\a=b.ksb", nullptr},
        {"sf=Outlookxm=111111111ps=secret", nullptr},
        {"sf=x", nullptr},
        {"", nullptr},
        {"sf=xm=111111111ps=bf=C:\\a.ksb", nullptr},  // no profile
        {"sf=Outlookxm=ps=bf=C:\\a.ksb", nullptr},    // no flags
        {"sf=Outlookxm=111111111ps=bf=", nullptr},    // no archive
        {"sf=x=y=z=C:\\a.ksb", nullptr},              // fields too short to hold the next name
    };
    for (const auto& c : cases) {
        const auto parsed = ParseUnattendedArguments(c.text);
        if (c.expected == nullptr) {
            EXPECT_FALSE(parsed) << c.text;
            continue;
        }
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(c.expected, parsed->profileName + "|" + parsed->itemFlags + "|" +
                                  parsed->password + "|" + parsed->archivePath)
            << c.text;
    }
}

// What the log says of a text it cannot use names the part at fault, not only a count.
TEST(UnattendedArguments, ARefusedTextSaysWhichPartIsWrong)
{
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"sf=Outlookxm=1pw=bf=C:\\a.ksb", "part 3 is named \"pw\", not \"ps\""},
        {"sf=Outlookxm=1ps=bx=C:\\a.ksb", "part 4 is named \"bx\", not \"bf\""},
        {"x sf=Outlookxm=1ps=bf=C:\\a.ksb", "the first part is named \"x sf\", not \"sf\""},
        {"sf=x=y=z=C:\\a.ksb", "part 2 is named \"x\", not \"xm\""},
        {"sf=Outlookxm=1ps=a=bbf=C:\\a.ksb",
         "the argument text has 6 parts, not five (a value holding \"=\" shifts them)"},
        {"", "the argument text has 1 parts, not five (a value holding \"=\" shifts them)"},
        {"sf=xm=1ps=bf=C:\\a.ksb", "the profile (sf=) is empty"},
        {"sf=Outlookxm=ps=bf=C:\\a.ksb", "the item flags (xm=) are empty"},
        {"sf=Outlookxm=1ps=bf=", "the archive (bf=) is empty"},
        {"--keep 0 sf=Outlookxm=1ps=bf=C:\\a.ksb", "the option --keep 0 is not known"},
        {"--keep", "the option --keep has no value before the parts"},
        {"--password-key k sf=Outlookxm=1ps=pwbf=C:\\a.ksb",
         "the password is given both by --password-key and in ps="},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseUnattendedArguments(c.text, &why)) << c.text;
        EXPECT_EQ(c.why, why) << c.text;
    }
    std::tm evening{};
    evening.tm_year = 2026 - 1900;
    evening.tm_mon = 11;
    evening.tm_mday = 6;
    evening.tm_hour = 23;
    evening.tm_min = 31;
    evening.tm_isdst = -1;
    EXPECT_EQ(
        "2026-12-06 23:31:00\tstatus 2: nothing written: the argument text cannot be used: "
        "part 3 is named \"pw\", not \"ps\"",
        InvalidArgumentsLogLine(std::mktime(&evening), "part 3 is named \"pw\", not \"ps\""));
}

// A job made by this program puts its options before the five parts; anything it does not
// know is refused rather than read as a profile.
TEST(UnattendedArguments, OptionsBeforeTheFiveParts)
{
    const struct {
        const char* text;
        const char* expected;  // "keep|key|path|differential days", or null: nothing is written
    } cases[] = {
        {"--keep 3 sf=Outlookxm=1ps=bf=C:\\a.ksb", "3||C:\\a.ksb|0"},
        {"--keep 7 --differential 7 sf=Outlookxm=1ps=bf=C:\\a.ksb", "7||C:\\a.ksb|7"},
        {"--differential 365 sf=Outlookxm=1ps=bf=C:\\a.ksb", "1||C:\\a.ksb|365"},
        {"--differential 0 sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--differential 366 sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--differential sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--password-key job-1f sf=Outlookxm=1ps=bf=C:\\a b.ksb", "1|job-1f|C:\\a b.ksb|0"},
        {"--keep 99 --password-key k sf=Outlookxm=1ps=bf=C:\\a.ksb", "99|k|C:\\a.ksb|0"},
        {"--keep 0 sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--keep 100 sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--keep x sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--keep sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--password-key ../x sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        {"--verify 1 sf=Outlookxm=1ps=bf=C:\\a.ksb", nullptr},
        // Two passwords: which one the archive gets would be a guess.
        {"--password-key k sf=Outlookxm=1ps=secretbf=C:\\a.ksb", nullptr},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseUnattendedArguments(c.text);
        if (c.expected == nullptr) {
            EXPECT_FALSE(parsed) << c.text;
            continue;
        }
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ("Outlook", parsed->profileName);
        EXPECT_EQ(c.expected, std::to_string(parsed->keep) + "|" + parsed->passwordKey + "|" +
                                  parsed->archivePath + "|" +
                                  std::to_string(parsed->differentialDays))
            << c.text;
    }
}

TEST(UnattendedArguments, FlagsTickTheBoxesTheySayAndAPasswordProtects)
{
    const struct {
        const char* flags;
        const char* boxes;
    } cases[] = {{"111111111", "111111111"},
                 {"1", "100000000"},
                 {"0000000011", "000000001"},
                 {"1x1y1", "101010000"},
                 {"", "000000000"}};
    for (const auto& c : cases) {
        std::string boxes;
        for (bool ticked : BoxesFromFlags(c.flags)) {
            boxes += ticked ? '1' : '0';
        }
        EXPECT_EQ(c.boxes, boxes) << c.flags;
    }
    const BackupRequest open = UnattendedRequest({"Outlook", "1", "", "C:\\a.ksb", 1, ""}, 0);
    EXPECT_FALSE(open.protect);
    EXPECT_EQ("Automatic Backup", open.description);
    const BackupRequest closed = UnattendedRequest({"Outlook", "1", "pw", "C:\\a.ksb", 1, ""}, 0);
    EXPECT_TRUE(closed.protect);
    EXPECT_EQ("pw", closed.password);
}

TEST(UnattendedLog, OneLineWithTheFlagsBytesTimeAndStatus)
{
    std::tm noon{};
    noon.tm_year = 2026 - 1900;
    noon.tm_mon = 11;
    noon.tm_mday = 6;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    const std::time_t time = std::mktime(&noon);

    BackupOutcome written;
    written.result = BackupResult::Written;
    written.ran = {true, true, true};
    written.succeeded = {true, false, true};
    written.archiveBytes = 1234;
    written.leftOut = {"cannot open C:\\Mail\\Outlook.pst:\r\nin use"};
    EXPECT_EQ(
        "2026-12-06 12:00:00\tprofile Outlook\tarchive C:\\a.ksb\titems 10100000000\t"
        "bytes 1234\tseconds 2.5\tstatus 1: written, but an item failed; not in the "
        "backup: cannot open C:\\Mail\\Outlook.pst:  in use",
        BackupLogLine(time, "Outlook", "C:\\a.ksb", written, 2.5));

    BackupOutcome failed;
    failed.result = BackupResult::WriteFailed;
    failed.error = "cannot write C:\\a.ksb: disk full";
    EXPECT_EQ(
        "2026-12-06 12:00:00\tprofile Outlook\tarchive C:\\a.ksb\titems 00000000000\t"
        "bytes 0\tseconds 0.0\tstatus 2: nothing written: cannot write C:\\a.ksb: disk full",
        BackupLogLine(time, "Outlook", "C:\\a.ksb", failed, 0));
}

TEST(HeldFilesLogField, SaysHowEachHeldFileWasRead)
{
    const FileHolder outlook{"OUTLOOK.EXE", 412, "OUTLOOK.EXE"};
    const HeldFile pst{"C:\\Mail\\a.pst", {outlook}};
    const HeldFile pab{"C:\\Mail\\b.pab", {outlook}};
    HeldCheck partly;
    partly.held = {pst, pab};
    partly.stillHeld = {pab};
    HeldCheck snapshot = partly;
    snapshot.fromSnapshot = {pst.path};
    HeldCheck fellBack = partly;
    fellBack.snapshotFailure = "no shadow copy could be made: not implemented";
    const struct {
        HeldCheck check;
        const char* expected;
    } cases[] = {
        {{}, ""},
        {partly,
         "held by OUTLOOK.EXE (process 412): C:\\Mail\\a.pst closed and restarted, "
         "C:\\Mail\\b.pab left out"},
        {snapshot,
         "held by OUTLOOK.EXE (process 412): C:\\Mail\\a.pst read from a snapshot, "
         "C:\\Mail\\b.pab left out"},
        // A snapshot that failed: the gate closed Outlook instead, and the line says both.
        {fellBack,
         "no shadow copy (no shadow copy could be made: not implemented), so Outlook was asked "
         "to close; held by OUTLOOK.EXE (process 412): C:\\Mail\\a.pst closed and restarted, "
         "C:\\Mail\\b.pab left out"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, HeldFilesLogField(c.check));
    }

    BackupOutcome written;
    written.result = BackupResult::Written;
    const std::string line =
        BackupLogLine(0, "Outlook", "C:\\a.ksb", written, 1, HeldFilesLogField(partly));
    EXPECT_NE(std::string::npos,
              line.find("\tseconds 1.0\theld by OUTLOOK.EXE (process 412): C:\\Mail\\a.pst closed "
                        "and restarted, C:\\Mail\\b.pab left out\tstatus 0: written"))
        << line;
    ASSERT_TRUE(ParseBackupLogLine(line));
    EXPECT_EQ("written", ParseBackupLogLine(line)->result);
}

TEST(BackupExitStatus, ZeroOnlyWhenWrittenWithEverySelectedItem)
{
    const struct {
        BackupResult result;
        ItemResults ran, succeeded;
        int status;
    } cases[] = {
        {BackupResult::Written, {true, true}, {true, true}, 0},
        {BackupResult::Written, {true, true}, {true, false}, 1},
        // A profile without a rules file is normal: that alone is no failure.
        {BackupResult::Written, {true, true, true}, {true, true, false}, 0},
        {BackupResult::Written, {true}, {false}, 1},
        {BackupResult::WriteFailed, {true}, {true}, 2},
        {BackupResult::NothingCollected, {true}, {false}, 2},
        {BackupResult::Cancelled, {true}, {true}, 2},
    };
    for (const auto& c : cases) {
        BackupOutcome outcome;
        outcome.result = c.result;
        outcome.ran = c.ran;
        outcome.succeeded = c.succeeded;
        EXPECT_EQ(c.status, BackupExitStatus(outcome)) << static_cast<int>(c.result);
    }
}

}  // namespace
}  // namespace kestrel
