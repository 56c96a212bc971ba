#pragma once

#include "modules/video/CMemBitmap.h"
#include "modules/video/VideoImage.h"

class wxDC;
class wxWindow;

namespace orvane {

// The picture of what we send, a fifth of the window's width and height, drawn over the
// peer's picture where the user dragged it. Its place is kept in thousandths of the client
// size, so it stays in proportion when the window is resized. User-interface thread only.
class LocalVideoPanel {
public:
    static constexpr int Divisor = 5;
    // The frame drawn round the panel while it is dragged: RGB(120, 160, 255).
    static constexpr unsigned char FrameRed = 120, FrameGreen = 160, FrameBlue = 255;

    explicit LocalVideoPanel(wxWindow& owner) : owner_(owner) {}

    // Size and place from the owner's client size; with repaint the owner is redrawn.
    void layout(bool repaint);
    bool hitTest(int px, int py) const;
    void beginDrag(int px, int py);
    void drag(int px, int py);
    void endDrag() { dragging_ = false; }
    bool isDragging() const { return dragging_; }
    void setImage(const VideoImage& image);
    void paint(wxDC& dc);
    void setPositionPixels(int px, int py);

    int x() const { return x_; }
    int y() const { return y_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int xPermille() const { return xPermille_; }
    int yPermille() const { return yPermille_; }

private:
    wxWindow& owner_;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    int xPermille_ = 0, yPermille_ = 0;
    bool dragging_ = false;
    int dragOffsetX_ = 0, dragOffsetY_ = 0;
    CMemBitmap bitmap_;
};

} // namespace orvane
