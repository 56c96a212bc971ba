#include "ui/kit/CIconButton.h"

#include "ui/kit/Edges.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"
#include "ui/kit/UrlOpener.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/toplevel.h>
#include <wx/tooltip.h>

#include <algorithm>
#include <vector>

namespace orvane {

namespace {

constexpr ColorRef Black = 0x000000;

bool isKey(const unsigned char* rgb, const wxColour& key)
{
    return rgb[0] == key.Red() && rgb[1] == key.Green() && rgb[2] == key.Blue();
}

// Every pixel but the key colour's mapped through `change` (red, green, blue in place).
template <typename Change>
wxBitmap mapped(const wxBitmap& bitmap, ColorRef key, Change change)
{
    if (!bitmap.IsOk())
        return wxBitmap();
    wxImage image = bitmap.ConvertToImage();
    if (image.HasAlpha())
        image.ClearAlpha();
    const wxColour keyColour = colourOf(key);
    unsigned char* rgb = image.GetData();
    const long pixels = static_cast<long>(image.GetWidth()) * image.GetHeight();
    for (long i = 0; i < pixels; ++i, rgb += 3) {
        if (!isKey(rgb, keyColour))
            change(rgb);
    }
    return wxBitmap(image, 24);
}

// The picture with its key colour as a mask; false when no mask could be made.
bool withMask(wxBitmap& bitmap, ColorRef key)
{
    auto mask = std::make_unique<wxMask>();
    if (!mask->Create(bitmap, colourOf(key)))
        return false;
    bitmap.SetMask(mask.release());
    return true;
}

// The caption broken into lines no wider than `width` at spaces (a word wider than that
// stands on a line of its own) and at line breaks.
std::vector<wxString> wrapped(const wxDC& dc, const wxString& text, int width)
{
    std::vector<wxString> lines;
    for (const wxString& paragraph : wxSplit(text, '\n', '\0')) {
        wxString line;
        for (const wxString& word : wxSplit(paragraph, ' ', '\0')) {
            const wxString longer = line.empty() ? word : line + ' ' + word;
            if (!line.empty() && dc.GetTextExtent(longer).GetWidth() > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = longer;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

CIconButton::CIconButton(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& position,
                         const wxSize& size, long style)
    : wxControl(parent, id, position, size, style | wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      default_((style & DefaultButtonStyle) != 0),
      checkBox_((style & CheckBoxStyle) != 0)
{
    SetDefaultColors(false);
    // Every pixel is painted here; erasing first would only flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetLabel(label);
    SetInitialSize(size);
    Bind(wxEVT_PAINT, &CIconButton::onPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CIconButton::onLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CIconButton::onLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CIconButton::onLeftUp, this);
    Bind(wxEVT_MOTION, &CIconButton::onMotion, this);
    Bind(wxEVT_ENTER_WINDOW, &CIconButton::onMotion, this);
    Bind(wxEVT_LEAVE_WINDOW, &CIconButton::onLeave, this);
    Bind(wxEVT_SET_FOCUS, &CIconButton::onSetFocus, this);
    Bind(wxEVT_KILL_FOCUS, &CIconButton::onKillFocus, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CIconButton::onCaptureLost, this);
    Bind(wxEVT_KEY_DOWN, &CIconButton::onKeyDown, this);
    Bind(wxEVT_SYS_COLOUR_CHANGED, &CIconButton::onSysColourChanged, this);
    // Only top-level windows hear of their activation.
    topLevel_ = wxGetTopLevelParent(this);
    if (topLevel_)
        topLevel_->Bind(wxEVT_ACTIVATE, &CIconButton::onActivate, this);
}

CIconButton::~CIconButton()
{
    // A window that goes while it holds the mouse would leave wx pointing at it.
    if (HasCapture())
        ReleaseMouse();
    if (topLevel_)
        topLevel_->Unbind(wxEVT_ACTIVATE, &CIconButton::onActivate, this);
}

// ---- settings

void CIconButton::refreshIf(bool redraw)
{
    if (redraw)
        Refresh();
}

wxBitmap CIconButton::greyCopy(const wxBitmap& bitmap, ColorRef key)
{
    return mapped(bitmap, key, [](unsigned char* rgb) {
        const auto grey = static_cast<unsigned char>(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]);
        rgb[0] = rgb[1] = rgb[2] = grey;
    });
}

wxBitmap CIconButton::darkerCopy(const wxBitmap& bitmap, ColorRef key)
{
    return mapped(bitmap, key, [](unsigned char* rgb) {
        for (int c = 0; c < 3; ++c)
            rgb[c] = static_cast<unsigned char>(rgb[c] - rgb[c] * 0.25);
    });
}

int CIconButton::SetBitmaps(int bitmapIn, ColorRef keyIn, int bitmapOut, ColorRef keyOut)
{
    in_ = Picture();
    out_ = Picture();
    InvalidateBestSize();
    Refresh();
    if (bitmapIn == 0)
        return Ok;
    in_.bitmap = resourceBitmap(bitmapIn);
    in_.key = keyIn;
    if (!in_.bitmap.IsOk()) {
        in_ = Picture();
        return BadBitmap;
    }
    // A copy of its own: the mask must not land on the registered bitmap.
    in_.bitmap = wxBitmap(in_.bitmap.ConvertToImage(), 24);
    if (bitmapOut == GreyCopy || bitmapOut == DarkerCopy) {
        // The copies keep the in picture's key colour, so it also masks them.
        out_.bitmap = bitmapOut == GreyCopy ? greyCopy(in_.bitmap, keyIn) : darkerCopy(in_.bitmap, keyIn);
        out_.key = keyIn;
    } else if (bitmapOut != 0) {
        out_.bitmap = resourceBitmap(bitmapOut);
        out_.key = keyOut;
        if (!out_.bitmap.IsOk()) {
            in_ = out_ = Picture();
            return BadBitmap;
        }
        out_.bitmap = wxBitmap(out_.bitmap.ConvertToImage(), 24);
    }
    if (!withMask(in_.bitmap, in_.key) || (out_.bitmap.IsOk() && !withMask(out_.bitmap, out_.key))) {
        in_ = out_ = Picture();
        return MaskFailed;
    }
    return Ok;
}

int CIconButton::SetPressedOffset(int style, bool redraw)
{
    switch (style) {
    case 0:
        pressedOffset_ = wxPoint(1, 1);
        break;
    case 1:
        pressedOffset_ = wxPoint(0, 2);
        break;
    default:
        return BadStyle;
    }
    refreshIf(redraw);
    return Ok;
}

int CIconButton::SetColor(int index, ColorRef color, bool redraw)
{
    if (index < 0 || index >= 6)
        return BadColorIndex;
    colors_[index] = color;
    refreshIf(redraw);
    return Ok;
}

ColorRef CIconButton::GetColor(int index) const
{
    return index >= 0 && index < 6 ? colors_[index] : 0;
}

int CIconButton::SetDefaultColors(bool redraw)
{
    const ColorRef face = systemColor(wxSYS_COLOUR_BTNFACE);
    const ColorRef text = systemColor(wxSYS_COLOUR_BTNTEXT);
    colors_[HotBackground] = colors_[NormalBackground] = colors_[FocusBackground] = face;
    colors_[HotText] = colors_[NormalText] = colors_[FocusText] = text;
    refreshIf(redraw);
    return Ok;
}

int CIconButton::SetCheck(int checked, bool redraw)
{
    if (checkBox_) {
        checked_ = checked == 1 || checked == 2;
        refreshIf(redraw);
    }
    return Ok;
}

int CIconButton::SetTooltipText(const wxString& text, bool activate)
{
    if (!tooltipMade_) {
        tooltipMade_ = true;
#ifdef __WXMSW__
        wxToolTip::SetMaxWidth(400);
#endif
        // GTK has neither a width limit nor balloons for tooltips: it wraps long tips
        // itself, and the balloon request stands for platforms that have them.
    }
    if (activate)
        SetToolTip(text);
    else
        UnsetToolTip();
    return Ok;
}

int CIconButton::SetURL(const std::string& url)
{
    url_ = url;
    return Ok;
}

void CIconButton::SetMenu(std::unique_ptr<wxMenu> menu, wxWindow* receiver)
{
    menu_ = std::move(menu);
    menuReceiver_ = menu_ ? receiver : nullptr;
}

void CIconButton::SetFlat(bool flat, bool redraw)
{
    flat_ = flat;
    if (!flat_)
        hot_ = false;
    refreshIf(redraw);
}

void CIconButton::SetAlign(Alignment alignment, bool redraw)
{
    alignment_ = alignment;
    InvalidateBestSize();
    refreshIf(redraw);
}

void CIconButton::SetDrawBorder(bool drawBorder, bool redraw)
{
    drawBorder_ = drawBorder;
    refreshIf(redraw);
}

void CIconButton::SetFlatFocus(bool flatFocus, bool redraw)
{
    flatFocus_ = flatFocus;
    refreshIf(redraw);
}

void CIconButton::SetDefaultButton(bool isDefault, bool redraw)
{
    default_ = isDefault;
    refreshIf(redraw);
}

void CIconButton::SetTransparentBackground(bool transparent, bool redraw)
{
    transparent_ = transparent;
    backgroundCopy_ = wxBitmap();
    refreshIf(redraw);
}

bool CIconButton::isPressed() const
{
    return (captured_ && pushed_) || (checkBox_ && checked_) || menuShown_;
}

bool CIconButton::Enable(bool enable)
{
    const bool wasFocused = focused_;
    if (!wxControl::Enable(enable))
        return false;
    if (!enable) {
        endHover();
        if (captured_)
            endCapture();
        // Keyboard focus must not stay on a window that cannot take input.
        if (wasFocused || HasFocus()) {
            focused_ = false;
            if (!Navigate() && GetParent())
                GetParent()->SetFocus();
        }
    }
    Refresh();
    return true;
}

// ---- geometry

wxSize CIconButton::imageSize() const
{
    const wxBitmap& bitmap = in_.bitmap;
    return bitmap.IsOk() ? wxSize(bitmap.GetWidth(), bitmap.GetHeight()) : wxSize(0, 0);
}

void CIconButton::layout(const wxRect& rect, wxRect& imageRect, wxRect& textRect) const
{
    const wxSize image = imageSize();
    textRect = rect;
    imageRect = wxRect(wxPoint(rect.GetLeft() + (rect.GetWidth() - image.GetWidth()) / 2,
                               rect.GetTop() + (rect.GetHeight() - image.GetHeight()) / 2),
                       image);
    if (image.GetWidth() == 0 || GetLabelText().empty())
        return;
    switch (alignment_) {
    case ImageLeft:
        imageRect.x = rect.GetLeft() + gap_.GetWidth();
        textRect.SetLeft(imageRect.GetRight() + 1);
        textRect.SetRight(rect.GetRight());
        break;
    case ImageTop:
        imageRect.y = rect.GetTop() + gap_.GetHeight();
        textRect.SetTop(imageRect.GetBottom() + 1);
        textRect.SetBottom(rect.GetBottom());
        break;
    case ImageRight:
        imageRect.x = rect.GetRight() + 1 - gap_.GetWidth() - image.GetWidth();
        textRect.SetLeft(rect.GetLeft());
        textRect.SetRight(imageRect.GetLeft() - 1);
        break;
    }
}

wxSize CIconButton::DoGetBestSize() const
{
    const wxSize text = GetTextExtent(GetLabelText());
    const wxSize image = imageSize();
    const int padding = 2 * 6;
    if (alignment_ == ImageTop)
        return wxSize(std::max(text.GetWidth(), image.GetWidth()) + padding,
                      image.GetHeight() + gap_.GetHeight() + text.GetHeight() + padding);
    return wxSize(image.GetWidth() + gap_.GetWidth() + text.GetWidth() + padding,
                  std::max(text.GetHeight(), image.GetHeight()) + padding);
}

// ---- drawing

const CIconButton::Picture* CIconButton::currentPicture() const
{
    if (!in_.bitmap.IsOk())
        return nullptr;
    const bool showIn = checkBox_ ? checked_ : hot_ || isPressed();
    if (!showIn && out_.bitmap.IsOk())
        return &out_;
    return &in_;
}

void CIconButton::render(wxDC& dc)
{
    DrawItem(dc);
}

void CIconButton::DrawItem(wxDC& dc)
{
    wxRect rect(GetClientSize());
    if (rect.IsEmpty())
        return;
    dc.SetFont(GetFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    if (transparent_) {
        if (!backgroundCopy_.IsOk())
            backgroundCopy_ = backgroundPicture();
        if (backgroundCopy_.IsOk())
            dc.DrawBitmap(backgroundCopy_, 0, 0, false);
        else
            OnDrawBackground(dc, rect);
    } else {
        OnDrawBackground(dc, rect);
    }
    OnDrawBorder(dc, rect);

    wxRect imageRect;
    wxRect textRect;
    layout(rect, imageRect, textRect);
    const bool pressed = isPressed();
    if (pressed && !checkBox_)
        imageRect.Offset(pressedOffset_);
    DrawTheIcon(dc, rect, imageRect);
    DrawTheBitmap(dc, rect, imageRect);
    if (pressed)
        textRect.Offset(pressedOffset_);
    DrawTheText(dc, textRect);

    if (focused_ && (!flat_ || flatFocus_)) {
        const ColorRef dots = GetColor(hot_ || pressed ? HotText : FocusText);
        drawFocusRect(dc, wxRect(GetClientSize()).Deflate(3), dots);
    }
}

void CIconButton::OnDrawBackground(wxDC& dc, wxRect& rect)
{
    if (!flat_ && (focused_ || default_)) {
        draw3dRect(dc, rect, Black, Black);
        rect.Deflate(1);
    }
    ColorRef fill = colors_[NormalBackground];
    if (hot_ || isPressed())
        fill = colors_[HotBackground];
    else if (focused_)
        fill = colors_[FocusBackground];
    fillSolidRect(dc, rect, fill);
}

void CIconButton::OnDrawBorder(wxDC& dc, wxRect& rect)
{
    const bool pressed = isPressed();
    const ColorRef highlight = systemColor(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef shadow = systemColor(wxSYS_COLOUR_BTNSHADOW);
    if (!flat_) {
        if (pressed) {
            draw3dRect(dc, rect, shadow, shadow);
        } else {
            draw3dRect(dc, rect, highlight, systemColor(wxSYS_COLOUR_3DDKSHADOW));
            draw3dRect(dc, wxRect(rect).Deflate(1), systemColor(wxSYS_COLOUR_3DLIGHT), shadow);
        }
        return;
    }
    if (!drawBorder_)
        return;
    if (pressed)
        draw3dRect(dc, rect, shadow, highlight);
    else if (hot_)
        draw3dRect(dc, rect, highlight, shadow);
}

void CIconButton::DrawTheIcon(wxDC&, const wxRect&, const wxRect&)
{
    // No operation gives the button an icon; the step stays for derived buttons.
}

void CIconButton::DrawTheBitmap(wxDC& dc, const wxRect&, const wxRect& imageRect)
{
    const Picture* picture = currentPicture();
    if (!picture)
        return;
    if (IsEnabled())
        dc.DrawBitmap(picture->bitmap, imageRect.GetPosition(), true);
    else
        dc.DrawBitmap(picture->bitmap.ConvertToDisabled(), imageRect.GetPosition(), true);
}

void CIconButton::DrawTheText(wxDC& dc, const wxRect& textRect)
{
    const wxString text = GetLabelText();
    if (text.empty() || textRect.IsEmpty())
        return;
    const std::vector<wxString> lines = wrapped(dc, text, textRect.GetWidth());
    const int lineHeight = dc.GetCharHeight();
    const int blockHeight = lineHeight * static_cast<int>(lines.size());
    auto drawAt = [&](const wxPoint& offset, ColorRef color) {
        dc.SetTextForeground(colourOf(color));
        int y = textRect.GetTop() + (textRect.GetHeight() - blockHeight) / 2 + offset.y;
        for (const wxString& line : lines) {
            const int width = dc.GetTextExtent(line).GetWidth();
            dc.DrawText(line, textRect.GetLeft() + (textRect.GetWidth() - width) / 2 + offset.x, y);
            y += lineHeight;
        }
    };
    if (!IsEnabled()) {
        drawAt(wxPoint(1, 1), systemColor(wxSYS_COLOUR_3DHIGHLIGHT));
        drawAt(wxPoint(0, 0), systemColor(wxSYS_COLOUR_BTNSHADOW));
        return;
    }
    ColorRef color = colors_[NormalText];
    if (hot_ || isPressed())
        color = colors_[HotText];
    else if (focused_)
        color = colors_[FocusText];
    drawAt(wxPoint(0, 0), color);
}

wxBitmap CIconButton::backgroundPicture() const
{
    const wxSize size = GetClientSize();
    const wxWindow* parent = GetParent();
    if (size.GetWidth() <= 0 || size.GetHeight() <= 0 || !parent)
        return wxBitmap();
    // The parent paints a plain background (the skin's background colour); that is what lies
    // under the button.
    wxBitmap picture(size.GetWidth(), size.GetHeight(), 24);
    wxMemoryDC dc(picture);
    dc.SetBackground(wxBrush(parent->GetBackgroundColour()));
    dc.Clear();
    dc.SelectObject(wxNullBitmap);
    return picture;
}

void CIconButton::onPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    render(dc);
}

// ---- mouse, keyboard and focus

bool CIconButton::isProgramActive() const
{
    for (wxWindow* window : wxTopLevelWindows) {
        auto* topLevel = dynamic_cast<wxTopLevelWindow*>(window);
        if (topLevel && topLevel->IsActive())
            return true;
    }
    return false;
}

void CIconButton::endHover()
{
    if (!hot_)
        return;
    hot_ = false;
    Refresh();
}

void CIconButton::onMotion(wxMouseEvent& event)
{
    event.Skip();
    const bool over = GetClientRect().Contains(event.GetPosition());
    if (captured_ && over != pushed_) {
        pushed_ = over;
        Refresh();
    }
    if (!flat_)
        return;
    // A button pressed elsewhere and dragged over this one must not light it up.
    if (event.LeftIsDown() && !hot_)
        return;
    if (over && (trackWhenInactive_ || isProgramActive())) {
        if (!hot_) {
            hot_ = true;
            Refresh();
        }
    } else {
        endHover();
    }
}

void CIconButton::onLeave(wxMouseEvent& event)
{
    event.Skip();
    if (captured_ && pushed_) {
        pushed_ = false;
        Refresh();
    }
    endHover();
}

void CIconButton::onLeftDown(wxMouseEvent& event)
{
    event.Skip();
    if (!GetClientRect().Contains(event.GetPosition()))
        return;
    SetFocus();
    captured_ = true;
    pushed_ = true;
    if (!HasCapture())
        CaptureMouse();
    Refresh();
}

void CIconButton::endCapture()
{
    captured_ = false;
    pushed_ = false;
    if (HasCapture())
        ReleaseMouse();
}

void CIconButton::onLeftUp(wxMouseEvent& event)
{
    event.Skip();
    if (!captured_)
        return;
    const bool over = GetClientRect().Contains(event.GetPosition());
    endCapture();
    Refresh();
    if (over)
        click();
}

void CIconButton::onCaptureLost(wxMouseCaptureLostEvent&)
{
    captured_ = false;
    pushed_ = false;
    Refresh();
}

void CIconButton::onKeyDown(wxKeyEvent& event)
{
    if (event.GetKeyCode() != WXK_SPACE || captured_) {
        event.Skip();
        return;
    }
    click();
}

void CIconButton::onSetFocus(wxFocusEvent& event)
{
    event.Skip();
    focused_ = true;
    Refresh();
}

void CIconButton::onKillFocus(wxFocusEvent& event)
{
    event.Skip();
    focused_ = false;
    if (captured_)
        endCapture();
    hot_ = false;
    Refresh();
}

void CIconButton::onActivate(wxActivateEvent& event)
{
    event.Skip();
    if (!event.GetActive())
        endHover();
}

void CIconButton::onSysColourChanged(wxSysColourChangedEvent& event)
{
    event.Skip();
    SetDefaultColors(false);
    backgroundCopy_ = wxBitmap();
    Refresh();
}

void CIconButton::click()
{
    SetFocus();
    if (checkBox_) {
        checked_ = !checked_;
        Refresh();
    }
    if (menu_)
        showMenu();
    else if (!url_.empty())
        openUrl(url_);
    wxCommandEvent notice(wxEVT_BUTTON, GetId());
    notice.SetEventObject(this);
    notice.SetInt(GetCheck());
    ProcessWindowEvent(notice);
}

void CIconButton::showMenu()
{
    wxMenuItem* first = menu_->GetMenuItemCount() > 0 ? menu_->FindItemByPosition(0) : nullptr;
    wxMenu* popup = first ? first->GetSubMenu() : nullptr;
    if (!popup)
        return;
    menuShown_ = true;
    Refresh();
    Update();
    const int command = TrackMenu(*popup, wxPoint(0, GetClientSize().GetHeight()));
    menuShown_ = false;
    Refresh();
    wxWindow* receiver = menuReceiver_.get();
    if (command == wxID_NONE || !receiver)
        return;
    wxCommandEvent chosen(wxEVT_MENU, command);
    chosen.SetEventObject(receiver);
    receiver->ProcessWindowEvent(chosen);
}

int CIconButton::TrackMenu(wxMenu& menu, const wxPoint& at)
{
    return GetPopupMenuSelectionFromUser(menu, at);
}

} // namespace orvane
