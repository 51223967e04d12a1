#include "registry/HexNumber.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(HexNumber, ReadsOnlyWholeNumbersOfAtMostTheGivenDigits)
{
    // "A": one digit of a byte, as Outlook's hex text drops leading zeros.
    const std::tuple<const char*, std::size_t, std::uint32_t> numbers[] = {
        {"0", 2, 0},
        {"A", 2, 10},
        {"fF", 2, 255},
        {"09", 2, 9},
        {"aBcDeF09", 8, 0xABCDEF09},
        {"FFFFFFFF", 8, 0xFFFFFFFF}};
    for (const auto& [text, digits, value] : numbers) {
        EXPECT_EQ(value, ParseHexNumber(text, digits)) << text;
    }
    // Leading zeros count; past 32 bits whatever the caller allows; "/:@`G" border the digits.
    const std::pair<const char*, std::size_t> notNumbers[] = {
        {"100", 2}, {"00000000F", 8}, {"100000000", 9}, {"", 8},   {"1g", 8},
        {"G", 2},   {"/", 2},         {":", 2},         {"@", 2},  {"`", 2},
        {"0x1", 8}, {"+1", 8},        {"-1", 8},        {" 1", 8}, {"1 ", 8}};
    for (const auto& [text, digits] : notNumbers) {
        EXPECT_EQ(std::nullopt, ParseHexNumber(text, digits)) << text;
    }
}

}  // namespace
}  // namespace kestrel
