#include <cstdio>

#include "main/ToolCommands.h"

namespace kestrel {

int RunRegCommand(const std::vector<std::string>&, Platform&)
{
    // Placeholder: the reg subcommand is not built yet.
    std::fputs("kestrel reg: not available yet\n", stderr);
    return 2;
}

}  // namespace kestrel
