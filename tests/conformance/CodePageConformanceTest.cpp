// Text crossing to the ANSI code page: Windows-1252 on Linux, and the code page Wine runs
// the tests with (1252 for an English locale) under Wine.

#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace kestrel {
namespace {

TEST(CodePageConformance, RoundTripsWhatTheCodePageHolds)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Outlook", "Outlook"},
        {"", ""},
        {"Jos\xC3\xA9 M\xC3\xBCller", "Jos\xE9 M\xFCller"},            // é ü: Latin-1 range
        {"\xE2\x82\xAC 5 \xE2\x80\x93 \xC5\xA0", "\x80 5 \x96 \x8A"},  // € – Š: 0x80-0x9F
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& [utf8, ansi] : cases) {
        EXPECT_EQ(ansi, Utf8ToAnsi(utf8)) << utf8;
        EXPECT_EQ(utf8, AnsiToUtf8(ansi)) << utf8;
    }
}

TEST(CodePageConformance, WhatItCannotHoldBecomesAQuestionMark)
{
    EXPECT_EQ("x?y", Utf8ToAnsi("x\xE4\xB8\xADy"));  // a CJK character
    // Outside the BMP Windows replaces each UTF-16 half, Linux the character: "??" or "?".
    EXPECT_EQ(std::string::npos, Utf8ToAnsi("\xF0\x9F\x93\xA7").find_first_not_of('?'));
}

TEST(CodePageConformance, EveryAnsiByteGivesValidUtf8)
{
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    const std::string utf8 = AnsiToUtf8(all);
    EXPECT_GE(utf8.size(), all.size());
    // Back again: the five bytes 1252 leaves undefined come back as they went.
    EXPECT_EQ(all, Utf8ToAnsi(utf8));
}

}  // namespace
}  // namespace kestrel
