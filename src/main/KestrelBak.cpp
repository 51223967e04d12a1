// kestrelbak: started without arguments it opens the main window; started with a backup file
// (opened from the desktop) it opens the main window on the restore tab with that file; started
// with any other argument text (as a scheduled job starts it) it takes the unattended backup
// without any window and ends.

#include <cstdio>
#include <exception>
#include <memory>

#include "app/CommandLineRun.h"
#include "app/StartRequest.h"
#include "gui/GuiEntry.h"
#include "platform/ArgumentText.h"
#include "platform/Platform.h"
#include "scheduler/SystemScheduler.h"

int main(int argc, char** argv)
{
    try {
        const std::string argumentText = kestrel::ProgramArgumentText(argc, argv);
        kestrel::Platform platform = kestrel::CreateSystemPlatform();
        const std::unique_ptr<kestrel::Scheduler> scheduler = kestrel::CreateSystemScheduler();
        const kestrel::StartRequest start = kestrel::ChooseStart(
            argumentText, kestrel::ProgramArguments(argc, argv), platform.fileSystem.get());
        switch (start.kind) {
            case kestrel::StartKind::Unattended:
                return kestrel::RunFromCommandLine(start.text, platform, scheduler.get());
            case kestrel::StartKind::OpenBackup:
                return kestrel::RunMainWindow(argc, argv, platform, scheduler.get(), start.text);
            case kestrel::StartKind::MainWindow:
                break;
        }
        return kestrel::RunMainWindow(argc, argv, platform, scheduler.get());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrelbak: %s\n", error.what());
        return 2;
    }
}
