// The export text format against the registry of the system the tests run on.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "registry/ExportText.h"
#include "registry/KeyExport.h"
#include "registry/RegistryFixture.h"

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

    // Raw bytes of a value, or "missing".
    std::string Raw(const std::string& relative, const std::string& name, std::uint32_t* type)
    {
        reg::Key key = 0;
        const std::string sub = subKey_ + "\\" + relative;
        if (api_->OpenKeyEx(reg::HkeyCurrentUser, sub.c_str(), reg::KeyRead, &key) != 0) {
            return "missing";
        }
        std::string data(300, '\0');
        std::uint32_t size = 300;
        const long rc = api_->QueryValueEx(key, name.c_str(), type,
                                           reinterpret_cast<std::uint8_t*>(data.data()), &size);
        api_->CloseKey(key);
        return rc == reg::Success ? data.substr(0, size) : "missing";
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

TEST_F(KeyExportTest, ExportWritesTheTreeByteForByte)
{
    MakeTree("Tree");
    EXPECT_EQ(treeText_, Export(base_ + "\\Tree"));

    // Through a file: replaced by an outermost export, appended to under a relative path.
    const auto file = scratch_.Native("export.txt");
    std::ofstream(file) << "old content";
    ASSERT_TRUE(ExportKeyTree(*access_, base_ + "\\Tree\\Other", "", file));
    ASSERT_TRUE(ExportKeyTree(*access_, base_ + "\\Tree\\Child", "\\Child", file));
    ASSERT_TRUE(ExportKeyValues(*access_, base_ + "\\Tree\\Child", file));
    std::ifstream in(file, std::ios::binary);
    std::string written(4096, '\0');
    in.read(written.data(), static_cast<std::streamsize>(written.size()));
    written.resize(static_cast<std::size_t>(in.gcount()));
    EXPECT_EQ("\\\r\n\\Child\r\n\"n\"= dw:5\r\n\\Child\\Grand\r\n\"n\"= dw:5\r\n", written);
}

TEST_F(KeyExportTest, KeysWithNothingToExportGiveOneLine)
{
    MakeKey("Empty");
    EXPECT_EQ("\\\r\n", Export(base_ + "\\Empty"));
    EXPECT_EQ("\\\r\n", Export(base_ + "\\Missing"));
    messages_.Expect("Incorrect Format:\n\nSoftware", MessageIcon::None, MessageAnswer::Ok);
    EXPECT_EQ("\\\r\n", Export("Software"));
}

TEST_F(KeyExportTest, ImportReplacesTheTargetTreeWhole)
{
    MakeTree("Source");
    SetRaw("Target", "old", reg::TypeSz, "gone");
    MakeKey("Target\\Stale\\Deep");
    ASSERT_FALSE(ImportKeyText(*access_, base_ + "\\Target", Export(base_ + "\\Source")));

    EXPECT_EQ(treeText_, Export(base_ + "\\Target"));
    std::uint32_t type = 0;
    EXPECT_EQ("missing", Raw("Target", "old", &type));
    EXPECT_EQ("missing", Raw("Target", "f", &type)) << "REG_MULTI_SZ is not carried";
    EXPECT_FALSE(access_->KeyExists(base_ + "\\Target\\Stale"));
    EXPECT_EQ("\xFF\xFF\xFF\xFF"s, Raw("Target", "b", &type));
    EXPECT_EQ(reg::TypeDword, type);
    EXPECT_EQ("", Raw("Target", "c", &type));
    EXPECT_EQ(reg::TypeBinary, type);
    EXPECT_EQ("x y\0"s, Raw("Target", "a", &type)) << "strings are stored NUL-terminated";
    EXPECT_EQ("%TEMP%\\x\0"s, Raw("Target", "e", &type));
    EXPECT_EQ(reg::TypeExpandSz, type);
}

TEST_F(KeyExportTest, ImportReadsWhatTheFormatAllowsAndNoMore)
{
    struct Case {
        const char* why;
        std::string text;
        std::string exported;  // the target exported after the import
    };
    const Case cases[] = {
        {"an empty line ends the file", "\\\r\n\"a\"= sz:1\r\n\r\n\"b\"= sz:2\r\nnot a value\r\n",
         "\\\r\n\"a\"= sz:1\r\n"},
        {"a name ends at the first \"=\"", "\\\r\n\"x=y\"= sz:v\r\n\"z\"= sz:w\r\n",
         "\\\r\n\"z\"= sz:w\r\n"},
        {"unknown markers are skipped", "\\\r\n\"q\"=qwd:1\r\n", "\\\r\n"},
        {"bare LF line ends, spaces in numbers", "\\\n\"b\"=bin: 1, 2 ,3\n\"d\"= dw: -7 \n",
         "\\\r\n\"b\"=bin:1,2,3\r\n\"d\"= dw:-7\r\n"},
        {"values before the first key have nowhere to go", "\"a\"= sz:1\r\n\\\r\n", "\\\r\n"},
        {"an empty file changes nothing", "", "\\\r\n\"keep\"= sz:1\r\n"},
    };
    for (const Case& test : cases) {
        SetRaw("Target", "keep", reg::TypeSz, "1");
        EXPECT_FALSE(ImportKeyText(*access_, base_ + "\\Target", test.text)) << test.why;
        EXPECT_EQ(test.exported, Export(base_ + "\\Target")) << test.why;
        DeleteKeyTree(*access_, base_ + "\\Target");
    }
}

TEST_F(KeyExportTest, MalformedFilesChangeNothingAndNameTheirLine)
{
    struct Case {
        std::string text;
        std::size_t line;
    };
    const Case cases[] = {
        {"\\\r\n\"a\"= sz:1\r\nno equals sign\r\n", 3},
        {"\\\r\n\"s\"= sz:first half\r\nsecond half\r\n", 3},  // a string with a line break
        {"\\\r\n\\A\r\n\\A\r\n", 3},  // the same key line twice reads as a value line
        {"\\\r\n\"a\"= dw:2147483648\r\n", 2},
        {"\\\r\n\"a\"= dw:-2147483649\r\n", 2},
        {"\\\r\n\"a\"= dw:\r\n", 2},
        {"\\\r\n\"a\"= dw:12x\r\n", 2},
        {"\\\r\n\"a\"=bin:1,256\r\n", 2},
        {"\\\r\n\"a\"=bin:1,,2\r\n", 2},
        {"\\\r\n\"a\"=bin:-1\r\n", 2},
        {"\\\r\n=\r\n", 2},
    };
    SetRaw("Target", "keep", reg::TypeSz, "1");
    MakeKey("Target\\KeepToo");
    const std::string before = Export(base_ + "\\Target");
    for (const Case& test : cases) {
        const auto error = ImportKeyText(*access_, base_ + "\\Target", test.text);
        ASSERT_TRUE(error) << test.text;
        EXPECT_EQ(test.line, error->line) << test.text;
        EXPECT_EQ(before, Export(base_ + "\\Target")) << test.text;
    }
    EXPECT_TRUE(ImportKeyFile(*access_, base_ + "\\Target", "/nonexistent/kestrel.txt"));
    // Replacing a whole root would wipe everything under it.
    EXPECT_TRUE(ImportKeyText(*access_, "HKEY_CURRENT_USER", "\\\r\n"));
    EXPECT_TRUE(access_->KeyExists(base_));
    messages_.Expect("Incorrect Format:\n\nTarget", MessageIcon::None, MessageAnswer::Ok);
    EXPECT_TRUE(ImportKeyText(*access_, "Target", "\\\r\n"));
    EXPECT_EQ(before, Export(base_ + "\\Target"));
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
