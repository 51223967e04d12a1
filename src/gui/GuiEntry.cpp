#include "gui/GuiEntry.h"

#include <wx/app.h>
#include <wx/init.h>

#include "app/AppState.h"
#include "gui/MainFrame.h"

namespace kestrel {
namespace {

class KestrelApp final : public wxApp {
public:
    explicit KestrelApp(Platform& platform) : platform_(platform) {}

    bool OnInit() override
    {
        // Loading shows the no-Outlook message when there is no profile: show the window
        // first so the message has its parent on screen.
        auto* frame = new MainFrame(state_, platform_);
        frame->Show();
        frame->LoadWindow();
        return true;
    }

private:
    Platform& platform_;
    AppState state_;
};

}  // namespace

int RunMainWindow(int argc, char** argv, Platform& platform)
{
    wxApp::SetInstance(new KestrelApp(platform));
    return wxEntry(argc, argv);
}

}  // namespace kestrel
