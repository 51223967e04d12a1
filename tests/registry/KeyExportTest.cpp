// The export text format against the registry of the system the tests run on.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "registry/ExportText.h"
#include "registry/KeyExport.h"
#include "registry/RegFile.h"
#include "registry/RegistryFixture.h"
#include "support/MemoryFileSystem.h"

namespace kestrel {
namespace {

using namespace std::string_literals;

class KeyExportTest : public testing::RegistryFixture {
protected:
    std::string Export(const std::string& keyPath)
    {
        std::ostringstream out;
        ExportKeyTree(*access_, keyPath, "", out);
        return out.str();
    }

    // Every value type, created in name order so that Wine (which lists values by name) and
    // the other backends (creation order) give the same file.
    void MakeTree(const std::string& at)
    {
        SetRaw(at, "", reg::TypeSz, "def");
        SetRaw(at, "a", reg::TypeSz, "x y");
        SetRaw(at, "b", reg::TypeDword, "\xFF\xFF\xFF\xFF"s);
        SetRaw(at, "c", reg::TypeBinary, "");
        SetRaw(at, "d", reg::TypeBinary, "\x00\xFF\x07"s);
        SetRaw(at, "e", reg::TypeExpandSz, "%TEMP%\\x");
        SetRaw(at, "f", reg::TypeMultiSz, "one\0two\0\0"s);
        SetRaw(at, "g", reg::TypeQword, "\x01\x00\x00\x00\x00\x00\x00\x00"s);
        SetRaw(at, "h", reg::TypeNone, "zz");
        SetRaw(at, "\xE9t\xE9", reg::TypeSz, "\x80 \xFC");
        SetRaw(at + "\\Child", "n", reg::TypeDword, "\x05\x00\x00\x00"s);
        MakeKey(at + "\\Child\\Grand");
        MakeKey(at + "\\Other");
    }

    const std::string treeText_ =
        "\\\r\n"
        "\"\"= sz:def\r\n"
        "\"a\"= sz:x y\r\n"
        "\"b\"= dw:-1\r\n"
        "\"c\"=bin:\r\n"
        "\"d\"=bin:0,255,7\r\n"
        "\"e\"=esz:%TEMP%\\x\r\n"
        "\"\xE9t\xE9\"= sz:\x80 \xFC\r\n"
        "\\Child\r\n"
        "\"n\"= dw:5\r\n"
        "\\Child\\Grand\r\n"
        "\\Other\r\n";
};

TEST_F(KeyExportTest, ExportWritesTheTreeByteForByteAndTheImportReplacesATreeWhole)
{
    MakeTree("Tree");
    EXPECT_EQ(treeText_, Export(base_ + "\\Tree"));
    // Keys with nothing to export give one line.
    MakeKey("Empty");
    EXPECT_EQ("\\\r\n", Export(base_ + "\\Empty"));
    EXPECT_EQ("\\\r\n", Export(base_ + "\\Missing"));
    messages_.Expect("Incorrect Format:\n\nSoftware", MessageIcon::None, MessageAnswer::Ok);
    EXPECT_EQ("\\\r\n", Export("Software"));
    SetRaw("Target", "old", reg::TypeSz, "gone");
    MakeKey("Target\\Stale\\Deep");
    ASSERT_FALSE(ImportKeyText(*access_, base_ + "\\Target", treeText_));
    EXPECT_EQ(treeText_, Export(base_ + "\\Target"));
    EXPECT_FALSE(access_->KeyExists(base_ + "\\Target\\Stale"));
    // Strings are stored NUL-terminated; REG_MULTI_SZ ("f") is not carried.
    std::string stored;  // "name=type:bytes;" for each value, as the registry holds them
    const std::vector<RegFileKey> target = ReadRegistryTree(*access_, base_ + "\\Target");
    for (const RegFileValue& v : target.at(0).values) {
        stored += v.name + "=" + std::to_string(v.type) + ":" + v.data + ";";
    }
    EXPECT_EQ(
        "=1:def\0;a=1:x y\0;b=4:\xFF\xFF\xFF\xFF;c=3:;d=3:\x00\xFF\x07;e=2:%TEMP%\\x\0;"
        "\xC3\xA9t\xC3\xA9=1:\x80 \xFC\0;"s,
        stored);

    // Through a file: replaced by an outermost export, appended to under a relative path.
    testing::MemoryFileSystem files;
    const std::string file = "C:\\Exports\\OBC1.tmp";
    files.AddFile(file, "old content");
    ASSERT_TRUE(ExportKeyTree(*access_, base_ + "\\Tree\\Other", "", files, file));
    ASSERT_TRUE(ExportKeyTree(*access_, base_ + "\\Tree\\Child", "\\Child", files, file));
    ASSERT_TRUE(ExportKeyValues(*access_, base_ + "\\Tree\\Child", files, file));
    EXPECT_EQ("\\\r\n\\Child\r\n\"n\"= dw:5\r\n\\Child\\Grand\r\n\"n\"= dw:5\r\n",
              files.Data(file));
    // A file that cannot be written keeps what it held.
    files.FailWriteNumber(1);
    EXPECT_FALSE(ExportKeyTree(*access_, base_ + "\\Tree", "", files, file));
    EXPECT_EQ(std::set<std::string>({"C:\\Exports", file}), files.Paths());
}

// What would break its line is left out and listed; the rest comes back through the import.
TEST_F(KeyExportTest, WhatTheImportCouldNotReadBackIsLeftOutAndListed)
{
    struct Case {
        const char* key;  // below Source
        const char* name;
        std::uint32_t type;
        std::string data;
        const char* listedAs;  // below Source; nullptr when not listed
    };
    const Case cases[] = {
        // in name order, as Wine lists values
        {"", "a", reg::TypeSz, "plain", nullptr},
        {"", "b", reg::TypeBinary, "\r\n", nullptr},
        {"", "c=d", reg::TypeSz, "x", "c=d"},
        {"", "e\nf", reg::TypeDword, "\x01\x00\x00\x00"s, "e\nf"},
        {"", "g", reg::TypeSz, "one\r\ntwo", "g"},
        {"", "h", reg::TypeExpandSz, "one\ntwo", "h"},
        {"", "i\r", reg::TypeSz, "one\rtwo", "i\r"},
        {"", "\xE9=", reg::TypeSz, "x", "\xC3\xA9="},
        {"Child", "n", reg::TypeDword, "\x05\x00\x00\x00"s, nullptr},
        {"Child\\Lost\nKey", "v", reg::TypeSz, "goes with its key", "Child\\Lost\nKey"},
        {"Zed", "m=", reg::TypeMultiSz, "no line for this type\0\0"s, nullptr},
    };
    std::vector<std::string> listed{"earlier"}, leftOut{"earlier"};
    for (const Case& c : cases) {
        SetRaw(std::string("Source") + (*c.key ? "\\" : "") + c.key, c.name, c.type, c.data);
        if (c.listedAs) {
            listed.push_back(base_ + "\\Source\\" + c.listedAs);
        }
    }
    testing::MemoryFileSystem files;
    ASSERT_TRUE(ExportKeyTree(*access_, base_ + "\\Source", "", files, "C:\\x.tmp", &leftOut));
    ASSERT_FALSE(ImportKeyFile(*access_, base_ + "\\Target", files, "C:\\x.tmp"));
    EXPECT_EQ("\\\r\n\"a\"= sz:plain\r\n\"b\"=bin:13,10\r\n\\Child\r\n\"n\"= dw:5\r\n\\Zed\r\n",
              Export(base_ + "\\Target"));
    std::sort(leftOut.begin(), leftOut.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, leftOut);

    std::ostringstream out;
    leftOut.clear();
    ExportKeyValues(*access_, base_ + "\\Source", out, &leftOut);
    EXPECT_EQ("\"a\"= sz:plain\r\n\"b\"=bin:13,10\r\n", out.str());
    EXPECT_EQ(6u, leftOut.size());
}

// The import reads what the format allows and no more; a malformed file changes nothing and
// names its line.
// A tree from an archive holds what a profile holds; one made to fill the registry (a million
// keys, too many values, too many bytes) is refused whole and the target stays as it was.
TEST_F(KeyExportTest, AnArchivedTreeOverItsLimitsImportsNothing)
{
    ASSERT_FALSE(ImportKeyText(*access_, base_ + "\\Target", treeText_));
    struct Case {
        const char* name;
        std::string text;
        const char* error;
    };
    std::string millionKeys = "\\\r\n";
    for (int i = 0; i < 1000000; ++i) {
        millionKeys += "\\k" + std::to_string(i) + "\r\n";
    }
    std::string manyValues = "\\\r\n";
    for (int i = 0; i <= 100000; ++i) {
        manyValues += "\"v" + std::to_string(i) + "\"= dw:1\r\n";
    }
    const std::string large = "\\\r\n\"big\"= sz:" + std::string(16u << 20, 'x') + "\r\n";
    const Case cases[] = {
        {"a million keys", millionKeys, "holds more than 5000 keys"},
        {"too many values", manyValues, "holds more than 100000 values"},
        {"too many bytes", large, "too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::MemoryFileSystem files;
        files.AddFile("C:\\x.tmp", c.text);
        const auto error =
            ImportKeyFile(*access_, base_ + "\\Target", files, "C:\\x.tmp", ArchivedTreeLimits);
        ASSERT_TRUE(error);
        EXPECT_NE(std::string::npos, error->message.find(c.error)) << error->message;
        EXPECT_EQ(treeText_, Export(base_ + "\\Target"));
    }
    // Without limits (kestrel reg import) the same keys are taken.
    testing::MemoryFileSystem files;
    files.AddFile("C:\\x.tmp", "\\\r\n\\k1\r\n");
    EXPECT_FALSE(ImportKeyFile(*access_, base_ + "\\Target", files, "C:\\x.tmp"));
}

TEST_F(KeyExportTest, ImportReadsWhatTheFormatAllowsAndRefusesMalformedFilesWhole)
{
    const std::string kept = "\\\r\n\"keep\"= sz:1\r\n\\KeepToo\r\n";
    struct Case {
        const char* why;
        std::string text;
        std::size_t errorLine;  // 0 for none
        std::string exported;   // the target exported after the import
    };
    const Case cases[] = {
        {"an empty line ends the file", "\\\r\n\"a\"= sz:1\r\n\r\n\"b\"= sz:2\r\nnot a value\r\n",
         0, "\\\r\n\"a\"= sz:1\r\n"},
        {"a name ends at the first \"=\"", "\\\r\n\"x=y\"= sz:v\r\n\"z\"= sz:w\r\n", 0,
         "\\\r\n\"z\"= sz:w\r\n"},
        {"unknown markers are skipped", "\\\r\n\"q\"=qwd:1\r\n", 0, "\\\r\n"},
        {"bare LF line ends, spaces in numbers", "\\\n\"b\"=bin: 1, 2 ,3\n\"d\"= dw: -7 \n", 0,
         "\\\r\n\"b\"=bin:1,2,3\r\n\"d\"= dw:-7\r\n"},
        {"values before the first key have nowhere to go", "\"a\"= sz:1\r\n\\\r\n", 0, "\\\r\n"},
        {"an empty file changes nothing", "", 0, kept},
        {"no equals sign", "\\\r\n\"a\"= sz:1\r\nno equals sign\r\n", 3, kept},
        {"a string with a line break", "\\\r\n\"s\"= sz:first half\r\nsecond half\r\n", 3, kept},
        {"the same key line twice reads as a value line", "\\\r\n\\A\r\n\\A\r\n", 3, kept},
        {"dword too large", "\\\r\n\"a\"= dw:2147483648\r\n", 2, kept},
        {"dword too small", "\\\r\n\"a\"= dw:-2147483649\r\n", 2, kept},
        {"dword empty", "\\\r\n\"a\"= dw:\r\n", 2, kept},
        {"dword not a number", "\\\r\n\"a\"= dw:12x\r\n", 2, kept},
        {"byte too large", "\\\r\n\"a\"=bin:1,256\r\n", 2, kept},
        {"byte missing", "\\\r\n\"a\"=bin:1,,2\r\n", 2, kept},
        {"byte negative", "\\\r\n\"a\"=bin:-1\r\n", 2, kept},
        {"no name", "\\\r\n=\r\n", 2, kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        SetRaw("Target", "keep", reg::TypeSz, "1");
        MakeKey("Target\\KeepToo");
        const auto error = ImportKeyText(*access_, base_ + "\\Target", c.text);
        EXPECT_EQ(c.errorLine != 0, error.has_value()) << (error ? error->message : "");
        if (error) {
            EXPECT_EQ(c.errorLine, error->line) << error->message;
        }
        EXPECT_EQ(c.exported, Export(base_ + "\\Target"));
        DeleteKeyTree(*access_, base_ + "\\Target");
    }
    SetRaw("Target", "keep", reg::TypeSz, "1");
    testing::MemoryFileSystem files;
    const auto missing = ImportKeyFile(*access_, base_ + "\\Target", files, "C:\\OBC1.tmp");
    ASSERT_TRUE(missing);
    EXPECT_NE(std::string::npos, missing->message.find("C:\\OBC1.tmp")) << missing->message;
    // Replacing a whole root would wipe everything under it.
    EXPECT_TRUE(ImportKeyText(*access_, "HKEY_CURRENT_USER", "\\\r\n"));
    EXPECT_TRUE(access_->KeyExists(base_));
    messages_.Expect("Incorrect Format:\n\nTarget", MessageIcon::None, MessageAnswer::Ok);
    EXPECT_TRUE(ImportKeyText(*access_, "Target", "\\\r\n"));
    EXPECT_EQ("\\\r\n\"keep\"= sz:1\r\n", Export(base_ + "\\Target"));
}

TEST_F(KeyExportTest, DeleteKeyTreeRemovesEverythingBelow)
{
    for (int i = 0; i < 40; ++i) {
        MakeKey("Doomed\\K" + std::to_string(i) + "\\Deep\\Deeper");
    }
    SetRaw("Doomed\\K3\\Deep", "v", reg::TypeSz, "x");
    MakeKey("Doomedly");
    DeleteKeyTree(*access_, base_ + "\\Doomed");
    EXPECT_FALSE(access_->KeyExists(base_ + "\\Doomed"));
    EXPECT_TRUE(access_->KeyExists(base_ + "\\Doomedly"));
    DeleteKeyTree(*access_, "HKEY_CURRENT_USER");  // never the whole root
    EXPECT_TRUE(access_->KeyExists(base_ + "\\Doomedly"));
}

}  // namespace
}  // namespace kestrel
