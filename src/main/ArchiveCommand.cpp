#include <cstdio>

#include "main/ToolCommands.h"

namespace kestrel {

int RunArchiveCommand(const std::vector<std::string>&, Platform&)
{
    // Placeholder: the archive subcommand is not built yet.
    std::fputs("kestrel archive: not available yet\n", stderr);
    return 2;
}

}  // namespace kestrel
