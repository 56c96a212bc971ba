#include "modules/webjoin/CAddressBar.h"

#include "core/module/ModuleInterfaces.h"
#include "resources/ResourceIds.h"
#include "ui/kit/CIconButton.h"

#include <wx/activityindicator.h>
#include <wx/combobox.h>
#include <wx/dcclient.h>
#include <wx/sizer.h>

#include <utility>

namespace orvane {

namespace {

constexpr ColorRef Magenta = 0xFF00FF;
// The button colours the skin replaces: normal, focused and hot backgrounds.
constexpr int SkinnedColors[] = {2, 4, 0};

} // namespace

CAddressBar::CAddressBar(wxWindow* parent, ISkin& skin, Handlers handlers)
    : wxPanel(parent, wxID_ANY)
    , skin_(skin)
    , handlers_(std::move(handlers))
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxPaintDC dc(this);
        skin_.paintBackground(this, &dc);
    });

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const wxSizerFlags button = wxSizerFlags().CenterVertical();
    row->Add(addButton(BackId, "&Back", webjoin::BitmapBack, "Back"), button);
    row->Add(addButton(ForwardId, "&Forward", webjoin::BitmapForward, "Forward"), button);
    row->Add(addButton(StopId, "&Stop", webjoin::BitmapStop, "Stop"), button);
    row->Add(addButton(RefreshId, "&Refresh", webjoin::BitmapRefresh, "Refresh"), button);
    address_ = new wxComboBox(this, AddressId, wxString(), wxDefaultPosition, wxDefaultSize, 0, nullptr,
                              wxCB_DROPDOWN | wxTE_PROCESS_ENTER);
    row->Add(address_, wxSizerFlags(1).CenterVertical().Border(wxLEFT, 6));
    go_ = addButton(GoId, "&Go", webjoin::BitmapGo, "Navigate Webjoiner to specified URL");
    row->Add(go_, wxSizerFlags().CenterVertical().Border(wxLEFT, 5));
    animation_ = new wxActivityIndicator(this, AnimationId, wxDefaultPosition, go_->GetSize());
    row->Add(animation_, wxSizerFlags().CenterVertical().Border(wxRIGHT, 5));
    SetSizer(row);

    address_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { Go(); });
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        switch (event.GetId()) {
        case GoId: Go(); break;
        case BackId: if (handlers_.back) handlers_.back(); break;
        case ForwardId: if (handlers_.forward) handlers_.forward(); break;
        case StopId: if (handlers_.stop) handlers_.stop(); break;
        case RefreshId: if (handlers_.refresh) handlers_.refresh(); break;
        default: event.Skip(); break;
        }
    });
}

CIconButton* CAddressBar::addButton(int id, const char* caption, int bitmap, const char* tooltip)
{
    auto* button = new CIconButton(this, id, caption, wxDefaultPosition, wxSize(30, 30),
                                   id == GoId ? CIconButton::DefaultButtonStyle : 0);
    button->SetPressedOffset(1);
    if (button->SetBitmaps(bitmap, Magenta) == CIconButton::Ok)
        button->SetLabel(wxString());
    button->SetTooltipBalloon(true);
    button->SetTooltipText(tooltip, true);
    for (int index : SkinnedColors)
        button->SetColor(index, skin_.backgroundColor());
    return button;
}

void CAddressBar::Go()
{
    wxString text = address_->GetValue().Left(MaxAddressLength);
    address_->Append(text);
    if (handlers_.go)
        handlers_.go(text);
}

void CAddressBar::SetAddressText(const wxString& url)
{
    address_->ChangeValue(url);
}

wxString CAddressBar::addressText() const
{
    return address_->GetValue();
}

void CAddressBar::StartAnimation()
{
    animation_->Start();
}

void CAddressBar::StopAnimation()
{
    animation_->Stop();
}

bool CAddressBar::animating() const
{
    return animation_->IsRunning();
}

} // namespace orvane
