#include "platform/Windows1252.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(Windows1252, MapsBytesToCharacters)
{
    const std::pair<unsigned char, char32_t> cases[] = {
        {0x00, 0x0000}, {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160},
        {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x96, 0x2013}, {0x99, 0x2122},
        {0x9A, 0x0161}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xFF, 0x00FF},
    };
    for (const auto& [byte, c] : cases) {
        EXPECT_EQ(c, FromWindows1252(byte)) << int{byte};
    }
}

TEST(Windows1252, HasNoByteForCharactersOutsideTheCodePage)
{
    // The C1 controls the code page fills with letters, and characters beyond it.
    for (const char32_t c : {0x0080, 0x0098, 0x009F, 0x0100, 0x0178 + 1, 0x20AD, 0xFFFD, 0x1F4E7}) {
        EXPECT_EQ(std::nullopt, ToWindows1252(c)) << static_cast<unsigned>(c);
    }
}

}  // namespace
}  // namespace kestrel
