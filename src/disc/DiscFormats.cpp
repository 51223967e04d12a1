#include "disc/DiscFormats.h"

#include <cmath>
#include <cstdio>

#include "platform/LocalTime.h"

namespace kestrel {
namespace {

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

std::string FormatMegabyteNumber(double bytes)
{
    return Fixed(bytes / 1048576.0, 2);
}

std::string FormatMegabytes(double bytes)
{
    return FormatMegabyteNumber(bytes) + " MB";
}

std::string FormatKilobytes(double bytes)
{
    std::string number = Fixed(bytes / 1000.0, 2);
    const std::size_t point = number.find('.');
    const std::size_t firstDigit = number.front() == '-' ? 1 : 0;
    for (std::size_t at = point; at > firstDigit + 3; at -= 3) {
        number.insert(at - 3, ",");
    }
    return number + " KB";
}

std::string FormatItemDate(std::time_t date)
{
    return FormatLocalTime(date, "%m/%d/%Y %I:%M:%S %p");
}

std::string FormatSpeedMultiple(double multiple)
{
    std::string number = Fixed(multiple, 1);
    if (number.starts_with("0.")) {
        number.erase(0, 1);
    }
    return number + "x";
}

std::string ErrorText(const WriteError& error)
{
    const std::string blanks = ")   ";
    switch (error.Kind) {
        case writeerror::Device:
            return "Device Error: (" + std::to_string(error.Device.Code) + blanks +
                   error.Device.Text + "\r\n" + error.Device.Detail1 + " - " + error.Device.Detail2;
        case writeerror::OutputFile:
        case writeerror::SourceFile:
            return std::string(error.Kind == writeerror::OutputFile ? "Output" : "Source") +
                   " File Error: (" + std::to_string(error.File.Code) + blanks + error.File.Text +
                   "\r\n'" + error.File.Path + "'";
        case writeerror::System:
            return "System Error: (" + std::to_string(error.SystemCode) + blanks + error.Text;
        default:
            return "Write Error: (" + std::to_string(error.Kind) + blanks + error.Text;
    }
}

}  // namespace kestrel
