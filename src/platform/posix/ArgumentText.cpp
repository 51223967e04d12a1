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

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace kestrel
