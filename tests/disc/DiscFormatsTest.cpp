#include "disc/DiscFormats.h"

#include <gtest/gtest.h>

#include <ctime>

#include "support/ScheduledJobs.h"

namespace kestrel {
namespace {

TEST(DiscFormatsTest, SizesInKilobytesAndMegabytes)
{
    struct Case {
        double bytes;
        const char* kilobytes;
        const char* megabytes;
    };
    const Case cases[] = {
        {0, "0.00 KB", "0.00 MB"},
        {1536, "1.54 KB", "0.00 MB"},
        {999999, "1,000.00 KB", "0.95 MB"},
        {1234567890, "1,234,567.89 KB", "1177.38 MB"},
        {1048576.0 * 4700, "4,928,307.20 KB", "4700.00 MB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.kilobytes, FormatKilobytes(c.bytes)) << c.bytes;
        EXPECT_EQ(c.megabytes, FormatMegabytes(c.bytes)) << c.bytes;
    }
}

TEST(DiscFormatsTest, SpeedMultiplesAndDates)
{
    EXPECT_EQ("6.0x", FormatSpeedMultiple(6));
    EXPECT_EQ("52.0x", FormatSpeedMultiple(52));
    EXPECT_EQ(".5x", FormatSpeedMultiple(0.5));

    struct Case {
        int hour;
        const char* text;
    };
    for (const Case& c : {Case{14, "03/05/2024 02:07:09 PM"}, Case{0, "03/05/2024 12:07:09 AM"},
                          Case{12, "03/05/2024 12:07:09 PM"}}) {
        std::tm local = testing::At(2024, 3, 5, c.hour, 7);
        local.tm_sec = 9;
        local.tm_isdst = -1;
        EXPECT_EQ(c.text, FormatItemDate(std::mktime(&local)));
    }
}

TEST(DiscFormatsTest, ErrorTextByKind)
{
    WriteError error;
    error.Text = "Buffer underrun";
    error.Device = {3, "Medium error", "Write failed", "Sector 1200"};
    error.File = {32, "Sharing violation", "C:\\Mail\\a.pst"};
    error.SystemCode = 8;
    struct Case {
        int kind;
        const char* text;
    };
    const Case cases[] = {
        {1, "Device Error: (3)   Medium error\r\nWrite failed - Sector 1200"},
        {2, "Output File Error: (32)   Sharing violation\r\n'C:\\Mail\\a.pst'"},
        {3, "Source File Error: (32)   Sharing violation\r\n'C:\\Mail\\a.pst'"},
        {5, "System Error: (8)   Buffer underrun"},
        {4, "Write Error: (4)   Buffer underrun"},
        {0, "Write Error: (0)   Buffer underrun"},
    };
    for (const Case& c : cases) {
        error.Kind = c.kind;
        EXPECT_EQ(c.text, ErrorText(error)) << c.kind;
    }
}

}  // namespace
}  // namespace kestrel
