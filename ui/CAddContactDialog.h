#pragma once

#include "foundation/String.h"
#include "ui/CSkinDialog.h"

#include <functional>

namespace orvane {

class CFlatEdit;

// Asks for the user name of a contact to add (dialog 150, "Orvane - Add contact").
//
// "&Add" (also Enter) checks the name and, when the first failing check refuses it, says
// why in a box and stays open with the text as typed: an empty name; a name a listed
// contact has exactly (as the predicate answers); the own user name, byte for byte (so the
// same name in other letter case passes and goes to the server, which decides). A name
// that passes ends the dialog with wxID_OK; the caller then sends ADD_CONTACT with
// userName() — the contact joins the tree only when the server confirms it. "&Close"
// (id 1) and Escape end it with wxID_CANCEL without adding anything.
//
// User-interface thread only.
class CAddContactDialog : public CSkinDialog {
public:
    static constexpr int LabelId = 1038;
    static constexpr int EditId = 1019;
    static constexpr int AddId = 1020;
    static constexpr int CloseId = 1;

    // Whether a contact of the list has exactly this user name (ClientApp::isListedUserName).
    using ListedPredicate = std::function<bool(const char* userName)>;

    CAddContactDialog(wxWindow* parent, Skin& skin, const String& ownUserName, ListedPredicate isListed);

    // The name as typed, UTF-8; what "&Add" accepted once the dialog ended with wxID_OK.
    String userName() const;
    CFlatEdit& edit() { return *edit_; }

private:
    void onAdd(wxCommandEvent& event);

    String ownUserName_;
    ListedPredicate isListed_;
    CFlatEdit* edit_;
};

} // namespace orvane
