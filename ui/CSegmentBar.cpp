#include "ui/CSegmentBar.h"

#include "ui/kit/Skin.h"

#include <wx/dcbuffer.h>

#include <algorithm>

namespace orvane {

CSegmentBar::CSegmentBar(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size)
    : wxControl(parent, id, position, size, wxBORDER_NONE), cells_(InitialCells, 0)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CSegmentBar::onPaint, this);
}

void CSegmentBar::SetData(const uint8_t* bytes, int count, bool redraw)
{
    if (!bytes || count <= 0)
        return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const size_t old = cells_.size();
        cells_.assign(bytes, bytes + count);
        if (static_cast<size_t>(count) < old / 2)
            cells_.shrink_to_fit();
    }
    if (redraw) {
        Refresh();
        Update();
    }
}

std::vector<uint8_t> CSegmentBar::cells() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return cells_;
}

size_t CSegmentBar::capacity() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return cells_.capacity();
}

void CSegmentBar::render(wxDC& dc) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const wxSize size = GetClientSize();
    const int w = size.GetWidth();
    const int h = size.GetHeight();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(*wxBLACK_BRUSH);
    dc.DrawRectangle(0, 0, w, h);
    if (w <= 2 || h <= 2)
        return;
    dc.SetBrush(wxBrush(colourOf(OffColor)));
    dc.DrawRectangle(1, 1, w - 2, h - 2);
    const size_t n = cells_.size();
    if (n == 0)
        return;
    const double cellWidth = static_cast<double>(w - 2) / static_cast<double>(n);
    const int drawn = std::max(1, static_cast<int>(cellWidth + 0.5));
    const wxBrush on(colourOf(OnColor));
    const wxBrush off(colourOf(OffColor));
    for (size_t i = 0; i < n; ++i) {
        dc.SetBrush(cells_[i] == 1 ? on : off);
        dc.DrawRectangle(static_cast<int>(static_cast<double>(i) * cellWidth) + 1, 1, drawn, h - 2);
    }
}

void CSegmentBar::onPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    render(dc);
}

} // namespace orvane
