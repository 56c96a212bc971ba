#include "modules/video/LocalVideoPanel.h"

#include <wx/dc.h>
#include <wx/window.h>

namespace orvane {

void LocalVideoPanel::layout(bool repaint)
{
    const wxSize client = owner_.GetClientSize();
    width_ = client.x / Divisor;
    height_ = client.y / Divisor;
    x_ = client.x * xPermille_ / 1000;
    y_ = yPermille_ * client.y / 1000;
    if (repaint) {
        owner_.Refresh(false);
        owner_.Update();
    }
}

bool LocalVideoPanel::hitTest(int px, int py) const
{
    return x_ <= px && px < x_ + width_ && y_ <= py && py < y_ + height_;
}

void LocalVideoPanel::beginDrag(int px, int py)
{
    dragOffsetX_ = px - x_;
    dragOffsetY_ = py - y_;
    dragging_ = true;
}

void LocalVideoPanel::drag(int px, int py)
{
    if (!dragging_)
        return;
    const wxSize client = owner_.GetClientSize();
    if (client.x <= 0 || client.y <= 0)
        return;
    xPermille_ = (px - dragOffsetX_) * 1000 / client.x;
    yPermille_ = (py - dragOffsetY_) * 1000 / client.y;
    layout(true);
}

void LocalVideoPanel::setPositionPixels(int px, int py)
{
    const wxSize client = owner_.GetClientSize();
    if (client.x <= 0 || client.y <= 0)
        return;
    xPermille_ = px * 1000 / client.x;
    yPermille_ = py * 1000 / client.y;
    layout(true);
}

void LocalVideoPanel::setImage(const VideoImage& image)
{
    bitmap_.setPixels(image.pixels(), image.width(), image.height());
}

void LocalVideoPanel::paint(wxDC& dc)
{
    layout(false);
    bitmap_.draw(dc, x_, y_, x_ + width_ - 1, y_ + height_ - 1);
    if (!dragging_)
        return;
    dc.SetPen(wxPen(wxColour(FrameRed, FrameGreen, FrameBlue), 1, wxPENSTYLE_SOLID));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    // The frame's right and bottom edges fall one pixel inside, where the picture ends.
    dc.DrawRectangle(x_, y_, width_ - 1, height_ - 1);
    dc.SetPen(wxNullPen);
    dc.SetBrush(wxNullBrush);
}

} // namespace orvane
