#include "cli/ConsoleProgress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrel {
namespace {

// What the backup job reports in a run: statuses while collecting, then the write's percentages
// (repeated and out of order as a throttled sink may pass them on), then the end of the run.
void PlayRun(ProgressSink& progress)
{
    progress.SetBusy(true);
    progress.SetStatus("Copying Config...");
    progress.SetProgress(10, 100);
    progress.SetStatus("Copying Data Files (Pst Files)...");
    progress.SetFileText("Adding File big.pst");
    for (int percent : {0, 0, 7, 3, 7, 56, 100, 100}) {
        progress.SetWritePercent(percent);
    }
    progress.SetFileText("");
    progress.SetBusy(false);
}

TEST(ConsoleProgress, WithoutATerminalEachStatusAndEachNewPercentIsOneLine)
{
    std::ostringstream out;
    {
        ConsoleProgress progress(out, false);
        PlayRun(progress);
    }
    EXPECT_EQ(
        "Copying Config...\n"
        "Copying Data Files (Pst Files)...\n"
        "0%\n7%\n56%\n100%\n",
        out.str());
}

TEST(ConsoleProgress, OnATerminalOneLineIsRedrawnAndEndedOnce)
{
    std::ostringstream out;
    {
        ConsoleProgress progress(out, true);
        progress.SetStatus("Copying Data Files (Pst Files)...");
        progress.SetWritePercent(50);
        progress.SetFileText("Adding File a.pst");
        progress.SetBusy(false);
        progress.SetBusy(false);
    }
    EXPECT_EQ(
        "\r[                              ]   0%  Copying Data Files (Pst Files)..."
        "\r[###############               ]  50%  Copying Data Files (Pst Files)..."
        "\r[###############               ]  50%  Adding File a.pst                "
        "\n",
        out.str());
}

TEST(ConsoleProgress, ALongNameIsCutBeforeACharacterNotInsideIt)
{
    std::ostringstream out;
    ConsoleProgress progress(out, true);
    progress.SetFileText("Adding File " + std::string(27, 'a') + "\xC3\xA9t\xC3\xA9.pst");
    EXPECT_EQ("\r[                              ]   0%  Adding File " + std::string(27, 'a'),
              out.str());
}

}  // namespace
}  // namespace kestrel
