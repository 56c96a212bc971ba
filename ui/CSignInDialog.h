#pragma once

#include "foundation/String.h"

#include <wx/dialog.h>

namespace orvane {

class CFlatEdit;
class CSkinButton;
class CTextLabel;
class SignUpHandover;
class Skin;

// The modal dialog that asks for the user name and password to sign in with, and whether
// they become the default account. Its "New Account" button hands over to the sign-up form
// (SignUpHandover); a sign-up that succeeds starts the sign-in there and closes this dialog
// as cancelled.
//
// ShowModal answers wxID_OK only when both texts are filled in; the caller then reads
// userName, password and makeDefault. Anything else (Cancel, Escape, the close box, a
// successful sign-up) answers wxID_CANCEL. Both texts start empty; the make-default box
// starts set only at the first sign-in (no own user name stored yet).
//
// Controls keep their ids: the labels 1045, 1039 and 1046, the edits 1030 (user name) and
// 1021 (password), the check box 1034 and the buttons 1032 (New Account), 1 (Sign in, the
// default: Enter) and 2 (Cancel). Laid out in dialog units of "MS Sans Serif" 8.
//
// User-interface thread only.
class CSignInDialog : public wxDialog {
public:
    static constexpr int TemplateId = 152;
    static constexpr int MakeDefaultLabelId = 1046;
    static constexpr int UserNameLabelId = 1045;
    static constexpr int PasswordLabelId = 1039;
    static constexpr int MakeDefaultId = 1034;
    static constexpr int NewAccountId = 1032;
    static constexpr int SignInId = 1;
    static constexpr int CancelId = 2;
    static constexpr int UserNameId = 1030;
    static constexpr int PasswordId = 1021;

    // `firstSignIn`: no own user name is stored yet. The skin and the hand-over must outlive
    // the dialog.
    CSignInDialog(wxWindow* parent, Skin& skin, SignUpHandover& handover, bool firstSignIn);
    ~CSignInDialog() override;

    // What was entered, as read when the dialog closed with wxID_OK (UTF-8).
    const String& userName() const { return userName_; }
    const String& password() const { return password_; }
    bool makeDefault() const { return makeDefault_; }

    CFlatEdit& userNameEdit() { return *userNameEdit_; }
    CFlatEdit& passwordEdit() { return *passwordEdit_; }
    CSkinButton& makeDefaultBox() { return *makeDefaultBox_; }
    CSkinButton& signInButton() { return *signInButton_; }
    CSkinButton& newAccountButton() { return *newAccountButton_; }
    CSkinButton& cancelButton() { return *cancelButton_; }

private:
    void OnInitDialog(wxInitDialogEvent& event);
    void OnOK();
    void OnCancel();
    void OnNewAccount();
    void OnPaint(wxPaintEvent& event);
    void OnButton(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void readFields();
    void layOut();

    Skin& skin_;
    SignUpHandover& handover_;

    // Owned by the window.
    CTextLabel* makeDefaultLabel_;
    CTextLabel* userNameLabel_;
    CTextLabel* passwordLabel_;
    CSkinButton* makeDefaultBox_;
    CSkinButton* newAccountButton_;
    CSkinButton* signInButton_;
    CSkinButton* cancelButton_;
    CFlatEdit* userNameEdit_;
    CFlatEdit* passwordEdit_;

    String userName_;
    String password_;
    bool makeDefault_;
};

} // namespace orvane
