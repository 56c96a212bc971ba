#include "ui/WindowPlacement.h"

#include <wx/config.h>
#include <wx/display.h>
#include <wx/toplevel.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <cstdint>
#include <limits>
#include <string>

namespace orvane {

namespace {

// X keeps window coordinates in signed 16 bits; a rectangle beyond that was never a window.
constexpr long long CoordinateMin = -32768;
constexpr long long CoordinateMax = 32767;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

#ifdef __WXGTK__

GdkWindow* gdkWindowOf(const wxTopLevelWindow& window)
{
    GtkWidget* widget = window.GetHandle();
    return widget ? gtk_widget_get_window(widget) : nullptr;
}

// wxGTK shows a top-level window the first time only once the window manager has said how
// large its frame is. Until then the window is shown as far as wx is concerned and exists on
// the display, but unmapped, at a stand-in geometry (the top-left corner, a few pixels).
bool awaitingFirstMap(const wxTopLevelWindow& window)
{
    GdkWindow* gdkWindow = gdkWindowOf(window);
    return window.IsShown() && gdkWindow && !gdk_window_is_visible(gdkWindow);
}

// The window manager takes the geometry the window has when it is mapped as its normal
// geometry, also for a window that starts maximised or minimised, and GTK does not move or
// resize the stand-in before mapping it. So the window is put at its rectangle here, just
// before wx maps it (wx sends the size event for the real size right before that).
void placeBeforeFirstMap(wxTopLevelWindow& window, const wxPoint& origin)
{
    GdkWindow* gdkWindow = gdkWindowOf(window);
    if (!gdkWindow)
        return;
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(window.GetHandle()), &width, &height);
    gdk_window_move_resize(gdkWindow, origin.x, origin.y, width, height);
}

#else

bool awaitingFirstMap(const wxTopLevelWindow&)
{
    return false;
}

void placeBeforeFirstMap(wxTopLevelWindow&, const wxPoint&) {}

#endif

} // namespace

const char* const WindowPlacement::DefaultSection = "Window size";

WindowPlacement::WindowPlacement(wxTopLevelWindow& window, wxConfigBase& profile, const wxString& section)
    : window_(&window), profile_(profile), section_(section)
{
    seen_.normal = window.GetRect();
    window.Bind(wxEVT_SIZE, &WindowPlacement::onGeometry, this);
    window.Bind(wxEVT_MOVE, &WindowPlacement::onGeometry, this);
    window.Bind(wxEVT_MAXIMIZE, &WindowPlacement::onGeometry, this);
    window.Bind(wxEVT_ICONIZE, &WindowPlacement::onGeometry, this);
    window.Bind(wxEVT_SHOW, &WindowPlacement::onGeometry, this);
    window.Bind(wxEVT_DESTROY, &WindowPlacement::onDestroy, this);
}

WindowPlacement::~WindowPlacement()
{
    if (!window_)
        return;
    window_->Unbind(wxEVT_SIZE, &WindowPlacement::onGeometry, this);
    window_->Unbind(wxEVT_MOVE, &WindowPlacement::onGeometry, this);
    window_->Unbind(wxEVT_MAXIMIZE, &WindowPlacement::onGeometry, this);
    window_->Unbind(wxEVT_ICONIZE, &WindowPlacement::onGeometry, this);
    window_->Unbind(wxEVT_SHOW, &WindowPlacement::onGeometry, this);
    window_->Unbind(wxEVT_DESTROY, &WindowPlacement::onDestroy, this);
}

void WindowPlacement::setDefaultRect(const wxRect& rect)
{
    defaultRect_ = formatRect(rect);
}

wxString WindowPlacement::key(const char* value) const
{
    return "/" + section_ + "/" + value;
}

void WindowPlacement::load()
{
    if (!window_)
        return;
    Placement target;
    target.normal = placement().normal;
    wxRect rect;
    if (parseRect(profile_.Read(key("Rectangle"), defaultRect_), rect) && isUsableRect(rect))
        target.normal = rect;
    else if (parseRect(defaultRect_, rect) && isUsableRect(rect))
        target.normal = rect;

    const bool iconized = profile_.ReadLong(key("Iconized"), 0) != 0;
    const bool maximized = profile_.ReadLong(key("Maximized"), 0) != 0;
    if (iconized) {
        showCommand_ = ShowCommand::MinimizedNoActivate;
        target.show = ShowCommand::Minimized;
        target.restoreToMaximized = maximized;
    } else if (maximized) {
        showCommand_ = ShowCommand::Maximized;
        target.show = ShowCommand::Maximized;
        target.restoreToMaximized = true;
    } else {
        showCommand_ = ShowCommand::Normal;
        target.show = ShowCommand::Normal;
    }
    apply(target);
    placed_ = true;
}

void WindowPlacement::apply(const Placement& target)
{
    wxTopLevelWindow& window = *window_;
    const bool minimize = target.show == ShowCommand::Minimized;
    const bool maximize = target.show == ShowCommand::Maximized || (minimize && target.restoreToMaximized);
    const bool shown = window.IsShown();
    // A maximised window's normal rectangle can only be changed by restoring it first.
    const bool stayMaximized = shown && maximize && window.IsMaximized() && seen_.normal == target.normal;
    if (shown && window.IsIconized() && !minimize)
        window.Iconize(false);
    if (shown && window.IsMaximized() && !stayMaximized)
        window.Maximize(false);
    if (!stayMaximized)
        window.SetSize(target.normal);
    // Before the window is shown these set the state it starts in.
    window.Maximize(maximize);
    if (minimize || !shown)
        window.Iconize(minimize);
    pendingOrigin_ = shown ? wxDefaultPosition : target.normal.GetPosition();
    seen_ = target;
}

void WindowPlacement::save()
{
    if (!placed_ && !(window_ && window_->IsShown()))
        return;
    const Placement now = placement();
    long iconized = 0;
    long maximized = 0;
    switch (now.show) {
    case ShowCommand::Maximized:
        maximized = 1;
        break;
    case ShowCommand::Minimized:
    case ShowCommand::MinimizedNoActivate:
        iconized = 1;
        maximized = now.restoreToMaximized ? 1 : 0;
        break;
    default:
        break;
    }
    profile_.Write(key("Rectangle"), formatRect(now.normal));
    profile_.Write(key("Iconized"), iconized);
    profile_.Write(key("Maximized"), maximized);
    profile_.Flush();
}

Placement WindowPlacement::placement() const
{
    Placement now = seen_;
    if (!window_)
        return now;
    // Until it is loaded or shown, the window is wherever its owner put it.
    if (!placed_)
        now.normal = window_->GetRect();
    if (!window_->IsShown() || awaitingFirstMap(*window_))
        return now;
    const bool maximized = window_->IsMaximized();
    if (window_->IsIconized()) {
        now.show = ShowCommand::Minimized;
        // The window manager may drop the maximised state while the window is minimised;
        // what it was before counts.
        now.restoreToMaximized = seen_.restoreToMaximized || maximized;
    } else {
        now.show = maximized ? ShowCommand::Maximized : ShowCommand::Normal;
        now.restoreToMaximized = maximized;
        if (!maximized)
            now.normal = window_->GetRect();
    }
    return now;
}

void WindowPlacement::observe()
{
    if (!window_ || !window_->IsShown())
        return;
    if (awaitingFirstMap(*window_)) {
        if (pendingOrigin_ != wxDefaultPosition)
            placeBeforeFirstMap(*window_, pendingOrigin_);
        return;
    }
    pendingOrigin_ = wxDefaultPosition;
    seen_ = placement();
    placed_ = true;
}

void WindowPlacement::onGeometry(wxEvent& event)
{
    event.Skip();
    if (event.GetEventObject() == window_)
        observe();
}

void WindowPlacement::onDestroy(wxEvent& event)
{
    event.Skip();
    if (event.GetEventObject() == window_)
        window_ = nullptr;
}

wxString WindowPlacement::formatRect(const wxRect& rect)
{
    const long long left = rect.x;
    const long long top = rect.y;
    return wxString::Format("%04lld %04lld %04lld %04lld", left, top, left + rect.width, top + rect.height);
}

bool WindowPlacement::parseRect(const wxString& text, wxRect& rect)
{
    const std::string s = text.ToStdString();
    const size_t end = s.size();
    size_t at = 0;
    long long field[4];
    for (long long& value : field) {
        while (at < end && isBlank(s[at]))
            ++at;
        const bool negative = at < end && s[at] == '-';
        if (negative)
            ++at;
        const size_t digits = at;
        long long magnitude = 0;
        while (at < end && s[at] >= '0' && s[at] <= '9') {
            magnitude = magnitude * 10 + (s[at] - '0');
            // Far beyond any int; stop before the sum can overflow.
            if (magnitude > (1LL << 40))
                return false;
            ++at;
        }
        if (at == digits || (at < end && !isBlank(s[at])))
            return false;
        value = negative ? -magnitude : magnitude;
    }
    while (at < end && isBlank(s[at]))
        ++at;
    if (at != end)
        return false;

    const long long width = field[2] - field[0];
    const long long height = field[3] - field[1];
    constexpr long long intMin = std::numeric_limits<int>::min();
    constexpr long long intMax = std::numeric_limits<int>::max();
    for (long long value : {field[0], field[1], width, height})
        if (value < intMin || value > intMax)
            return false;
    rect = wxRect(static_cast<int>(field[0]), static_cast<int>(field[1]), static_cast<int>(width),
                  static_cast<int>(height));
    return true;
}

bool WindowPlacement::isUsableRect(const wxRect& rect)
{
    if (rect.width <= 0 || rect.height <= 0)
        return false;
    const long long left = rect.x;
    const long long top = rect.y;
    for (long long value : {left, top, left + rect.width, top + rect.height})
        if (value < CoordinateMin || value > CoordinateMax)
            return false;
    for (unsigned i = 0; i < wxDisplay::GetCount(); ++i)
        if (wxDisplay(i).GetGeometry().Intersects(rect))
            return true;
    return false;
}

} // namespace orvane
