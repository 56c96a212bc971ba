#include "ui/kit/CSkinButton.h"

#include "ui/kit/CMemDC.h"
#include "ui/kit/Edges.h"
#include "ui/kit/Skin.h"
#include "ui/kit/WindowShape.h"

#include <wx/dcclient.h>
#include <wx/image.h>

#include <algorithm>

namespace orvane {

namespace {

constexpr ColorRef White = 0xFFFFFF;

void loadOrClear(CSkinBitmap& bitmap, int resourceId)
{
    if (resourceId == 0 || !bitmap.LoadBitmap(resourceId))
        bitmap.Attach(wxBitmap());
}

} // namespace

CSkinButton::CSkinButton(wxWindow* parent, wxWindowID id, const wxString& label, Kind kind,
                         const wxPoint& position, const wxSize& size, long style)
    : wxControl(parent, id, position, size, style | wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      kind_(kind),
      textColor_(systemColor(wxSYS_COLOUR_BTNTEXT))
{
    // Every pixel is painted here; erasing first would only flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetLabel(label);
    SetInitialSize(size);
    Bind(wxEVT_PAINT, &CSkinButton::onPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CSkinButton::onLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CSkinButton::onLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CSkinButton::onLeftUp, this);
    Bind(wxEVT_MOTION, &CSkinButton::onMotion, this);
    Bind(wxEVT_ENTER_WINDOW, &CSkinButton::onMotion, this);
    Bind(wxEVT_LEAVE_WINDOW, &CSkinButton::onLeave, this);
    Bind(wxEVT_SET_FOCUS, &CSkinButton::onSetFocus, this);
    Bind(wxEVT_KILL_FOCUS, &CSkinButton::onKillFocus, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CSkinButton::onCaptureLost, this);
    Bind(wxEVT_KEY_DOWN, &CSkinButton::onKeyDown, this);
}

CSkinButton::~CSkinButton()
{
    if (HasCapture())
        ReleaseMouse();
}

void CSkinButton::SetBitmaps(int normal, int pressed, int hover, int disabled, int focus, bool regionOn, bool edges,
                             int textOffset, int regionMode)
{
    loadOrClear(normalBitmap_, normal);
    loadOrClear(pressedBitmap_, pressed);
    loadOrClear(hoverBitmap_, hover);
    loadOrClear(disabledBitmap_, disabled);
    loadOrClear(focusBitmap_, focus);
    if (disabledBitmap_.isEmpty())
        disabledBitmap_ = normalBitmap_;
    edges_ = edges;
    textOffset_ = std::max(0, textOffset);

    // A shape left from earlier bitmaps would cut the new ones wrongly.
    region_ = wxRegion();
    maskBitmap_.Attach(wxBitmap());
    if (regionOn && !normalBitmap_.isEmpty() && (regionMode == 0 || regionMode == 1)) {
        maskBitmap_ = normalBitmap_;
        maskBitmap_.MakeMask(KeyColor);
        const wxSize client = GetClientSize();
        if (regionMode == 1 && client.GetWidth() > 0 && client.GetHeight() > 0 &&
            maskBitmap_.sizeDiffers(client.GetWidth(), client.GetHeight())) {
            // Nearest-pixel stretching keeps the mask purely black and white.
            const wxImage stretched = maskBitmap_.bitmap().ConvertToImage().Scale(
                client.GetWidth(), client.GetHeight(), wxIMAGE_QUALITY_NEAREST);
            maskBitmap_.Attach(wxBitmap(stretched, 24));
        }
        region_ = maskBitmap_.CreateRegion(0, 0, White);
        SetSize(wxSize(maskBitmap_.GetWidth(), maskBitmap_.GetHeight()));
    }
    setWindowShape(*this, region_);
    InvalidateBestSize();
    Refresh();
}

void CSkinButton::SetCheck(bool checked)
{
    const bool becomes = kind_ != PushButton && checked;
    if (becomes == checked_)
        return;
    checked_ = becomes;
    Refresh();
    if (checked_ && kind_ == RadioButton)
        uncheckGroup();
}

void CSkinButton::SetTextColor(ColorRef color)
{
    textColor_ = color;
    Refresh();
}

bool CSkinButton::isOver(const wxPoint& point) const
{
    if (!GetClientRect().Contains(point))
        return false;
    return !region_.IsOk() || region_.IsEmpty() || region_.Contains(point) == wxInRegion;
}

wxSize CSkinButton::DoGetBestSize() const
{
    if (!normalBitmap_.isEmpty())
        return wxSize(normalBitmap_.GetWidth(), normalBitmap_.GetHeight());
    const wxSize text = GetTextExtent(GetLabelText());
    return wxSize(text.GetWidth() + 2 * (textOffset_ + 2) + 16, text.GetHeight() + 10);
}

void CSkinButton::uncheckGroup()
{
    wxWindow* parent = GetParent();
    if (!parent)
        return;
    const wxWindowList& siblings = parent->GetChildren();
    // The group's members: from the nearest group start at or before this one up to the next
    // group start after it.
    std::vector<CSkinButton*> group;
    bool passedThis = false;
    for (wxWindow* sibling : siblings) {
        auto* button = dynamic_cast<CSkinButton*>(sibling);
        if (!button)
            continue;
        if (button->HasFlag(GroupStart)) {
            if (passedThis)
                break;
            group.clear();
        }
        if (button == this)
            passedThis = true;
        group.push_back(button);
    }
    for (CSkinButton* button : group) {
        if (button != this && button->kind_ == RadioButton && button->checked_) {
            button->checked_ = false;
            button->Refresh();
        }
    }
}

void CSkinButton::drawCaption(wxDC& dc, const wxRect& area, ColorRef color) const
{
    const wxString text = GetLabelText();
    if (text.empty())
        return;
    dc.SetTextForeground(colourOf(color));
    const wxSize extent = dc.GetTextExtent(text);
    // Centred on one line; a caption wider than its place is clipped on both sides alike.
    const int x = area.GetLeft() + (area.GetWidth() - extent.GetWidth()) / 2;
    const int y = area.GetTop() + (area.GetHeight() - extent.GetHeight()) / 2;
    wxDCClipper clip(dc, area);
    dc.DrawText(text, x, y);
}

void CSkinButton::render(wxDC& dc) const
{
    const wxRect client(GetClientSize());
    if (client.IsEmpty())
        return;
    dc.SetFont(GetFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const ColorRef face = systemColor(wxSYS_COLOUR_BTNFACE);
    const int inset = textOffset_ + 2;
    wxRect caption(client.GetLeft() + inset, client.GetTop(), client.GetWidth() - 2 * inset, client.GetHeight());

    if (!IsEnabled()) {
        // The key colour shows what lies under the bitmap: the face colour.
        fillSolidRect(dc, client, face);
        disabledBitmap_.DrawTransparent(dc, 0, 0, client.GetWidth(), client.GetHeight(), KeyColor);
        if (edges_)
            drawEdge(dc, client, false);
        drawCaption(dc, caption, systemColor(wxSYS_COLOUR_3DHIGHLIGHT));
        caption.Offset(-1, -1);
        drawCaption(dc, caption, systemColor(wxSYS_COLOUR_GRAYTEXT));
        return;
    }

    if (isPushed() || checked_) {
        if (pressedBitmap_.isEmpty())
            fillSolidRect(dc, client, face);
        else
            pressedBitmap_.Draw(dc, 0, 0, client.GetWidth(), client.GetHeight());
        caption.Offset(1, 1);
        if (edges_)
            drawEdge(dc, client, true);
    } else {
        const CSkinBitmap* picture = &normalBitmap_;
        if (hover_ && !hoverBitmap_.isEmpty())
            picture = &hoverBitmap_;
        else if (focused_ && !focusBitmap_.isEmpty())
            picture = &focusBitmap_;
        if (picture->isEmpty())
            fillSolidRect(dc, client, face);
        else
            picture->Draw(dc, 0, 0, client.GetWidth(), client.GetHeight());
        if (edges_)
            drawEdge(dc, client, false);
    }
    if (focused_ && textOffset_ > 0)
        drawFocusRect(dc, wxRect(client).Deflate(textOffset_), textColor_);
    drawCaption(dc, caption, textColor_);
}

void CSkinButton::onPaint(wxPaintEvent&)
{
    wxPaintDC target(this);
    if (region_.IsOk() && !region_.IsEmpty())
        target.SetDeviceClippingRegion(region_);
    const wxRect client(GetClientSize());
    CMemDC memory(target, &client);
    render(memory.dc());
}

void CSkinButton::onLeftDown(wxMouseEvent& event)
{
    if (!isOver(event.GetPosition())) {
        event.Skip();
        return;
    }
    SetFocus();
    // The hover ends while the button is held; the release decides it anew.
    hover_ = false;
    captured_ = true;
    pushed_ = true;
    if (!HasCapture())
        CaptureMouse();
    Refresh();
    event.Skip();
}

void CSkinButton::endCapture()
{
    captured_ = false;
    pushed_ = false;
    if (HasCapture())
        ReleaseMouse();
}

void CSkinButton::onLeftUp(wxMouseEvent& event)
{
    event.Skip();
    if (!captured_)
        return;
    const bool over = isOver(event.GetPosition());
    endCapture();
    hover_ = over;
    Refresh();
    if (over)
        click();
}

void CSkinButton::click()
{
    if (kind_ == CheckBox)
        SetCheck(!checked_);
    else if (kind_ == RadioButton)
        SetCheck(true);
    wxCommandEvent notice(wxEVT_BUTTON, GetId());
    notice.SetEventObject(this);
    notice.SetInt(checked_ ? 1 : 0);
    ProcessWindowEvent(notice);
}

void CSkinButton::onMotion(wxMouseEvent& event)
{
    event.Skip();
    const bool over = isOver(event.GetPosition());
    if (captured_) {
        if (over != pushed_) {
            pushed_ = over;
            Refresh();
        }
        return;
    }
    if (over != hover_) {
        hover_ = over;
        Refresh();
    }
}

void CSkinButton::onLeave(wxMouseEvent& event)
{
    event.Skip();
    if (captured_) {
        // Held: only the pushed state follows the mouse.
        if (pushed_) {
            pushed_ = false;
            Refresh();
        }
        return;
    }
    if (hover_) {
        hover_ = false;
        Refresh();
    }
}

void CSkinButton::onSetFocus(wxFocusEvent& event)
{
    event.Skip();
    focused_ = true;
    Refresh();
}

void CSkinButton::onKillFocus(wxFocusEvent& event)
{
    event.Skip();
    focused_ = false;
    if (captured_)
        endCapture();
    Refresh();
}

void CSkinButton::onCaptureLost(wxMouseCaptureLostEvent&)
{
    captured_ = false;
    pushed_ = false;
    Refresh();
}

void CSkinButton::onKeyDown(wxKeyEvent& event)
{
    if (event.GetKeyCode() != WXK_SPACE) {
        event.Skip();
        return;
    }
    if (!captured_)
        click();
}

} // namespace orvane
