#pragma once

#include "ui/CSkinDialog.h"

class wxChoice;

namespace orvane {

class AccountSettings;
class CFlatEdit;
class CSkinButton;
class CTextLabel;

// The connection settings (dialog 142, "Orvane - Settings"): whether the proxy comes from
// the system's settings, and otherwise the proxy type, host and port. Above them the logo,
// the product name, the maker's notice and the version.
//
// It shows the four proxy values of the account settings it is given; the list, the host
// and the port are enabled exactly while the system-settings box is clear (a click on the
// box or on its text toggles it). The port field takes digits only, whatever way they
// arrive (typing, pasting).
//
// OK (also Enter) refuses, with a box and the focus in the port field, a port outside 1 to
// 65535 while a manual proxy is chosen (box clear, a type other than "No Proxy"); a port
// nobody uses is stored as typed. Then it writes the account settings and ends with
// wxID_OK: auto-proxy := the box; proxy host := the host text (empty stays empty); proxy
// port := the port text's leading digits (none: 0); proxy type := the list's choice, with
// "Auto detect proxy type" standing for ProxyAutoDetect; with nothing chosen (a stored
// type the list does not show, the tunnel's among them) the stored type stays. The caller
// then saves "account.ini" and applies the proxy. Cancel and Escape end with wxID_CANCEL
// and leave the settings as they were.
//
// The account settings outlive the dialog. User-interface thread only.
class CConnectionSettingsDialog : public CSkinDialog {
public:
    static constexpr int LogoId = 1051;
    static constexpr int ProductId = 4016;
    static constexpr int NoticeId = 1048;
    static constexpr int VersionId = 1018;
    static constexpr int GroupId = 4017;
    static constexpr int SystemSettingsBoxId = 1011;
    static constexpr int SystemSettingsTextId = 1050;
    static constexpr int TypeListId = 1013;
    static constexpr int HostLabelId = 4013;
    static constexpr int HostId = 1015;
    static constexpr int PortLabelId = 4014;
    static constexpr int PortId = 1017;
    static constexpr int OkId = 1;
    static constexpr int CancelId = 2;

    // The list's entries, in order.
    static const char* const TypeNames[5];

    // `version` and `build` go into the version label ("Version [version].[build]").
    CConnectionSettingsDialog(wxWindow* parent, Skin& skin, AccountSettings& account, const wxString& version,
                              const wxString& build);

    // The list position that shows a proxy type, -1 for none; and back, -1 (no choice)
    // giving `kept`.
    static int listPositionOf(int proxyType);
    static int proxyTypeAt(int position, int kept);

    // Enables the list and both fields exactly while the system-settings box is clear.
    void UpdateEnabling();

    CSkinButton& systemSettingsBox() { return *systemBox_; }
    CTextLabel& systemSettingsText() { return *systemText_; }
    wxChoice& typeList() { return *typeList_; }
    CFlatEdit& hostEdit() { return *host_; }
    CFlatEdit& portEdit() { return *port_; }

private:
    void OnToggleWindowsSettings(wxMouseEvent& event);
    void onOk(wxCommandEvent& event);
    void onPortChar(wxKeyEvent& event);
    void onPortText(wxCommandEvent& event);

    AccountSettings& account_;
    CSkinButton* systemBox_;
    CTextLabel* systemText_;
    wxChoice* typeList_;
    CFlatEdit* host_;
    CFlatEdit* port_;
};

} // namespace orvane
