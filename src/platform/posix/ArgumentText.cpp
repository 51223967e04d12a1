#include "platform/ArgumentText.h"

namespace kestrel {

std::string ProgramArgumentText(int argc, char** argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

}  // namespace kestrel
