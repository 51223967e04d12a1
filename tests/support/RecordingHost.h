#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindowModel.h"

namespace kestrel::testing {

// The window around a MainWindowModel in a test: it records what the model asked of it and runs
// background work on the test's thread, at once or when the test says.
struct RecordingHost final : MainWindowHost {
    std::vector<std::string> calls;
    // Background work waits here for RunHeld, so a test can act while a run goes on.
    bool holdWork = false;
    std::function<void()> held;

    void ShowPopupMenu(ItemsPopupMenu menu) override
    {
        calls.push_back(menu == ItemsPopupMenu::BackupItems ? "popup backup" : "popup restore");
    }
    void ShowAboutWindow() override { calls.push_back("about"); }
    void ShowSchedulerWindow() override { calls.push_back("scheduler"); }
    void ShowDiscWindow() override { calls.push_back("disc"); }
    void EndProgram() override { calls.push_back("end"); }
    void RunInBackground(ProgressSink& window, std::function<void(ProgressSink&)> work,
                         std::function<void()> done) override
    {
        calls.push_back("run");
        held = [&window, work, done] {
            work(window);
            done();
        };
        if (!holdWork) {
            RunHeld();
        }
    }
    void ShowProgress() override {}
    void RunHeld()
    {
        ASSERT_TRUE(held) << "no run is waiting";
        std::exchange(held, nullptr)();
    }
};

}  // namespace kestrel::testing
