#include "ui/MessageBoxes.h"

#include "ui/kit/CMessageBox.h"
#include "ui/CSkinDialog.h"
#include "ui/kit/Skin.h"

#include <wx/msgdlg.h>

namespace orvane {

namespace {

Skin* programSkin = nullptr;

long iconStyle(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Stop:
        return wxICON_ERROR;
    case BoxIcon::Warning:
        return wxICON_WARNING;
    case BoxIcon::Question:
        return wxICON_QUESTION;
    case BoxIcon::None:
        return wxICON_NONE;
    case BoxIcon::Information:
        break;
    }
    return wxICON_INFORMATION;
}

Skin* skinFor(wxWindow* parent)
{
    if (programSkin)
        return programSkin;
    for (wxWindow* w = parent; w; w = w->GetParent())
        if (auto* dialog = dynamic_cast<CSkinDialog*>(w))
            return &dialog->skin();
    return nullptr;
}

// wxID_OK, wxID_YES or wxID_NO.
int runBox(wxWindow* parent, const wxString& text, long style)
{
    if (Skin* skin = skinFor(parent)) {
        CMessageBox box(parent, *skin, text, "Orvane", style);
        return box.ShowModal();
    }
    switch (wxMessageBox(text, "Orvane", style, parent)) {
    case wxYES:
        return wxID_YES;
    case wxNO:
        return wxID_NO;
    default:
        return wxID_OK;
    }
}

} // namespace

void setMessageBoxSkin(Skin* skin)
{
    programSkin = skin;
}

void showMessage(wxWindow* parent, const wxString& text, BoxIcon icon)
{
    runBox(parent, text, wxOK | iconStyle(icon));
}

bool askYesNo(wxWindow* parent, const wxString& text)
{
    return runBox(parent, text, wxYES_NO | wxICON_QUESTION) == wxID_YES;
}

} // namespace orvane
