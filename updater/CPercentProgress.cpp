#include "updater/CPercentProgress.h"

#include <wx/dcbuffer.h>

#include <algorithm>

namespace orvane {

namespace {

wxColour fromBgr(uint32_t bgr)
{
    return wxColour(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

} // namespace

CPercentProgress::CPercentProgress(wxWindow* parent, wxWindowID id)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_SUNKEN)
    , bar_(fromBgr(0x800000))
    , background_(fromBgr(0xFFFFFF))
    , text_(*wxBLACK)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CPercentProgress::OnPaint, this);
}

void CPercentProgress::SetRange(int64_t lower, int64_t upper)
{
    lower_ = lower;
    upper_ = std::max(upper, lower + 1);
    Refresh();
}

void CPercentProgress::SetPos(int64_t position)
{
    position_ = std::clamp(position, lower_, upper_);
    Refresh();
}

void CPercentProgress::SetBarColour(uint32_t bgr)
{
    bar_ = fromBgr(bgr);
    Refresh();
}

void CPercentProgress::SetBkColour(uint32_t bgr)
{
    background_ = fromBgr(bgr);
    Refresh();
}

void CPercentProgress::SetTextColour(uint32_t bgr)
{
    text_ = fromBgr(bgr);
    Refresh();
}

int CPercentProgress::Percent() const
{
    return static_cast<int>((position_ - lower_) * 100 / (upper_ - lower_));
}

wxSize CPercentProgress::DoGetBestSize() const
{
    return FromDIP(wxSize(260, 20));
}

void CPercentProgress::OnPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(background_);
    dc.DrawRectangle(0, 0, size.x, size.y);
    const int filled = static_cast<int>((position_ - lower_) * size.x / (upper_ - lower_));
    dc.SetBrush(bar_);
    dc.DrawRectangle(0, 0, filled, size.y);
    dc.SetFont(GetFont());
    dc.SetTextForeground(text_);
    dc.DrawLabel(wxString::Format("%d%%", Percent()), wxRect(size), wxALIGN_CENTER);
}

} // namespace orvane
