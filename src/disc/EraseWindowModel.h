#pragma once

#include <string>

#include "disc/DiscEngine.h"
#include "ui/Messages.h"

namespace kestrel {

// What only the erase window itself can do; the wx window implements it.
class EraseWindowHost {
public:
    virtual ~EraseWindowHost() = default;

    // Closes the erase window (it asks CloseRequested first).
    virtual void CloseWindow() = 0;
};

// The rules of the erase window, without any widget: the checks before a re-writable disc is
// blanked, and the status, progress and buttons while it is. It listens to the engine from
// Show until the window closes; the disc-writing window stays open behind it.
class EraseWindowModel final : public DiscEvents {
public:
    EraseWindowModel(Messages& messages, EraseWindowHost& host) : messages_(messages), host_(host)
    {
    }
    ~EraseWindowModel() override;
    EraseWindowModel(const EraseWindowModel&) = delete;
    EraseWindowModel& operator=(const EraseWindowModel&) = delete;

    // Opening the window for the drive; both must outlive it.
    void Show(DiscDevice& drive, DiscEngine& engine);
    // The window may close only while no erase runs; closing stops listening to the engine.
    bool CloseRequested();

    void QuickEraseClicked(bool checked) { quickErase_ = checked; }
    void EraseClicked();
    void CancelClicked();

    bool QuickErase() const { return quickErase_; }
    bool ButtonsEnabled() const { return buttonsEnabled_; }
    bool Busy() const { return busy_; }
    const std::string& StatusText() const { return status_; }
    int Progress() const { return progress_; }

    void EraseStatusChanged(EraseStatus status, int percent) override;
    void EraseDeviceError(const DeviceError& error) override;

private:
    // Shows the message and closes the window.
    void Refuse(const std::string& text, MessageIcon icon);
    void Release();

    Messages& messages_;
    EraseWindowHost& host_;
    DiscDevice* drive_ = nullptr;
    DiscEngine* engine_ = nullptr;
    bool quickErase_ = true;
    bool buttonsEnabled_ = true;
    bool busy_ = false;
    std::string status_;
    int progress_ = 0;
};

}  // namespace kestrel
