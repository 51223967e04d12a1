#include "platform/Windows1252.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

// Every byte's character: CodePageConformance, against Windows's own table under Wine.
TEST(Windows1252, HasNoByteForCharactersOutsideTheCodePage)
{
    // The C1 controls the code page fills with letters, and characters beyond it.
    for (const char32_t c : {0x0080, 0x0098, 0x009F, 0x0100, 0x0178 + 1, 0x20AD, 0xFFFD, 0x1F4E7}) {
        EXPECT_EQ(std::nullopt, ToWindows1252(c)) << static_cast<unsigned>(c);
    }
}

}  // namespace
}  // namespace kestrel
