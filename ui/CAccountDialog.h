#pragma once

#include "foundation/String.h"
#include "ui/CSkinDialog.h"

#include <array>
#include <functional>

namespace orvane {

class AccountSettings;
class CFlatEdit;
class ContactRecord;
class FormFields;

// The one form for an account's details (dialog 151), in two modes.
//
// Sign-up ("Orvane - Register new account", every field empty and editable): OK checks the
// fields (Validate), makes the entered user name and password the account's credentials —
// before the request, so they stay even when it fails — and posts CMD=CREATE_USER to the
// server URL. The reply is an XML document: "status" exactly "SUCCESS" sets the own user's
// record (user id from "userID", user name, names, e-mail, web site) and ends the dialog
// with wxID_OK; otherwise its "reason" is shown and the dialog stays. A failed exchange
// shows "Unable to register user!" and the dialog stays. The request blocks this thread
// for the length of the exchange (the HTTP client's time-out applies).
//
// Change details ("Orvane - Change my details", the user name fixed, the other fields
// filled from the own user's record, both passwords empty): OK refuses two new passwords
// that differ, then asks for the current password (CCurrentPasswordDialog) and ends with
// wxID_OK once it is confirmed. Nothing is sent: the caller reads the field texts and
// sends the change.
//
// In both modes the confirmation field is enabled exactly while the new password is not
// empty, and emptied when it is disabled, so no hidden confirmation can block OK. Every
// refusal keeps the dialog open with the fields as entered; Cancel and Escape end it with
// wxID_CANCEL.
//
// The account settings and the record outlive the dialog. User-interface thread only.
class CAccountDialog : public CSkinDialog {
public:
    static constexpr int UserNameId = 1019;
    static constexpr int NewPasswordId = 1021;
    static constexpr int ConfirmPasswordId = 1025;
    static constexpr int FirstNameId = 1029;
    static constexpr int LastNameId = 1031;
    static constexpr int EmailId = 1028;
    static constexpr int WebSiteId = 1033;
    static constexpr int OkId = 1;
    static constexpr int CancelId = 2;

    // A user name or password holding any of these is refused.
    static constexpr const char* ForbiddenCharacters = ":";
    // The longest user name and password, in bytes (UTF-8).
    static constexpr int MaxLength = 250;

    enum class Mode { SignUp, ChangeDetails };

    // Posts the form to the URL and answers the reply's body; an Exception (or any
    // std::exception) when that fails.
    using FormPoster = std::function<String(const String& url, FormFields& form)>;

    // `account`: the credentials and the network id; `ownUser`: the own user's record;
    // `serverUrl`: the account endpoint of the configuration.
    CAccountDialog(wxWindow* parent, Skin& skin, AccountSettings& account, ContactRecord& ownUser,
                   const String& serverUrl);

    // Sign-up, run modally; true when it ended with wxID_OK.
    bool DoModalRegister();
    // Change details, run modally; true when it ended with wxID_OK (the caller then reads
    // the fields).
    bool DoModalChangeDetails();
    // Caption, field texts and enabling of the mode; the modal runs start with it, and a
    // modeless show (tests) calls it first.
    void OnInitDialog(Mode mode);

    // Replaces the HTTP client that sign-up posts with (tests).
    void setFormPoster(FormPoster poster) { poster_ = std::move(poster); }

    // The field texts as they stand, UTF-8.
    String userName() const;
    String password() const;
    String confirmation() const;
    String firstName() const;
    String lastName() const;
    String email() const;
    String webSite() const;

    CFlatEdit& edit(int id);
    bool isSignUp() const { return signUp_; }

    // The sign-up checks in order; the first that fails shows its box. True when all pass.
    bool Validate() override;

private:
    void OnOK(wxCommandEvent& event);
    void OnNewPasswordChange(wxCommandEvent& event);
    // Sign-up's request and reply; true on success.
    bool PostCreateUser();
    String text(int id) const;

    AccountSettings& account_;
    ContactRecord& ownUser_;
    String serverUrl_;
    bool signUp_ = false;
    FormPoster poster_;
    // In the order of the field ids above.
    std::array<CFlatEdit*, 7> edits_{};
};

} // namespace orvane
