#pragma once

#include <string>
#include <string_view>
#include <utility>

#include <wx/event.h>
#include <wx/settings.h>
#include <wx/textctrl.h>

#include "app/WindowControls.h"

namespace kestrel {

// The system's UTF-8 text as wx holds it.
inline wxString Text(std::string_view text)
{
    return wxString::FromUTF8(text.data(), text.size());
}

// Binds each menu command to its model method; `after` runs once the model has taken it (the
// window shows the model's state again).
template <typename Model, std::size_t Count, typename After>
void BindModelCommands(wxEvtHandler& window, Model& model,
                       const std::pair<int, void (Model::*)()> (&commands)[Count], After after)
{
    for (const auto& [id, handler] : commands) {
        window.Bind(
            wxEVT_MENU,
            [&model, handler = handler, after](wxCommandEvent&) {
                (model.*handler)();
                after();
            },
            id);
    }
}

// Puts the text into the box. ChangeValue sends no text event, so the model is not told its own
// value back; an unchanged box keeps its caret.
inline void ShowText(wxTextCtrl* box, const wxString& shown)
{
    if (box->GetValue() != shown) {
        box->ChangeValue(shown);
    }
}

inline void ShowText(wxTextCtrl* box, const std::string& text)
{
    ShowText(box, wxString::FromUTF8(text));
}

// The two password boxes as a window model shows them: enabled or not, in the model's colour,
// holding its texts.
template <typename Model>
void ShowPasswordBoxes(const Model& model, wxTextCtrl* password, wxTextCtrl* retyped)
{
    const wxColour colour = wxSystemSettings::GetColour(
        model.PasswordColour() == PasswordBoxColour::WindowBackground ? wxSYS_COLOUR_WINDOW
                                                                      : wxSYS_COLOUR_SCROLLBAR);
    for (wxTextCtrl* box : {password, retyped}) {
        box->Enable(model.PasswordBoxesEnabled());
        box->SetBackgroundColour(colour);
        box->Refresh();
    }
    ShowText(password, model.Password());
    ShowText(retyped, model.RetypedPassword());
}

}  // namespace kestrel
