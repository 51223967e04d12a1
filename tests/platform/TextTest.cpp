// The text units every backend shares: UTF-8 decoding, the Windows-1252 table, the case
// folding of names and the joining of paths.

#include <gtest/gtest.h>

#include "platform/NameCase.h"
#include "platform/PathJoin.h"
#include "platform/Utf16Text.h"
#include "platform/Utf8.h"
#include "platform/Windows1252.h"

namespace kestrel {
namespace {

// Every byte that does not start a well-formed sequence is one U+FFFD (written here as "?").
std::u32string Decode(std::string_view text)
{
    std::u32string decoded;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character c = DecodeUtf8(text, at);
        EXPECT_TRUE(c.valid || (c.length == 1 && c.value == ReplacementCharacter));
        decoded += c.valid ? c.value : U'?';
        at += c.length;
    }
    return decoded;
}

TEST(Utf8, OnlyWellFormedSequencesAreCharacters)
{
    const std::pair<std::string, std::u32string> cases[] = {
        {"", U""},
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xA7", U"a\u00E9\u20AC\U0001F4E7"},
        {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", U"\u0080\u0800\U00010000"},  // smallest of each
        {"\xF4\x8F\xBF\xBF\xEF\xBF\xBD", U"\U0010FFFF\uFFFD"},
        {"\xED\x9F\xBF\xEE\x80\x80", U"\uD7FF\uE000"},  // either side of the surrogates
        // Overlong forms, the NUL and "/" among them.
        {"\xC0\x80", U"??"},
        {"\xC1\xBF", U"??"},
        {"\xE0\x80\xAF", U"???"},
        {"\xE0\x9F\xBF", U"???"},
        {"\xF0\x8F\xBF\xBF", U"????"},
        // Encoded surrogates, and a pair encoded as two of them.
        {"\xED\xA0\x80", U"???"},
        {"\xED\xA0\xBD\xED\xB3\xA7", U"??????"},
        // Past U+10FFFF, and bytes that never start a sequence.
        {"\xF4\x90\x80\x80", U"????"},
        {"\xF5\x80\x80\x80\xFF", U"?????"},
        // Stray continuations and sequences cut short, at the end and before a character.
        {"\x80x\xBF", U"?x?"},
        {"x\xC3", U"x?"},
        {"\xE2\x82", U"??"},
        {"\xE2\x82x\xF0\x9F\x93", U"??x???"},
        {"\xC3\xC3\xA9", U"?\u00E9"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(expected, Decode(text)) << ::testing::PrintToString(text);
        EXPECT_EQ(expected.find(U'?') == std::u32string::npos, IsValidUtf8(text))
            << ::testing::PrintToString(text);
    }
}

TEST(Utf8, Utf16ConversionsReplaceWhatIsNotACharacter)
{
    EXPECT_EQ(u"\uFFFD\uFFFDz\U0001F4E7", Utf8ToUtf16("\xC0\x80z\xF0\x9F\x93\xA7"));
    // Lone halves of a pair, at the end and before another unit, become U+FFFD.
    EXPECT_EQ("\xEF\xBF\xBDz\xEF\xBF\xBD\xF0\x9F\x93\xA7\xEF\xBF\xBD",
              Utf16ToUtf8(u"\xDC00z\xD83D\xD83D\xDCE7\xD83D"));
}

// Every byte's character: CodePageConformance, against Windows's own table under Wine.
TEST(Windows1252, HasNoByteForCharactersOutsideTheCodePage)
{
    // The C1 controls the code page fills with letters, and characters beyond it.
    for (const char32_t c : {0x0080, 0x0098, 0x009F, 0x0100, 0x0178 + 1, 0x20AD, 0xFFFD, 0x1F4E7}) {
        EXPECT_EQ(std::nullopt, ToWindows1252(c)) << static_cast<unsigned>(c);
    }
}

TEST(NameCase, FoldsTheLettersOfTheCodePageOnly)
{
    struct Case {
        std::string a;
        std::string b;
        bool equal;
    };
    const Case cases[] = {
        {"", "", true},
        {"Outlook.PST", "outlook.pst", true},
        {"Outlook", "Outloo", false},
        {"Outlook", "Outlook ", false},
        {"@[`{", "`{@[", false},  // 0x20 apart, but not letters
        {"Caf\xC3\xA9 \xC3\x84\xC3\xBE", "CAF\xC3\x89 \xC3\xA4\xC3\x9E", true},          // é Ä þ
        {"\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF", "\xC5\xA0\xC5\x92\xC5\xBD\xC5\xB8", true},  // š œ ž ÿ
        {"\xC3\x97", "\xC3\xB7", false},                                                 // × ÷
        {"\xC3\x9F", "SS", false},                                                       // ß
        {"\xC2\xB5", "\xCE\x9C", false},   // µ and Greek Mu: Windows folds one to the other
        {"\xCF\x89", "\xCE\xA9", false},   // ω Ω, beyond the code page
        {"\xC3\xA9", "e\xCC\x81", false},  // é and e with a combining accent: not normalised
        // Bytes that are not UTF-8 match only themselves, never U+FFFD or each other's case.
        {"a\xC0\x80", "A\xC0\x80", true},
        {"\xC0\x80", "\xC1\x80", false},
        {"\xFF", "\xEF\xBF\xBD", false},
        {"\xE9", "\xC9", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.equal, EqualsIgnoringCase(c.a, c.b)) << c.a << " ~ " << c.b;
        EXPECT_EQ(c.equal, EqualsIgnoringCase(c.b, c.a)) << c.b << " ~ " << c.a;
    }
}

TEST(PathJoin, PutsOneSeparatorOfTheFoldersKindBetween)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"C:\\Users\\ann", "x.pst", "C:\\Users\\ann\\x.pst"},
        {"D:\\", "ksbackup.dat", "D:\\ksbackup.dat"},
        {"C:\\Temp\\", "\\x.tmp", "C:\\Temp\\x.tmp"},
        {"C:\\Temp", "\\\\x.tmp", "C:\\Temp\\x.tmp"},
        {"C:", "x", "C:\\x"},
        {"\\\\srv\\share", "x", "\\\\srv\\share\\x"},
        {"C:/Temp", "x", "C:/Temp\\x"},  // a Windows path, whatever separator it ends in
        {"C:/Temp/", "x", "C:/Temp/x"},
        {"/tmp/kestrel", "x.ksb", "/tmp/kestrel/x.ksb"},
        {"/tmp/kestrel/", "/x.ksb", "/tmp/kestrel/x.ksb"},
        {"/", "x", "/x"},
        {"", "x.pst", "x.pst"},
        {"", "\\x.pst", "\\x.pst"},
        {"C:\\Temp", "", "C:\\Temp\\"},
    };
    for (const auto& [folder, name, joined] : cases) {
        EXPECT_EQ(joined, JoinPath(folder, name)) << folder << " + " << name;
    }
}

TEST(PathJoin, ParentFolderIsWhatTheNameWasJoinedTo)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Backups\\Outlook.ksb", "C:\\Backups"},
        {"\\\\srv\\share\\x.ksb", "\\\\srv\\share"},
        {"/tmp/kestrel/x.ksb", "/tmp/kestrel"},
        {"/x.ksb", "/"},
        {"x.ksb", ""},
    };
    for (const auto& [path, parent] : cases) {
        EXPECT_EQ(parent, ParentFolder(path)) << path;
    }
}

}  // namespace
}  // namespace kestrel
