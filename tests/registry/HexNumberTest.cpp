#include "registry/HexNumber.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(HexNumber, ReadsOnlyWholeNumbersOfAtMostTheGivenDigits)
{
    struct Case {
        const char* text;
        std::size_t maxDigits;
        std::optional<std::uint32_t> value;
    };
    const Case cases[] = {
        {"0", 2, 0},
        {"A", 2, 10},  // one digit of a byte: Outlook's hex text drops leading zeros
        {"fF", 2, 255},
        {"09", 2, 9},
        {"100", 2, std::nullopt},
        {"aBcDeF09", 8, 0xABCDEF09},
        {"FFFFFFFF", 8, 0xFFFFFFFF},
        {"00000000F", 8, std::nullopt},  // leading zeros count
        {"100000000", 9, std::nullopt},  // past 32 bits, whatever the caller allows
        {"", 8, std::nullopt},
        {"1g", 8, std::nullopt},
        {"G", 2, std::nullopt},
        {"/", 2, std::nullopt},  // the neighbours of the digit ranges
        {":", 2, std::nullopt},
        {"@", 2, std::nullopt},
        {"`", 2, std::nullopt},
        {"0x1", 8, std::nullopt},
        {"+1", 8, std::nullopt},
        {"-1", 8, std::nullopt},
        {" 1", 8, std::nullopt},
        {"1 ", 8, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, ParseHexNumber(c.text, c.maxDigits)) << c.text;
    }
}

}  // namespace
}  // namespace kestrel
