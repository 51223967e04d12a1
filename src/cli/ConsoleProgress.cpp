#include "cli/ConsoleProgress.h"

#include <algorithm>

namespace kestrel {
namespace {

constexpr int BarWidth = 30;
// Keeps the line within a narrow terminal, where a wrapped line could not be redrawn.
constexpr std::size_t LabelWidth = 40;

// At most `width` bytes, never ending inside a UTF-8 character.
std::string Shortened(const std::string& text, std::size_t width)
{
    if (text.size() <= width) {
        return text;
    }
    while (width > 0 && (static_cast<unsigned char>(text[width]) & 0xC0) == 0x80) {
        --width;
    }
    return text.substr(0, width);
}

}  // namespace

ConsoleProgress::ConsoleProgress(std::ostream& out, bool redraw) : out_(out), redraw_(redraw)
{
}

ConsoleProgress::~ConsoleProgress()
{
    EndLine();
}

void ConsoleProgress::SetStatus(const std::string& text)
{
    if (text.empty()) {
        return;
    }
    label_ = text;
    if (redraw_) {
        Draw();
    } else {
        out_ << text << '\n' << std::flush;
    }
}

void ConsoleProgress::SetFileText(const std::string& text)
{
    if (text.empty() || !redraw_) {
        return;
    }
    label_ = text;
    Draw();
}

void ConsoleProgress::SetWritePercent(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent <= percent_) {
        return;
    }
    percent_ = percent;
    if (redraw_) {
        Draw();
    } else {
        out_ << percent << "%\n" << std::flush;
    }
}

void ConsoleProgress::SetBusy(bool busy)
{
    if (!busy) {
        EndLine();
    }
}

void ConsoleProgress::Draw()
{
    const int shown = std::max(percent_, 0);
    const int filled = shown * BarWidth / 100;
    std::string line = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(BarWidth - filled), ' ') + "] ";
    const std::string number = std::to_string(shown);
    line += std::string(3 - std::min<std::size_t>(3, number.size()), ' ') + number + "%  " +
            Shortened(label_, LabelWidth);
    // Blanks over whatever a longer line before left behind.
    const std::size_t length = line.size();
    if (length < drawnLength_) {
        line += std::string(drawnLength_ - length, ' ');
    }
    drawnLength_ = length;
    out_ << line << std::flush;
}

void ConsoleProgress::EndLine()
{
    if (drawnLength_ != 0) {
        out_ << '\n' << std::flush;
        drawnLength_ = 0;
    }
}

}  // namespace kestrel
