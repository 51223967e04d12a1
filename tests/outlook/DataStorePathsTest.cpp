// Data-file paths in binary profile values: the byte and text rules directly, the reading and
// writing on the registry of the system the tests run on.

#include "outlook/DataStorePaths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "registry/RegistryFixture.h"
#include "support/StoreIdentifier.h"

namespace kestrel {
namespace {

using testing::RegistryFixture;
using testing::WidePath;
const std::string Error = RegistryAccess::ErrorMarker;

std::string Bytes(std::initializer_list<unsigned char> v)
{
    return {v.begin(), v.end()};
}

const auto Narrow = [](std::string_view ansi) { return std::string(ansi) + '\0'; };

// What precedes the path in a PST store identifier: flags, the provider's UID, the provider
// DLL's name and a version word.
const std::string Header = Bytes({0,    0,    0,    0,    0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10,
                                  0x1A, 0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2, 0,    0}) +
                           Narrow("mspst.dll") + Bytes({1, 0, 0, 0});

const std::string GrusseUtf8 = "C:\\Mail\\Gr\303\274\303\237e.pst";
const std::string GrusseAnsi = "C:\\Mail\\Gr\374\337e.pst";
const std::u16string GrusseUnits = u"C:\\Mail\\Gr\u00FC\u00DFe.pst";
const std::string NewUtf8 = "D:\\Neu\\Gr\303\274\303\237e.pst";
const char* const Id = StoreIdentifierValue;

TEST(DataStoreText, DecodesCutsRendersParsesAndEncodes)
{
    EXPECT_EQ(u"ab", DecodeWideText(Bytes({0, 0, 'a', 0, 0, 0, 'b'})));
    EXPECT_EQ(u"\u3A43\\", DecodeWideText("C:\\"));  // 8-bit text: pairs, a last byte alone
    EXPECT_EQ(u"Gr\u00FC\u00DF \u20AC", DecodeAnsiText("Gr\xFC\xDF \x80"));
    EXPECT_EQ("C:\\a", CutPath(u"xC:\\a"));  // ":\" at exactly the third character
    EXPECT_EQ(Error, CutPath(u"\\\\srv\\share"));
    EXPECT_EQ("C:\\a", CutPath(u"xx\\\\srv\\C:\\a"));  // a drive beats a share
    EXPECT_EQ("0=A=43", RenderHex(Bytes({0, 10, 67})));
    EXPECT_EQ("FF=10=F=0", RenderHex(Bytes({255, 16, 15, 0})));
    const std::pair<const char*, std::optional<std::string>> parsed[] = {
        {"ff=0a", Bytes({255, 10})}, {"", ""}, {"100", {}}, {"1=", {}}, {"1==2", {}},
    };
    for (const auto& [hex, bytes] : parsed) {
        EXPECT_EQ(bytes, ParseHex(hex)) << hex;
    }
    EXPECT_EQ("43=3A=", EncodeTextBytes("C:"));
    EXPECT_EQ("43=0=3A=0=", EncodeTextWide("C:"));
    EXPECT_EQ("80=", EncodeTextBytes("\xE2\x82\xAC"));  // € is 0x80 in the ANSI code page
    EXPECT_EQ("AC=20=", EncodeTextWide("\xE2\x82\xAC"));
    EXPECT_EQ("3D=D8=E7=DC=", EncodeTextWide("\xF0\x9F\x93\xA7"));
}

TEST(DataStoreReplacePathInHex, WideCopiesFirstAndOnlyWithAByteAfterThem)
{
    const std::string oldPath = "C:\\a.pst", newPath = "D:\\Mail\\b.pst";
    const std::string wideOld = WidePath(u"C:\\a.pst"), wideNew = WidePath(u"D:\\Mail\\b.pst");
    const std::pair<std::string, std::string> cases[] = {
        {Header + wideOld + Narrow(oldPath), Header + wideNew + Narrow(oldPath)},
        {Header + Narrow(oldPath) + wideOld, Header + Narrow(oldPath) + wideNew},
        {Header + Narrow(oldPath) + "x" + Narrow(oldPath),
         Header + Narrow(newPath) + "x" + Narrow(newPath)},
        {wideOld + wideOld, wideNew + wideNew},
        {Header + oldPath, Header + oldPath},  // ends the value: no byte after it
        {Header + wideOld.substr(0, wideOld.size() - 1),
         Header + wideNew.substr(0, wideNew.size() - 2) + '\0'},  // one byte after is enough
        {Header + Narrow("c:\\A.pst"), Header + Narrow("c:\\A.pst")},
    };
    for (const auto& [before, after] : cases) {
        EXPECT_EQ(RenderHex(after), ReplacePathInHex(RenderHex(before), oldPath, newPath))
            << RenderHex(before);
    }
    const std::string hex = RenderHex(Header + wideOld);
    EXPECT_EQ(hex, ReplacePathInHex(hex, "", newPath));
}

TEST(DataStoreText, CollapseDoubledBackslashesKeepsANetworkPathsStart)
{
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Mail\\ann.pab", "C:\\Mail\\ann.pab"},
        {"C:\\\\Mail\\\\ann.pab", "C:\\Mail\\ann.pab"},
        {"\\\\srv\\share\\ann.pab", "\\\\srv\\share\\ann.pab"},
        {"\\\\\\\\srv\\\\share\\\\ann.pab", "\\\\srv\\share\\ann.pab"},  // stored doubled
        {"C:\\Mail\\\\\\\\ann.pab", "C:\\Mail\\\\ann.pab"},              // each pair becomes one
        {"\\Mail\\\\ann.pab", "\\Mail\\ann.pab"},  // one leading backslash: no network path
        {"", ""},
    };
    for (const auto& [stored, collapsed] : cases) {
        EXPECT_EQ(collapsed, CollapseDoubledBackslashes(stored)) << stored;
    }
}

using DataStorePathsTest = RegistryFixture;

TEST_F(DataStorePathsTest, ReadersCutThePathOutOfOutlooksLayouts)
{
    const std::string section = base_ + "\\Section";
    const std::string box = "C:\\Mail\\box.pst", share = "\\\\srv\\share\\box.pst";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {Header + WidePath(u"C:\\Mail\\box.pst"), box, box},
        {Header + Narrow(box), Error, box},
        {Header + WidePath(u"\\\\srv\\share\\box.pst"), share, share},
        {Header + WidePath(GrusseUnits), GrusseUtf8, GrusseUtf8},
        {Header + Narrow(GrusseAnsi), Error, GrusseUtf8},
        {Header + WidePath(u"C:\\old.pst") + WidePath(u"D:\\new.pst"), "D:\\new.pst",
         "D:\\new.pst"},
        {WidePath(u"C:\\Mail\\box.pst"), Error, Error},  // a path at the start
        {Header, Error, Error},
    };
    for (const auto& [data, wide, ansi] : cases) {
        SetRaw("Section", Id, reg::TypeBinary, data);
        EXPECT_EQ(wide, DecodeWidePathValue(*access_, section, Id)) << RenderHex(data);
        EXPECT_EQ(ansi, DecodeAnsiPathValue(*access_, section, Id)) << RenderHex(data);
    }
}

TEST_F(DataStorePathsTest, OnlyABinaryValueOfExactlyThatNameIsReadAndReadWhole)
{
    const std::string data = Header + WidePath(u"C:\\a.pst");
    SetRaw("Upper", "01020FFF", reg::TypeBinary, data);
    SetRaw("Text", Id, reg::TypeSz, "xxC:\\a.pst");
    SetRaw("Empty", Id, reg::TypeBinary, "");
    // Behind a name too long for the name buffer and a value too big for the first data buffer.
    SetRaw("Crowded", "00" + std::string(298, 'a'), reg::TypeBinary, "x");
    SetRaw("Crowded", "01", reg::TypeBinary, std::string(9000, 'y'));
    SetRaw("Crowded", Id, reg::TypeBinary, data);
    const std::string big = Header + std::string(5000, '\x07') + '\0' + WidePath(u"C:\\big.pst");
    SetRaw("Big", Id, reg::TypeBinary, big);  // the path at the very end
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"Upper", Error, Error},
        {"Text", Error, Error},
        {"Empty", Error, ""},
        {"Missing", Error, Error},
        {"Crowded", "C:\\a.pst", RenderHex(data)},
        {"Big", "C:\\big.pst", RenderHex(big)},
    };
    for (const auto& [name, path, hex] : cases) {
        const std::string key = base_ + "\\" + name;
        EXPECT_EQ(path, DecodeWidePathValue(*access_, key, Id)) << name;
        EXPECT_EQ(path, DecodeAnsiPathValue(*access_, key, Id)) << name;
        EXPECT_EQ(hex, ReadBinaryValueHex(*access_, key, Id)) << name;
    }
}

TEST_F(DataStorePathsTest, ReplacementRewritesOnlyTheBinaryValueOfThatName)
{
    struct Case {
        const char* name;  // null: no value
        std::uint32_t type;
        std::string before, after;  // after empty: left as it was
        std::string key = "Section", from = GrusseUtf8, to = NewUtf8;
    };
    const std::string pst = Header + WidePath(GrusseUnits);
    const Case cases[] = {
        {Id, reg::TypeBinary, pst + Narrow(GrusseAnsi),
         Header + WidePath(u"D:\\Neu\\Gr\u00FC\u00DFe.pst") + Narrow(GrusseAnsi)},
        {Id, reg::TypeBinary, Header + Narrow(GrusseAnsi) + "\x01",
         Header + Narrow("D:\\Neu\\Gr\374\337e.pst") + "\x01"},
        {Id, reg::TypeBinary, Header + GrusseAnsi, ""},
        {nullptr, 0, "", "", "Nowhere"},
        {nullptr, 0, "", ""},
        {"01020FFF", reg::TypeBinary, pst, ""},
        {Id, reg::TypeSz, "xxC:\\a.pst", ""},
        {Id, reg::TypeBinary, "", ""},
        // "\x01" renders as "1=0=" in UTF-16LE and matches inside "41=0=": "47F=0=" is no byte.
        {Id, reg::TypeBinary, WidePath(u"AB"), "", "Section", "\x01", "\x7F"},
    };
    for (const Case& c : cases) {
        const std::string section = MakeKey("Section");
        const char* name = c.name ? c.name : Id;
        if (c.name) {
            SetRaw("Section", c.name, c.type, c.before);
        }
        const std::string stored = ReadBinaryValueHex(*access_, section, name);
        ReplacePathInBinaryValue(*access_, base_ + "\\" + c.key, Id, c.from, c.to);
        EXPECT_EQ(c.after.empty() ? stored : RenderHex(c.after),
                  ReadBinaryValueHex(*access_, section, name))
            << RenderHex(c.before);
        EXPECT_FALSE(access_->KeyExists(base_ + "\\Nowhere"));
        access_->DeleteValue(section, name);
    }
}

}  // namespace
}  // namespace kestrel
