#include "gui/AboutDialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/MainWindowTexts.h"

namespace kestrel {

AboutDialog::AboutDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, wxString("About ") + texts::ApplicationTitle)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* name = new wxStaticText(this, wxID_ANY, texts::MainWindowCaption);
    name->SetFont(name->GetFont().Bold().Scaled(1.4f));
    sizer->Add(name, 0, wxALL, 12);
    sizer->Add(new wxStaticText(this, wxID_ANY,
                                "Backs up and restores the data of one Outlook profile:\n"
                                "data files, accounts, signatures, stationery, address book,\n"
                                "options, templates, preferences and contacts."),
               0, wxLEFT | wxRIGHT, 12);
    sizer->Add(new wxStaticText(this, wxID_ANY, texts::WebsiteAddress), 0, wxALL, 12);
    sizer->Add(new wxButton(this, wxID_OK, "OK"), 0, wxALIGN_RIGHT | wxALL, 12);
    SetSizerAndFit(sizer);
    CentreOnParent();
}

}  // namespace kestrel
