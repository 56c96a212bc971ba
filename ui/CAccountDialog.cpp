#include "ui/CAccountDialog.h"

#include "core/ConfigFiles.h"
#include "core/contacts/ContactRecord.h"
#include "foundation/Exception.h"
#include "foundation/XmlNode.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"
#include "ui/CCurrentPasswordDialog.h"
#include "ui/MessageBoxes.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"

#include <wx/utils.h>

#include <cstring>
#include <exception>

namespace orvane {

namespace {

struct Row {
    int id;
    const char* label;
    long style;
};

// The fields from top to bottom, which is also their order in edits_.
constexpr Row Rows[7] = {
    {CAccountDialog::UserNameId, "User Name", 0},
    {CAccountDialog::NewPasswordId, "New Password", wxTE_PASSWORD},
    {CAccountDialog::ConfirmPasswordId, "Confirm Password", wxTE_PASSWORD},
    {CAccountDialog::FirstNameId, "First Name", 0},
    {CAccountDialog::LastNameId, "Last Name", 0},
    {CAccountDialog::EmailId, "Email", 0},
    {CAccountDialog::WebSiteId, "Web", 0},
};

size_t rowOf(int id)
{
    for (size_t i = 0; i < 7; ++i)
        if (Rows[i].id == id)
            return i;
    return 0;
}

bool holdsForbidden(const String& text)
{
    return std::strpbrk(text.c_str(), CAccountDialog::ForbiddenCharacters) != nullptr;
}

String postWithHttpClient(const String& url, FormFields& form)
{
    HttpClient http;
    ByteArray body;
    http.postForm(url.c_str(), &form, &body);
    return String(reinterpret_cast<const char*>(body.data()), body.count());
}

} // namespace

CAccountDialog::CAccountDialog(wxWindow* parent, Skin& skin, AccountSettings& account, ContactRecord& ownUser,
                               const String& serverUrl)
    : CSkinDialog(parent, skin, wxString(), wxSize(210, 154)),
      account_(account),
      ownUser_(ownUser),
      serverUrl_(serverUrl),
      poster_(postWithHttpClient)
{
    for (size_t i = 0; i < 7; ++i) {
        const int top = 7 + 17 * static_cast<int>(i);
        addLabel(wxID_ANY, Rows[i].label, wxRect(7, top, 66, 13));
        edits_[i] = addEdit(Rows[i].id, wxRect(76, top, 127, 13), Rows[i].style);
    }
    addButton(OkId, "OK", wxPoint(71, 131), ButtonSet::LargeDefault);
    addButton(CancelId, "Cancel", wxPoint(139, 131), ButtonSet::LargeOther);
    setDefaultButton(OkId);

    Bind(wxEVT_TEXT, &CAccountDialog::OnNewPasswordChange, this, NewPasswordId);
    Bind(wxEVT_BUTTON, &CAccountDialog::OnOK, this, OkId);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { closeWith(wxID_CANCEL); }, CancelId);
}

bool CAccountDialog::DoModalRegister()
{
    OnInitDialog(Mode::SignUp);
    return ShowModal() == wxID_OK;
}

bool CAccountDialog::DoModalChangeDetails()
{
    OnInitDialog(Mode::ChangeDetails);
    return ShowModal() == wxID_OK;
}

void CAccountDialog::OnInitDialog(Mode mode)
{
    signUp_ = mode == Mode::SignUp;
    SetTitle(signUp_ ? "Orvane - Register new account" : "Orvane - Change my details");
    for (CFlatEdit* field : edits_)
        field->ChangeValue(wxString());
    if (!signUp_) {
        const auto fill = [this](int id, const String& value) {
            edit(id).ChangeValue(wxString::FromUTF8(value.c_str()));
        };
        fill(UserNameId, account_.userName);
        fill(FirstNameId, ownUser_.firstName);
        fill(LastNameId, ownUser_.lastName);
        fill(EmailId, ownUser_.email);
        fill(WebSiteId, ownUser_.webSite);
    }
    enableEdit(edit(UserNameId), signUp_);
    enableEdit(edit(ConfirmPasswordId), false);
    edit(signUp_ ? UserNameId : NewPasswordId).SetFocus();
}

CFlatEdit& CAccountDialog::edit(int id)
{
    return *edits_[rowOf(id)];
}

String CAccountDialog::text(int id) const
{
    return String(edits_[rowOf(id)]->GetValue().utf8_str());
}

String CAccountDialog::userName() const
{
    return text(UserNameId);
}

String CAccountDialog::password() const
{
    return text(NewPasswordId);
}

String CAccountDialog::confirmation() const
{
    return text(ConfirmPasswordId);
}

String CAccountDialog::firstName() const
{
    return text(FirstNameId);
}

String CAccountDialog::lastName() const
{
    return text(LastNameId);
}

String CAccountDialog::email() const
{
    return text(EmailId);
}

String CAccountDialog::webSite() const
{
    return text(WebSiteId);
}

void CAccountDialog::OnNewPasswordChange(wxCommandEvent& event)
{
    event.Skip();
    CFlatEdit& confirm = edit(ConfirmPasswordId);
    const bool enable = !password().isEmpty();
    if (!enable)
        confirm.ChangeValue(wxString());
    enableEdit(confirm, enable);
}

bool CAccountDialog::Validate()
{
    const String user = userName();
    const String pass = password();
    struct Check {
        bool fails;
        const char* message;
        BoxIcon icon;
    };
    const Check checks[] = {
        {user.isEmpty(), "Enter user name!", BoxIcon::Warning},
        {user.length() > MaxLength, "Your user name is too long! ( maximum characters: 250 )", BoxIcon::Warning},
        {holdsForbidden(user), "You have entered invalid characters!", BoxIcon::Warning},
        {pass.isEmpty(), "Enter password!", BoxIcon::Warning},
        {pass != confirmation(), "Passwords do not match", BoxIcon::None},
        {pass.length() > MaxLength, "Your password is too long! ( maximum characters: 250 )", BoxIcon::None},
        {holdsForbidden(pass), "You have entered invalid characters!", BoxIcon::Warning},
    };
    for (const Check& check : checks) {
        if (check.fails) {
            showMessage(this, check.message, check.icon);
            return false;
        }
    }
    return true;
}

void CAccountDialog::OnOK(wxCommandEvent&)
{
    if (!signUp_) {
        if (password() != confirmation()) {
            showMessage(this, "Passwords do not match", BoxIcon::Stop);
            return;
        }
        CCurrentPasswordDialog current(this, skin(), account_.password);
        if (current.ShowModal() != wxID_OK)
            return;
        closeWith(wxID_OK);
        return;
    }
    if (!Validate())
        return;
    // The account becomes the new one only once the server has made it: a refused sign-up
    // leaves the user's own credentials as they were.
    if (!PostCreateUser())
        return;
    account_.userName = userName();
    account_.password = password();
    closeWith(wxID_OK);
}

bool CAccountDialog::PostCreateUser()
{
    FormFields form;
    form.field("CMD") = "CREATE_USER";
    form.field("User_Name") = userName();
    form.field("Email") = email();
    form.field("First_Name") = firstName();
    form.field("Last_Name") = lastName();
    form.field("Password") = password();
    form.field("Web_Site") = webSite();
    form.field("Network_ID") = account_.networkId;

    XmlNode reply;
    try {
        const wxBusyCursor busy;
        reply.parse(poster_(serverUrl_, form).c_str());
    } catch (const Exception&) {
        showMessage(this, "Unable to register user!", BoxIcon::Warning);
        return false;
    } catch (const std::exception&) {
        showMessage(this, "Unable to register user!", BoxIcon::Warning);
        return false;
    }
    if (reply.childOrEmpty("status")->value != "SUCCESS") {
        // A refusal without a reason still says what happened.
        const String& reason = reply.childOrEmpty("reason")->value;
        showMessage(this, reason.isEmpty() ? wxString("Unable to register user!") : wxString::FromUTF8(reason.c_str()),
                    BoxIcon::Warning);
        return false;
    }
    ownUser_.id = reply.childOrEmpty("userID")->value;
    ownUser_.userName = userName();
    ownUser_.firstName = firstName();
    ownUser_.lastName = lastName();
    ownUser_.email = email();
    ownUser_.webSite = webSite();
    return true;
}

} // namespace orvane
