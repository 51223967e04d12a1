#pragma once

#include <wx/window.h>

#include "ui/Dialogs.h"

namespace kestrel {

// The file choosers as wx file dialogs and the password prompt, modal to the given parent.
class WxDialogs final : public Dialogs {
public:
    explicit WxDialogs(wxWindow* parent = nullptr) : parent_(parent) {}

    // Asks before overwriting, also when the default extension was added to a typed name.
    std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
    // The masked password prompt (frmPwd).
    std::optional<std::string> AskPassword() override;

private:
    wxWindow* parent_;
};

// The typed name with ".extension" added when its bare name has no dot, as the common dialogs
// do with their default extension; unchanged for an empty extension.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

}  // namespace kestrel
