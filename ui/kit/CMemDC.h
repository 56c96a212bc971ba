#pragma once

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/gdicmn.h>

namespace orvane {

// Off-screen drawing without flicker: a control draws into dc() with the target's own
// coordinates, and the picture goes to the target in one copy when this ends. Over a
// printing context there is nothing to flicker: dc() is the target itself.
class CMemDC {
public:
    // `area`: the part of the target to draw (NULL: the target's clip box).
    CMemDC(wxDC& target, const wxRect* area = nullptr, bool copyBack = true);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    wxDC& dc() { return printing_ ? target_ : memory_; }
    const wxRect& rect() const { return rect_; }
    bool isPrinting() const { return printing_; }

private:
    wxDC& target_;
    wxMemoryDC memory_;
    wxBitmap bitmap_;
    wxRect rect_;
    bool printing_ = false;
    bool copyBack_ = true;
};

} // namespace orvane
