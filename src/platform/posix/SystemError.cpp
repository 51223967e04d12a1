#include <cstring>

#include "platform/Error.h"

namespace kestrel {

Error SystemError(std::string operation, std::string subject, long systemCode)
{
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(systemCode), buffer, sizeof buffer);
    return {std::move(operation), std::move(subject), systemCode, text};
}

}  // namespace kestrel
