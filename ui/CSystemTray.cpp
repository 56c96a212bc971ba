#include "ui/CSystemTray.h"

#include "ui/TrayManagerWatch.h"
#include "ui/TrayMouseHook.h"
#include "ui/kit/PostedMessage.h"
#include "ui/kit/ResourceBitmaps.h"

#include <wx/bmpbndl.h>
#include <wx/image.h>
#include <wx/taskbar.h>

#include <cstring>

namespace orvane {

namespace {

// What an icon without a picture shows: a transparent square, so that its place in the tray
// is held (GTK cannot show a status icon without a picture). Made when needed rather than
// kept: a bitmap must not outlive the toolkit.
wxBitmap emptyIcon()
{
    wxImage image(16, 16);
    image.InitAlpha();
    std::memset(image.GetAlpha(), wxIMAGE_ALPHA_TRANSPARENT, 16 * 16);
    return wxBitmap(image);
}

} // namespace

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray()
{
    RemoveIcon();
}

bool CSystemTray::Create(wxWindow* callbackWindow, int callbackMessage, const wxString& tooltip, const wxBitmap& icon,
                         int iconId, bool hidden)
{
    if (created_)
        return false;
    created_ = true;
    callbackWindow_ = callbackWindow;
    ownCallback_ = callbackWindow == nullptr;
    callbackMessage_ = callbackMessage;
    iconId_ = iconId;
    icon_ = icon;
    tooltip_ = tooltip.Left(MaxTooltip);
    taskBarIcon_ = std::make_unique<wxTaskBarIcon>();
    mouseHook_ = std::make_unique<TrayMouseHook>([this](long action) { onMouse(action); });
    // Run later from the event loop: the filter that notices the tray must not change the
    // status icon it is delivering events for.
    managerWatch_ = std::make_unique<TrayManagerWatch>([this] { CallAfter(&CSystemTray::onTrayArrived); });

    enabled_ = wxTaskBarIcon::IsAvailable();
    if (hidden)
        return enabled_;
    const bool added = enabled_ && addToTray();
    hidden_ = removed_ = readdPending_ = !added;
    return added;
}

bool CSystemTray::SetIcon(int resourceId)
{
    const wxBitmap bitmap = resourceBitmap(resourceId);
    if (!bitmap.IsOk())
        return false;
    icon_ = bitmap;
    if (!enabled_)
        return false;
    if (hidden_)
        return true;
    return taskBarIcon_->SetIcon(wxBitmapBundle(icon_), tooltip_);
}

bool CSystemTray::RemoveIcon()
{
    // Whoever removes the icon does not want a later tray to bring it back.
    readdPending_ = false;
    if (!enabled_ || removed_)
        return false;
    if (!taskBarIcon_->RemoveIcon())
        return false;
    hidden_ = removed_ = true;
    return true;
}

void CSystemTray::InstallIconPending()
{
    if (!enabled_ || !readdPending_)
        return;
    const bool added = addToTray();
    hidden_ = removed_ = readdPending_ = !added;
}

bool CSystemTray::HasTray() const
{
    return enabled_ && !hidden_ && wxTaskBarIcon::IsAvailable();
}

bool CSystemTray::addToTray()
{
    if (!wxTaskBarIcon::IsAvailable())
        return false;
    bool added = false;
    mouseHook_->watchWhile([&] {
        added = taskBarIcon_->SetIcon(wxBitmapBundle(icon_.IsOk() ? icon_ : emptyIcon()), tooltip_);
    });
    return added;
}

void CSystemTray::onTrayArrived()
{
    // A tray that was missing at Create makes the icon possible now. An icon that shows is
    // given to the new tray again as well: GTK docks it by itself, and adding it once more
    // only repeats its picture and tooltip.
    enabled_ = true;
    if (!hidden_)
        readdPending_ = true;
    InstallIconPending();
}

void CSystemTray::onMouse(long action)
{
    if (!ownCallback_ && !callbackWindow_)
        return; // the window is gone
    wxEvtHandler& target = ownCallback_ ? *this : static_cast<wxEvtHandler&>(*callbackWindow_);
    postMessage(target, callbackMessage_, iconId_, action);
}

} // namespace orvane
