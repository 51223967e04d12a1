#include <cstdlib>

#include "disc/SystemDiscEngine.h"

namespace kestrel {

SystemDiscOptions DiscOptionsFromEnvironment()
{
#ifdef _WIN32
    const char separator = ';';
#else
    const char separator = ':';
#endif
    SystemDiscOptions options;
    const char* list = std::getenv("KESTREL_DISC_IMAGES");
    std::string entry;
    for (const char* c = list ? list : "";; ++c) {
        if (*c == separator || *c == '\0') {
            if (!entry.empty()) {
                options.imageFiles.push_back(entry);
            }
            entry.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            entry += *c;
        }
    }
    return options;
}

}  // namespace kestrel
