#include "ui/kit/CLevelMeter.h"

#include "ui/kit/CMemDC.h"
#include "ui/kit/Skin.h"

#include <wx/dcclient.h>

#include <algorithm>

namespace orvane {

CLevelMeter::CLevelMeter(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size)
    : wxWindow(parent, id, position, size, wxBORDER_NONE)
{
    // Every pixel is painted here; erasing first would only flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetInitialSize(size);
    Bind(wxEVT_PAINT, &CLevelMeter::onPaint, this);
}

void CLevelMeter::SetRange64(int64_t low, int64_t high)
{
    low_ = std::min(low, high);
    high_ = std::max(low, high);
    position_ = low_;
    Redraw();
}

void CLevelMeter::SetPos64(int64_t value)
{
    if (value == position_)
        return;
    position_ = std::clamp(value, low_, high_);
    Redraw();
}

void CLevelMeter::SetLcdColors()
{
    background_ = 0x8ca5a5;
    lit_ = 0x323c3c;
    unlit_ = 0x829696;
    Redraw();
}

void CLevelMeter::Redraw()
{
    Refresh(true);
    Update();
}

int CLevelMeter::percentOf(int64_t position, int64_t low, int64_t high)
{
    if (high <= low)
        return -1;
    // The span of a 64-bit range needs all 64 bits unsigned, and a hundred times the offset
    // needs more: the product is taken in 128 bits.
    using Wide = unsigned __int128;
    const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
    const uint64_t offset = static_cast<uint64_t>(std::clamp(position, low, high)) - static_cast<uint64_t>(low);
    return static_cast<int>(static_cast<Wide>(offset) * 100 / span);
}

int CLevelMeter::length() const
{
    const wxSize size = GetClientSize();
    return vertical_ ? size.GetHeight() : size.GetWidth();
}

int CLevelMeter::cellCount() const
{
    const int step = gap_ + cellSize_;
    const int usable = length() - 2 * margin_;
    if (step <= 0 || cellSize_ <= 0 || usable <= 0)
        return 0;
    return usable / step;
}

wxRect CLevelMeter::cellRect(int k) const
{
    const wxSize size = GetClientSize();
    const int step = gap_ + cellSize_;
    const int usable = length() - 2 * margin_;
    const int remainder = step > 0 && usable > 0 ? usable % step : 0;
    if (vertical_) {
        const int top = size.GetHeight() - cellSize_ - margin_ - (remainder + margin_) / 2 - k * step;
        return wxRect(margin_, top, size.GetWidth() - 2 * margin_, cellSize_);
    }
    const int left = margin_ + (remainder + margin_) / 2 + k * step;
    return wxRect(left, margin_, cellSize_, size.GetHeight() - 2 * margin_);
}

bool CLevelMeter::isLit(int k) const
{
    const int count = cellCount();
    if (k < 0 || k >= count)
        return false;
    const int percent = percentOf(position_, low_, high_);
    return percent >= 0 && k * 100 / count <= percent;
}

void CLevelMeter::render(wxDC& dc) const
{
    const wxSize size = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(background_)));
    dc.DrawRectangle(0, 0, size.GetWidth(), size.GetHeight());
    const wxBrush lit(colourOf(lit_));
    const wxBrush unlit(colourOf(unlit_));
    const int count = cellCount();
    for (int k = 0; k < count; ++k) {
        const wxRect cell = cellRect(k);
        if (cell.IsEmpty())
            continue;
        dc.SetBrush(isLit(k) ? lit : unlit);
        dc.DrawRectangle(cell);
    }
}

wxSize CLevelMeter::DoGetBestSize() const
{
    return vertical_ ? wxSize(12, 100) : wxSize(100, 12);
}

void CLevelMeter::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    const wxRect area(GetClientSize());
    CMemDC memory(dc, &area);
    render(memory.dc());
}

} // namespace orvane
