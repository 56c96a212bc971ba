#include "ui/CAboutDialog.h"

#include "ui/kit/CSkinButton.h"

namespace orvane {

CAboutDialog::CAboutDialog(wxWindow* parent, Skin& skin, const wxString& version, const wxString& build)
    : CSkinDialog(parent, skin, "About Orvane", wxSize(200, 76))
{
    addButton(LogoId, wxString(), wxPoint(7, 7), ButtonSet::Logo);
    addLabel(ProductId, "Orvane Messenger", wxRect(58, 9, 135, 10));
    addLabel(NoticeId, MakerNotice, wxRect(58, 21, 135, 10));
    addLabel(VersionId, versionLabelText("Version [version].[build]", version, build), wxRect(58, 33, 135, 10));
    addButton(OkId, "OK", wxPoint(129, 53), ButtonSet::LargeDefault);
    setDefaultButton(OkId);
    FindWindow(OkId)->SetFocus();

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { closeWith(wxID_OK); }, OkId);
}

void CAboutDialog::run(wxWindow* parent, Skin& skin, const wxString& version, const wxString& build)
{
    CAboutDialog dialog(parent, skin, version, build);
    dialog.ShowModal();
}

} // namespace orvane
