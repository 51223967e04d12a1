#pragma once

#include <memory>

#include <wx/dialog.h>

#include "disc/EraseWindowModel.h"
#include "gui/WxMessages.h"

class wxButton;
class wxCheckBox;
class wxGauge;
class wxStaticText;

namespace kestrel {

// The erase window (frmErase) the disc-writing window opens from its Device menu. Holds no
// rules: every event goes to EraseWindowModel, and after each one (and after each engine event)
// the widgets are set from the model's state.
class EraseWindow final : public wxDialog, public EraseWindowHost {
public:
    // messages: where the model's message boxes go; null for real message boxes.
    EraseWindow(wxWindow* parent, Messages* messages = nullptr);
    ~EraseWindow() override;

    // Shows the window modally for the drive; returns once it has closed. Both must outlive
    // the call.
    void Run(DiscDevice& drive, DiscEngine& engine);

    void CloseWindow() override;

private:
    class EngineWatch;

    void ShowModelState();
    void StopListening();

    WxMessages wxMessages_;
    EraseWindowModel model_;
    std::unique_ptr<EngineWatch> watch_;
    DiscEngine* engine_ = nullptr;

    wxCheckBox* quickErase_ = nullptr;
    wxButton* erase_ = nullptr;
    wxButton* cancel_ = nullptr;
    wxGauge* progress_ = nullptr;
    wxStaticText* status_ = nullptr;
};

}  // namespace kestrel
