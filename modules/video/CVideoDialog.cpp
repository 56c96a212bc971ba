#include "modules/video/CVideoDialog.h"

#include "modules/video/SessionReaper.h"
#include "resources/ResourceIds.h"
#include "ui/kit/CMemDC.h"
#include "ui/kit/ResourceBitmaps.h"

#include <wx/dcclient.h>
#include <wx/icon.h>
#include <wx/image.h>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <utility>

namespace orvane {

namespace {

// The window's first size: 189 by 122 dialog units of its 8-point font.
constexpr int InitialWidth = 283;
constexpr int InitialHeight = 198;

// Just below 0.75, so that a width of 400 gives 299, and just above 4/3.
constexpr double HeightPerWidth = 0.7499999999999999;
constexpr double WidthPerHeight = 1.3333333333333335;

wxString titleFor(IContact* contact)
{
    const char* name = contact ? contact->getDisplayName() : "";
    return "Video with " + wxString::FromUTF8(name ? name : "") + " ";
}

} // namespace

CVideoDialog::CVideoDialog(IContact* contact, IModuleConnection* connection, IModuleHost* host,
                           SessionReaper& reaper)
    : wxFrame(nullptr, wxID_ANY, titleFor(contact), wxPoint(0, 0), wxSize(InitialWidth, InitialHeight),
              wxDEFAULT_FRAME_STYLE | wxFULL_REPAINT_ON_RESIZE)
    , session_(std::make_unique<VideoSession>())
    , link_(session_->link)
    , host_(host)
    , reaper_(reaper)
    , canvas_(new wxWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE))
    , localPanel_(*canvas_)
    , overlayTimer_(this)
{
    // The picture is drawn on a child that fills the client area: GTK gives a window's
    // keys to the child that holds the focus, and a frame of its own takes none.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    canvas_->SetBackgroundStyle(wxBG_STYLE_PAINT);
    const wxBitmap iconPicture = resourceBitmap(video::IconVideoWindow);
    if (iconPicture.IsOk()) {
        wxIcon icon;
        icon.CopyFromBitmap(iconPicture);
        SetIcon(icon);
    }
    font_.SetFaceName("Arial");
    font_.SetSize(12);

    link_->setContact(contact);
    link_->SetSendQuality(100);
    session_->thread.setWindow(link_.get());
    session_->thread.setHost(host_);
    session_->thread.setConnection(connection);
    // Repaints asked for on the session thread reach the window through its event queue.
    link_->attach([this] { CallAfter([this] {
        link_->repaintDone();
        repaintNow();
    }); });

    const wxBitmap placeholder = resourceBitmap(video::BitmapWaitingPicture);
    if (placeholder.IsOk()) {
        const wxImage image = placeholder.ConvertToImage();
        VideoImage picture;
        picture.loadFromBitmap(image.GetData(), image.GetWidth(), image.GetHeight());
        link_->setPlaceholder(picture);
    }

    wxRect rect = GetRect();
    ApplySizingRule(2, rect, (GetSize().y - GetClientSize().y) - (GetSize().x - GetClientSize().x));
    SetSize(rect.GetSize());
    canvas_->SetSize(GetClientSize());
    normalRect_ = GetRect();
    RebuildRemoteBitmap();
    ResetPanelPosition();
    ShowHelp();

    canvas_->Bind(wxEVT_PAINT, &CVideoDialog::OnPaint, this);
    Bind(wxEVT_SIZE, &CVideoDialog::OnSize, this);
    Bind(wxEVT_MOVE, [this](wxMoveEvent& event) {
        // Where the window is, so that the next sizing tells which edge moved.
        if (!fullscreen_ && !IsMaximized() && !IsIconized() && !sizing_ && GetSize() == normalRect_.GetSize())
            normalRect_ = GetRect();
        event.Skip();
    });
    Bind(wxEVT_CLOSE_WINDOW, &CVideoDialog::OnClose, this);
    Bind(wxEVT_MAXIMIZE, &CVideoDialog::OnMaximize, this);
    Bind(wxEVT_ICONIZE, &CVideoDialog::OnIconize, this);
    Bind(wxEVT_CHAR_HOOK, &CVideoDialog::OnCharHook, this);
    canvas_->Bind(wxEVT_MOTION, &CVideoDialog::OnMouse, this);
    canvas_->Bind(wxEVT_LEFT_DOWN, &CVideoDialog::OnMouse, this);
    canvas_->Bind(wxEVT_LEFT_UP, &CVideoDialog::OnMouse, this);
    canvas_->Bind(wxEVT_LEFT_DCLICK, &CVideoDialog::OnMouse, this);
    canvas_->Bind(wxEVT_RIGHT_DOWN, &CVideoDialog::OnMouse, this);
    canvas_->Bind(wxEVT_LEAVE_WINDOW, &CVideoDialog::OnMouse, this);
    canvas_->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        localPanel_.endDrag();
        event.Skip();
    });
    Bind(wxEVT_TIMER, &CVideoDialog::OnTimer, this);
    overlayTimer_.Start(1000);
}

CVideoDialog::~CVideoDialog()
{
    overlayTimer_.Stop();
    PrepareClose();
    // The picture's child goes while this window's handlers it calls still exist.
    DestroyChildren();
}

void CVideoDialog::StartSession(std::shared_ptr<VideoThread> capture)
{
    if (!session_)
        return;
    session_->setCapture(std::move(capture));
    try {
        session_->thread.init();
        session_->thread.start();
    } catch (...) {
        // The window stays, without a session.
    }
}

void CVideoDialog::setContact(IContact* contact)
{
    link_->setContact(contact);
}

void CVideoDialog::PrepareClose()
{
    if (closing_)
        return;
    closing_ = true;
    link_->detach();
    if (closingHook_)
        closingHook_(*this);
    if (!session_)
        return;
    session_->thread.endSession();
    std::shared_ptr<VideoSession> session(std::move(session_));
    reaper_.reap([session]() mutable {
        session->thread.endSession();
        session->thread.stop(true);
        session.reset();
    });
}

void CVideoDialog::OnClose(wxCloseEvent&)
{
    PrepareClose();
    Destroy();
}

// ---- sizing and full screen ----------------------------------------------------------------

void CVideoDialog::ApplySizingRule(int edge, wxRect& rect, int a)
{
    // rect holds left, top and a size; right and bottom are left + width, top + height.
    const int left = rect.x, top = rect.y;
    const int right = rect.x + rect.width, bottom = rect.y + rect.height;
    const int w = right - left, h = bottom - top;
    switch (edge) {
    case 1: case 2: case 7: case 8:
        rect.height = a + static_cast<int>(HeightPerWidth * w);
        break;
    case 3: case 6:
        rect.width = static_cast<int>((h - a) * WidthPerHeight);
        break;
    case 4: case 5: {
        const int newTop = bottom - static_cast<int>(HeightPerWidth * w) - a;
        rect.y = newTop;
        rect.height = bottom - newTop;
        break;
    }
    default:
        break;
    }
}

int CVideoDialog::SizingEdge(const wxRect& before, const wxRect& after)
{
    const bool widthChanged = after.width != before.width;
    const bool heightChanged = after.height != before.height;
    // An edge on the far side keeps the near one in place.
    const bool left = widthChanged && after.x != before.x && after.GetRight() == before.GetRight();
    const bool top = heightChanged && after.y != before.y && after.GetBottom() == before.GetBottom();
    if (widthChanged && heightChanged)
        return top ? (left ? 4 : 5) : (left ? 7 : 8);
    if (widthChanged)
        return left ? 1 : 2;
    if (heightChanged)
        return top ? 3 : 6;
    return 0;
}

wxRect CVideoDialog::FitToPicture(int right, int bottom, int pictureWidth, int pictureHeight)
{
    const int wr = right + 1, hr = bottom + 1;
    int width = wr, height = hr;
    if (pictureWidth > 0 && pictureHeight > 0) {
        const double g = static_cast<double>(pictureWidth) / pictureHeight;
        const double rh = static_cast<double>(pictureHeight) / hr;
        const double rw = static_cast<double>(pictureWidth) / wr;
        if (rh < rw)
            height = static_cast<int>(wr / g);
        else if (rh > rw)
            width = static_cast<int>(hr * g);
    }
    const int l = width < wr ? (wr - width) / 2 : 0;
    const int t = height < hr ? (hr - height) / 2 : 0;
    return wxRect(l, t, width, height);
}

void CVideoDialog::OnSize(wxSizeEvent& event)
{
    if (!fullscreen_ && !IsMaximized() && !IsIconized() && !sizing_) {
        wxRect rect = GetRect();
        const int a = (GetSize().y - GetClientSize().y) - (GetSize().x - GetClientSize().x);
        // The window system tells the new size, not the edge the user drags: the edge is
        // the one that moved since the last size.
        if (const int edge = SizingEdge(normalRect_, rect))
            lastEdge_ = edge;
        else if (!lastEdge_)
            lastEdge_ = 2;
        ApplySizingRule(lastEdge_, rect, a);
        if (rect != GetRect()) {
            sizing_ = true;
            // A top edge keeps the bottom where it is; the other edges keep the top left.
            if (rect.y != GetRect().y)
                SetSize(rect);
            else
                SetSize(rect.GetSize());
            sizing_ = false;
        }
        normalRect_ = GetRect();
    }
    rescaleNeeded_ = true;
    canvas_->SetSize(GetClientSize());
    localPanel_.layout(false);
    repaintNow();
    event.Skip();
}

void CVideoDialog::EnterFullscreen()
{
    if (fullscreen_)
        return;
    keepAspect_ = true;
    fullscreen_ = true;
    savedRect_ = IsMaximized() ? normalRect_ : GetRect();
    if (IsMaximized())
        Maximize(false);
    ShowFullScreen(true, wxFULLSCREEN_ALL);
    rescaleNeeded_ = true;
    repaintNow();
}

void CVideoDialog::LeaveFullscreen()
{
    if (!fullscreen_)
        return;
    keepAspect_ = false;
    fullscreen_ = false;
    // wx puts the window back where it was (savedRect_); setting it again here would count
    // the frame that the window manager has not yet given back.
    ShowFullScreen(false);
    rescaleNeeded_ = true;
    repaintNow();
}

void CVideoDialog::ToggleFullscreen()
{
    if (fullscreen_)
        LeaveFullscreen();
    else
        EnterFullscreen();
}

void CVideoDialog::RestoreState()
{
    // A window minimised from full screen comes back to full screen.
    if (!(minimized_ && fullscreen_))
        LeaveFullscreen();
    rescaleNeeded_ = true;
    repaintNow();
}

void CVideoDialog::OnMaximize(wxMaximizeEvent&)
{
    // Maximising means full screen.
    if (minimized_)
        RestoreState();
    EnterFullscreen();
    minimized_ = false;
}

void CVideoDialog::OnIconize(wxIconizeEvent& event)
{
    if (event.IsIconized()) {
        minimized_ = true;
        return;
    }
    RestoreState();
    minimized_ = false;
}

void CVideoDialog::ToggleHighlight()
{
    highlight_ = !highlight_;
    if (session_)
        session_->thread.setHighlight(highlight_);
}

// ---- keys and mouse ------------------------------------------------------------------------

void CVideoDialog::OnCharHook(wxKeyEvent& event)
{
    switch (event.GetKeyCode()) {
    case WXK_F1:
        ToggleHelp();
        return;
    case WXK_F11:
        if (event.ControlDown())
            CallAfter(&CVideoDialog::ToggleHighlight);
        return;
    case WXK_F12:
        CallAfter(&CVideoDialog::ToggleFullscreen);
        return;
    case WXK_ESCAPE:
        LeaveFullscreen();
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        // The dialog's end leaves a window of its own open: nothing to do.
        return;
    default:
        event.Skip();
    }
}

void CVideoDialog::OnMouse(wxMouseEvent& event)
{
    const wxPoint point = event.GetPosition();
    const wxSize client = GetClientSize();
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_MOTION) {
        if (localPanel_.isDragging()) {
            const bool inside = point.x >= 0 && point.y >= 0 && point.x <= client.x && point.y <= client.y;
            if (inside) {
                localPanel_.drag(point.x, point.y);
            } else {
                localPanel_.endDrag();
                repaintNow();
            }
        }
    } else if (type == wxEVT_LEAVE_WINDOW) {
        if (localPanel_.isDragging()) {
            localPanel_.endDrag();
            repaintNow();
        }
    } else if (type == wxEVT_LEFT_DOWN) {
        if (localPanel_.hitTest(point.x, point.y)) {
            localPanel_.beginDrag(point.x, point.y);
            repaintNow();
        }
    } else if (type == wxEVT_LEFT_UP) {
        // The release's place counts: the last moves may come merged into it.
        if (localPanel_.isDragging() && point.x >= 0 && point.y >= 0 && point.x <= client.x && point.y <= client.y)
            localPanel_.drag(point.x, point.y);
        localPanel_.endDrag();
        repaintNow();
    } else if (type == wxEVT_LEFT_DCLICK) {
        ToggleFullscreen();
    } else if (type == wxEVT_RIGHT_DOWN) {
        ResetPanelPosition();
    }
    event.Skip();
}

void CVideoDialog::ResetPanelPosition()
{
    localPanel_.layout(false);
    const wxSize client = GetClientSize();
    localPanel_.setPositionPixels(client.x - localPanel_.width() - PanelMargin,
                                  client.y - localPanel_.height() - PanelMargin);
}

// ---- help and overlays ---------------------------------------------------------------------

void CVideoDialog::ShowHelp()
{
    helpUntil_ = link_->now() + VideoWindowLink::LineSeconds;
    repaintNow();
}

void CVideoDialog::HideHelp()
{
    helpUntil_ = 0;
    repaintNow();
}

void CVideoDialog::ToggleHelp()
{
    if (helpUntil_ < link_->now())
        ShowHelp();
    else
        HideHelp();
}

void CVideoDialog::OnTimer(wxTimerEvent&)
{
    // Overlays run out with time; without new pictures nothing else would repaint.
    if (overlaysDrawn_)
        repaintNow();
}

// ---- painting ------------------------------------------------------------------------------

void CVideoDialog::RebuildRemoteBitmap()
{
    link_->takeRemote(remoteImage_);
    remoteBitmap_.setPixels(remoteImage_.pixels(), remoteImage_.width(), remoteImage_.height());
    Rescale();
}

void CVideoDialog::Rescale()
{
    // Without the fit the bitmap is (0, 0) to (width - 1, height - 1), as right - left by
    // bottom - top: one pixel short each way, so the first row and column stay background.
    const wxSize client = GetClientSize();
    wxSize size(client.x - 1, client.y - 1);
    if (keepAspect_ && !link_->placeholderShown()) {
        const wxSize picture = remoteBitmap_.getSize();
        size = FitToPicture(client.x - 1, client.y - 1, picture.x, picture.y).GetSize();
    }
    if (size.x > 0 && size.y > 0)
        backBitmap_.create(size.x, size.y);
    if (backBitmap_.exists()) {
        if (remoteImage_.isEmpty() || !remoteBitmap_.exists()) {
            backBitmap_.fill(backgroundColour_);
        } else {
            wxMemoryDC* dc = backBitmap_.getDC();
            const wxSize whole = backBitmap_.getSize();
            if (dc)
                remoteBitmap_.draw(*dc, 0, 0, whole.x, whole.y);
            backBitmap_.releaseDC();
        }
    }
    rescaleNeeded_ = false;
}

wxRect CVideoDialog::pictureRect() const
{
    const wxSize client = GetClientSize();
    const wxSize size = backBitmap_.getSize();
    const int a = client.x + 1, b = client.y + 1;
    return wxRect(std::abs(a - size.x) / 2, std::abs(b - size.y) / 2, size.x, size.y);
}

void CVideoDialog::OnPaint(wxPaintEvent&)
{
    wxPaintDC target(canvas_);
    link_->repaintDone();
    VideoImage local;
    if (link_->takeLocal(local))
        localPanel_.setImage(local);
    if (link_->takeRemote(remoteImage_)) {
        remoteBitmap_.setPixels(remoteImage_.pixels(), remoteImage_.width(), remoteImage_.height());
        rescaleNeeded_ = true;
    }
    if (rescaleNeeded_)
        Rescale();

    const wxSize client = GetClientSize();
    const wxRect area(0, 0, client.x, client.y);
    if (area.IsEmpty())
        return;
    CMemDC memory(target, &area);
    wxDC& dc = memory.dc();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(backgroundColour_));
    dc.DrawRectangle(0, 0, client.x + 1, client.y + 1);
    if (backBitmap_.exists()) {
        const wxRect where = pictureRect();
        dc.DrawBitmap(backBitmap_.bitmap(), where.x, where.y);
        localPanel_.paint(dc);
    }
    DrawStatusLines(dc);
    DrawHelp(dc);
    ++paints_;
}

void CVideoDialog::DrawAlphaBox(wxDC& dc, const wxRect& rect, const wxColour& colour, int alpha)
{
    if (rect.width <= 0 || rect.height <= 0)
        return;
    // What lies under the box, blended with the colour and put back.
    wxBitmap under(rect.width, rect.height, 24);
    {
        wxMemoryDC copy(under);
        copy.Blit(0, 0, rect.width, rect.height, &dc, rect.x, rect.y);
    }
    wxImage image = under.ConvertToImage();
    unsigned char* rgb = image.GetData();
    const unsigned char colourBytes[3] = {colour.Red(), colour.Green(), colour.Blue()};
    const size_t count = static_cast<size_t>(rect.width) * static_cast<size_t>(rect.height);
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int mixed = (colourBytes[c] * alpha + rgb[3 * i + c] * (255 - alpha)) / 255;
            rgb[3 * i + c] = static_cast<unsigned char>(mixed);
        }
    }
    dc.DrawBitmap(wxBitmap(image, 24), rect.x, rect.y);
}

void CVideoDialog::DrawStatusLines(wxDC& dc)
{
    const std::vector<std::string> lines = link_->linesToDraw(hasConnection());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetFont(font_.font());
    dc.SetTextForeground(textColour_);
    int y = 4;
    for (const std::string& line : lines) {
        const wxString text = wxString::FromUTF8(line.c_str());
        wxCoord width = 0, height = 0;
        dc.GetTextExtent(text, &width, &height);
        DrawAlphaBox(dc, wxRect(wxPoint(1, y), wxPoint(width + 10, y + height + 1)), *wxWHITE, 180);
        dc.DrawText(text, 6, y);
        y += height + 2;
    }
    overlaysDrawn_ = !lines.empty();
}

void CVideoDialog::DrawHelp(wxDC& dc)
{
    if (!helpShown())
        return;
    overlaysDrawn_ = true;
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetFont(font_.font());
    dc.SetTextForeground(textColour_);
    wxCoord unused = 0, cy = 0;
    dc.GetTextExtent("Wy", &unused, &cy);
    // The box from (5, 50) to (255, 145), its right and bottom edges outside it.
    DrawAlphaBox(dc, wxRect(5, 50, 250, 95), *wxWHITE, 180);
    const struct {
        const char* key;
        const char* action;
    } rows[] = {
        {"F1", ".... This help"},
        {"F12", ".... Toggle fullscreen"},
        {"Double-click", ".... Toggle fullscreen"},
        {"Drag-drop", ".... Drag-drop local video"},
        {"Right-click", ".... Reset local video position"},
    };
    for (int i = 0; i < 5; ++i) {
        const int y = i == 0 ? 55 : i * cy + 55 + 2 * i;
        dc.DrawText(rows[i].key, 10, y);
        dc.DrawText(rows[i].action, 90, y);
    }
}

} // namespace orvane
