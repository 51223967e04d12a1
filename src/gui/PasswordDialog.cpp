#include "gui/PasswordDialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/MainWindowTexts.h"

namespace kestrel {

PasswordDialog::PasswordDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Please enter password", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE, "frmPwd")
{
    auto* security = new wxStaticBoxSizer(wxVERTICAL, this, texts::SecurityFrame);
    wxWindow* box = security->GetStaticBox();
    security->Add(new wxStaticText(box, wxID_ANY, "Please enter password:"), 0,
                  wxLEFT | wxRIGHT | wxTOP, 6);
    password_ =
        new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxSize(240, -1),
                       wxTE_PASSWORD | wxTE_PROCESS_ENTER, wxDefaultValidator, "txtPassword");
    security->Add(password_, 0, wxEXPAND | wxALL, 6);
    // Processed by the box itself, Enter would not reach the default button: it confirms here.
    password_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { EndDialog(wxID_OK); });

    // The standard identifiers give OK, Cancel, Escape and the close box their dialog meaning.
    auto* ok = new wxButton(this, wxID_OK, "OK", wxDefaultPosition, wxDefaultSize, 0,
                            wxDefaultValidator, "cmdOK");
    auto* cancel = new wxButton(this, wxID_CANCEL, texts::Cancel, wxDefaultPosition, wxDefaultSize,
                                0, wxDefaultValidator, "cmdExit");
    ok->SetDefault();
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    buttons->Add(ok, 0, wxALL, 4);
    buttons->Add(cancel, 0, wxALL, 4);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(security, 0, wxEXPAND | wxALL, 8);
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
    SetSizerAndFit(sizer);
    CentreOnParent();
    password_->SetFocus();
}

std::string PasswordDialog::Password() const
{
    return password_->GetValue().utf8_string();
}

}  // namespace kestrel
