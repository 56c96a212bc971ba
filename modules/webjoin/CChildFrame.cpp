#include "modules/webjoin/CChildFrame.h"

#include "modules/webjoin/CAddressBar.h"
#include "modules/webjoin/CWebjoinDoc.h"

#include <wx/sizer.h>
#include <wx/webview.h>

#include <utility>

namespace orvane {

namespace {

const wxSize MinimumSize(200, 400);

} // namespace

CChildFrame::CChildFrame(CWebjoinDoc& doc, ISkin& skin, wxConfigBase& profile,
                         std::function<void(CWebjoinDoc&)> onClosed)
    : CPersistSDIFrame(profile, nullptr, wxID_ANY, wxString::FromUTF8(doc.contactName() + " - Webjoin"),
                       wxDefaultPosition, wxSize(800, 600))
    , doc_(doc)
    , onClosed_(std::move(onClosed))
{
    SetMinSize(MinimumSize);
    CAddressBar::Handlers handlers;
    handlers.go = [this](const wxString& url) { navigate(url); };
    handlers.back = [this] { reporter_.userNavigationStarted(); if (view_) view_->GoBack(); };
    handlers.forward = [this] { reporter_.userNavigationStarted(); if (view_) view_->GoForward(); };
    handlers.stop = [this] { if (view_) view_->Stop(); };
    handlers.refresh = [this] { reporter_.userNavigationStarted(); if (view_) view_->Reload(); };
    bar_ = new CAddressBar(this, skin, std::move(handlers));

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(bar_, wxSizerFlags().Expand());
    view_ = wxWebView::New(this, wxID_ANY, "about:blank");
    if (view_) {
        column->Add(view_, wxSizerFlags(1).Expand());
        view_->Bind(wxEVT_WEBVIEW_NAVIGATED, &CChildFrame::onNavigated, this);
        // Busy from the first request (frames included) until the page and its frames are in.
        view_->Bind(wxEVT_WEBVIEW_NAVIGATING, [this](wxWebViewEvent& event) {
            bar_->StartAnimation();
            event.Skip();
        });
        view_->Bind(wxEVT_WEBVIEW_LOADED, [this](wxWebViewEvent& event) {
            bar_->StopAnimation();
            event.Skip();
        });
        view_->Bind(wxEVT_WEBVIEW_ERROR, [this](wxWebViewEvent& event) {
            bar_->StopAnimation();
            reporter_.navigationFailed();
            event.Skip();
        });
    }
    SetSizer(column);
}

CChildFrame::~CChildFrame()
{
    if (onClosed_)
        onClosed_(doc_);
}

void CChildFrame::navigate(const wxString& url)
{
    reporter_.userNavigationStarted();
    if (view_)
        view_->LoadURL(url);
}

void CChildFrame::navigateFromPeer(const std::string& url)
{
    reporter_.peerNavigationStarted();
    if (view_)
        view_->LoadURL(wxString::FromUTF8(url));
}

void CChildFrame::SetAddressText(const wxString& url)
{
    bar_->SetAddressText(url);
}

void CChildFrame::onNavigated(wxWebViewEvent& event)
{
    const wxString url = event.GetURL();
    const std::string bytes(url.utf8_str());
    switch (reporter_.pageArrived(bytes)) {
    case NavigationReporter::Outcome::Ignore: break;
    case NavigationReporter::Outcome::ShowOnly: SetAddressText(url); break;
    case NavigationReporter::Outcome::ShowAndSend:
        SetAddressText(url);
        doc_.SendNavigate(bytes);
        break;
    }
    event.Skip();
}

} // namespace orvane
