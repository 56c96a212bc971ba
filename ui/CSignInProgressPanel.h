#pragma once

#include "foundation/String.h"

#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/timer.h>

#include <array>
#include <atomic>
#include <cstdint>

class wxStaticBitmap;

namespace orvane {

class CTextLabel;
class Skin;

// The small borderless popup that stands in the middle of the screen while the connection
// thread connects and signs in: the banner "Orvane messenger" at the top, an animation of
// twelve frames with a status line beside it, and a dark strip at the bottom. The program
// makes one at start-up, hidden, and shows and hides it for each connection attempt.
//
// Threads: SetStatusText may be called from any thread while the panel exists; everything
// else runs on the user-interface thread. A text set from another thread travels to the
// user-interface thread as a copy of its own, so no thread ever reads a buffer another one
// may be changing. Of several texts set at nearly the same time, the one set last is the one
// that stays: a text that arrives after a later one was shown is dropped.
//
// Controls keep their ids: the banner 1037, the picture 1036, the status label 1016 and the
// bottom strip 1035. The panel is 112 by 35 dialog units of "MS Sans Serif" 8 inside a
// border of one black pixel, on the skin's background colour.
class CSignInProgressPanel : public wxDialog {
public:
    static constexpr int TemplateId = 161;
    static constexpr int BannerId = 1037;
    static constexpr int PictureId = 1036;
    static constexpr int StatusId = 1016;
    static constexpr int StripId = 1035;
    static constexpr int AnimationTimerId = 1;
    static constexpr int FrameIntervalMs = 100;
    static constexpr int FrameCount = 12;

    // Created hidden. A parent, when given, keeps the panel above it and destroys it with
    // itself. The skin must outlive the panel.
    CSignInProgressPanel(wxWindow* parent, Skin& skin);
    // Stops the animation.
    ~CSignInProgressPanel() override;

    // Any thread: the status line's new text (UTF-8).
    void SetStatusText(const String& text);

    // The timer advances the animation one frame every FrameIntervalMs; starting a running
    // animation or stopping a stopped one changes nothing.
    void StartAnimation();
    void StopAnimation();

    // Centred on the screen, shown, "Connecting...", animated and focused.
    void showCentred();
    // Stopped, hidden, and the status line emptied.
    void hideAndClear();

    bool isAnimating() const { return animating_; }
    // 0 to 11: the frame the picture shows.
    int frameIndex() const { return frameIndex_; }
    const wxBitmap& frame(int index) const { return frames_[static_cast<size_t>(index)]; }
    // The status line as shown now.
    wxString statusText() const;
    // The template's area: the client area inside the one-pixel border.
    wxRect templateArea() const;
    wxStaticBitmap& picture() { return *picture_; }
    CTextLabel& banner() { return *banner_; }
    CTextLabel& statusLabel() { return *status_; }
    CTextLabel& bottomStrip() { return *strip_; }

private:
    void OnInitDialog();
    void OnTimer(wxTimerEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void layOut();
    // User-interface thread: shows the text unless a later one is shown already.
    void showStatus(uint64_t ticket, const String& text);

    Skin& skin_;
    // Owned by the window.
    CTextLabel* banner_ = nullptr;
    wxStaticBitmap* picture_ = nullptr;
    CTextLabel* status_ = nullptr;
    CTextLabel* strip_ = nullptr;

    std::array<wxBitmap, FrameCount> frames_;
    wxTimer timer_;
    bool animating_ = false;
    int frameIndex_ = 0;

    // Each status text takes the next ticket when it is set (any thread); the
    // user-interface thread remembers the ticket of the one it shows.
    std::atomic<uint64_t> lastTicket_{0};
    uint64_t shownTicket_ = 0;
};

} // namespace orvane
