#include <gtest/gtest.h>

#include <tuple>

#include "archive/ArchiveTestSupport.h"
#include "archive/InfoFile.h"
#include "archive/ItemTable.h"

namespace kestrel {
namespace {

using testing::ScratchFolder;

TEST(InfoFile, GetINIFindsTheFirstWholeKeyBeforeAnEmptyLine)
{
    struct Case {
        const char* file;
        const char* key;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"BackupItem=00001000000\r\n", "backupitem", "00001000000"},
        {"BackupItemX=1\r\nBackupItem=2\r\n", "BackupItem", "2"},
        {"BackupInformation=x=y\r\n", "BackupInformation", "x=y"},
        {"BackupTime=1\r\nBackupTime=2\r\n", "BACKUPTIME", "1"},
        {"BackupConfig=\r\nBackupItem=1\r\n", "BackupConfig", ""},
        {"BackupComputer=PC\r\n\r\nBackupItem=11000000000\r\n", "BackupItem", ""},
        {"no equals sign\r\nBackupPab=a.pab\r\n", "BackupPab", "a.pab"},
        {"Backup Pab=a.pab\r\n", "BackupPab", ""},
        {"", "BackupItem", ""},
        {"BackupSetting=caf\xE9.xml", "BackupSetting", "caf\xC3\xA9.xml"},
    };
    ScratchFolder scratch;
    for (const Case& c : cases) {
        const std::string file = scratch.Make("info.dat", c.file);
        EXPECT_EQ(c.value, GetINI(scratch.Files(), c.key, file)) << c.file;
    }
    EXPECT_EQ(std::nullopt, GetINI(scratch.Files(), "BackupItem", scratch.Path("missing.dat")));
}

// However the text box gave a line break, it stays out of the file as the marker, so that the
// keys after it are found; it reads back as a Windows line break.
TEST(InfoFile, SaveINIAppendsLinesAndADescriptionsLineBreaksBecomeTheMarker)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"one\ntwo x=y", "onePS$KSBtwo x=y", "one\r\ntwo x=y"},
        {"one\rtwo", "onePS$KSBtwo", "one\r\ntwo"},
        {"one\n\ntwo\r\n", "onePS$KSBPS$KSBtwoPS$KSB", "one\r\n\r\ntwo\r\n"},
        {"one\n\r\r\ntwo", "onePS$KSBPS$KSBPS$KSBtwo", "one\r\n\r\n\r\ntwo"},  // LF, CR, CR LF
        {"note\nBackupItem=0", "notePS$KSBBackupItem=0", "note\r\nBackupItem=0"},
    };
    for (const auto& [description, stored, read] : cases) {
        ScratchFolder scratch;
        const std::string file = scratch.Path(InfoFileName);
        ASSERT_TRUE(
            SaveINI(scratch.Files(), "BackupInformation", EncodeDescription(description), file));
        ASSERT_TRUE(SaveINI(scratch.Files(), "BackupItem", "1", file));
        EXPECT_EQ("BackupInformation=" + std::string(stored) + "\r\nBackupItem=1\r\n",
                  scratch.Read(InfoFileName));
        EXPECT_EQ("1", GetINI(scratch.Files(), "BackupItem", file)) << description;
        EXPECT_EQ(read, DecodeDescription(*GetINI(scratch.Files(), "BackupInformation", file)));
    }
    ScratchFolder scratch;
    EXPECT_FALSE(SaveINI(scratch.Files(), "Key", "v", scratch.Path("missing") + "\\x.dat"));
}

// A file whose every value fits the code page is the ANSI file earlier builds wrote, byte for
// byte. The first value that does not fit turns the whole file into UTF-8 under its marker
// line, the lines before it rewritten, and every later line is UTF-8 too; each reads back as
// it was saved.
TEST(InfoFile, AValueTheCodePageCannotHoldMakesTheWholeFileUtf8UnderItsMarker)
{
    const std::string greeting =
        "Gr\xC3\xBC\xC3\x9F"
        "e";  // fits Windows-1252
    const std::string russian = "\xD0\x9F\xD0\xBE\xD0\xB4.htm;Bob_files/a.png";  // does not
    const std::string cafe = "caf\xC3\xA9";
    ScratchFolder scratch;
    const std::string file = scratch.Path(InfoFileName);
    ASSERT_TRUE(SaveINI(scratch.Files(), "BackupComputer", "PC", file));
    ASSERT_TRUE(SaveINI(scratch.Files(), "BackupInformation", greeting, file));
    EXPECT_EQ(
        "BackupComputer=PC\r\nBackupInformation=Gr\xFC\xDF"
        "e\r\n",
        scratch.Read(InfoFileName));
    ASSERT_TRUE(SaveINI(scratch.Files(), "BackupSignatures", russian, file));
    ASSERT_TRUE(SaveINI(scratch.Files(), "BackupSetting", cafe, file));
    EXPECT_EQ("BackupText=UTF-8\r\nBackupComputer=PC\r\nBackupInformation=" + greeting +
                  "\r\nBackupSignatures=" + russian + "\r\nBackupSetting=" + cafe + "\r\n",
              scratch.Read(InfoFileName));
    EXPECT_EQ("PC", GetINI(scratch.Files(), "BackupComputer", file));
    EXPECT_EQ(greeting, GetINI(scratch.Files(), "BackupInformation", file));
    EXPECT_EQ(russian, GetINI(scratch.Files(), "BackupSignatures", file));
    EXPECT_EQ(cafe, GetINI(scratch.Files(), "BackupSetting", file));

    // Only a marker in the first line makes a file UTF-8; bytes that are not UTF-8 in a marked
    // file read as U+FFFD, never as text of another encoding.
    const std::pair<const char*, const char*> others[] = {
        {"BackupComputer=PC\r\nBackupText=UTF-8\r\nBackupSetting=caf\xE9\r\n", "caf\xC3\xA9"},
        {"BackupText=UTF-8\r\nBackupSetting=caf\xE9\r\n", "caf\xEF\xBF\xBD"},
    };
    for (const auto& [text, value] : others) {
        EXPECT_EQ(value, GetINI(scratch.Files(), "BackupSetting", scratch.Make("other.dat", text)))
            << text;
    }
}

TEST(ItemTable, BoxesSelectItemsAndBackupItemFollowsTheTableOrder)
{
    struct Case {
        std::vector<int> ticked;
        std::vector<std::string> ranItems;
    };
    const Case cases[] = {
        {{2}, {"Signatures"}},
        {{0}, {"Config", "Datas", "Rules"}},
        {{1}, {"Config", "Accounts"}},
        {{4}, {"Config", "Pab"}},
        {{5, 8}, {"Configsetting", "Contacts"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        ItemBoxes boxes{};
        for (int box : c.ticked) {
            boxes[static_cast<std::size_t>(box)] = true;
        }
        std::vector<std::string> ran;
        for (const ItemKind& item : ItemTable) {
            if (ItemRuns(item, boxes)) {
                ran.push_back(item.name);
            }
        }
        EXPECT_EQ(c.ranItems, ran);
    }

    // Box 0 on a profile with a key and data files but no rules file.
    ItemResults results{};
    results[0] = results[1] = true;
    EXPECT_EQ("11000000000", BackupItemValue(results));
    ItemResults signaturesOnly{};
    signaturesOnly[4] = true;
    EXPECT_EQ("00001000000", BackupItemValue(signaturesOnly));
    EXPECT_FALSE(IsValidBackupItemValue(""));
    EXPECT_FALSE(IsValidBackupItemValue("1100000000"));
}

}  // namespace
}  // namespace kestrel
