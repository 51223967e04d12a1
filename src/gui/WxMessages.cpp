#include "gui/WxMessages.h"

#include <wx/msgdlg.h>

namespace kestrel {
namespace {

long IconStyle(MessageIcon icon)
{
    switch (icon) {
        case MessageIcon::Information:
            return wxICON_INFORMATION;
        case MessageIcon::Exclamation:
            return wxICON_EXCLAMATION;
        case MessageIcon::Stop:
            return wxICON_ERROR;
        case MessageIcon::Question:
            return wxICON_QUESTION;
        case MessageIcon::None:
            break;
    }
    return wxICON_NONE;
}

long ButtonStyle(MessageButtons buttons)
{
    switch (buttons) {
        case MessageButtons::OkCancel:
            return wxOK | wxCANCEL;
        case MessageButtons::YesNo:
            return wxYES_NO;
        case MessageButtons::YesNoCancel:
            return wxYES_NO | wxCANCEL;
        case MessageButtons::Ok:
            break;
    }
    return wxOK;
}

}  // namespace

MessageAnswer WxMessages::Show(const std::string& text, const std::string& caption,
                               MessageIcon icon, MessageButtons buttons)
{
    wxMessageDialog dialog(parent_, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                           ButtonStyle(buttons) | IconStyle(icon));
    switch (dialog.ShowModal()) {
        case wxID_CANCEL:
            return MessageAnswer::Cancel;
        case wxID_YES:
            return MessageAnswer::Yes;
        case wxID_NO:
            return MessageAnswer::No;
        default:
            return MessageAnswer::Ok;
    }
}

}  // namespace kestrel
