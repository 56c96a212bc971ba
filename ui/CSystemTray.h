#pragma once

#include <wx/bitmap.h>
#include <wx/event.h>
#include <wx/string.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include <memory>

class wxTaskBarIcon;

namespace orvane {

class TrayManagerWatch;
class TrayMouseHook;

// The id the program gives its one tray icon; its callbacks carry it.
constexpr int TrayIconId = 130;

// What a tray callback carries as its second parameter: the mouse message of the action
// over the icon, numbered as the program has always numbered them.
namespace TrayMouse {
constexpr long LeftDown = 0x201;
constexpr long LeftUp = 0x202;
constexpr long LeftDoubleClick = 0x203;
constexpr long RightDown = 0x204;
constexpr long RightUp = 0x205;
constexpr long RightDoubleClick = 0x206;
constexpr long MiddleDown = 0x207;
constexpr long MiddleUp = 0x208;
constexpr long MiddleDoubleClick = 0x209;
} // namespace TrayMouse

// The program's icon in the desktop's system tray (an XEmbed notification area), kept there
// across restarts of the tray.
//
// Mouse buttons over the icon reach the callback window as a posted message
// (ui/kit/PostedMessage.h): the event's id is the callback message given to Create, its int
// the icon id and its extra long the TrayMouse action. A double click arrives as the
// desktop reports it: down, up, down, double click, up. The pointer merely moving over the
// icon is not reported.
//
// State: "enabled" means a tray exists on the screen; it is decided by Create and becomes
// true later when a tray appears. "Hidden" means the icon is not shown, "removed" that it is
// not registered with a tray (both true until an add succeeds), "re-add pending" that an
// add is owed and is made as soon as a tray is there.
//
// User-interface thread only. Construction touches no window and no display, so the object
// may be built before the toolkit starts; Create needs a running toolkit.
class CSystemTray : public wxEvtHandler {
public:
    // The longest tooltip, in characters; longer ones are cut.
    static constexpr size_t MaxTooltip = 127;

    CSystemTray();
    // Removes the icon.
    ~CSystemTray() override;
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // Prepares the icon and, unless `hidden`, adds it to the tray. `callbackWindow` receives
    // the mouse messages (this object itself when it is null; messages for a window that no
    // longer exists are dropped); `icon` may be invalid (an empty slot until SetIcon).
    // Answers false, not enabled, when no tray exists: every operation then answers false
    // until a tray appears, which adds the icon (with what SetIcon stored meanwhile) unless it
    // was created hidden. Otherwise answers whether the add succeeded (true when hidden).
    // A second Create answers false and changes nothing.
    bool Create(wxWindow* callbackWindow, int callbackMessage, const wxString& tooltip, const wxBitmap& icon,
                int iconId, bool hidden);

    // Takes the program bitmap registered under `resourceId` (ui/kit/ResourceBitmaps.h) as
    // the icon and shows it unless the icon is hidden. Answers false for an id without a
    // bitmap (nothing changes) and when not enabled (the icon is still stored for a later
    // add), true when hidden, else whether the tray took it.
    bool SetIcon(int resourceId);

    // Takes the icon out of the tray; then it is hidden and removed, and no tray's arrival
    // brings it back. Answers whether an icon was taken out (false when not enabled or
    // nothing was registered).
    bool RemoveIcon();

    // Adds the icon again when an add is owed and a tray is there.
    void InstallIconPending();

    // Whether the icon sits in a tray that exists now, so that a window hidden by the user
    // can be brought back through it. Without one the main window minimises instead of
    // hiding.
    bool HasTray() const;

    bool IsEnabled() const { return enabled_; }
    bool IsHidden() const { return hidden_; }
    bool IsRemoved() const { return removed_; }
    int GetIconId() const { return iconId_; }
    // The stored icon and tooltip, the ones every add shows.
    const wxBitmap& GetIcon() const { return icon_; }
    const wxString& GetTooltip() const { return tooltip_; }

private:
    // Asks the tray to show the stored icon and tooltip; false when there is no tray.
    bool addToTray();
    // A new tray announced itself: what is owed to it is made up.
    void onTrayArrived();
    // A mouse action over the shown icon, for the callback window.
    void onMouse(long action);

    // Declared before the hooks on its status icon, so that they are undone before it goes.
    std::unique_ptr<wxTaskBarIcon> taskBarIcon_;
    std::unique_ptr<TrayMouseHook> mouseHook_;
    std::unique_ptr<TrayManagerWatch> managerWatch_;
    // Null once the window is destroyed.
    wxWeakRef<wxWindow> callbackWindow_;
    // No window was given: the messages come to this object.
    bool ownCallback_ = false;
    int callbackMessage_ = 0;
    int iconId_ = 0;
    wxBitmap icon_;
    wxString tooltip_;
    bool created_ = false;
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = true;
    bool readdPending_ = false;
};

} // namespace orvane
