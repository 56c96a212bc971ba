#pragma once

#include <wx/gdicmn.h>
#include <wx/string.h>

class wxConfigBase;
class wxEvent;
class wxTopLevelWindow;

namespace orvane {

// How a window is shown. The numbers are the show commands of the window system the
// program was first written for; the profile never stores them, but they name the cases.
enum class ShowCommand : int {
    Normal = 1,
    Minimized = 2,
    Maximized = 3,
    MinimizedNoActivate = 7, // minimised, shown without taking the focus
};

// A window's placement as far as wx can carry it.
struct Placement {
    // The normal (restored) rectangle, the frame included, in screen pixels: where the window
    // is, or where it returns to from the maximised or minimised state.
    wxRect normal;
    // Normal, Maximized or Minimized.
    ShowCommand show = ShowCommand::Normal;
    // For a minimised window: it was maximised before, and restoring it maximises it again.
    bool restoreToMaximized = false;
};

// Remembers where a top-level window was: load() restores its rectangle and its minimised or
// maximised state from the profile, save() stores them. The values live in one section of
// the profile:
//
//   "Rectangle"  string   the normal rectangle as "left top right bottom", each field
//                        formatted "%04d" (so "0100 0050 0320 0600", and "-008" for -8);
//                        right and bottom are exclusive: width = right - left
//   "Iconized"   integer  1 when the window was minimised, else 0
//   "Maximized"  integer  1 when it was maximised, or minimised from the maximised state
//
// The fields are read as blank-separated decimal integers. Every text that fixed-width
// "%04d" fields ever produced reads the same way, and coordinates that take more than four
// characters (below -999, above 9999) round-trip too.
//
// A stored rectangle that cannot be read, that has no area, that lies outside the X
// coordinate range or that overlaps no display is not used: the default rectangle takes its
// place, and when that is no better either, the window keeps the rectangle it has.
//
// wx has no way to ask a maximised or minimised window for its normal rectangle, so this
// object watches the window's size, position and state events and keeps the last rectangle
// the window had while it was shown and neither maximised nor minimised; it also keeps the
// state the window was in when it was last shown, so that a hidden window (the main window
// closed to the tray) is saved as it was when the user last saw it. This relies on the
// window manager announcing a new state before or together with the geometry that comes
// with it, as openbox and other EWMH managers do.
//
// The window and the profile must outlive this object (the window may be destroyed first:
// this object then keeps what it saw last). User-interface thread only.
class WindowPlacement {
public:
    // The section when the constructor is given none.
    static const char* const DefaultSection;

    WindowPlacement(wxTopLevelWindow& window, wxConfigBase& profile, const wxString& section = DefaultSection);
    virtual ~WindowPlacement();
    WindowPlacement(const WindowPlacement&) = delete;
    WindowPlacement& operator=(const WindowPlacement&) = delete;

    // Reads the section and applies it to the window: the rectangle becomes its normal
    // rectangle, and it is maximised or minimised as stored. A hidden window stays hidden
    // (showing it is the owner's business, with showCommand()); a shown one changes at once.
    virtual void load();
    // Writes the window's placement to the section and flushes the profile. Writes nothing
    // when the window was never loaded nor shown: it has no placement worth keeping then.
    virtual void save();

    // The rectangle used when the profile has none (or none that can be used); empty, and so
    // not used, until set.
    void setDefaultRect(const wxRect& rect);
    const wxString& defaultRect() const { return defaultRect_; }

    // How the window is to be shown after the last load(): Normal, Maximized or
    // MinimizedNoActivate.
    ShowCommand showCommand() const { return showCommand_; }
    const wxString& section() const { return section_; }

    // The window's placement now (for a hidden window: as it was when last shown).
    Placement placement() const;

    // "left top right bottom" of the rectangle, each "%04d".
    static wxString formatRect(const wxRect& rect);
    // Four blank-separated decimal integers (a minus sign allowed, blanks around them) into
    // a rectangle; false for any other text, or when the width or height does not fit an int.
    static bool parseRect(const wxString& text, wxRect& rect);
    // Whether a window can be put there: a positive width and height, every coordinate within
    // X's signed 16-bit range, and some part on a display.
    static bool isUsableRect(const wxRect& rect);

private:
    void apply(const Placement& target);
    void onGeometry(wxEvent& event);
    void onDestroy(wxEvent& event);
    void observe();
    wxString key(const char* value) const;

    wxTopLevelWindow* window_; // null once the window is destroyed
    wxConfigBase& profile_;
    wxString section_;
    wxString defaultRect_;
    ShowCommand showCommand_ = ShowCommand::Normal;
    // The placement as last seen while the window was shown, or as last applied.
    Placement seen_;
    // Loaded, or seen shown: only then is there a placement to save.
    bool placed_ = false;
    // Where the window's frame goes when it is first mapped (see apply()).
    wxPoint pendingOrigin_ = wxDefaultPosition;
};

} // namespace orvane
