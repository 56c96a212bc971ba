#include "ui/CCurrentPasswordDialog.h"

#include "ui/MessageBoxes.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"

namespace orvane {

CCurrentPasswordDialog::CCurrentPasswordDialog(wxWindow* parent, Skin& skin, const String& storedPassword)
    : CSkinDialog(parent, skin, "Current Password", wxSize(164, 58)), storedPassword_(storedPassword)
{
    addLabel(LabelId, "Enter your current password", wxRect(7, 6, 150, 12));
    edit_ = addEdit(EditId, wxRect(7, 19, 150, 13), wxTE_PASSWORD);
    addButton(OkId, "OK", wxPoint(57, 38), ButtonSet::SmallDefault);
    addButton(CancelId, "Cancel", wxPoint(109, 38), ButtonSet::SmallOther);
    setDefaultButton(OkId);
    edit_->SetFocus();

    Bind(wxEVT_BUTTON, &CCurrentPasswordDialog::onOk, this, OkId);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { closeWith(wxID_CANCEL); }, CancelId);
}

void CCurrentPasswordDialog::onOk(wxCommandEvent&)
{
    const String typed(edit_->GetValue().utf8_str());
    if (typed == storedPassword_) {
        closeWith(wxID_OK);
        return;
    }
    if (typed.isEmpty())
        return;
    showMessage(this, "Password is incorrect", BoxIcon::Stop);
    edit_->SetFocus();
}

} // namespace orvane
