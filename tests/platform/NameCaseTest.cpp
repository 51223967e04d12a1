#include "platform/NameCase.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

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

}  // namespace
}  // namespace kestrel
