#include "gui/GuiEntry.h"

#include <utility>

#include <wx/app.h>
#include <wx/iconbndl.h>
#include <wx/init.h>
#ifdef __WXMSW__
#include <wx/msw/private.h>
#endif

#include "app/AppState.h"
#include "gui/MainFrame.h"

namespace kestrel {
namespace {

class KestrelApp final : public wxApp {
public:
    KestrelApp(Platform& platform, Scheduler* scheduler, std::string backupFile)
        : platform_(platform), scheduler_(scheduler), backupFile_(std::move(backupFile))
    {
    }

    bool OnInit() override
    {
        // Loading shows the no-Outlook message when there is no profile: show the window
        // first so the message has its parent on screen.
        auto* frame = new MainFrame(state_, platform_, scheduler_);
#ifdef __WXMSW__
        // The program's icon resource, small and large, for the title bar and the task bar.
        frame->SetIcons(wxIconBundle("KESTREL_ICON", wxGetInstance()));
#endif
        frame->Show();
        frame->LoadWindow();
        if (!backupFile_.empty()) {
            // After the first paint, so the password prompt has its window on screen.
            frame->CallAfter([frame, path = backupFile_] { frame->OpenBackupFile(path); });
        }
        return true;
    }

private:
    Platform& platform_;
    Scheduler* scheduler_;
    std::string backupFile_;
    AppState state_;
};

}  // namespace

int RunMainWindow(int argc, char** argv, Platform& platform, Scheduler* scheduler,
                  const std::string& backupFile)
{
    wxApp::SetInstance(new KestrelApp(platform, scheduler, backupFile));
    return wxEntry(argc, argv);
}

}  // namespace kestrel
