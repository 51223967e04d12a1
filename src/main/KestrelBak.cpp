// kestrelbak: started without arguments it opens the main window; started with an argument
// text (as a scheduled job starts it) it takes the unattended backup without any window and
// ends.

#include <cstdio>
#include <exception>

#include "app/CommandLineRun.h"
#include "gui/GuiEntry.h"
#include "platform/ArgumentText.h"
#include "platform/Platform.h"

int main(int argc, char** argv)
{
    try {
        const std::string argumentText = kestrel::ProgramArgumentText(argc, argv);
        kestrel::Platform platform = kestrel::CreateSystemPlatform();
        if (!argumentText.empty()) {
            return kestrel::RunFromCommandLine(argumentText, platform);
        }
        return kestrel::RunMainWindow(argc, argv, platform);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrelbak: %s\n", error.what());
        return 2;
    }
}
