#include "ui/kit/CTextLabel.h"

#include "ui/kit/CMemDC.h"
#include "ui/kit/PostedMessage.h"
#include "ui/kit/Skin.h"
#include "ui/kit/UrlOpener.h"

#include <wx/dcclient.h>
#include <wx/utils.h>

namespace orvane {

CTextLabel::CTextLabel(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& position,
                       const wxSize& size)
    : wxControl(parent, id, position, size, wxBORDER_NONE),
      textColor_(systemColor(wxSYS_COLOUR_BTNTEXT)),
      background_(systemColor(wxSYS_COLOUR_BTNFACE)),
      border_(textColor_),
      shadowColor_(systemColor(wxSYS_COLOUR_3DHIGHLIGHT)),
      outlineLight_(systemColor(wxSYS_COLOUR_3DHIGHLIGHT)),
      outlineDark_(systemColor(wxSYS_COLOUR_3DDKSHADOW))
{
    // Whatever is not painted here is the parent's picture, never a themed fill.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetLabel(label);
    font_.copyFrom(GetFont());
    font_.SetColor(textColor_);
    SetInitialSize(size);
    Bind(wxEVT_PAINT, &CTextLabel::onPaint, this);
    Bind(wxEVT_ENTER_WINDOW, &CTextLabel::onMouseMove, this);
    Bind(wxEVT_MOTION, &CTextLabel::onMouseMove, this);
    Bind(wxEVT_LEFT_UP, &CTextLabel::onLeftUp, this);
}

void CTextLabel::SetText(const wxString& text)
{
    text_ = text;
    InvalidateBestSize();
    Redraw();
}

void CTextLabel::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    Redraw();
}

void CTextLabel::SetFontSize(int size)
{
    font_.SetSize(size);
    InvalidateBestSize();
    Redraw();
}

void CTextLabel::SetFontName(const std::string& face)
{
    font_.SetFaceName(face);
    InvalidateBestSize();
    Redraw();
}

void CTextLabel::SetFontBold(bool bold)
{
    font_.SetBold(bold);
    InvalidateBestSize();
    Redraw();
}

void CTextLabel::SetTextColor(ColorRef color)
{
    textColor_ = color;
    font_.SetColor(color);
}

void CTextLabel::SetOutlineColors(ColorRef light, ColorRef dark)
{
    outlineLight_ = light;
    outlineDark_ = dark;
}

void CTextLabel::SetNotify(wxEvtHandler* target, int message)
{
    notifyTarget_ = target;
    notifyMessage_ = message;
}

bool CTextLabel::isLink() const
{
    return !url_.empty() || (notifyTarget_ && notifyMessage_ != 0);
}

void CTextLabel::Redraw()
{
    wxWindow* parent = GetParent();
    if (transparent_ && parent) {
        parent->RefreshRect(GetRect(), true);
        parent->Update();
    }
    Refresh();
    Update();
}

wxString CTextLabel::shownText() const
{
    wxString text = text_.empty() ? GetLabel() : text_;
    // One line: a line break would otherwise start a second one below the first.
    text.Replace("\r", " ");
    text.Replace("\n", " ");
    return text;
}

void CTextLabel::drawText(wxDC& dc, const wxString& text, int x, int y, ColorRef color) const
{
    dc.SetTextForeground(colourOf(color));
    dc.DrawText(text, x, y);
}

void CTextLabel::render(wxDC& dc) const
{
    const wxSize size = GetClientSize();
    const int width = size.GetWidth();
    const int height = size.GetHeight();
    dc.SetPen(*wxTRANSPARENT_PEN);
    if (!transparent_) {
        dc.SetBrush(wxBrush(colourOf(background_)));
        dc.DrawRectangle(0, 0, width, height);
    }
    // Frames as one-pixel fills: a drawn line's ends differ between back-ends, a fill's do not.
    dc.SetBrush(wxBrush(colourOf(border_)));
    for (int i = 0; i < borderWidth_ && 2 * i < width && 2 * i < height; ++i) {
        const int w = width - 2 * i;
        const int h = height - 2 * i;
        dc.DrawRectangle(i, i, w, 1);
        dc.DrawRectangle(i, i + h - 1, w, 1);
        dc.DrawRectangle(i, i, 1, h);
        dc.DrawRectangle(i + w - 1, i, 1, h);
    }

    const wxString text = shownText();
    if (text.empty())
        return;
    dc.SetFont(font_.font());
    wxCoord textWidth = 0;
    wxCoord textHeight = 0;
    dc.GetTextExtent(text, &textWidth, &textHeight);
    int x = (width - textWidth) / 2;
    if (alignment_ < 0)
        x = borderWidth_ + 2;
    else if (alignment_ > 0)
        x = width - textWidth - borderWidth_ - 2;
    const int y = (height - textHeight) / 2;

    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    if (shadow_)
        drawText(dc, text, x + shadowOffset_, y + shadowOffset_, shadowColor_);
    if (outline_) {
        // The outer ring first, so that the inner one lies over it.
        for (const auto& [color, distance] : {std::pair{outlineDark_, 2}, std::pair{outlineLight_, 1}}) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (dx || dy)
                        drawText(dc, text, x + dx * distance, y + dy * distance, color);
                }
            }
        }
    }
    drawText(dc, text, x, y, isLink() ? link_ : textColor_);
}

wxSize CTextLabel::DoGetBestSize() const
{
    // Measured by the window, which needs no context: it may not be shown yet.
    int width = 0;
    int height = 0;
    GetTextExtent(shownText(), &width, &height, nullptr, nullptr, &font_.font());
    return wxSize(width + 2 * (borderWidth_ + 2), height + 2 * borderWidth_);
}

void CTextLabel::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    if (transparent_) {
        // GTK has drawn the parent here already, and buffers the whole window's paint.
        render(dc);
        return;
    }
    const wxRect area(GetClientSize());
    CMemDC memory(dc, &area);
    render(memory.dc());
}

void CTextLabel::updateCursor()
{
    const bool hand = isLink();
    if (hand == handShown_)
        return;
    handShown_ = hand;
    SetCursor(hand ? wxCursor(wxCURSOR_HAND) : wxNullCursor);
}

void CTextLabel::onMouseMove(wxMouseEvent& event)
{
    updateCursor();
    event.Skip();
}

void CTextLabel::onLeftUp(wxMouseEvent& event)
{
    event.Skip();
    if (!isLink() || !wxRect(GetClientSize()).Contains(event.GetPosition()))
        return;
    if (!url_.empty()) {
        if (openUrl(url_))
            Redraw();
        else
            wxBell();
    }
    if (notifyTarget_ && notifyMessage_ != 0)
        postMessage(*notifyTarget_, notifyMessage_, 0, 0);
}

} // namespace orvane
