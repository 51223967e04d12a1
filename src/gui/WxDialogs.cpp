#include "gui/WxDialogs.h"

#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/msgdlg.h>

#include "gui/ControlBinding.h"
#include "gui/PasswordDialog.h"

namespace kestrel {
namespace {

// The common dialogs' filter form ("Caption (*.ext)|*.ext", pairs joined by "|") is the
// wildcard form wx takes, so it passes unchanged.
wxString Wildcard(const std::string& filter)
{
    return filter.empty() ? wxString(wxFileSelectorDefaultWildcardStr) : Text(filter);
}

}  // namespace

std::string WithDefaultExtension(const std::string& path, const std::string& extension)
{
    const std::size_t nameStart = path.find_last_of("\\/");
    const std::size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart);
    if (extension.empty() || path.empty() || hasExtension) {
        return path;
    }
    return path + "." + extension;
}

std::optional<std::string> WxDialogs::ChooseSaveFile(const FileDialogRequest& request)
{
    wxString proposed = Text(request.proposedName);
    for (;;) {
        wxFileDialog dialog(parent_, Text(request.title), Text(request.folder), proposed,
                            Wildcard(request.filter), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (dialog.ShowModal() != wxID_OK) {
            return std::nullopt;
        }
        const std::string typed = dialog.GetPath().utf8_string();
        const std::string path = WithDefaultExtension(typed, request.defaultExtension);
        // The dialog asked about the name as typed; the added extension may name another file.
        if (path == typed || !wxFileExists(Text(path))) {
            return path;
        }
        wxMessageDialog ask(parent_, Text(path) + " already exists.\nDo you want to replace it?",
                            Text(request.title), wxYES_NO | wxNO_DEFAULT | wxICON_EXCLAMATION);
        if (ask.ShowModal() == wxID_YES) {
            return path;
        }
        proposed = dialog.GetFilename();
    }
}

std::optional<std::string> WxDialogs::ChooseOpenFile(const FileDialogRequest& request)
{
    wxFileDialog dialog(parent_, Text(request.title), Text(request.folder),
                        Text(request.proposedName), Wildcard(request.filter),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    return dialog.GetPath().utf8_string();
}

std::optional<std::string> WxDialogs::AskPassword()
{
    // A new prompt each time: it opens empty.
    PasswordDialog dialog(parent_);
    if (dialog.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    return dialog.Password();
}

}  // namespace kestrel
