#include "ui/CActionsBar.h"

#include "core/app/ClientApp.h"
#include "core/contacts/ContactRecord.h"
#include "resources/ResourceIds.h"
#include "ui/DialogUnits.h"
#include "ui/kit/CIconButton.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <wx/bitmap.h>
#include <wx/font.h>

#include <algorithm>

namespace orvane {

namespace {

// The template's places, in dialog units.
constexpr int BarWidth = 32;
constexpr int BarHeight = 292;
constexpr int ButtonSize = 32;
constexpr int FillerTop = 257;
constexpr int FillerHeight = 33;

// The buttons take their pictures by resource id; a module's bitmap is lent to its button
// under an id above 16 bits, where no resource of the program lies.
constexpr int ModuleBitmapIds = 0x10000;

wxString textOf(const char* text)
{
    return wxString::FromUTF8(text ? text : "");
}

} // namespace

CActionsBar::CActionsBar(ClientApp& app, Skin& skin) : app_(app), skin_(skin)
{
}

CActionsBar::~CActionsBar() = default;

bool CActionsBar::Create(wxWindow* parent, wxWindowID id)
{
    if (!wxPanel::Create(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE))
        return false;
    SetFont(DialogUnits::dialogFont());
    units_ = DialogUnits::of(*this);
    // The bar paints no background of its own in the original; GTK always does, so it
    // paints the skin's.
    SetBackgroundColour(colourOf(skin_.backgroundColor()));

    const wxSize buttonSize = DialogToPixels(wxSize(ButtonSize, ButtonSize));
    for (int i = 0; i < ButtonCount; ++i) {
        const wxSize at = DialogToPixels(wxSize(0, ButtonSize * i));
        buttons_[static_cast<size_t>(i)] = new CIconButton(this, FirstButtonId + i, wxString::Format("M %d", i + 1),
                                                           wxPoint(at.x, at.y), buttonSize);
        // Until a module takes it.
        buttons_[static_cast<size_t>(i)]->Hide();
    }
    const wxSize fillerAt = DialogToPixels(wxSize(0, FillerTop));
    filler_ = new CIconButton(this, FillerId, wxString(), wxPoint(fillerAt.x, fillerAt.y),
                              DialogToPixels(wxSize(BarWidth, FillerHeight)));

    Bind(wxEVT_UPDATE_UI, &CActionsBar::OnUpdateCmdUI, this, GetId());
    Bind(wxEVT_BUTTON, &CActionsBar::OnButton, this, FirstButtonId, FirstButtonId + ButtonCount - 1);
    Bind(wxEVT_SIZE, &CActionsBar::OnSize, this);
    SetInitialSize(DoGetBestSize());
    return true;
}

wxSize CActionsBar::DialogToPixels(const wxSize& units) const
{
    return units_.toPixels(units);
}

wxSize CActionsBar::DoGetBestSize() const
{
    return DialogToPixels(wxSize(BarWidth, BarHeight));
}

CIconButton* CActionsBar::GetButton(int index) const
{
    return index >= 0 && index < ButtonCount ? buttons_[static_cast<size_t>(index)] : nullptr;
}

IModule* CActionsBar::GetModule(int index) const
{
    return index >= 0 && index < ButtonCount ? modules_[static_cast<size_t>(index)] : nullptr;
}

void CActionsBar::Populate()
{
    if (populated_ || !filler_)
        return;
    lastIndex_ = -1;
    const int count = app_.getModuleCount();
    for (int i = 0; i < count && lastIndex_ + 1 < ButtonCount; ++i) {
        IModule* module = app_.getModuleAt(i);
        if (!module)
            continue;
        if (void* bitmap = module->getBitmap()) {
            ++lastIndex_;
            populated_ = true;
            SetupButton(lastIndex_, *module, bitmap);
        }
    }
    for (int i = lastIndex_ + 1; i < ButtonCount; ++i)
        buttons_[static_cast<size_t>(i)]->Hide();
    filler_->Disable();
    for (int role : {CIconButton::NormalBackground, CIconButton::HotBackground, CIconButton::FocusBackground})
        filler_->SetColor(role, skin_.backgroundColor());
    placeFiller();
    UpdateButtons();
}

void CActionsBar::SetupButton(int index, IModule& module, void* bitmap)
{
    CIconButton& button = *buttons_[static_cast<size_t>(index)];
    for (int role : {CIconButton::HotBackground, CIconButton::NormalBackground, CIconButton::FocusBackground})
        button.SetColor(role, skin_.backgroundColor());

    const wxBitmap& picture = *static_cast<const wxBitmap*>(bitmap);
    bool pictured = false;
    if (picture.IsOk()) {
        const int resourceId = ModuleBitmapIds + index;
        registerResourceBitmap(resourceId, picture);
        pictured = button.SetBitmaps(resourceId, SkinKeyColor, resourceId, SkinKeyColor) == CIconButton::Ok;
    }
    // A bitmap that cannot be shown leaves the display name as the caption.
    button.SetLabel(pictured ? wxString() : textOf(module.getDisplayName()));
    button.SetTooltipBalloon(true);
    button.SetTooltipText(textOf(module.getDisplayName()), true);

    modules_[static_cast<size_t>(index)] = &module;
    button.Show();
}

void CActionsBar::UpdateButtons()
{
    ContactRecord* contact = contactSource_ ? contactSource_() : nullptr;
    for (int i = 0; i <= lastIndex_; ++i)
        buttons_[static_cast<size_t>(i)]->Enable(modules_[static_cast<size_t>(i)]->canActOn(contact));
}

void CActionsBar::placeFiller()
{
    if (!filler_)
        return;
    const wxSize client = GetClientSize();
    if (lastIndex_ < 0) {
        filler_->SetSize(0, 0, client.x, client.y);
        return;
    }
    // Below the last button rather than behind all of them: GTK draws a later sibling over
    // an earlier one, so a filler under the buttons would hide them.
    const wxRect last = buttons_[static_cast<size_t>(lastIndex_)]->GetRect();
    const int top = last.y + last.height;
    filler_->SetSize(last.x, top, last.width, std::max(0, client.y - top));
}

void CActionsBar::OnUpdateCmdUI(wxUpdateUIEvent&)
{
    // The buttons have no update handlers of their own: their states stay as UpdateButtons
    // set them.
    Populate();
}

void CActionsBar::OnButton(wxCommandEvent& event)
{
    const int index = event.GetId() - FirstButtonId;
    IModule* module = GetModule(index);
    if (index > lastIndex_ || !module)
        return;
    // Not asked again: a contact gone offline since the button was enabled still reaches
    // the module, which then says itself why it cannot act (the voice module's offline box).
    module->actOn(contactSource_ ? contactSource_() : nullptr);
}

void CActionsBar::OnSize(wxSizeEvent& event)
{
    event.Skip();
    placeFiller();
}

} // namespace orvane
