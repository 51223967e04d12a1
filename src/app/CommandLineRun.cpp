#include "app/CommandLineRun.h"

#include "app/Messages.h"
#include "app/Startup.h"
#include "backup/UnattendedBackup.h"

namespace kestrel {

int RunFromCommandLine(const std::string& commandLineText, Platform& platform)
{
    AppState state;
    state.CommandLineText = commandLineText;
    SilentMessages silent;
    LoadSharedState(state, platform, silent);
    return RunUnattendedBackup(state, platform, silent) ? 0 : 1;
}

}  // namespace kestrel
