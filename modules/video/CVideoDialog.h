#pragma once

#include "core/module/ModuleInterfaces.h"
#include "modules/video/CMemBitmap.h"
#include "modules/video/LocalVideoPanel.h"
#include "modules/video/VideoImage.h"
#include "modules/video/VideoSession.h"
#include "ui/kit/CTextFont.h"

#include <wx/frame.h>
#include <wx/timer.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace orvane {

class SessionReaper;

// The window of one video conversation: the peer's picture stretched over the window (in
// full screen kept in shape and centred), what we send in a small panel the user can drag,
// status lines and a help box over the picture. The window's height follows its width at
// about 4:3. It owns its session thread, which feeds it through a VideoWindowLink.
//
// Closing never waits for the session thread: the window detaches from the link, asks the
// session to end and hands it to the reaper, which waits for it elsewhere.
//
// Keys: F1 help, F12 and a double click on the picture full screen, Esc leaves full
// screen, Ctrl+F11 the highlight of received changes; the maximize button also means full
// screen. Mouse: drag the local picture; a right click puts it back in its corner.
//
// User-interface thread only.
class CVideoDialog : public wxFrame {
public:
    // Posted messages the window handles, as their numbers.
    static constexpr int WM_VIDEO_TOGGLE_FULLSCREEN = 0x812C;
    static constexpr int WM_VIDEO_TOGGLE_HIGHLIGHT = 0x812D;
    // The local picture's distance from the client's right and bottom edges.
    static constexpr int PanelMargin = 11;

    using ClosingHook = std::function<void(CVideoDialog&)>;

    // Made hidden, with the help box showing; the session does not run before StartSession.
    // connection (may be NULL) goes to the session, which owns it from here.
    CVideoDialog(IContact* contact, IModuleConnection* connection, IModuleHost* host, SessionReaper& reaper);
    ~CVideoDialog() override;

    // A video window left open does not keep the program running when its main window goes:
    // the program's exit shuts the module down, which closes it.
    bool ShouldPreventAppExit() const override { return false; }

    // Starts the session thread with the camera (NULL: none). A thread that cannot start
    // leaves the window open without a word.
    void StartSession(std::shared_ptr<VideoThread> capture);
    // Runs once when the window begins to close (the application's unregistering).
    void setClosingHook(ClosingHook hook) { closingHook_ = std::move(hook); }
    // Ends the session, hands it to the reaper and detaches; idempotent.
    void PrepareClose();

    IContact* contact() const { return session_ ? session_->link->getContact() : nullptr; }
    void setContact(IContact* contact);
    bool hasConnection() const { return session_ && session_->thread.hasConnection(); }
    bool isClosing() const { return closing_; }
    VideoWindowLink& link() { return *link_; }

    // The status lines and the help box.
    void AddLine(const std::string& text) { link_->AddLine(text); }
    void SetStatusLine(const std::string& text) { link_->SetStatusLine(text.c_str()); }
    void ShowHelp();
    void HideHelp();
    void ToggleHelp();
    bool helpShown() const { return link_->now() <= helpUntil_; }

    void EnterFullscreen();
    void LeaveFullscreen();
    void ToggleFullscreen();
    void ToggleHighlight();
    bool isFullscreen() const { return fullscreen_; }
    bool highlight() const { return highlight_; }

    // Keeps the window near 4:3 for a sizing from the edge (1 to 8, as the window edges
    // left, right, top, top-left, top-right, bottom, bottom-left, bottom-right): the height
    // follows the width for the side and bottom edges, the width the height for the top and
    // bottom ones. `a` is the window's frame height less its frame width.
    static void ApplySizingRule(int edge, wxRect& rect, int a);
    // The edge (as above) a sizing from `before` to `after` was made with: the side whose
    // size changed, at the end that moved; both sides: the corner. 0 when the size is the
    // same.
    static int SizingEdge(const wxRect& before, const wxRect& after);
    // The picture's place inside (0, 0) to (right, bottom) (both included), kept in the
    // picture's shape and centred.
    static wxRect FitToPicture(int right, int bottom, int pictureWidth, int pictureHeight);

    LocalVideoPanel& localPanel() { return localPanel_; }
    // Paints so far, for those who wait for the next one.
    int paints() const { return paints_; }
    // Where the back bitmap (the scaled picture) goes, in client coordinates.
    wxRect pictureRect() const;

private:
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnMaximize(wxMaximizeEvent& event);
    void OnIconize(wxIconizeEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnTimer(wxTimerEvent& event);

    void Repaint() { link_->Repaint(); }
    void repaintNow() { canvas_->Refresh(false); }
    void RebuildRemoteBitmap();
    void Rescale();
    void RestoreState();
    void ResetPanelPosition();
    void DrawStatusLines(wxDC& dc);
    void DrawHelp(wxDC& dc);
    static void DrawAlphaBox(wxDC& dc, const wxRect& rect, const wxColour& colour, int alpha);

    std::unique_ptr<VideoSession> session_;
    std::shared_ptr<VideoWindowLink> link_;
    IModuleHost* host_;
    SessionReaper& reaper_;
    ClosingHook closingHook_;
    bool closing_ = false;

    time_t helpUntil_ = 0;
    bool fullscreen_ = false;
    bool minimized_ = false;
    int lastEdge_ = 0;
    wxRect savedRect_;
    wxRect normalRect_; // the last size in a window that was neither maximised nor full screen
    VideoImage remoteImage_;
    CMemBitmap remoteBitmap_;
    CMemBitmap backBitmap_;
    bool rescaleNeeded_ = true;
    bool keepAspect_ = false;
    bool highlight_ = false;
    bool overlaysDrawn_ = false;
    bool sizing_ = false;
    int paints_ = 0;
    CTextFont font_;
    wxColour textColour_{0, 0, 0};
    wxColour backgroundColour_{0, 0, 0};
    wxWindow* canvas_;
    LocalVideoPanel localPanel_;
    wxTimer overlayTimer_;
};

} // namespace orvane
