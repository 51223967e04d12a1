#pragma once

#include <string>

#include <wx/dialog.h>

class wxTextCtrl;

namespace kestrel {

// The password prompt (frmPwd) a protected backup asks through before it is opened: one masked
// box, OK and Cancel. Enter in the box confirms like OK; Cancel and closing the window give no
// answer. Each prompt starts empty, so a password typed once is never offered again.
class PasswordDialog final : public wxDialog {
public:
    explicit PasswordDialog(wxWindow* parent);

    // The text as typed; empty text is an answer too.
    std::string Password() const;

private:
    wxTextCtrl* password_ = nullptr;
};

}  // namespace kestrel
