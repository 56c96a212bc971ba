#include "ui/CConnectionSettingsDialog.h"

#include "core/ConfigFiles.h"
#include "ui/MessageBoxes.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <wx/choice.h>

#include <algorithm>

namespace orvane {

const char* const CConnectionSettingsDialog::TypeNames[5] = {
    "No Proxy", "HTTPS", "SOCKS 4", "SOCKS 5", "Auto detect proxy type",
};

namespace {

// The proxy type each list entry stands for.
constexpr int TypeOfPosition[5] = {ProxyDirect, ProxyHttps, ProxySocks4, ProxySocks5, ProxyAutoDetect};

// Leading decimal digits; none give 0. Held below any overflow: a port that long is
// out of range either way.
int leadingNumber(const wxString& text)
{
    int value = 0;
    for (const wxUniChar c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<int>(c.GetValue() - '0');
        if (value > 99999999)
            break;
    }
    return value;
}

bool isDigit(const wxUniChar c)
{
    return c >= '0' && c <= '9';
}

} // namespace

CConnectionSettingsDialog::CConnectionSettingsDialog(wxWindow* parent, Skin& skin, AccountSettings& account,
                                                     const wxString& version, const wxString& build)
    : CSkinDialog(parent, skin, "Orvane - Settings", wxSize(200, 191)), account_(account)
{
    CSkinButton* logo = addButton(LogoId, wxString(), wxPoint(0, 6), ButtonSet::Logo);
    logo->Move((GetClientSize().GetWidth() - logo->GetSize().GetWidth()) / 2, logo->GetPosition().y);
    addLabel(ProductId, "Orvane messenger", wxRect(7, 48, 186, 10), 0);
    addLabel(NoticeId, MakerNotice, wxRect(7, 58, 186, 10), 0);
    addLabel(VersionId, versionLabelText("Version [version].[build]", version, build), wxRect(7, 68, 186, 10), 0);

    // The frame round the proxy settings: made first, so the controls inside lie above it.
    CTextLabel* group = addLabel(GroupId, wxString(), wxRect(7, 82, 186, 78));
    group->SetBorderWidth(1);
    group->SetBorderColor(skin.backgroundColorLight());

    systemBox_ = addButton(SystemSettingsBoxId, wxString(), wxPoint(14, 90), ButtonSet::CheckBox);
    systemText_ = addLabel(SystemSettingsTextId, "Obtain proxy settings from the system", wxRect(26, 88, 160, 12));

    const wxRect listPlace = unitsToPixels(wxRect(14, 104, 172, 14));
    typeList_ = new wxChoice(this, TypeListId, listPlace.GetPosition(), wxSize(listPlace.GetWidth(), -1));
    for (const char* name : TypeNames)
        typeList_->Append(name);
    typeList_->SetSelection(0);

    addLabel(HostLabelId, "Proxy IP address", wxRect(14, 125, 110, 10));
    host_ = addEdit(HostId, wxRect(14, 136, 110, 13));
    addLabel(PortLabelId, "Proxy port", wxRect(130, 125, 56, 10));
    port_ = addEdit(PortId, wxRect(130, 136, 56, 13), wxTE_RIGHT);

    addButton(OkId, "OK", wxPoint(61, 168), ButtonSet::LargeDefault);
    addButton(CancelId, "Cancel", wxPoint(129, 168), ButtonSet::LargeOther);
    setDefaultButton(OkId);

    host_->ChangeValue(wxString::FromUTF8(account_.proxyHost.c_str()));
    port_->ChangeValue(wxString::Format("%d", account_.proxyPort));
    systemBox_->SetCheck(account_.autoProxy);
    typeList_->SetSelection(listPositionOf(account_.proxyType));
    UpdateEnabling();

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { UpdateEnabling(); }, SystemSettingsBoxId);
    systemText_->Bind(wxEVT_LEFT_DOWN, &CConnectionSettingsDialog::OnToggleWindowsSettings, this);
    port_->textCtrl().Bind(wxEVT_CHAR, &CConnectionSettingsDialog::onPortChar, this);
    port_->textCtrl().Bind(wxEVT_TEXT, &CConnectionSettingsDialog::onPortText, this);
    Bind(wxEVT_BUTTON, &CConnectionSettingsDialog::onOk, this, OkId);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { closeWith(wxID_CANCEL); }, CancelId);
}

int CConnectionSettingsDialog::listPositionOf(int proxyType)
{
    for (int position = 0; position < 5; ++position)
        if (TypeOfPosition[position] == proxyType)
            return position;
    return wxNOT_FOUND;
}

int CConnectionSettingsDialog::proxyTypeAt(int position, int kept)
{
    return position >= 0 && position < 5 ? TypeOfPosition[position] : kept;
}

void CConnectionSettingsDialog::UpdateEnabling()
{
    const bool manual = !systemBox_->GetCheck();
    typeList_->Enable(manual);
    enableEdit(*host_, manual);
    enableEdit(*port_, manual);
}

void CConnectionSettingsDialog::OnToggleWindowsSettings(wxMouseEvent& event)
{
    event.Skip();
    // Only the box changes: what was typed into the fields stays.
    systemBox_->SetCheck(!systemBox_->GetCheck());
    UpdateEnabling();
}

void CConnectionSettingsDialog::onPortChar(wxKeyEvent& event)
{
    const wxChar c = event.GetUnicodeKey();
    // Keys without a character (arrows, Home, Delete) and control characters (Backspace,
    // Tab, the clipboard's Ctrl keys) keep their usual work; of the rest only digits go in.
    if (c == WXK_NONE || c < WXK_SPACE || c == WXK_DELETE || isDigit(c))
        event.Skip();
}

void CConnectionSettingsDialog::onPortText(wxCommandEvent& event)
{
    event.Skip();
    // Pasted or dropped text gets past the key filter. Its other characters go once the
    // field has finished its own change: GTK takes a new text badly from inside its notice.
    const wxString text = port_->GetValue();
    if (std::all_of(text.begin(), text.end(), isDigit))
        return;
    CallAfter([this] {
        wxTextCtrl& field = port_->textCtrl();
        const wxString now = field.GetValue();
        wxString digits;
        long caret = field.GetInsertionPoint();
        for (size_t i = 0; i < now.length(); ++i) {
            if (isDigit(now[i]))
                digits += now[i];
            else if (static_cast<long>(i) < caret)
                --caret;
        }
        if (digits == now)
            return;
        field.ChangeValue(digits);
        field.SetInsertionPoint(caret);
    });
}

void CConnectionSettingsDialog::onOk(wxCommandEvent&)
{
    const bool autoProxy = systemBox_->GetCheck();
    const int type = proxyTypeAt(typeList_->GetSelection(), account_.proxyType);
    const int port = leadingNumber(port_->GetValue());
    if (!autoProxy && type != ProxyDirect && (port < 1 || port > 65535)) {
        showMessage(this, "Enter a proxy port from 1 to 65535.", BoxIcon::Warning);
        port_->SetFocus();
        port_->textCtrl().SelectAll();
        return;
    }
    account_.autoProxy = autoProxy;
    account_.proxyHost = String(host_->GetValue().utf8_str());
    account_.proxyPort = port;
    account_.proxyType = type;
    closeWith(wxID_OK);
}

} // namespace orvane
