#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "archive/ZipEvents.h"

namespace kestrel {

// Passes the component's events on at most once per interval, so that writing thousands of
// small files is not slowed down by label updates. A file name held back is passed on at the
// next chance, so the label always ends on the file being worked on; 0 and 100 percent are
// never held back.
class ZipEventThrottle {
public:
    ZipEventThrottle(ZipEventSink& sink, std::chrono::milliseconds interval)
        : sink_(sink), interval_(interval)
    {
    }

    void AddingFile(const std::string& name)
    {
        pendingName_ = name;
        extracting_ = false;
        Pump();
    }
    void ExtractingFile(const std::string& name)
    {
        pendingName_ = name;
        extracting_ = true;
        Pump();
    }
    void Progress(int percent)
    {
        if (percent == lastPercent_) {
            return;
        }
        if (percent == 0 || percent == 100 || Due(lastProgress_)) {
            lastProgress_ = std::chrono::steady_clock::now();
            lastPercent_ = percent;
            sink_.WriteProgress(percent);
        }
        Pump();
    }
    // Called as work goes on: passes on a file name that was held back, once due.
    void Pump()
    {
        if (pendingName_ && Due(lastName_)) {
            extracting_ ? sink_.ExtractingFile(*pendingName_) : sink_.AddingFile(*pendingName_);
            pendingName_.reset();
        }
    }

    // Passes on a held-back file name now (the work it names has ended).
    void Flush()
    {
        lastName_.reset();
        Pump();
    }

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Each label has its own clock: a progress update does not hold back a file name.
    bool Due(std::optional<TimePoint>& last)
    {
        const auto now = std::chrono::steady_clock::now();
        if (last && now - *last < interval_) {
            return false;
        }
        last = now;
        return true;
    }

    ZipEventSink& sink_;
    std::chrono::milliseconds interval_;
    std::optional<TimePoint> lastName_;
    std::optional<TimePoint> lastProgress_;
    std::optional<std::string> pendingName_;
    bool extracting_ = false;
    int lastPercent_ = -1;
};

}  // namespace kestrel
