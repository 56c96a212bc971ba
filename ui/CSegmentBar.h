#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/control.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace orvane {

// A small bar graph of cells, each on (byte 1, pale green) or off (pale red), in a black
// frame. The call bar holds one hidden and feeds it the level graph messages.
//
// SetData may be called from any thread: the cells are guarded by the lock, which painting
// takes too. The window itself is the user-interface thread's.
class CSegmentBar : public wxControl {
public:
    static constexpr ColorRef OnColor = 0x64FF64;
    static constexpr ColorRef OffColor = 0x6464FF;
    static constexpr int InitialCells = 100;

    CSegmentBar(wxWindow* parent, wxWindowID id, const wxPoint& position = wxDefaultPosition,
                const wxSize& size = wxDefaultSize);

    // Replaces the cells with count bytes; NULL or a count of 0 or less changes nothing.
    // Redraws when asked (on the user-interface thread only).
    void SetData(const uint8_t* bytes, int count, bool redraw);
    std::vector<uint8_t> cells() const;
    // The storage kept for the cells: it grows to fit and shrinks when less than half used.
    size_t capacity() const;

    // Draws the bar as a paint would, into any context of the client size.
    void render(wxDC& dc) const;

private:
    void onPaint(wxPaintEvent& event);

    mutable std::mutex lock_;
    // Guarded by lock_.
    std::vector<uint8_t> cells_;
};

} // namespace orvane
