#include "ui/kit/CFlatSlider.h"

#include "ui/kit/Skin.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>

#include <algorithm>

namespace orvane {

CFlatSlider::CFlatSlider(wxWindow* parent, wxWindowID id, int value, int minimum, int maximum,
                         const wxPoint& position, const wxSize& size, long style)
    : wxControl(parent, id, position, size, wxBORDER_NONE | wxWANTS_CHARS),
      thumb_(systemColor(wxSYS_COLOUR_BTNFACE)),
      pressedThumb_(systemColor(wxSYS_COLOUR_3DHIGHLIGHT)),
      background_(thumb_),
      value_(0),
      minimum_(std::min(minimum, maximum)),
      maximum_(std::max(minimum, maximum)),
      pageSize_(std::max(1, (maximum_ - minimum_) / 5)),
      vertical_((style & wxSL_VERTICAL) != 0)
{
    // Everything is painted here; erasing first would only flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    value_ = std::clamp(value, minimum_, maximum_);
    SetInitialSize(size);
    Bind(wxEVT_PAINT, &CFlatSlider::onPaint, this);
    Bind(wxEVT_KEY_DOWN, &CFlatSlider::onKey, this);
    Bind(wxEVT_LEFT_DOWN, &CFlatSlider::onMouseDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CFlatSlider::onMouseDown, this);
    Bind(wxEVT_MOTION, &CFlatSlider::onMouseMove, this);
    Bind(wxEVT_LEFT_UP, &CFlatSlider::onMouseUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CFlatSlider::onCaptureLost, this);
}

void CFlatSlider::SetBackgroundColor(ColorRef color)
{
    background_ = color;
}

void CFlatSlider::SetThumbColors(ColorRef thumb, ColorRef pressedThumb)
{
    thumb_ = thumb;
    pressedThumb_ = pressedThumb;
}

void CFlatSlider::SetValue(int value)
{
    value_ = std::clamp(value, minimum_, maximum_);
    Refresh();
}

void CFlatSlider::SetRange(int minimum, int maximum)
{
    minimum_ = std::min(minimum, maximum);
    maximum_ = std::max(minimum, maximum);
    SetValue(value_);
}

wxSize CFlatSlider::DoGetBestSize() const
{
    return vertical_ ? wxSize(24, 100) : wxSize(100, 24);
}

ColorRef CFlatSlider::shifted(ColorRef color, int amount)
{
    ColorRef result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int channel = std::clamp(static_cast<int>((color >> shift) & 0xff) + amount, 0, 255);
        result |= static_cast<ColorRef>(channel) << shift;
    }
    return result;
}

wxRect CFlatSlider::channelRect() const
{
    const wxSize size = GetClientSize();
    const int length = vertical_ ? size.GetHeight() : size.GetWidth();
    const int across = vertical_ ? size.GetWidth() : size.GetHeight();
    const int start = ThumbLength / 2;
    const int span = std::max(0, length - 2 * start);
    const int middle = (across - ChannelThickness) / 2;
    return vertical_ ? wxRect(middle, start, ChannelThickness, span) : wxRect(start, middle, span, ChannelThickness);
}

wxRect CFlatSlider::thumbRect() const
{
    const wxSize size = GetClientSize();
    const wxRect channel = channelRect();
    const int span = vertical_ ? channel.GetHeight() : channel.GetWidth();
    const int range = maximum_ - minimum_;
    const int offset = range > 0 ? static_cast<int>(static_cast<long long>(value_ - minimum_) * span / range) : 0;
    const int across = (vertical_ ? size.GetWidth() : size.GetHeight()) - 4;
    if (vertical_)
        return wxRect(2, channel.GetTop() + offset - ThumbLength / 2, across, ThumbLength);
    return wxRect(channel.GetLeft() + offset - ThumbLength / 2, 2, ThumbLength, across);
}

void CFlatSlider::frame(wxDC& dc, const wxRect& rect, ColorRef topLeft, ColorRef bottomRight)
{
    if (rect.GetWidth() <= 0 || rect.GetHeight() <= 0)
        return;
    // Lines as one-pixel fills: a drawn line's ends differ between back-ends, a fill's do not.
    dc.SetPen(*wxTRANSPARENT_PEN);
    // Right and bottom first, then left and top over them.
    dc.SetBrush(wxBrush(colourOf(bottomRight)));
    dc.DrawRectangle(rect.GetRight(), rect.GetTop(), 1, rect.GetHeight());
    dc.DrawRectangle(rect.GetLeft(), rect.GetBottom(), rect.GetWidth(), 1);
    dc.SetBrush(wxBrush(colourOf(topLeft)));
    dc.DrawRectangle(rect.GetLeft(), rect.GetTop(), 1, rect.GetHeight());
    dc.DrawRectangle(rect.GetLeft(), rect.GetTop(), rect.GetWidth(), 1);
}

void CFlatSlider::render(wxDC& dc) const
{
    const wxSize size = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(background_)));
    dc.DrawRectangle(0, 0, size.GetWidth(), size.GetHeight());
    frame(dc, channelRect(), shifted(thumb_, -50), shifted(thumb_, 50));

    const wxRect thumb = thumbRect();
    const wxRect inner = wxRect(thumb).Deflate(1);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(dragging_ ? pressedThumb_ : thumb_)));
    dc.DrawRectangle(inner);
    frame(dc, inner, shifted(thumb_, 50), shifted(thumb_, -50));
}

void CFlatSlider::onPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    render(dc);
}

int CFlatSlider::valueAt(const wxPoint& point) const
{
    const wxRect channel = channelRect();
    const int span = vertical_ ? channel.GetHeight() : channel.GetWidth();
    if (span <= 0)
        return minimum_;
    const int along = vertical_ ? point.y - channel.GetTop() : point.x - channel.GetLeft();
    const long long range = maximum_ - minimum_;
    // Rounded to the nearest position.
    const long long value = minimum_ + (static_cast<long long>(along) * range * 2 + span) / (2LL * span);
    return static_cast<int>(std::clamp<long long>(value, minimum_, maximum_));
}

void CFlatSlider::notify(wxEventType notice)
{
    wxScrollEvent event(notice, GetId(), value_, vertical_ ? wxVERTICAL : wxHORIZONTAL);
    event.SetEventObject(this);
    ProcessWindowEvent(event);
}

void CFlatSlider::moveTo(int value, wxEventType notice)
{
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    value_ = value;
    Refresh();
    notify(notice);
    wxCommandEvent event(wxEVT_SLIDER, GetId());
    event.SetEventObject(this);
    event.SetInt(value_);
    ProcessWindowEvent(event);
}

void CFlatSlider::onKey(wxKeyEvent& event)
{
    switch (event.GetKeyCode()) {
    case WXK_LEFT:
    case WXK_UP:
        moveTo(value_ - lineSize_, wxEVT_SCROLL_LINEUP);
        break;
    case WXK_RIGHT:
    case WXK_DOWN:
        moveTo(value_ + lineSize_, wxEVT_SCROLL_LINEDOWN);
        break;
    case WXK_PAGEUP:
        moveTo(value_ - pageSize_, wxEVT_SCROLL_PAGEUP);
        break;
    case WXK_PAGEDOWN:
        moveTo(value_ + pageSize_, wxEVT_SCROLL_PAGEDOWN);
        break;
    case WXK_HOME:
        moveTo(minimum_, wxEVT_SCROLL_TOP);
        break;
    case WXK_END:
        moveTo(maximum_, wxEVT_SCROLL_BOTTOM);
        break;
    default:
        event.Skip();
        return;
    }
    // Each key's move is whole at once.
    notify(wxEVT_SCROLL_CHANGED);
}

void CFlatSlider::onMouseDown(wxMouseEvent& event)
{
    SetFocus();
    const wxRect thumb = thumbRect();
    const wxPoint point = event.GetPosition();
    if (thumb.Contains(point)) {
        const wxPoint centre(thumb.GetLeft() + thumb.GetWidth() / 2, thumb.GetTop() + thumb.GetHeight() / 2);
        grabOffset_ = vertical_ ? point.y - centre.y : point.x - centre.x;
        dragging_ = true;
        if (!HasCapture())
            CaptureMouse();
        Refresh();
        return;
    }
    const bool before = vertical_ ? point.y < thumb.GetTop() : point.x < thumb.GetLeft();
    paging_ = true;
    if (before)
        moveTo(value_ - pageSize_, wxEVT_SCROLL_PAGEUP);
    else
        moveTo(value_ + pageSize_, wxEVT_SCROLL_PAGEDOWN);
}

void CFlatSlider::onMouseMove(wxMouseEvent& event)
{
    if (!dragging_)
        return;
    wxPoint point = event.GetPosition();
    if (vertical_)
        point.y -= grabOffset_;
    else
        point.x -= grabOffset_;
    moveTo(valueAt(point), wxEVT_SCROLL_THUMBTRACK);
}

void CFlatSlider::onMouseUp(wxMouseEvent&)
{
    if (paging_) {
        paging_ = false;
        notify(wxEVT_SCROLL_CHANGED);
    }
    if (!dragging_)
        return;
    dragging_ = false;
    if (HasCapture())
        ReleaseMouse();
    Refresh();
    notify(wxEVT_SCROLL_THUMBRELEASE);
    notify(wxEVT_SCROLL_CHANGED);
}

void CFlatSlider::onCaptureLost(wxMouseCaptureLostEvent&)
{
    const bool wasDragging = dragging_;
    dragging_ = false;
    paging_ = false;
    Refresh();
    if (wasDragging)
        notify(wxEVT_SCROLL_CHANGED);
}

} // namespace orvane
