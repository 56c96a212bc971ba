#include "ui/MessageBoxes.h"

#include <wx/msgdlg.h>

namespace orvane {

namespace {

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

} // namespace

void showMessage(wxWindow* parent, const wxString& text, BoxIcon icon)
{
    wxMessageBox(text, "Orvane", wxOK | iconStyle(icon), parent);
}

bool askYesNo(wxWindow* parent, const wxString& text)
{
    return wxMessageBox(text, "Orvane", wxYES_NO | wxICON_QUESTION, parent) == wxYES;
}

} // namespace orvane
