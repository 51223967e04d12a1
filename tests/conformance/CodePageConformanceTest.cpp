// Text crossing to the ANSI code page: Windows-1252 on Linux, and the code page Wine runs
// the tests with (1252 for an English locale) under Wine.

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Utf8.h"

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

TEST(CodePageConformance, WhatItCannotHoldAndBytesThatAreNotUtf8BecomeQuestionMarks)
{
    EXPECT_EQ("x?y", Utf8ToAnsi("x\xE4\xB8\xADy"));  // a CJK character
    // An overlong NUL or backslash must not reach a registry name as one. How many "?" differs:
    // outside the BMP Windows replaces each UTF-16 half, and bad sequences vary with the version.
    for (const char* bad : {"\xF0\x9F\x93\xA7", "\xC0\x80", "\xC1\x9C", "\xE0\x81\x9C",
                            "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE2\x82"}) {
        const std::string ansi = Utf8ToAnsi(std::string("x") + bad + "y");
        EXPECT_GT(ansi.size(), 2u) << ::testing::PrintToString(bad);
        EXPECT_EQ(ansi.size() - 1, ansi.find_first_not_of('?', 1)) << ::testing::PrintToString(bad);
        EXPECT_EQ('x', ansi.front());
        EXPECT_EQ('y', ansi.back());
    }
}

TEST(CodePageConformance, EveryAnsiByteGivesValidUtf8)
{
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    const std::string utf8 = AnsiToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    // 0x80-0x9F, where 1252 is not Latin-1; the five bytes it leaves undefined stand for the
    // C1 controls of their number, and come back as they went.
    EXPECT_EQ(
        "\xE2\x82\xAC\xC2\x81\xE2\x80\x9A\xC6\x92\xE2\x80\x9E\xE2\x80\xA6\xE2\x80\xA0\xE2\x80\xA1"
        "\xCB\x86\xE2\x80\xB0\xC5\xA0\xE2\x80\xB9\xC5\x92\xC2\x8D\xC5\xBD\xC2\x8F"
        "\xC2\x90\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\xA2\xE2\x80\x93"
        "\xE2\x80\x94\xCB\x9C\xE2\x84\xA2\xC5\xA1\xE2\x80\xBA\xC5\x93\xC2\x9D\xC5\xBE\xC5\xB8",
        utf8.substr(127, 81));
    EXPECT_EQ(all, Utf8ToAnsi(utf8));
}

}  // namespace
}  // namespace kestrel
