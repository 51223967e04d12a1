#include "outlook/ProfilesRootKey.h"

#include <cctype>

namespace kestrel {

double LeadingNumericValue(const std::string& text)
{
    std::size_t position = text.find_first_not_of(" \t");
    double value = 0;
    double scale = 0;  // 0 before the decimal point, then 0.1, 0.01, ...
    for (; position < text.size(); ++position) {
        char c = text[position];
        if (c == '.' && scale == 0) {
            scale = 0.1;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else {
            break;
        }
    }
    return value;
}

std::string ProfilesRootKeyFor(const std::string& outlookShortVersion)
{
    if (LeadingNumericValue(outlookShortVersion) >= 15.0) {
        return "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + outlookShortVersion +
               "\\Outlook\\Profiles";
    }
    return "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
           "Windows Messaging Subsystem\\Profiles";
}

}  // namespace kestrel
