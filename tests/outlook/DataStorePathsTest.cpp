// Data-file paths in binary profile values: the byte and text rules directly, the reading and
// writing on the registry of the system the tests run on.

#include "outlook/DataStorePaths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "registry/RegistryFixture.h"

namespace kestrel {
namespace {

using testing::RegistryFixture;
const std::string Error = RegistryAccess::ErrorMarker;

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// UTF-16LE as Outlook stores it, NUL included.
std::string Wide(std::u16string_view text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes + std::string(2, '\0');
}

std::string Narrow(std::string_view ansi)
{
    return std::string(ansi) + '\0';
}

// What precedes the path in a PST store identifier: flags, the provider's UID, the provider
// DLL's name and a version word.
const std::string Header = Bytes({0,    0,    0,    0,    0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10,
                                  0x1A, 0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2, 0,    0}) +
                           Narrow("mspst.dll") + Bytes({1, 0, 0, 0});

const std::string GrusseUtf8 =
    "C:\\Mail\\Gr\xC3\xBC\xC3\x9F"
    "e.pst";
const std::string GrusseAnsi =
    "C:\\Mail\\Gr\xFC\xDF"
    "e.pst";
const std::u16string GrusseUnits = u"C:\\Mail\\Gr\u00FC\u00DFe.pst";

TEST(DataStoreDecodeWideText, PairsNonZeroNeighboursAndSkipsZeroBytes)
{
    const std::pair<std::string, std::u16string> cases[] = {
        {Wide(u"C:\\x"), u"C:\\x"},
        {Bytes({0, 0, 'a', 0, 0, 0, 'b'}), u"ab"},
        {Bytes({0x1F, 0x04, 0x3E, 0x04, '.', 0}), u"\u041F\u043E."},
        {"C:\\", u"\u3A43\\"},  // 8-bit text: letters pair, a last byte stands alone
        {"abc", u"\u6261c"},
        {Bytes({0x01, 'C', 0, ':', 0}), u"\u4301:"},  // a non-zero byte before a drive letter
        {Bytes({0xFF, 0xFF, 0xFF}), u"\uFFFF\u00FF"},
        {"", u""},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(text, DecodeWideText(bytes)) << RenderHex(bytes);
    }
}

TEST(DataStoreDecodeAnsiText, DropsZeroBytesAndReadsTheCodePage)
{
    EXPECT_EQ(u"C:\\a", DecodeAnsiText(Bytes({'C', 0, ':', 0, 0, '\\', 'a', 0})));
    EXPECT_EQ(u"Gr\u00FC\u00DF \u20AC", DecodeAnsiText("Gr\xFC\xDF \x80"));
}

TEST(DataStoreCutPath, TakesTheLastDriveOrShareFromTheThirdCharacterOn)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u"xyC:\\Mail\\box.pst", "C:\\Mail\\box.pst"},
        {u"xC:\\a", "C:\\a"},  // ":\" at exactly the third character
        {u"C:\\Mail\\box.pst", Error},
        {u":\\a", Error},
        {u"xxC:\\old.pst\u0001D:\\new.pst", "D:\\new.pst"},
        {u"xx\\\\srv\\share\\box.pst", "\\\\srv\\share\\box.pst"},
        {u"x\\\\srv\\share", Error},
        {u"\\\\srv\\share", Error},
        {u"xx\\\\\\srv", "\\\\srv"},          // the last pair of three backslashes
        {u"C:\\a\\\\srv\\s", "\\\\srv\\s"},   // a drive at the start, a share later
        {u"xx\\\\srv\\C:\\a", "C:\\a"},       // a drive beats a share
        {u"xxC:\\a\\\\srv", "C:\\a\\\\srv"},  // even one before it
        {u"xx:\\", "x:\\"},
        {u"xxC:\\" + GrusseUnits.substr(8),
         "C:\\Gr\xC3\xBC\xC3\x9F"
         "e.pst"},
        {u"xxC:\\\U0001F4E7", "C:\\\xF0\x9F\x93\xA7"},
        {u"xxC:\\\xD800"
         u"a\xDC00",
         "C:\\\xEF\xBF\xBD"
         "a\xEF\xBF\xBD"},  // lone halves
        {u"\xDC00:\\a", Error},
        {u"x\xDC00:\\a", "\xEF\xBF\xBD:\\a"},
        {u"", Error},
        {u"no path here", Error},
    };
    for (const auto& [text, path] : cases) {
        EXPECT_EQ(path, CutPath(text)) << path;
    }
}

TEST(DataStoreHex, RendersAndParsesBytes)
{
    EXPECT_EQ("0=A=43", RenderHex(Bytes({0, 10, 67})));
    EXPECT_EQ("FF=10=F=0", RenderHex(Bytes({255, 16, 15, 0})));
    EXPECT_EQ("", RenderHex(""));

    const std::pair<const char*, std::optional<std::string>> parsed[] = {
        {"0=A=43", Bytes({0, 10, 67})}, {"ff=0a", Bytes({255, 10})}, {"", ""},
        {"100", std::nullopt},          {"1==2", std::nullopt},      {"1=", std::nullopt},
        {"=1", std::nullopt},           {"G", std::nullopt},         {" 1", std::nullopt},
    };
    for (const auto& [hex, bytes] : parsed) {
        EXPECT_EQ(bytes, ParseHex(hex)) << hex;
    }
}

TEST(DataStoreEncodeText, RendersEveryByteFollowedByAnEqualsSign)
{
    struct Case {
        std::string text;
        const char* bytes;  // null: not the same on every code page's conversion
        const char* wide;
    };
    const Case cases[] = {
        {"C:", "43=3A=", "43=0=3A=0="},
        {"", "", ""},
        {"\xC3\xBC", "FC=", "FC=0="},       // ü
        {"\xE2\x82\xAC", "80=", "AC=20="},  // € is 0x80 in the ANSI code page
        {"\xE4\xB8\xAD", "3F=", "2D=4E="},  // a CJK character the code page lacks
        {"\xF0\x9F\x93\xA7", nullptr, "3D=D8=E7=DC="},
        {"\xFF"
         "a",
         nullptr, "FD=FF=61=0="},                         // invalid UTF-8
        {"\xED\xA0\x80", nullptr, "FD=FF=FD=FF=FD=FF="},  // an encoded surrogate
    };
    for (const Case& c : cases) {
        if (c.bytes) {
            EXPECT_EQ(c.bytes, EncodeTextBytes(c.text)) << c.text;
        }
        EXPECT_EQ(c.wide, EncodeTextWide(c.text)) << c.text;
    }
}

TEST(DataStoreReplacePathInHex, WideCopiesFirstAndOnlyWithAByteAfterThem)
{
    const std::string oldPath = "C:\\a.pst";
    const std::string newPath = "D:\\Mail\\b.pst";
    const std::string wideOld = Wide(u"C:\\a.pst");
    const std::string wideNew = Wide(u"D:\\Mail\\b.pst");
    const std::pair<std::string, std::string> cases[] = {
        {Header + wideOld, Header + wideNew},
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

// Counts the writes that reach the registry underneath.
class CountingRegistry final : public RegistryApi {
public:
    explicit CountingRegistry(RegistryApi& inner) : inner_(inner) {}
    int writes = 0;

    long OpenKeyEx(reg::Key k, const char* s, std::uint32_t a, reg::Key* r) override
    {
        return inner_.OpenKeyEx(k, s, a, r);
    }
    long CloseKey(reg::Key k) override { return inner_.CloseKey(k); }
    long QueryValueEx(reg::Key k, const char* n, std::uint32_t* t, std::uint8_t* d,
                      std::uint32_t* s) override
    {
        return inner_.QueryValueEx(k, n, t, d, s);
    }
    long SetValueEx(reg::Key k, const char* n, std::uint32_t t, const std::uint8_t* d,
                    std::uint32_t s) override
    {
        ++writes;
        return inner_.SetValueEx(k, n, t, d, s);
    }
    long CreateKey(reg::Key k, const char* s, reg::Key* r) override
    {
        return inner_.CreateKey(k, s, r);
    }
    long DeleteKey(reg::Key k, const char* s) override { return inner_.DeleteKey(k, s); }
    long DeleteValue(reg::Key k, const char* n) override { return inner_.DeleteValue(k, n); }
    long EnumKeyEx(reg::Key k, std::uint32_t i, char* n, std::uint32_t* s) override
    {
        return inner_.EnumKeyEx(k, i, n, s);
    }
    long EnumValue(reg::Key k, std::uint32_t i, char* n, std::uint32_t* ns, std::uint32_t* t,
                   std::uint8_t* d, std::uint32_t* ds) override
    {
        return inner_.EnumValue(k, i, n, ns, t, d, ds);
    }
    void BeginBatch() override { inner_.BeginBatch(); }
    long EndBatch(bool commit) override { return inner_.EndBatch(commit); }

private:
    RegistryApi& inner_;
};

class DataStorePathsTest : public RegistryFixture {
protected:
    const std::string section_ = base_ + "\\Section";

    // The value as the registry holds it, read past the code under test.
    std::pair<std::uint32_t, std::string> Stored(const std::string& name)
    {
        reg::Key key = 0;
        std::string data(16384, '\0');
        std::uint32_t size = static_cast<std::uint32_t>(data.size());
        std::uint32_t type = 0;
        if (api_->OpenKeyEx(reg::HkeyCurrentUser, (subKey_ + "\\Section").c_str(), reg::KeyRead,
                            &key) != reg::Success) {
            return {reg::TypeNone, "no key"};
        }
        const long rc = api_->QueryValueEx(key, name.c_str(), &type,
                                           reinterpret_cast<std::uint8_t*>(data.data()), &size);
        api_->CloseKey(key);
        return rc == reg::Success ? std::pair(type, data.substr(0, size))
                                  : std::pair(reg::TypeNone, std::string("no value"));
    }
};

TEST_F(DataStorePathsTest, ReadersCutThePathOutOfOutlooksLayouts)
{
    struct Case {
        const char* label;
        std::string data;
        std::string wide;
        std::string ansi;
    };
    const std::string box = "C:\\Mail\\box.pst";
    const std::string share = "\\\\srv\\share\\box.pst";
    const Case cases[] = {
        {"wide", Header + Wide(u"C:\\Mail\\box.pst"), box, box},
        {"8-bit", Header + Narrow(box), Error, box},
        {"wide share", Header + Wide(u"\\\\srv\\share\\box.pst"), share, share},
        {"8-bit share", Header + Narrow(share), Error, share},
        {"wide umlauts", Header + Wide(GrusseUnits), GrusseUtf8, GrusseUtf8},
        {"8-bit umlauts", Header + Narrow(GrusseAnsi), Error, GrusseUtf8},
        {"wide Cyrillic", Header + Wide(u"C:\\\u041F\u043E\u0447\u0442\u0430\\box.pst"),
         "C:\\\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0\\box.pst",
         "C:\\\x1F\x04>\x04G\x04"
         "B\x04"
         "0\x04\\box.pst"},
        {"two paths", Header + Wide(u"C:\\old.pst") + Wide(u"D:\\new.pst"), "D:\\new.pst",
         "D:\\new.pst"},
        {"path at the start", Wide(u"C:\\Mail\\box.pst"), Error, Error},
        {"no path", Header, Error, Error},
    };
    for (const Case& c : cases) {
        SetRaw("Section", StoreIdentifierValue, reg::TypeBinary, c.data);
        EXPECT_EQ(c.wide, DecodeWidePathValue(*access_, section_, StoreIdentifierValue)) << c.label;
        EXPECT_EQ(c.ansi, DecodeAnsiPathValue(*access_, section_, StoreIdentifierValue)) << c.label;
    }
}

TEST_F(DataStorePathsTest, OnlyABinaryValueOfExactlyThatNameIsRead)
{
    const std::string data = Header + Wide(u"C:\\a.pst");
    SetRaw("Upper", "01020FFF", reg::TypeBinary, data);
    SetRaw("Text", StoreIdentifierValue, reg::TypeSz, "xxC:\\a.pst");
    SetRaw("Empty", StoreIdentifierValue, reg::TypeBinary, "");
    // The wanted value behind others, one with a name too long for the name buffer and one
    // too big for the first data buffer; both sort before it under Wine too.
    SetRaw("Crowded", "00" + std::string(298, 'a'), reg::TypeBinary, "x");
    SetRaw("Crowded", "01", reg::TypeBinary, std::string(9000, 'y'));
    SetRaw("Crowded", StorePathValue, reg::TypeSz, "xxC:\\b.pst");
    SetRaw("Crowded", StoreIdentifierValue, reg::TypeBinary, data);
    // Bigger than the first data buffer: read whole, the path at its very end.
    const std::string big = Header + std::string(5000, '\x07') + '\0' + Wide(u"C:\\big.pst");
    SetRaw("Big", StoreIdentifierValue, reg::TypeBinary, big);

    struct Case {
        const char* key;
        std::string wide;
        std::string hex;
    };
    const Case cases[] = {
        {"Upper", Error, Error},
        {"Text", Error, Error},
        {"Empty", Error, ""},
        {"Missing", Error, Error},
        {"Crowded", "C:\\a.pst", RenderHex(data)},
    };
    for (const Case& c : cases) {
        const std::string key = base_ + "\\" + c.key;
        EXPECT_EQ(c.wide, DecodeWidePathValue(*access_, key, StoreIdentifierValue)) << c.key;
        EXPECT_EQ(c.wide, DecodeAnsiPathValue(*access_, key, StoreIdentifierValue)) << c.key;
        EXPECT_EQ(c.hex, ReadBinaryValueHex(*access_, key, StoreIdentifierValue)) << c.key;
    }
    EXPECT_EQ("C:\\big.pst", DecodeWidePathValue(*access_, base_ + "\\Big", StoreIdentifierValue));
    EXPECT_EQ(big, ParseHex(ReadBinaryValueHex(*access_, base_ + "\\Big", StoreIdentifierValue)));
}

TEST_F(DataStorePathsTest, ReplacementRewritesTheBinaryValueEvenUnchanged)
{
    const std::string newWide = Wide(u"D:\\Neu\\Gr\u00FC\u00DFe.pst");
    const std::string newAnsi = Narrow(
        "D:\\Neu\\Gr\xFC\xDF"
        "e.pst");
    const std::string newUtf8 =
        "D:\\Neu\\Gr\xC3\xBC\xC3\x9F"
        "e.pst";
    const std::pair<std::string, std::string> cases[] = {
        {Header + Wide(GrusseUnits) + Narrow(GrusseAnsi), Header + newWide + Narrow(GrusseAnsi)},
        {Header + Narrow(GrusseAnsi) + "\x01", Header + newAnsi + "\x01"},
        {Header + GrusseAnsi, Header + GrusseAnsi},
    };
    CountingRegistry counting(*api_);
    RegistryAccess access(counting, messages_);
    for (const auto& [before, after] : cases) {
        SetRaw("Section", StoreIdentifierValue, reg::TypeBinary, before);
        counting.writes = 0;
        ReplacePathInBinaryValue(access, section_, StoreIdentifierValue, GrusseUtf8, newUtf8);
        EXPECT_EQ(1, counting.writes);
        EXPECT_EQ(std::pair(reg::TypeBinary, after), Stored(StoreIdentifierValue))
            << RenderHex(before);
    }
}

TEST_F(DataStorePathsTest, ReplacementWritesNothingWhenTheReadFails)
{
    struct Case {
        const char* label;
        const char* storedName;  // null: no value
        std::uint32_t type;
        std::string data;
        std::string key;
        std::string oldPath = "C:\\a.pst";
        std::string newPath = "D:\\b.pst";
    };
    const std::string path = Header + Wide(u"C:\\a.pst");
    const Case cases[] = {
        {"missing key", nullptr, reg::TypeNone, "", base_ + "\\Nowhere"},
        {"missing value", nullptr, reg::TypeNone, "", section_},
        {"upper-case name", "01020FFF", reg::TypeBinary, path, section_},
        {"text value", StoreIdentifierValue, reg::TypeSz, "xxC:\\a.pst", section_},
        {"empty value", StoreIdentifierValue, reg::TypeBinary, "", section_},
        // "\x01" renders as "1=0=" in UTF-16LE and matches inside "41=0=": "47F=0=" is no byte.
        {"garbled", StoreIdentifierValue, reg::TypeBinary, Wide(u"AB"), section_, "\x01", "\x7F"},
    };
    for (const Case& c : cases) {
        MakeKey("Section");
        if (c.storedName) {
            SetRaw("Section", c.storedName, c.type, c.data);
        }
        const auto before = Stored(c.storedName ? c.storedName : StoreIdentifierValue);
        CountingRegistry counting(*api_);
        RegistryAccess access(counting, messages_);
        ReplacePathInBinaryValue(access, c.key, StoreIdentifierValue, c.oldPath, c.newPath);
        EXPECT_EQ(0, counting.writes) << c.label;
        EXPECT_EQ(before, Stored(c.storedName ? c.storedName : StoreIdentifierValue)) << c.label;
        access_->DeleteValue(section_, c.storedName ? c.storedName : StoreIdentifierValue);
    }
}

}  // namespace
}  // namespace kestrel
