#pragma once

#include "modules/webjoin/NavigationReporter.h"
#include "modules/webjoin/SessionWindow.h"
#include "ui/CPersistSDIFrame.h"

#include <functional>
#include <utility>

class wxWebView;
class wxWebViewEvent;

namespace orvane {

class CAddressBar;
class CWebjoinDoc;
class ISkin;

// One session's window: the address bar above the page view, titled
// "<contact> - Webjoin", never smaller than 200 by 400 pixels. It starts at about:blank.
// It opens where the last session window was when it closed: every session window saves
// its placement in the library's profile (section "Main Frame") as it goes, and
// ActivateFrame shows a new one there.
//
// Every top-level page the view arrives at is reported through the session's
// SendNavigate, except the ones the peer asked for (NavigationReporter). Top-level pages
// are taken from wxWebView's NAVIGATED, which WebKit raises for the main frame only and
// once per navigation, after redirects: a page's frames and the hops of a redirect are
// never reported.
//
// onClosed runs once while the window is destroyed; the session's document and the profile
// must outlive the window until then. User-interface thread only.
class CChildFrame : public CPersistSDIFrame, public SessionWindow {
public:
    CChildFrame(CWebjoinDoc& doc, ISkin& skin, wxConfigBase& profile, std::function<void(CWebjoinDoc&)> onClosed);
    ~CChildFrame() override;

    // False when the page view could not be made; the window is then unusable.
    bool valid() const { return view_ != nullptr; }

    void navigateFromPeer(const std::string& url) override;
    WindowHandle handle() override { return static_cast<wxWindow*>(this); }

    void SetAddressText(const wxString& url);
    CAddressBar& addressBar() { return *bar_; }
    wxWebView* view() { return view_; }
    bool fromPeer() const { return reporter_.fromPeer(); }
    void setOnClosed(std::function<void(CWebjoinDoc&)> onClosed) { onClosed_ = std::move(onClosed); }
    // The program ends with its main window; open sessions do not hold it up (the module's
    // shutdown closes them).
    bool ShouldPreventAppExit() const override { return false; }

private:
    void navigate(const wxString& url);
    void onNavigated(wxWebViewEvent& event);

    CWebjoinDoc& doc_;
    std::function<void(CWebjoinDoc&)> onClosed_;
    NavigationReporter reporter_;
    CAddressBar* bar_ = nullptr;
    wxWebView* view_ = nullptr;
};

} // namespace orvane
