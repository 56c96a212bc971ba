#include "ui/CTaskbarNotifier.h"

#include "ui/WorkArea.h"
#include "ui/kit/Skin.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>
#include <vector>

namespace orvane {

wxDEFINE_EVENT(EVT_NOTIFIER_CLICK, NotifierClickEvent);

NotifierClickEvent::NotifierClickEvent(int message, IModule* module, WindowHandle window)
    : wxEvent(message, EVT_NOTIFIER_CLICK), module_(module), window_(window)
{
}

namespace {

enum TimerId { ShowTimer = 1, StayTimer = 2, HideTimer = 3 };

const wxString Ellipsis = "...";

// Which edge of the screen the desktop's panel takes, judged from how the work area falls
// short of the screen.
enum class PanelEdge { Right, Left, Top, Bottom };

PanelEdge panelEdge(const WorkArea& area)
{
    if (area.work.width < area.screen.width)
        return area.work.x == 0 ? PanelEdge::Right : PanelEdge::Left;
    if (area.work.height < area.screen.height && area.work.y != 0)
        return PanelEdge::Top;
    return PanelEdge::Bottom;
}

int textWidth(const wxDC& dc, const wxString& text)
{
    wxCoord width = 0;
    wxCoord height = 0;
    dc.GetTextExtent(text, &width, &height);
    return width;
}

// The longest start of the text that fits the width; at least one character, so that
// breaking a word always moves on.
size_t fittingLength(const wxDC& dc, const wxString& text, int width)
{
    wxArrayInt extents;
    if (!dc.GetPartialTextExtents(text, extents))
        return 1;
    size_t length = 0;
    while (length < extents.size() && extents[length] <= width)
        ++length;
    return std::max<size_t>(length, 1);
}

// The text broken into lines no wider than the width: at line breaks, between words, and
// inside a word that is wider than a whole line.
std::vector<wxString> wrappedLines(const wxDC& dc, const wxString& text, int width)
{
    std::vector<wxString> lines;
    wxString flat = text;
    flat.Replace("\r\n", "\n");
    flat.Replace("\r", "\n");
    for (const wxString& paragraph : wxSplit(flat, '\n', '\0')) {
        wxString line;
        for (wxString word : wxSplit(paragraph, ' ', '\0')) {
            const wxString joined = line.empty() ? word : line + " " + word;
            if (textWidth(dc, joined) <= width) {
                line = joined;
                continue;
            }
            if (!line.empty())
                lines.push_back(line);
            while (word.length() > 1 && textWidth(dc, word) > width) {
                const size_t cut = fittingLength(dc, word, width);
                lines.push_back(word.Left(cut));
                word = word.Mid(cut);
            }
            line = word;
        }
        lines.push_back(line);
    }
    return lines;
}

// The line shortened until it fits the width with an ellipsis after it.
wxString withEllipsis(const wxDC& dc, wxString line, int width)
{
    while (!line.empty() && textWidth(dc, line + Ellipsis) > width)
        line.RemoveLast();
    return line + Ellipsis;
}

// The text wrapped into the rectangle, each line centred, the block centred vertically;
// what does not fit ends in an ellipsis, and nothing is drawn outside the rectangle.
void drawWrapped(wxDC& dc, const wxString& text, const wxRect& rect)
{
    if (text.empty() || rect.IsEmpty())
        return;
    const int lineHeight = std::max(1, static_cast<int>(dc.GetCharHeight()));
    const size_t fitting = static_cast<size_t>(std::max(1, rect.height / lineHeight));
    std::vector<wxString> lines = wrappedLines(dc, text, rect.width);
    if (lines.size() > fitting) {
        lines.resize(fitting);
        lines.back() = withEllipsis(dc, lines.back(), rect.width);
    }
    wxDCClipper clip(dc, rect);
    int y = rect.y + (rect.height - static_cast<int>(lines.size()) * lineHeight) / 2;
    for (const wxString& line : lines) {
        dc.DrawText(line, rect.x + (rect.width - textWidth(dc, line)) / 2, y);
        y += lineHeight;
    }
}

// The key colour's pixels cut from the bitmap's first columns up to a multiple of four;
// invalid when that leaves nothing.
wxRegion skinShape(const CSkinBitmap& skin, ColorRef key)
{
    const int columns = skin.GetWidth() / 4 * 4;
    if (columns == 0 || skin.GetHeight() == 0)
        return wxRegion();
    wxRegion region = skin.CreateRegion(0, 0, key);
    region.Intersect(wxRect(0, 0, columns, skin.GetHeight()));
    return region.IsEmpty() ? wxRegion() : region;
}

bool isComponent(int value)
{
    return value >= 0 && value <= 255;
}

} // namespace

CTaskbarNotifier::CTaskbarNotifier()
    : showTimer_(this, ShowTimer), stayTimer_(this, StayTimer), hideTimer_(this, HideTimer)
{
}

CTaskbarNotifier::~CTaskbarNotifier() = default;

bool CTaskbarNotifier::Create(wxWindow* owner, int clickMessage)
{
    if (GetHandle())
        return false;
    // Shaped: wx shapes only windows that ask for it when they are made.
    if (!wxPopupWindow::Create(owner, wxBORDER_NONE | wxFRAME_SHAPED))
        return false;
    owner_ = owner;
    clickMessage_ = clickMessage;
    handCursor_ = wxCursor(wxCURSOR_HAND);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
    SetCursor(*wxSTANDARD_CURSOR);
    wxPopupWindow::SetSize(0, 0, 0, 0, wxSIZE_ALLOW_MINUS_ONE);
    if (region_.IsOk())
        SetShape(region_);

    Bind(wxEVT_PAINT, &CTaskbarNotifier::onPaint, this);
    Bind(wxEVT_ENTER_WINDOW, &CTaskbarNotifier::onMouseOver, this);
    Bind(wxEVT_MOTION, &CTaskbarNotifier::onMouseOver, this);
    Bind(wxEVT_LEAVE_WINDOW, &CTaskbarNotifier::onMouseLeave, this);
    Bind(wxEVT_LEFT_UP, &CTaskbarNotifier::onLeftUp, this);
    Bind(wxEVT_TIMER, &CTaskbarNotifier::onShowTimer, this, ShowTimer);
    Bind(wxEVT_TIMER, &CTaskbarNotifier::onStayTimer, this, StayTimer);
    Bind(wxEVT_TIMER, &CTaskbarNotifier::onHideTimer, this, HideTimer);
    return true;
}

bool CTaskbarNotifier::SetSkin(int bitmapId, int red, int green, int blue)
{
    CSkinBitmap skin;
    if (!skin.LoadBitmap(bitmapId))
        return false;
    skin_ = skin;
    width_ = skin_.GetWidth();
    height_ = skin_.GetHeight();
    textRect_ = wxRect(0, 0, width_, height_);
    if (isComponent(red) && isComponent(green) && isComponent(blue)) {
        region_ = skinShape(skin_, rgb(red, green, blue));
        if (GetHandle())
            SetShape(region_.IsOk() ? region_ : wxRegion());
    }
    Refresh();
    return true;
}

void CTaskbarNotifier::setFont(CTextFont& font, const std::string& face, int size, int style)
{
    font.SetFaceName(face);
    font.SetSize(size);
    font.SetBold((style & Bold) != 0);
    font.SetItalic((style & Italic) != 0);
    font.SetUnderline((style & Underline) != 0);
}

void CTaskbarNotifier::SetTitleFont(const std::string& face, int size, int style)
{
    setFont(titleFont_, face, size, style);
}

void CTaskbarNotifier::SetTextFont(const std::string& face, int size, int style, int hoveredStyle)
{
    setFont(textFont_, face, size, style);
    setFont(hoveredTextFont_, face, size, hoveredStyle);
}

void CTaskbarNotifier::SetTitleColor(ColorRef title, ColorRef shadow)
{
    titleColor_ = title;
    titleShadowColor_ = shadow;
}

void CTaskbarNotifier::SetTextColor(ColorRef normal, ColorRef hovered)
{
    textColor_ = normal;
    hoveredTextColor_ = hovered;
    Refresh();
}

void CTaskbarNotifier::SetTitleRect(int left, int top, int right, int bottom)
{
    titleRect_ = wxRect(left, top, right - left, bottom - top);
}

void CTaskbarNotifier::SetTextRect(int left, int top, int right, int bottom)
{
    textRect_ = wxRect(left, top, right - left, bottom - top);
}

void CTaskbarNotifier::SetTitle(const wxString& title)
{
    title_ = title;
    Refresh();
}

void CTaskbarNotifier::SetTimings(int showTime, int stayTime, int hideTime)
{
    showTime_ = std::max(0, showTime);
    stayTime_ = std::max(0, stayTime);
    hideTime_ = std::max(0, hideTime);
}

void CTaskbarNotifier::SetClickParams(IModule* module, WindowHandle window)
{
    clickModule_ = module;
    clickWindow_ = window;
}

void CTaskbarNotifier::Show(const wxString* text, bool clickable)
{
    if (!GetHandle())
        return;
    if (text)
        text_ = *text;
    clickable_ = clickable;
    SetCursor(clickable_ ? handCursor_ : *wxSTANDARD_CURSOR);

    const WorkArea area = WorkArea::current();
    const wxRect& work = area.work;
    const int right = work.x + work.width;
    const int bottom = work.y + work.height;
    const PanelEdge edge = panelEdge(area);

    switch (state_) {
    case State::Hidden: {
        int extent = height_;
        switch (edge) {
        case PanelEdge::Right:
            direction_ = Direction::Left;
            startX_ = right;
            startY_ = bottom - height_;
            extent = width_;
            break;
        case PanelEdge::Left:
            direction_ = Direction::Right;
            startX_ = work.x - width_;
            startY_ = bottom - height_;
            extent = width_;
            break;
        case PanelEdge::Top:
            direction_ = Direction::Down;
            startX_ = right - width_;
            startY_ = work.y - height_;
            break;
        case PanelEdge::Bottom:
            direction_ = Direction::Up;
            startX_ = right - width_;
            startY_ = bottom;
            break;
        }
        // A notice smaller than one step still takes one; and however short the times, a
        // timer never runs below a millisecond, where it would fire without pause.
        const int steps = std::max(1, extent / step_);
        showStepInterval_ = std::max(1, showTime_ / steps);
        hideStepInterval_ = std::max(1, hideTime_ / steps);
        currentX_ = startX_;
        currentY_ = startY_;
        state_ = State::Appearing;
        showTimer_.Start(showStepInterval_);
        break;
    }
    case State::Appearing:
        Refresh();
        break;
    case State::Waiting:
        Refresh();
        stayTimer_.StartOnce(std::max(1, stayTime_));
        break;
    case State::Disappearing:
        hideTimer_.Stop();
        stayTimer_.StartOnce(std::max(1, stayTime_));
        switch (edge) {
        case PanelEdge::Right:
            currentX_ = right - width_;
            break;
        case PanelEdge::Left:
            currentX_ = work.x;
            break;
        case PanelEdge::Top:
            currentY_ = work.y;
            break;
        case PanelEdge::Bottom:
            currentY_ = bottom - height_;
            break;
        }
        Refresh();
        break;
    }

    wxPopupWindow::SetSize(currentX_, currentY_, width_, height_, wxSIZE_ALLOW_MINUS_ONE);
    wxPopupWindow::Show(true);
    Raise();
}

void CTaskbarNotifier::Hide()
{
    showTimer_.Stop();
    stayTimer_.Stop();
    hideTimer_.Stop();
    if (GetHandle()) {
        wxPopupWindow::SetSize(0, 0, 0, 0, wxSIZE_ALLOW_MINUS_ONE);
        wxPopupWindow::Show(false);
    }
    state_ = State::Hidden;
    // The pointer's leaving is not reported for a window that goes away under it.
    hovered_ = false;
}

void CTaskbarNotifier::moveToCurrent()
{
    // Sliding in from the left passes x = -1, which wx would otherwise take for "unchanged".
    Move(currentX_, currentY_, wxSIZE_ALLOW_MINUS_ONE);
}

void CTaskbarNotifier::onShowTimer(wxTimerEvent&)
{
    state_ = State::Appearing;
    bool complete = false;
    switch (direction_) {
    case Direction::Down:
        complete = currentY_ - startY_ >= height_;
        if (!complete)
            currentY_ += step_;
        break;
    case Direction::Right:
        complete = currentX_ - startX_ >= width_;
        if (!complete)
            currentX_ += step_;
        break;
    case Direction::Left:
        complete = currentX_ <= startX_ - width_;
        if (!complete)
            currentX_ -= step_;
        break;
    case Direction::Up:
        complete = currentY_ <= startY_ - height_;
        if (!complete)
            currentY_ -= step_;
        break;
    }
    if (complete) {
        showTimer_.Stop();
        stayTimer_.StartOnce(std::max(1, stayTime_));
        state_ = State::Waiting;
    }
    moveToCurrent();
}

void CTaskbarNotifier::onStayTimer(wxTimerEvent&)
{
    stayTimer_.Stop();
    hideTimer_.Start(hideStepInterval_);
}

void CTaskbarNotifier::onHideTimer(wxTimerEvent&)
{
    if (hovered_)
        return;
    state_ = State::Disappearing;
    bool home = false;
    switch (direction_) {
    case Direction::Down:
        home = currentY_ <= startY_;
        if (!home)
            currentY_ -= step_;
        break;
    case Direction::Right:
        home = currentX_ <= startX_;
        if (!home)
            currentX_ -= step_;
        break;
    case Direction::Left:
        home = currentX_ >= startX_;
        if (!home)
            currentX_ += step_;
        break;
    case Direction::Up:
        home = currentY_ >= startY_;
        if (!home)
            currentY_ += step_;
        break;
    }
    if (home) {
        Hide();
        return;
    }
    moveToCurrent();
}

void CTaskbarNotifier::onMouseOver(wxMouseEvent& event)
{
    event.Skip();
    if (clickable_ && !hovered_) {
        hovered_ = true;
        Refresh();
    }
}

void CTaskbarNotifier::onMouseLeave(wxMouseEvent& event)
{
    event.Skip();
    if (hovered_) {
        hovered_ = false;
        Refresh();
    }
}

void CTaskbarNotifier::onLeftUp(wxMouseEvent& event)
{
    event.Skip();
    // Released over the notice: a press that began on it and ended elsewhere is no click.
    if (!wxRect(GetClientSize()).Contains(event.GetPosition()))
        return;
    if (owner_ && clickMessage_ != 0 && clickable_)
        wxQueueEvent(owner_.get(), new NotifierClickEvent(clickMessage_, clickModule_, clickWindow_));
}

void CTaskbarNotifier::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    render(dc);
}

void CTaskbarNotifier::render(wxDC& dc) const
{
    if (skin_.isEmpty()) {
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(GetBackgroundColour()));
        dc.DrawRectangle(wxRect(GetClientSize()));
    } else {
        skin_.Draw(dc, 0, 0, width_, height_);
    }
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);

    dc.SetFont(titleFont_.font());
    dc.SetTextForeground(colourOf(titleShadowColor_));
    wxRect shadow = titleRect_;
    shadow.Offset(1, 1);
    drawWrapped(dc, title_, shadow);
    dc.SetTextForeground(colourOf(titleColor_));
    drawWrapped(dc, title_, titleRect_);

    const bool hoveredLook = hovered_ && clickMessage_ != 0 && clickable_;
    dc.SetFont((hoveredLook ? hoveredTextFont_ : textFont_).font());
    dc.SetTextForeground(colourOf(hoveredLook ? hoveredTextColor_ : textColor_));
    drawWrapped(dc, text_, textRect_);
}

} // namespace orvane
