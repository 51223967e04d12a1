#include "app/CommandLineRun.h"

#include "app/Startup.h"
#include "backup/UnattendedBackup.h"
#include "ui/Messages.h"

namespace kestrel {

int RunFromCommandLine(const std::string& commandLineText, Platform& platform)
{
    AppState state;
    state.CommandLineText = commandLineText;
    SilentMessages silent;
    LoadSharedState(state, platform, silent);
    return RunUnattendedBackup(commandLineText, DiscoveryContextOf(state), platform, silent) ? 0
                                                                                             : 1;
}

}  // namespace kestrel
