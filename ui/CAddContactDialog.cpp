#include "ui/CAddContactDialog.h"

#include "ui/MessageBoxes.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"

namespace orvane {

CAddContactDialog::CAddContactDialog(wxWindow* parent, Skin& skin, const String& ownUserName, ListedPredicate isListed)
    : CSkinDialog(parent, skin, "Orvane - Add contact", wxSize(186, 50)),
      ownUserName_(ownUserName),
      isListed_(std::move(isListed))
{
    addLabel(LabelId, "User ID", wxRect(7, 8, 36, 12));
    edit_ = addEdit(EditId, wxRect(45, 8, 134, 13));
    addButton(AddId, "&Add", wxPoint(79, 29), ButtonSet::SmallDefault);
    addButton(CloseId, "&Close", wxPoint(131, 29), ButtonSet::SmallOther);
    setDefaultButton(AddId);
    edit_->SetFocus();

    Bind(wxEVT_BUTTON, &CAddContactDialog::onAdd, this, AddId);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { closeWith(wxID_CANCEL); }, CloseId);
}

String CAddContactDialog::userName() const
{
    return String(edit_->GetValue().utf8_str());
}

void CAddContactDialog::onAdd(wxCommandEvent&)
{
    const String name = userName();
    const char* refusal = nullptr;
    if (name.isEmpty())
        refusal = "You should enter a user name to add it.";
    else if (isListed_ && isListed_(name.c_str()))
        refusal = "The user is already in your contact list.";
    else if (name == ownUserName_)
        refusal = "Can't add yourself to your contact list.";
    if (refusal) {
        showMessage(this, refusal, BoxIcon::Warning);
        edit_->SetFocus();
        return;
    }
    closeWith(wxID_OK);
}

} // namespace orvane
