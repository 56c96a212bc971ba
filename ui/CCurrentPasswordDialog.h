#pragma once

#include "foundation/String.h"
#include "ui/CSkinDialog.h"

namespace orvane {

class CFlatEdit;

// Asks for the account's current password before its details change (dialog 206,
// "Current Password").
//
// OK (also Enter) compares the text typed, byte for byte, with the stored password: equal
// ends the dialog with wxID_OK; different and not empty shows "Password is incorrect" and
// puts the focus back into the field; different and empty does nothing (so an empty field
// passes only when the stored password is empty too). Cancel and Escape end it with
// wxID_CANCEL.
//
// User-interface thread only.
class CCurrentPasswordDialog : public CSkinDialog {
public:
    static constexpr int LabelId = 1052;
    static constexpr int EditId = 1051;
    static constexpr int OkId = 1;
    static constexpr int CancelId = 2;

    CCurrentPasswordDialog(wxWindow* parent, Skin& skin, const String& storedPassword);

    CFlatEdit& edit() { return *edit_; }

private:
    void onOk(wxCommandEvent& event);

    String storedPassword_;
    CFlatEdit* edit_;
};

} // namespace orvane
