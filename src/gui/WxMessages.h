#pragma once

#include <wx/window.h>

#include "ui/Messages.h"

namespace kestrel {

// Message boxes shown with wxMessageBox, modal to the given parent.
class WxMessages final : public Messages {
public:
    explicit WxMessages(wxWindow* parent = nullptr) : parent_(parent) {}
    void SetParent(wxWindow* parent) { parent_ = parent; }

    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    wxWindow* parent_;
};

}  // namespace kestrel
