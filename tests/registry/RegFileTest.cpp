// Registry files: the reader and writer on their own, then applied to the registry of the
// system the tests run on.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Utf16Text.h"
#include "registry/RegFile.h"
#include "registry/RegistryFixture.h"

namespace kestrel {

bool operator==(const RegFileValue& a, const RegFileValue& b)
{
    return a.name == b.name && a.remove == b.remove && a.type == b.type && a.data == b.data;
}
bool operator==(const RegFileKey& a, const RegFileKey& b)
{
    return a.path == b.path && a.remove == b.remove && a.values == b.values;
}
void PrintTo(const RegFileValue& v, std::ostream* out)
{
    *out << "{" << ::testing::PrintToString(v.name) << (v.remove ? " removed" : "") << " type "
         << v.type << " " << ::testing::PrintToString(v.data) << "}";
}

namespace {

using namespace std::string_literals;
using Keys = std::vector<RegFileKey>;

// UTF-8 as the UTF-16LE bytes regedit writes, with the BOM.
std::string Utf16File(const std::string& utf8)
{
    return "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(utf8));
}

Keys Parse(const std::string& bytes)
{
    RegFileError error;
    auto keys = ParseRegFile(bytes, error);
    EXPECT_TRUE(keys) << "line " << error.line << ": " << error.message;
    return keys ? *keys : Keys{};
}

TEST(RegFile, ReadsWhatRegistryEditorsWrite)
{
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\T]\r\n"
        "@=\"def\"\r\n"
        "\"q\\\"uote\\\\back\"=\"a\\\\b \\\"c\\\" d\\ne\"\r\n"
        "\"Caf\xC3\xA9\" = dword:0000002a\r\n"
        "\"bin\"=hex:00,ff,\\\r\n"
        "  10\r\n"
        "\"empty\"=hex:\r\n"
        "\"exp\"=hex(2):25,00,41,00,e9,00,00,00\r\n"
        "\"gone\"=-\r\n"
        "\r\n"
        "[-HKCU\\Software\\T\\Old]\r\n"
        "[hklm\\Software\\T\\]\r\n";
    const Keys expected = {
        {"HKEY_CURRENT_USER\\Software\\T",
         false,
         {{"", false, reg::TypeSz, "def\0"s},
          {"q\"uote\\back", false, reg::TypeSz, "a\\b \"c\" d\ne\0"s},
          {"Caf\xC3\xA9", false, reg::TypeDword, "\x2A\0\0\0"s},
          {"bin", false, reg::TypeBinary, "\x00\xFF\x10"s},
          {"empty", false, reg::TypeBinary, ""},
          {"exp", false, reg::TypeExpandSz, "%A\xE9\0"s},
          {"gone", true, 0, ""}}},
        {"HKEY_CURRENT_USER\\Software\\T\\Old", true, {}},
        {"HKEY_LOCAL_MACHINE\\Software\\T", false, {}},
    };
    EXPECT_EQ(expected, Parse(Utf16File(text)));

    // REGEDIT4 files are ANSI throughout, string data in hex lists included.
    EXPECT_EQ((Keys{{"HKEY_CURRENT_USER\\X",
                     false,
                     {{"\xC3\xA9", false, reg::TypeSz, "\xE9\0"s},
                      {"e", false, reg::TypeExpandSz, "%A\xE9\0"s}}}}),
              Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\X]\n\"\xE9\"=\"\xE9\"\n"
                    "\"e\"=hex(2):25,41,e9,00\n"));
}

TEST(RegFile, MalformedFilesNameTheirLine)
{
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    const std::string key = "[HKEY_CURRENT_USER\\X]\r\n";
    const std::pair<std::string, std::size_t> cases[] = {
        {"Windows Registry Editor Version 4.00\r\n", 1},
        {"", 1},
        {header + "[HKEY_CURRENT_USER\\X\r\n", 3},
        {header + "[HKEY_NOWHERE\\X]\r\n", 3},
        {header + "[-HKEY_CURRENT_USER]\r\n", 3},
        {header + "\"a\"=\"outside a key\"\r\n", 3},
        {header + "[-HKEY_CURRENT_USER\\X]\r\n\"a\"=\"deleted key\"\r\n", 4},
        {header + key + "\"a\"=dword:123456789\r\n", 4},
        {header + key + "\"a\"=dword:\r\n", 4},
        {header + key + "\"a\"=hex:1g\r\n", 4},
        {header + key + "\"a\"=hex:100\r\n", 4},
        {header + key + "\"a\"=hex(x):00\r\n", 4},
        {header + key + "\"a\"=\"unterminated\r\n", 4},
        {header + key + "\"a\"=\"text\" more\r\n", 4},
        {header + key + "\"a\"\r\n", 4},
        {header + key + "\"a\"=str:1\r\n", 4},
        {header + key + "\"a\"=hex:00,\\", 4},  // continued past the end
        {header + key + "garbage\r\n", 4},
    };
    for (const auto& [text, line] : cases) {
        RegFileError error;
        EXPECT_FALSE(ParseRegFile(Utf16File(text), error)) << text;
        EXPECT_EQ(line, error.line) << text << error.message;
    }
}

// Odd names, every value type and Windows-1252 text: scripts/reg-peer-test.sh, against regedit.
TEST(RegFile, WrittenFilesReadBackTheSameKeys)
{
    const Keys keys = {
        {"HKEY_CURRENT_USER\\Software\\Odd \"=\xC3\xA9",
         false,
         {{"line break", false, reg::TypeSz, "a\r\nb\0"s},
          {"no terminator", false, reg::TypeSz, "abc"},
          {"short dw", false, reg::TypeDword, "\x01\x02"s},
          {"gone", true, 0, ""}}},
        {"HKEY_CURRENT_USER\\Software\\Removed", true, {}},
    };
    const std::string file = FormatRegFile(keys);
    ASSERT_EQ("\xFF\xFEW\0i\0"s, file.substr(0, 6));
    EXPECT_EQ(keys, Parse(file));
}

class RegFileApplyTest : public testing::RegistryFixture {};

TEST_F(RegFileApplyTest, AppliedFilesReadBackFromTheRegistry)
{
    MakeKey("Stale\\Deep");
    SetRaw("Tree", "drop", reg::TypeSz, "x");
    const std::string tree = base_ + "\\Tree";
    Keys keys = {
        {tree,
         false,
         {{"", false, reg::TypeSz, "default\0"s},
          {"b\xC3\xA9", false, reg::TypeBinary, ""},
          {"drop", true, 0, ""},
          {"exp", false, reg::TypeExpandSz, "%PATH%\0"s},
          {"multi", false, reg::TypeMultiSz, "x\0y\0\0"s},
          {"q", false, reg::TypeQword, "\x01\x02\x03\x04\x05\x06\x07\x08"s}}},
        {tree + "\\Child", false, {{"dw", false, reg::TypeDword, "\x05\0\0\0"s}}},
        {base_ + "\\Stale", true, {}},
    };
    ASSERT_FALSE(ApplyRegFile(*access_, keys));
    EXPECT_FALSE(access_->KeyExists(base_ + "\\Stale"));
    keys.pop_back();
    std::erase_if(keys[0].values, [](const RegFileValue& v) { return v.remove; });
    Keys read = ReadRegistryTree(*access_, tree);
    for (RegFileKey& key : read) {  // Wine lists values by name, the others by creation
        std::sort(key.values.begin(), key.values.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
    }
    EXPECT_EQ(keys, read);
}

}  // namespace
}  // namespace kestrel
