#pragma once

#include "core/module/ModuleInterfaces.h"
#include "ui/kit/CTextFont.h"

#include <wx/control.h>
#include <wx/weakref.h>

#include <string>

namespace orvane {

// A line of static text with its own font and colours, an optional border of one-pixel
// frames, a shadow or outline effect, and a link mode: a label with a URL, or with a target
// and message to notify, draws in the link colour, shows the hand cursor and, on a left
// click, opens the URL (openUrl of UrlOpener.h; a bell when it cannot) and then posts the
// message (EVT_POSTED_MESSAGE, parameters 0 and 0) to the target.
//
// Transparent by default: the parent's picture shows around the text. GTK draws a window's
// parent before the window itself on every repaint, so a transparent label paints only its
// border and text and the parent's background is already there. An opaque label fills its
// area with the background colour, drawn off-screen and copied in one step.
//
// The font starts as the window's own (the parent's font when it set one), in the text
// colour. Colours, alignment, border, effects and the link targets take effect at the next
// paint; the setters that change text, font or transparency redraw at once.
//
// User-interface thread only.
class CTextLabel : public wxControl {
public:
    CTextLabel(wxWindow* parent, wxWindowID id, const wxString& label = wxString(),
               const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize);

    // The text to draw; while empty, the window's label is drawn.
    void SetText(const wxString& text);
    const wxString& GetText() const { return text_; }
    // wx's window-alpha setter stays reachable beside this one.
    using wxControl::SetTransparent;
    void SetTransparent(bool transparent);
    bool isTransparent() const { return transparent_; }
    // A character height in pixels.
    void SetFontSize(int size);
    void SetFontName(const std::string& face);
    void SetFontBold(bool bold);
    // The font's height field: negative, as SetFontSize sets it.
    int GetFontSize() const { return font_.description().height; }
    const CTextFont& font() const { return font_; }

    // -1 left, 0 centred, 1 right; any other negative is left, any other positive right.
    void SetAlignment(int alignment) { alignment_ = alignment; }
    void SetTextColor(ColorRef color);
    void SetBackgroundColor(ColorRef color) { background_ = color; }
    void SetBorderColor(ColorRef color) { border_ = color; }
    void SetShadowColor(ColorRef color) { shadowColor_ = color; }
    void SetLinkColor(ColorRef color) { link_ = color; }
    void SetOutlineColors(ColorRef light, ColorRef dark);
    // How many one-pixel frames, each one pixel further in.
    void SetBorderWidth(int width)
    {
        borderWidth_ = width > 0 ? width : 0;
        InvalidateBestSize();
    }
    void SetShadow(bool shadow) { shadow_ = shadow; }
    void SetShadowOffset(int offset) { shadowOffset_ = offset; }
    // The text ringed in the light outline colour one pixel out and in the dark one two
    // pixels out: an embossed edge that reads on any background.
    void SetOutline(bool outline) { outline_ = outline; }
    void SetUrl(const std::string& url) { url_ = url; }
    const std::string& GetUrl() const { return url_; }
    // Whom to post `message` when clicked; a null target or message 0 posts nothing. The
    // target is watched: one destroyed before the click is not posted to.
    void SetNotify(wxEvtHandler* target, int message);

    bool isLink() const;

    // Repaints now: when transparent, the parent under the label first, so that no earlier
    // text stays visible through it.
    void Redraw();

    // Draws the whole label as a paint would, into any context of the client size. A
    // transparent label leaves what the context holds outside its border and text.
    void render(wxDC& dc) const;

protected:
    wxSize DoGetBestSize() const override;

private:
    void onPaint(wxPaintEvent& event);
    void onMouseMove(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    // The hand over a link, the ordinary arrow elsewhere.
    void updateCursor();
    // The text to draw, on one line.
    wxString shownText() const;
    void drawText(wxDC& dc, const wxString& text, int x, int y, ColorRef color) const;

    CTextFont font_;
    int alignment_ = -1;
    wxString text_;
    ColorRef textColor_;
    ColorRef background_;
    ColorRef border_;
    ColorRef shadowColor_;
    ColorRef link_ = 0xff0000;
    ColorRef outlineLight_;
    ColorRef outlineDark_;
    std::string url_;
    wxWeakRef<wxEvtHandler> notifyTarget_;
    int notifyMessage_ = 0;
    int borderWidth_ = 0;
    bool transparent_ = true;
    bool shadow_ = false;
    int shadowOffset_ = 1;
    bool outline_ = false;
    bool handShown_ = false;
};

} // namespace orvane
