#pragma once

#include "ui/DialogUnits.h"

#include <wx/panel.h>

#include <array>
#include <functional>

namespace orvane {

class CIconButton;
class ClientApp;
class ContactRecord;
class IModule;
class Skin;

// The column of module buttons at the right edge of the main frame: one picture button per
// module of the application's module list that supplies a bitmap, at most eight, in list
// order, each enabled only while its module accepts the contact selected in the contact
// tree, and starting the module's action on that contact when clicked. Below the buttons a
// disabled filler button in the skin's background colour takes the rest of the column.
//
// Layout (the frame docks the bar; this is its best size): 32 by 292 dialog units of the
// "MS Sans Serif" 8 font (through the font-face table); buttons 4005 to 4012 of 32 by 32
// units stacked from the top; the filler is control 1000.
//
// Modules and bitmaps: IModule::getBitmap answers a wxBitmap* that stays the module's (the
// module libraries share the program's wx); RGB(255, 0, 255) is transparent in it. The
// module's display name is the button's tooltip.
//
// Populating: at the bar's first wxEVT_UPDATE_UI (wx sends it at idle time while the bar is
// shown) after which some module had a bitmap, and never again; the frame lets no idle time
// pass between creating the bar and loading the modules. Modules loaded later get no
// button. Until then, and for buttons without a module, the buttons are hidden.
//
// The enabled states follow UpdateButtons, which the frame calls when the tree's selection
// changes (and so when the tree is rebuilt). A click acts only when the module accepts the
// selected contact at the moment of the click, so a button left enabled by a change the bar
// was not told of starts nothing.
//
// User-interface thread only.
class CActionsBar : public wxPanel {
public:
    static constexpr int BarId = 4001;
    static constexpr int FirstButtonId = 4005;
    static constexpr int ButtonCount = 8;
    static constexpr int FillerId = 1000;

    // The contact selected in the contact tree, or NULL.
    using ContactSource = std::function<ContactRecord*()>;

    CActionsBar(ClientApp& app, Skin& skin);
    ~CActionsBar() override;

    // Creates the window and its nine buttons; false when the window could not be made.
    bool Create(wxWindow* parent, wxWindowID id = BarId);

    void SetContactSource(ContactSource source) { contactSource_ = std::move(source); }

    // Assigns the buttons (does nothing once some module got one), hides the unused ones,
    // dresses the filler, then UpdateButtons.
    void Populate();
    // Each button in use: enabled exactly when its module's canActOn accepts the selected
    // contact (NULL when none).
    void UpdateButtons();

    bool IsPopulated() const { return populated_; }
    // The index of the last button in use, -1 when none.
    int GetLastIndex() const { return lastIndex_; }
    CIconButton* GetButton(int index) const;
    IModule* GetModule(int index) const;
    CIconButton* GetFiller() const { return filler_; }

    // Dialog units of the bar's font, in pixels.
    wxSize DialogToPixels(const wxSize& units) const;

protected:
    wxSize DoGetBestSize() const override;

private:
    void SetupButton(int index, IModule& module, void* bitmap);
    void placeFiller();

    void OnUpdateCmdUI(wxUpdateUIEvent& event);
    void OnButton(wxCommandEvent& event);
    void OnSize(wxSizeEvent& event);

    ClientApp& app_;
    Skin& skin_;
    std::array<IModule*, ButtonCount> modules_{};
    // Owned by the window.
    std::array<CIconButton*, ButtonCount> buttons_{};
    CIconButton* filler_ = nullptr;
    int lastIndex_ = -1;
    bool populated_ = false;
    // Average letter width and height of the bar's font.
    DialogUnits units_{0, 0};
    ContactSource contactSource_;
};

} // namespace orvane
