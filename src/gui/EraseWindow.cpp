#include "gui/EraseWindow.h"

#include <functional>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "disc/DiscTexts.h"
#include "gui/ControlBinding.h"

namespace kestrel {
namespace {

}  // namespace

class EraseWindow::EngineWatch final : public DiscEvents {
public:
    explicit EngineWatch(std::function<void()> changed) : changed_(std::move(changed)) {}

    void EraseStatusChanged(EraseStatus, int) override { changed_(); }
    void EraseDeviceError(const DeviceError&) override { changed_(); }

private:
    std::function<void()> changed_;
};

EraseWindow::EraseWindow(wxWindow* parent, Messages* messages)
    : wxDialog(parent, wxID_ANY, Text(texts::EraseWindowCaption), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE, "frmErase"),
      wxMessages_(this),
      model_(messages ? *messages : wxMessages_, *this),
      watch_(std::make_unique<EngineWatch>([this] { ShowModelState(); }))
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* note = new wxStaticText(this, wxID_ANY, Text(texts::EraseNote));
    note->Wrap(380);
    sizer->Add(note, 0, wxALL, 10);
    quickErase_ = new wxCheckBox(this, wxID_ANY, Text(texts::QuickErase), wxDefaultPosition,
                                 wxDefaultSize, 0, wxDefaultValidator, "chkQuikErase");
    sizer->Add(quickErase_, 0, wxLEFT | wxRIGHT, 10);
    progress_ = new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, wxDefaultSize, wxGA_HORIZONTAL,
                            wxDefaultValidator, "prgEraseProgress");
    sizer->Add(progress_, 0, wxEXPAND | wxALL, 10);
    status_ = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                               wxST_NO_AUTORESIZE, "lblStatus");
    sizer->Add(status_, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    erase_ = new wxButton(this, wxID_ANY, Text(texts::EraseButton), wxDefaultPosition,
                          wxDefaultSize, 0, wxDefaultValidator, "cmdErase");
    // wxID_CANCEL, so that Escape presses it; the model still decides whether it closes.
    cancel_ = new wxButton(this, wxID_CANCEL, Text(texts::CancelButton), wxDefaultPosition,
                           wxDefaultSize, 0, wxDefaultValidator, "cmdCancel");
    buttons->AddStretchSpacer();
    buttons->Add(erase_, 0, wxALL, 4);
    buttons->Add(cancel_, 0, wxALL, 4);
    sizer->Add(buttons, 0, wxEXPAND | wxALL, 6);
    SetSizerAndFit(sizer);

    quickErase_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
        model_.QuickEraseClicked(event.IsChecked());
        ShowModelState();
    });
    erase_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.EraseClicked();
        ShowModelState();
    });
    // Bound on the window, ahead of the dialog's own handling, which would close it at once.
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
            model_.CancelClicked();
            ShowModelState();
        },
        wxID_CANCEL);
    // Not skipped: the model refuses while the erase runs.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { CloseWindow(); });
}

EraseWindow::~EraseWindow()
{
    StopListening();
}

void EraseWindow::Run(DiscDevice& drive, DiscEngine& engine)
{
    model_.Show(drive, engine);
    engine_ = &engine;
    engine.AddListener(*watch_);
    ShowModelState();
    CentreOnParent();
    ShowModal();
    StopListening();
}

void EraseWindow::CloseWindow()
{
    if (!model_.CloseRequested()) {
        return;
    }
    StopListening();
    if (IsModal()) {
        EndModal(wxID_CANCEL);
    }
}

void EraseWindow::StopListening()
{
    if (engine_ != nullptr) {
        engine_->RemoveListener(*watch_);
        engine_ = nullptr;
    }
}

void EraseWindow::ShowModelState()
{
    quickErase_->SetValue(model_.QuickErase());
    erase_->Enable(model_.ButtonsEnabled());
    cancel_->Enable(model_.ButtonsEnabled());
    const wxString status = wxString::FromUTF8(model_.StatusText());
    if (status_->GetLabel() != status) {
        status_->SetLabel(status);
    }
    if (progress_->GetValue() != model_.Progress()) {
        progress_->SetValue(model_.Progress());
    }
}

}  // namespace kestrel
