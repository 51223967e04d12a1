// Start-up to a shown main window, as a whole process: spawn, toolkit start, shared state
// (registry store, version probe, run folder), window built, shown and painted, exit.
// The peer is the toolkit's floor: a process that shows one bare frame. Both run
// alternately in the same session on a fresh environment root.
//
//   startup_bench [runs]       (default 15; needs a display, e.g. xvfb-run)

#include <spawn.h>
#include <sys/wait.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "gui/MainFrame.h"
#include "platform/Platform.h"
#include "scheduler/SystemScheduler.h"
#include "ui/Messages.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void ShowAndWait(wxFrame* frame)
{
    frame->Show();
    frame->Update();
    while (!frame->IsShownOnScreen()) {
        wxTheApp->Yield(true);
    }
    wxTheApp->Yield(true);
}

int Child(const std::string& kind, int argc, char** argv)
{
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        return 1;
    }
    if (kind == "kestrel") {
        kestrel::Platform platform = kestrel::CreateSystemPlatform();
        const std::unique_ptr<kestrel::Scheduler> scheduler = kestrel::CreateSystemScheduler();
        kestrel::AppState state;
        kestrel::SilentMessages silent;  // the no-Outlook message would wait for a click
        auto* frame = new kestrel::MainFrame(state, platform, scheduler.get(), &silent);
        frame->LoadWindow();
        ShowAndWait(frame);
        frame->Destroy();
    } else {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "peer");
        new wxButton(frame, wxID_ANY, "OK");
        ShowAndWait(frame);
        frame->Destroy();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}

double RunChild(const std::string& self, const std::string& kind)
{
    std::vector<std::string> arguments{self, "--child", kind};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        return Child(argv[2], 1, argv);
    }
    const int runs = argc >= 2 ? std::max(3, std::atoi(argv[1])) : 15;
    const auto home = std::filesystem::temp_directory_path() / "kestrel-startup-bench";
    std::filesystem::remove_all(home);
    setenv("KESTREL_HOME", home.c_str(), 1);

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    RunChild(self, "kestrel");  // creates the registry store; not counted
    std::vector<double> kestrel;
    std::vector<double> peer;
    for (int i = 0; i < runs; ++i) {
        double k = RunChild(self, "kestrel");
        double p = RunChild(self, "peer");
        if (k < 0 || p < 0) {
            std::fprintf(stderr, "a start-up failed (is a display set?)\n");
            return 1;
        }
        kestrel.push_back(k);
        peer.push_back(p);
    }
    const double k = Median(kestrel);
    const double p = Median(peer);
    std::printf("start-up to a shown main window, %d runs each, medians:\n", runs);
    std::printf("  kestrelbak main window   %7.1f ms\n", k);
    std::printf("  bare wx frame (peer)     %7.1f ms\n", p);
    std::printf("  ratio                    %7.2f\n", k / p);
    std::printf("  target: kestrel under 300 ms: %s\n", k < 300 ? "met" : "NOT met");
    std::filesystem::remove_all(home);
    return 0;
}
