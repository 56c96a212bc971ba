#pragma once

#include <wx/bitmap.h>
#include <wx/dcmemory.h>

#include <cstdint>
#include <memory>

namespace orvane {

// An off-screen picture with its own drawing context, through which the video window draws
// every picture. User-interface thread only: worker threads hand their pixels over in a
// VideoImage and the window copies them in here.
class CMemBitmap {
public:
    // A context with the bitmap selected, made anew on each call (the previous one goes);
    // NULL without a bitmap.
    wxMemoryDC* getDC();
    void releaseDC();
    // 0 x 0 without a bitmap.
    wxSize getSize() const;
    bool exists() const { return bitmap_.IsOk(); }
    // A blank bitmap of the size, unless it has that size already.
    void create(int width, int height);
    // The whole bitmap stretched into left, top to right, bottom of the target (the width
    // is right - left, the height bottom - top), smoothed.
    void draw(wxDC& target, int left, int top, int right, int bottom);
    // Takes width x height pixels 0x00RRGGBB, top row first; a new bitmap when the size
    // differs. Nothing for NULL or a size that is not positive.
    void setPixels(const uint32_t* pixels, int width, int height);
    void fill(const wxColour& colour);
    const wxBitmap& bitmap() const { return bitmap_; }

private:
    // The bitmap smoothly scaled to width by height.
    wxBitmap smoothScaled(int width, int height) const;

    wxBitmap bitmap_;
    std::unique_ptr<wxMemoryDC> memDC_;
};

} // namespace orvane
