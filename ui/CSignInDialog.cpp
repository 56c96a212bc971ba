#include "ui/CSignInDialog.h"

#include "resources/ResourceIds.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBoxes.h"
#include "ui/SignUpHandover.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <wx/dcclient.h>

namespace orvane {

namespace {

// The template, in dialog units. The buttons take the size of their bitmaps.
constexpr int ClientWidth = 220;
constexpr int ClientHeight = 90;
constexpr int Margin = 8;
constexpr int LabelWidth = 44;
constexpr int LabelHeight = 10;
constexpr int EditLeft = 56;
constexpr int EditHeight = 14;
constexpr int UserNameTop = 8;
constexpr int PasswordTop = 26;
constexpr int MakeDefaultTop = 46;
constexpr int MakeDefaultLabelWidth = 120;
constexpr int ButtonTop = 66;
constexpr int ButtonGap = 4;

String stringOf(const wxString& text)
{
    return String(text.utf8_str().data());
}

// The letter after the caption's single '&' (upper case), or 0.
wxChar mnemonicOf(const wxString& caption)
{
    for (size_t i = 0; i + 1 < caption.length(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return wxToupper(caption[i + 1]);
    }
    return 0;
}

} // namespace

CSignInDialog::CSignInDialog(wxWindow* parent, Skin& skin, SignUpHandover& handover, bool firstSignIn)
    : wxDialog(parent, TemplateId, "Orvane - Sign In", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      skin_(skin), handover_(handover), makeDefault_(firstSignIn)
{
    // The dialog paints the skin's background; the labels draw over it.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetFont(DialogUnits::dialogFont());
    const DialogUnits units = DialogUnits::of(*this);
    SetClientSize(units.toPixels(wxSize(ClientWidth, ClientHeight)));

    // Created in the order the keyboard walks them; the labels are passed over.
    userNameLabel_ = new CTextLabel(this, UserNameLabelId, "Username");
    passwordLabel_ = new CTextLabel(this, PasswordLabelId, "Password");
    makeDefaultLabel_ = new CTextLabel(this, MakeDefaultLabelId, "Make default account");
    for (CTextLabel* label : {userNameLabel_, passwordLabel_, makeDefaultLabel_})
        label->DisableFocusFromKeyboard();

    userNameEdit_ = new CFlatEdit(this, UserNameId);
    passwordEdit_ = new CFlatEdit(this, PasswordId, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD);
    for (CFlatEdit* edit : {userNameEdit_, passwordEdit_}) {
        edit->SetBorderColor(skin_.backgroundColorLight());
        edit->SetHoverBorderColor(skin_.foregroundColor());
    }

    makeDefaultBox_ = new CSkinButton(this, MakeDefaultId, wxEmptyString, CSkinButton::CheckBox);
    makeDefaultBox_->SetBitmaps(BitmapCheckBoxClear, BitmapCheckBoxTicked, 0, 0, 0, true, false, 0);
    makeDefaultBox_->SetCheck(makeDefault_);

    signInButton_ = new CSkinButton(this, SignInId, "S&ign in");
    signInButton_->SetBitmaps(BitmapLargeButtonDefault, BitmapLargeButtonPressed, BitmapLargeButtonHover,
                              BitmapLargeButtonDefault, BitmapLargeButtonDefault, true, false, 0);
    newAccountButton_ = new CSkinButton(this, NewAccountId, "&New Acount");
    cancelButton_ = new CSkinButton(this, CancelId, "Cancel");
    for (CSkinButton* button : {newAccountButton_, cancelButton_})
        button->SetBitmaps(BitmapLargeButton, BitmapLargeButtonPressed, BitmapLargeButtonHover, BitmapLargeButton,
                           BitmapLargeButtonDefault, true, false, 0);
    layOut();

    Bind(wxEVT_INIT_DIALOG, &CSignInDialog::OnInitDialog, this);
    Bind(wxEVT_PAINT, &CSignInDialog::OnPaint, this);
    Bind(wxEVT_BUTTON, &CSignInDialog::OnButton, this);
    Bind(wxEVT_CHAR_HOOK, &CSignInDialog::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &CSignInDialog::OnClose, this);
    CentreOnParent();
}

CSignInDialog::~CSignInDialog() = default;

void CSignInDialog::layOut()
{
    const DialogUnits units = DialogUnits::of(*this);
    const int clientWidth = GetClientSize().GetWidth();
    const int editWidth = units.toPixelsX(ClientWidth - Margin - EditLeft);
    const wxSize editSize(editWidth, units.toPixelsY(EditHeight));
    const wxSize labelSize = units.toPixels(wxSize(LabelWidth, LabelHeight));

    // Each label centred on the height of what it names.
    auto beside = [](CTextLabel& label, const wxPoint& at, const wxSize& size, const wxRect& named) {
        label.SetSize(wxRect(at.x, named.GetTop() + (named.GetHeight() - size.GetHeight()) / 2, size.GetWidth(),
                             size.GetHeight()));
    };
    userNameEdit_->SetSize(wxRect(units.toPixels(wxPoint(EditLeft, UserNameTop)), editSize));
    passwordEdit_->SetSize(wxRect(units.toPixels(wxPoint(EditLeft, PasswordTop)), editSize));
    beside(*userNameLabel_, units.toPixels(wxPoint(Margin, 0)), labelSize, userNameEdit_->GetRect());
    beside(*passwordLabel_, units.toPixels(wxPoint(Margin, 0)), labelSize, passwordEdit_->GetRect());

    // The check box keeps its bitmap's size; its label follows it on the same line.
    makeDefaultBox_->Move(units.toPixels(wxPoint(EditLeft, MakeDefaultTop)));
    const wxRect box = makeDefaultBox_->GetRect();
    beside(*makeDefaultLabel_, wxPoint(box.GetRight() + 1 + units.toPixelsX(3), 0),
           units.toPixels(wxSize(MakeDefaultLabelWidth, LabelHeight)), box);

    // New Account at the left; Sign in and Cancel at the right.
    const int top = units.toPixelsY(ButtonTop);
    const int margin = units.toPixelsX(Margin);
    newAccountButton_->Move(margin, top);
    const int cancelLeft = clientWidth - margin - cancelButton_->GetSize().GetWidth();
    cancelButton_->Move(cancelLeft, top);
    signInButton_->Move(cancelLeft - units.toPixelsX(ButtonGap) - signInButton_->GetSize().GetWidth(), top);
}

void CSignInDialog::OnInitDialog(wxInitDialogEvent&)
{
    userNameEdit_->SetFocus();
}

void CSignInDialog::readFields()
{
    userName_ = stringOf(userNameEdit_->GetValue());
    password_ = stringOf(passwordEdit_->GetValue());
    makeDefault_ = makeDefaultBox_->GetCheck();
}

void CSignInDialog::OnOK()
{
    readFields();
    if (userName_.isEmpty() || password_.isEmpty()) {
        showMessage(this, "Enter valid username and password", BoxIcon::Stop);
        return;
    }
    EndModal(wxID_OK);
}

void CSignInDialog::OnCancel()
{
    if (IsModal())
        EndModal(wxID_CANCEL);
    else
        Hide();
}

void CSignInDialog::OnNewAccount()
{
    if (!handover_.signUp(*this))
        return;
    handover_.signInNewAccount();
    // The sign-in is under way; the caller must not start another one.
    OnCancel();
}

void CSignInDialog::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    skin_.paintBackground(this, &dc);
}

void CSignInDialog::OnButton(wxCommandEvent& event)
{
    switch (event.GetId()) {
    case SignInId:
        OnOK();
        break;
    case CancelId:
        OnCancel();
        break;
    case NewAccountId:
        OnNewAccount();
        break;
    default:
        event.Skip();
        break;
    }
}

void CSignInDialog::OnCharHook(wxKeyEvent& event)
{
    const int key = event.GetKeyCode();
    if (key == WXK_ESCAPE) {
        OnCancel();
        return;
    }
    if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
        // A focused push button takes Enter as its click; elsewhere Sign in is the default.
        const wxWindow* focus = FindFocus();
        if (focus == newAccountButton_)
            OnNewAccount();
        else if (focus == cancelButton_)
            OnCancel();
        else
            OnOK();
        return;
    }
    if (event.GetModifiers() == wxMOD_ALT) {
        for (CSkinButton* button : {signInButton_, newAccountButton_}) {
            if (key == static_cast<int>(mnemonicOf(button->GetLabel()))) {
                wxCommandEvent click(wxEVT_BUTTON, button->GetId());
                click.SetEventObject(button);
                ProcessWindowEvent(click);
                return;
            }
        }
    }
    event.Skip();
}

void CSignInDialog::OnClose(wxCloseEvent&)
{
    OnCancel();
}

} // namespace orvane
