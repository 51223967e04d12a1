#pragma once

#include <string>

namespace kestrel {

// Where a long run (a backup, a restore) shows how far it has come: the status label, the
// progress bar, the archive's per-file and percentage texts, and the busy cursor. The window
// implements it on its own thread (a worker's calls reach it through the event queue); the
// unattended run and the command-line tool implement it without a window.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    virtual void SetStatus(const std::string& text) = 0;
    // 0 <= value <= maximum; callers clamp.
    virtual void SetProgress(int value, int maximum) = 0;
    // "Adding File <name>" or "Unzip File <name>".
    virtual void SetFileText(const std::string& text) = 0;
    // "Write File <n>%".
    virtual void SetWriteText(const std::string& text) = 0;
    // The same percentage as a number, for sinks that draw their own bar.
    virtual void SetWritePercent(int /*percent*/) {}
    virtual void SetBusy(bool busy) = 0;
};

// Shows nothing: for runs that nobody watches.
class SilentProgress final : public ProgressSink {
public:
    void SetStatus(const std::string&) override {}
    void SetProgress(int, int) override {}
    void SetFileText(const std::string&) override {}
    void SetWriteText(const std::string&) override {}
    void SetBusy(bool) override {}
};

}  // namespace kestrel
