#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include "platform/Utf16Text.h"

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

}  // namespace
}  // namespace kestrel
