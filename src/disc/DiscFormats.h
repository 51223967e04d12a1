#pragma once

#include <ctime>
#include <string>

#include "disc/DiscEngine.h"

namespace kestrel {

// Bytes in megabytes (1048576 bytes) with two decimals, at least one digit before the point
// and no thousands separators, followed by " MB": 1610612736 is "1536.00 MB".
std::string FormatMegabytes(double bytes);
// The same number without the unit.
std::string FormatMegabyteNumber(double bytes);
// Bytes in kilobytes of 1000 bytes, with thousands separators and two decimals, followed by
// " KB": 1536 is "1.54 KB".
std::string FormatKilobytes(double bytes);
// The local date and time as "MM/DD/YYYY hh:mm:ss AM" on a twelve-hour clock.
std::string FormatItemDate(std::time_t date);
// A drive's speed multiple with one decimal and an "x", without a 0 before the point:
// "8.0x", ".5x".
std::string FormatSpeedMultiple(double multiple);
// The message that a failed write shows.
std::string ErrorText(const WriteError& error);

}  // namespace kestrel
