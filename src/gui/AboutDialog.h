#pragma once

#include <wx/dialog.h>

namespace kestrel {

// The about window: name, version and the product's web address.
class AboutDialog final : public wxDialog {
public:
    explicit AboutDialog(wxWindow* parent);
};

}  // namespace kestrel
