#pragma once

#include <functional>
#include <string>
#include <utility>

#include <wx/event.h>

#include "ui/ProgressSink.h"

namespace kestrel {

// A run's progress as a worker thread reports it, handed to a sink of the window thread
// through the window's event queue: the worker never touches a widget or the window's state,
// and the calls arrive in the order they were made. `window` and `target` must outlive every
// call that was queued (the window drops what is still queued when it is destroyed).
class QueuedProgress final : public ProgressSink {
public:
    QueuedProgress(wxEvtHandler& window, ProgressSink& target) : window_(window), target_(target) {}

    void SetStatus(const std::string& text) override
    {
        Post([text](ProgressSink& sink) { sink.SetStatus(text); });
    }
    void SetProgress(int value, int maximum) override
    {
        Post([value, maximum](ProgressSink& sink) { sink.SetProgress(value, maximum); });
    }
    void SetFileText(const std::string& text) override
    {
        Post([text](ProgressSink& sink) { sink.SetFileText(text); });
    }
    void SetWriteText(const std::string& text) override
    {
        Post([text](ProgressSink& sink) { sink.SetWriteText(text); });
    }
    void SetWritePercent(int percent) override
    {
        Post([percent](ProgressSink& sink) { sink.SetWritePercent(percent); });
    }
    void SetBusy(bool busy) override
    {
        Post([busy](ProgressSink& sink) { sink.SetBusy(busy); });
    }

private:
    void Post(std::function<void(ProgressSink&)> call)
    {
        // CallAfter queues an event, which is safe from any thread.
        window_.CallAfter([&target = target_, call = std::move(call)] { call(target); });
    }

    wxEvtHandler& window_;
    ProgressSink& target_;
};

}  // namespace kestrel
