#include "ui/CSkinDialog.h"

#include "resources/ResourceIds.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/FontFaces.h"
#include "ui/kit/Skin.h"

#include <wx/dcclient.h>
#include <wx/font.h>

namespace orvane {

const char* const MakerNotice = "Copyright (C) The Orvane developers";

namespace {

struct BitmapSet {
    int normal;
    int pressed;
    int hover;
    int focus;
};

BitmapSet bitmapsOf(CSkinDialog::ButtonSet set)
{
    switch (set) {
    case CSkinDialog::ButtonSet::LargeDefault:
        return {BitmapLargeButtonDefault, BitmapLargeButtonPressed, BitmapLargeButtonHover, BitmapLargeButtonDefault};
    case CSkinDialog::ButtonSet::LargeOther:
        return {BitmapLargeButton, BitmapLargeButtonPressed, BitmapLargeButtonHover, BitmapLargeButtonDefault};
    case CSkinDialog::ButtonSet::SmallDefault:
        return {BitmapSmallButtonDefault, BitmapSmallButtonPressed, BitmapSmallButtonHover, BitmapSmallButtonDefault};
    case CSkinDialog::ButtonSet::SmallOther:
        return {BitmapSmallButton, BitmapSmallButtonPressed, BitmapSmallButtonHover, BitmapSmallButtonDefault};
    case CSkinDialog::ButtonSet::CheckBox:
        return {BitmapCheckBoxClear, BitmapCheckBoxTicked, 0, 0};
    case CSkinDialog::ButtonSet::Logo:
        break;
    }
    return {BitmapLogo, BitmapLogo, 0, 0};
}

// x * numerator / denominator, rounded half away from zero, as dialog units are converted.
int scaled(int x, int numerator, int denominator)
{
    return (x * numerator + denominator / 2) / denominator;
}

} // namespace

CSkinDialog::CSkinDialog(wxWindow* parent, Skin& skin, const wxString& caption, const wxSize& units)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      skin_(skin)
{
    SetFont(wxFont(8, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                   presentFace("MS Sans Serif")));
    // The dialog base units: the average width of the 52 ASCII letters (rounded) and the
    // font's height.
    int width = 0;
    int height = 0;
    GetTextExtent("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", &width, &height);
    baseUnits_ = wxSize((width / 26 + 1) / 2, height);
    SetClientSize(unitsToPixels(units));
    SetBackgroundStyle(wxBG_STYLE_PAINT);

    Bind(wxEVT_PAINT, &CSkinDialog::onPaint, this);
    Bind(wxEVT_CHAR_HOOK, &CSkinDialog::onCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &CSkinDialog::onClose, this);
}

void CSkinDialog::closeWith(int code)
{
    SetReturnCode(code);
    if (IsModal())
        EndModal(code);
    else
        Hide();
}

wxSize CSkinDialog::unitsToPixels(const wxSize& units) const
{
    return wxSize(scaled(units.x, baseUnits_.x, 4), scaled(units.y, baseUnits_.y, 8));
}

wxRect CSkinDialog::unitsToPixels(const wxRect& units) const
{
    const wxSize at = unitsToPixels(wxSize(units.x, units.y));
    return wxRect(wxPoint(at.x, at.y), unitsToPixels(units.GetSize()));
}

CTextLabel* CSkinDialog::addLabel(int id, const wxString& text, const wxRect& units, int alignment)
{
    const wxRect place = unitsToPixels(units);
    auto* label = new CTextLabel(this, id, text, place.GetPosition(), place.GetSize());
    label->SetAlignment(alignment);
    return label;
}

CFlatEdit* CSkinDialog::addEdit(int id, const wxRect& units, long style)
{
    const wxRect place = unitsToPixels(units);
    auto* edit = new CFlatEdit(this, id, wxString(), place.GetPosition(), place.GetSize(), style);
    edit->SetBorderColor(skin_.backgroundColorLight());
    edit->SetHoverBorderColor(skin_.foregroundColor());
    return edit;
}

CSkinButton* CSkinDialog::addButton(int id, const wxString& text, const wxPoint& units, ButtonSet set)
{
    const wxSize at = unitsToPixels(wxSize(units.x, units.y));
    const CSkinButton::Kind kind = set == ButtonSet::CheckBox ? CSkinButton::CheckBox : CSkinButton::PushButton;
    auto* button = new CSkinButton(this, id, text, kind, wxPoint(at.x, at.y));
    const BitmapSet bitmaps = bitmapsOf(set);
    button->SetBitmaps(bitmaps.normal, bitmaps.pressed, bitmaps.hover, 0, bitmaps.focus, true, false, 0);
    return button;
}

void CSkinDialog::enableEdit(CFlatEdit& edit, bool enable)
{
    edit.Enable(enable);
    if (enable)
        edit.SetNormalColors(systemColor(wxSYS_COLOUR_WINDOWTEXT), systemColor(wxSYS_COLOUR_WINDOW));
    else
        edit.SetNormalColors(systemColor(wxSYS_COLOUR_GRAYTEXT), skin_.backgroundColorLight());
}

void CSkinDialog::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    skin_.paintBackground(this, &dc);
}

void CSkinDialog::onCharHook(wxKeyEvent& event)
{
    if (event.GetModifiers() != wxMOD_NONE) {
        event.Skip();
        return;
    }
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        cancel();
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: {
        const auto* focused = dynamic_cast<CSkinButton*>(FindFocus());
        if (focused && focused->GetParent() == this && focused->kind() == CSkinButton::PushButton)
            clickButton(focused->GetId());
        else
            clickButton(defaultId_);
        return;
    }
    default:
        event.Skip();
    }
}

void CSkinDialog::onClose(wxCloseEvent&)
{
    cancel();
}

void CSkinDialog::clickButton(int id)
{
    auto* button = dynamic_cast<CSkinButton*>(FindWindow(id));
    if (!button || !button->IsEnabled() || !button->IsShown())
        return;
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(click);
}

wxString versionLabelText(const wxString& pattern, const wxString& version, const wxString& build)
{
    // One pass, so that nothing put in is looked at again.
    static const wxString VersionMark = "[version]";
    static const wxString BuildMark = "[build]";
    wxString text;
    for (size_t at = 0; at < pattern.length();) {
        if (pattern.compare(at, VersionMark.length(), VersionMark) == 0) {
            text += version;
            at += VersionMark.length();
        } else if (pattern.compare(at, BuildMark.length(), BuildMark) == 0) {
            text += build;
            at += BuildMark.length();
        } else {
            text += pattern[at++];
        }
    }
    return text;
}

} // namespace orvane
