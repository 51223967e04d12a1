#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "ui/ProgressSink.h"

namespace kestrel {

// A run's progress on the console. On a terminal one line is redrawn in place: a bar for the
// archive write, its percentage and what is being done. Elsewhere (a log, a pipe) each status
// text is a line of its own and the write's percentage a line "NN%" each time it grows, never
// the same twice, so a log stays short and a script can follow it.
class ConsoleProgress final : public ProgressSink {
public:
    ConsoleProgress(std::ostream& out, bool redraw);
    ~ConsoleProgress() override;
    ConsoleProgress(const ConsoleProgress&) = delete;
    ConsoleProgress& operator=(const ConsoleProgress&) = delete;

    void SetStatus(const std::string& text) override;
    // The item steps before the write say little about the time left; the bar follows the write.
    void SetProgress(int, int) override {}
    void SetFileText(const std::string& text) override;
    void SetWriteText(const std::string&) override {}
    void SetWritePercent(int percent) override;
    // The end of a run ends the redrawn line, so what follows starts on a line of its own.
    void SetBusy(bool busy) override;

private:
    void Draw();
    void EndLine();

    std::ostream& out_;
    bool redraw_;
    std::string label_;
    int percent_ = -1;
    std::size_t drawnLength_ = 0;
};

}  // namespace kestrel
