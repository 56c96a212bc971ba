#include "ui/CSignInProgressPanel.h"

#include "resources/ResourceIds.h"
#include "ui/DialogUnits.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/statbmp.h>
#include <wx/thread.h>

#include <algorithm>
#include <cstdlib>

namespace orvane {

namespace {

// The template, in dialog units.
constexpr int ClientWidth = 112;
constexpr int ClientHeight = 35;
constexpr int Gap = 4;

constexpr ColorRef BannerBackground = 0x800000; // RGB(0, 0, 128)
constexpr ColorRef BannerText = 0xFFFFFF;
constexpr ColorRef StripBackground = 0x1E1E78; // RGB(120, 30, 30)
constexpr int LabelFontSize = 10;
// The popup's border: one pixel in the window-frame colour round the template's area.
constexpr int Border = 1;
constexpr ColorRef BorderColour = 0x000000;

void dressLabel(CTextLabel& label)
{
    label.SetFontName("MS Sans Serif");
    label.SetFontSize(LabelFontSize);
    label.SetAlignment(-1);
    label.DisableFocusFromKeyboard();
}

// A label's height in the strips: its font's character height and 4 pixels.
int stripHeight(const CTextLabel& label)
{
    return std::abs(label.GetFontSize()) + 4;
}

} // namespace

CSignInProgressPanel::CSignInProgressPanel(wxWindow* parent, Skin& skin)
    : wxDialog(parent, TemplateId, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE),
      skin_(skin), timer_(this, AnimationTimerId)
{
    // GTK draws no border round an undecorated window: the panel paints its own, outside
    // the template's area.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetFont(DialogUnits::dialogFont());
    SetClientSize(DialogUnits::of(*this).toPixels(wxSize(ClientWidth, ClientHeight)) + wxSize(2 * Border, 2 * Border));
    for (size_t i = 0; i < frames_.size(); ++i)
        frames_[i] = resourceBitmap(SigningInFrames[i]);

    banner_ = new CTextLabel(this, BannerId, wxEmptyString);
    picture_ = new wxStaticBitmap(this, PictureId, frames_[0]);
    status_ = new CTextLabel(this, StatusId, wxEmptyString);
    strip_ = new CTextLabel(this, StripId, wxEmptyString);
    OnInitDialog();

    Bind(wxEVT_TIMER, &CSignInProgressPanel::OnTimer, this, AnimationTimerId);
    Bind(wxEVT_SIZE, &CSignInProgressPanel::OnSize, this);
    Bind(wxEVT_PAINT, &CSignInProgressPanel::OnPaint, this);
}

CSignInProgressPanel::~CSignInProgressPanel()
{
    StopAnimation();
}

void CSignInProgressPanel::OnInitDialog()
{
    dressLabel(*banner_);
    banner_->SetTransparent(false);
    banner_->SetBackgroundColor(BannerBackground);
    banner_->SetTextColor(BannerText);
    banner_->SetText("Orvane messenger");

    dressLabel(*status_);
    status_->SetBackgroundColor(skin_.backgroundColorLight());
    status_->SetText("Connecting...");

    dressLabel(*strip_);
    strip_->SetTransparent(false);
    strip_->SetBackgroundColor(StripBackground);
    strip_->SetText(wxEmptyString);

    layOut();
}

void CSignInProgressPanel::layOut()
{
    if (!banner_ || !strip_)
        return;
    const wxRect area = templateArea();
    const int bannerHeight = stripHeight(*banner_);
    const int bottomHeight = stripHeight(*strip_);
    banner_->SetSize(area.GetLeft(), area.GetTop(), area.GetWidth(), bannerHeight);
    strip_->SetSize(area.GetLeft(), area.GetBottom() + 1 - bottomHeight, area.GetWidth(), bottomHeight);

    // Between the two: the animation at the left, the status line beside it, both centred
    // on the band's height.
    const DialogUnits units = DialogUnits::of(*this);
    const int bandTop = area.GetTop() + bannerHeight;
    const int bandHeight = area.GetHeight() - bannerHeight - bottomHeight;
    const wxSize pictureSize = frames_[0].IsOk() ? frames_[0].GetSize() : wxSize(24, 24);
    const int pictureLeft = area.GetLeft() + units.toPixelsX(Gap);
    picture_->SetSize(pictureLeft, bandTop + (bandHeight - pictureSize.GetHeight()) / 2, pictureSize.GetWidth(),
                      pictureSize.GetHeight());
    const int statusLeft = pictureLeft + pictureSize.GetWidth() + units.toPixelsX(Gap);
    const int statusHeight = stripHeight(*status_);
    status_->SetSize(statusLeft, bandTop + (bandHeight - statusHeight) / 2,
                     std::max(0, area.GetRight() + 1 - statusLeft - units.toPixelsX(Gap)), statusHeight);
}

wxRect CSignInProgressPanel::templateArea() const
{
    return wxRect(GetClientSize()).Deflate(Border);
}

void CSignInProgressPanel::OnPaint(wxPaintEvent&)
{
    // The skin's background, as behind every dialog of the program; the animation's frames
    // are drawn on it.
    wxPaintDC dc(this);
    skin_.paintBackground(this, &dc);
    dc.SetPen(wxPen(colourOf(BorderColour)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(wxRect(GetClientSize()));
}

void CSignInProgressPanel::OnSize(wxSizeEvent& event)
{
    event.Skip();
    layOut();
}

void CSignInProgressPanel::SetStatusText(const String& text)
{
    const uint64_t ticket = ++lastTicket_;
    if (wxThread::IsMain()) {
        showStatus(ticket, text);
        return;
    }
    // The copy is the lambda's own; it is all the user-interface thread will read.
    CallAfter([this, ticket, copy = String(text)] { showStatus(ticket, copy); });
}

void CSignInProgressPanel::showStatus(uint64_t ticket, const String& text)
{
    // A text already followed by a newer one (shown, or on its way here) is never drawn: a
    // thread that reports quickly would otherwise have every text repainted in turn.
    if (ticket <= shownTicket_ || ticket < lastTicket_.load())
        return;
    shownTicket_ = ticket;
    status_->SetText(wxString::FromUTF8(text.c_str()));
}

wxString CSignInProgressPanel::statusText() const
{
    return status_->GetText();
}

void CSignInProgressPanel::StartAnimation()
{
    if (animating_)
        return;
    timer_.Start(FrameIntervalMs);
    animating_ = true;
}

void CSignInProgressPanel::StopAnimation()
{
    if (!animating_)
        return;
    timer_.Stop();
    animating_ = false;
}

void CSignInProgressPanel::OnTimer(wxTimerEvent&)
{
    if (!animating_)
        return;
    frameIndex_ = (frameIndex_ + 1) % FrameCount;
    picture_->SetBitmap(frames_[static_cast<size_t>(frameIndex_)]);
    picture_->Refresh();
    picture_->Update();
}

void CSignInProgressPanel::showCentred()
{
    // The whole screen, as the display reports it, not the work area.
    const wxRect screen = wxDisplay(0u).GetGeometry();
    const wxSize size = GetSize();
    Move(screen.GetLeft() + (screen.GetWidth() - size.GetWidth()) / 2,
         screen.GetTop() + (screen.GetHeight() - size.GetHeight()) / 2);
    Show();
    SetStatusText("Connecting...");
    StartAnimation();
    SetFocus();
}

void CSignInProgressPanel::hideAndClear()
{
    StopAnimation();
    Hide();
    SetStatusText("");
}

} // namespace orvane
