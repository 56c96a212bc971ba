#include "tests/ui/ControlProbe.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/ResourceBitmaps.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int Width = 60;
constexpr int Height = 24;
constexpr ColorRef Key = 0xFF00FF;

// One bitmap a state, each a colour of its own, with the key colour in the top-left corner.
enum Bitmap : int { Normal = 7101, Pressed, Hover, Disabled, Focus };
constexpr ColorRef NormalColour = 0x3050a0;
constexpr ColorRef PressedColour = 0x203070;
constexpr ColorRef HoverColour = 0x60a0e0;
constexpr ColorRef DisabledColour = 0x909090;
constexpr ColorRef FocusColour = 0x40a040;

wxBitmap stateBitmap(ColorRef colour)
{
    wxBitmap bitmap = filledBitmap(Width, Height, colour);
    wxMemoryDC dc(bitmap);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(Key)));
    dc.DrawRectangle(0, 0, 3, 2);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

ColorRef face()
{
    return systemColor(wxSYS_COLOUR_BTNFACE);
}

class SkinButton : public ::testing::Test {
protected:
    SkinButton()
    {
        registerResourceBitmap(Normal, stateBitmap(NormalColour));
        registerResourceBitmap(Pressed, stateBitmap(PressedColour));
        registerResourceBitmap(Hover, stateBitmap(HoverColour));
        registerResourceBitmap(Disabled, stateBitmap(DisabledColour));
        registerResourceBitmap(Focus, stateBitmap(FocusColour));
        frame = new wxFrame(nullptr, wxID_ANY, "skin buttons", wxPoint(0, 0), wxSize(400, 300));
        // On a panel: a frame stretches a lone child over its whole client area.
        panel = new wxPanel(frame);
        button = make(CSkinButton::PushButton, wxPoint(10, 10), "");
        button->SetBitmaps(Normal, Pressed, Hover, Disabled, Focus, false, false, 0);
        // Shown, so that the buttons can capture the mouse.
        frame->Show();
    }
    ~SkinButton() override { frame->Destroy(); }

    CSkinButton* make(CSkinButton::Kind kind, const wxPoint& at, const wxString& label, long style = 0)
    {
        auto* made = new CSkinButton(panel, wxID_ANY, label, kind, at, wxSize(Width, Height), style);
        made->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { clicks.push_back(e.GetId()); });
        return made;
    }

    // A point of the button that the caption and the edges leave alone.
    ColorRef inside(CSkinButton& b) { return pixelAt(drawnControl(b), 6, Height / 2); }

    wxFrame* frame;
    wxPanel* panel;
    CSkinButton* button;
    std::vector<int> clicks;
};

} // namespace

TEST_F(SkinButton, EachStateDrawsItsOwnBitmap)
{
    const struct {
        const char* state;
        std::function<void(CSkinButton&)> enter;
        ColorRef expected;
    } cases[] = {
        {"normal", [](CSkinButton&) {}, NormalColour},
        {"hover", [](CSkinButton& b) { sendMouse(b, wxEVT_MOTION, 20, 10, false); }, HoverColour},
        {"focused", [](CSkinButton& b) { sendFocus(b, true); }, FocusColour},
        {"hover before focus",
         [](CSkinButton& b) {
             sendFocus(b, true);
             sendMouse(b, wxEVT_ENTER_WINDOW, 20, 10, false);
         },
         HoverColour},
        {"held down", [](CSkinButton& b) { sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true); }, PressedColour},
        {"held, then moved off",
         [](CSkinButton& b) {
             sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true);
             sendMouse(b, wxEVT_MOTION, 200, 10, true);
         },
         NormalColour},
        {"held, off and back on",
         [](CSkinButton& b) {
             sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true);
             sendMouse(b, wxEVT_MOTION, 200, 10, true);
             sendMouse(b, wxEVT_MOTION, 20, 10, true);
         },
         PressedColour},
        {"disabled", [](CSkinButton& b) { b.Disable(); }, DisabledColour},
        {"disabled while hovered",
         [](CSkinButton& b) {
             sendMouse(b, wxEVT_MOTION, 20, 10, false);
             b.Disable();
         },
         DisabledColour},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        auto* b = make(CSkinButton::PushButton, wxPoint(10, 100), "");
        b->SetBitmaps(Normal, Pressed, Hover, Disabled, Focus, false, false, 0);
        c.enter(*b);
        EXPECT_EQ(inside(*b), c.expected);
        if (b->HasCapture())
            b->ReleaseMouse();
        b->Destroy();
    }
}

TEST_F(SkinButton, MissingBitmapsFallBackToTheNormalOneOrTheFaceColour)
{
    button->SetBitmaps(Normal, Pressed, 0, 0, 0, false, false, 0);
    sendMouse(*button, wxEVT_MOTION, 20, 10, false);
    sendFocus(*button, true);
    EXPECT_EQ(inside(*button), NormalColour) << "no hover and no focus bitmap";
    button->Disable();
    EXPECT_EQ(inside(*button), NormalColour) << "no disabled bitmap";
    // Drawn transparently with the key colour: the face shows through the key-coloured corner.
    EXPECT_EQ(pixelAt(drawnControl(*button), 0, 0), face());

    button->Enable();
    button->SetBitmaps(0, 0, 0, 0, 0, false, false, 0);
    EXPECT_EQ(inside(*button), face());
    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    EXPECT_EQ(inside(*button), face());
    sendMouse(*button, wxEVT_LEFT_UP, 20, 10, false);
}

TEST_F(SkinButton, TheCaptionMovesOnePixelRightAndDownWhilePressed)
{
    constexpr ColorRef Text = 0x1010c0;
    button->SetLabel("HH");
    button->SetTextColor(Text);
    const wxRect normal = colourBox(drawnControl(*button), Text);
    ASSERT_FALSE(normal.IsEmpty());
    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    EXPECT_EQ(colourBox(drawnControl(*button), Text), movedBy(normal, 1, 1));
    sendMouse(*button, wxEVT_LEFT_UP, 20, 10, false);

    auto* check = make(CSkinButton::CheckBox, wxPoint(10, 100), "HH");
    check->SetBitmaps(Normal, Pressed, 0, 0, 0, false, false, 0);
    check->SetTextColor(Text);
    check->SetCheck(true);
    EXPECT_EQ(inside(*check), PressedColour) << "checked is drawn pressed";
    EXPECT_EQ(colourBox(drawnControl(*check), Text), movedBy(normal, 1, 1));
}

TEST_F(SkinButton, ADisabledCaptionIsAHighlightWithTheGreyTextOnePixelUpAndLeft)
{
    // Letters with horizontal bars: those rows are whole pixels in any font, so the highlight
    // shows in its own colour below the grey pass.
    const ColorRef highlightColour = systemColor(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef greyColour = systemColor(wxSYS_COLOUR_GRAYTEXT);
    button->SetLabel("EE");
    button->SetTextColor(greyColour);
    const wxRect enabled = colourBox(drawnControl(*button), greyColour);
    button->Disable();
    const wxBitmap drawn = drawnControl(*button);
    const wxRect highlight = colourBox(drawn, highlightColour);
    const wxRect grey = colourBox(drawn, greyColour);
    ASSERT_FALSE(enabled.IsEmpty());
    ASSERT_FALSE(highlight.IsEmpty());
    EXPECT_EQ(grey, movedBy(enabled, -1, -1));
    EXPECT_EQ(highlight.GetBottom(), enabled.GetBottom());
    EXPECT_EQ(highlight.GetLeft(), enabled.GetLeft());
}

TEST_F(SkinButton, TheFocusRectangleIsInsetByTheTextOffsetAndOnlyAboveZero)
{
    constexpr ColorRef Text = 0x1010c0;
    button->SetTextColor(Text);
    button->SetBitmaps(Normal, 0, 0, 0, 0, false, false, 4);
    sendFocus(*button, true);
    wxBitmap drawn = drawnControl(*button);
    EXPECT_EQ(colourBox(drawn, Text), wxRect(4, 4, Width - 8, Height - 8));

    button->SetBitmaps(Normal, 0, 0, 0, 0, false, false, 0);
    drawn = drawnControl(*button);
    EXPECT_TRUE(colourBox(drawn, Text).IsEmpty());
    sendFocus(*button, false);
    button->SetBitmaps(Normal, 0, 0, 0, 0, false, false, 4);
    EXPECT_TRUE(colourBox(drawnControl(*button), Text).IsEmpty()) << "not focused";
}

TEST_F(SkinButton, EdgesAreRaisedAndSunkenWhilePressed)
{
    button->SetBitmaps(Normal, Pressed, 0, 0, 0, false, true, 0);
    const int y = Height / 2;
    const ColorRef light = systemColor(wxSYS_COLOUR_3DLIGHT);
    const ColorRef highlight = systemColor(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef shadow = systemColor(wxSYS_COLOUR_BTNSHADOW);
    const ColorRef dark = systemColor(wxSYS_COLOUR_3DDKSHADOW);
    const struct {
        bool pressed;
        ColorRef outerLeft, innerLeft, innerRight, outerRight, inside;
    } cases[] = {
        {false, light, highlight, shadow, dark, NormalColour},
        {true, shadow, dark, light, highlight, PressedColour},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pressed ? "pressed" : "raised");
        if (c.pressed)
            sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
        const wxBitmap drawn = drawnControl(*button);
        EXPECT_EQ(pixelAt(drawn, 0, y), c.outerLeft);
        EXPECT_EQ(pixelAt(drawn, 1, y), c.innerLeft);
        EXPECT_EQ(pixelAt(drawn, Width - 2, y), c.innerRight);
        EXPECT_EQ(pixelAt(drawn, Width - 1, y), c.outerRight);
        EXPECT_EQ(pixelAt(drawn, 2, y), c.inside);
    }
    sendMouse(*button, wxEVT_LEFT_UP, 20, 10, false);
}

TEST_F(SkinButton, TheWindowTakesTheShapeOfTheNormalBitmap)
{
    // The key colour fills the top-left 3x2 corner of the 60x24 bitmaps.
    const struct {
        const char* what;
        bool regionOn;
        int mode;
        wxSize windowBefore;
        wxSize windowAfter;
        wxSize cutCorner;  // empty: no shape
    } cases[] = {
        {"own size", true, 0, wxSize(100, 40), wxSize(Width, Height), wxSize(3, 2)},
        {"stretched to the window", true, 1, wxSize(2 * Width, 2 * Height), wxSize(2 * Width, 2 * Height), wxSize(6, 4)},
        {"other mode", true, 2, wxSize(100, 40), wxSize(100, 40), wxSize()},
        {"region off", false, 0, wxSize(100, 40), wxSize(100, 40), wxSize()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto* b = new CSkinButton(panel, wxID_ANY, "", CSkinButton::PushButton, wxPoint(30, 50), c.windowBefore);
        b->SetBitmaps(Normal, 0, 0, 0, 0, c.regionOn, false, 0, c.mode);
        EXPECT_EQ(b->GetSize(), c.windowAfter);
        EXPECT_EQ(b->GetPosition(), wxPoint(30, 50)) << "moved";
        const wxRegion& region = b->windowRegion();
        if (c.cutCorner == wxSize()) {
            EXPECT_FALSE(region.IsOk() && !region.IsEmpty());
            EXPECT_TRUE(b->isOver(wxPoint(0, 0)));
        } else {
            ASSERT_TRUE(region.IsOk());
            EXPECT_EQ(region.Contains(0, 0), wxOutRegion);
            EXPECT_EQ(region.Contains(c.cutCorner.x - 1, c.cutCorner.y - 1), wxOutRegion);
            EXPECT_EQ(region.Contains(c.cutCorner.x, 0), wxInRegion);
            EXPECT_EQ(region.Contains(0, c.cutCorner.y), wxInRegion);
            EXPECT_EQ(region.Contains(wxRect(c.cutCorner.x, 0, c.windowAfter.x - c.cutCorner.x, c.windowAfter.y)),
                      wxInRegion);
            EXPECT_FALSE(b->isOver(wxPoint(0, 0)));
        }
        b->Destroy();
    }
    // New bitmaps without a region make the window rectangular again.
    button->SetBitmaps(Normal, 0, 0, 0, 0, true, false, 0);
    ASSERT_EQ(button->windowRegion().Contains(0, 0), wxOutRegion);
    button->SetBitmaps(Normal, 0, 0, 0, 0, false, false, 0);
    EXPECT_TRUE(button->isOver(wxPoint(0, 0)));
}

TEST_F(SkinButton, AClickOnACutAwayPixelGoesToTheWindowBehind)
{
    // Through the display: the shape must hold for real pointer events, not only in our tests
    // of it.
    button->SetBitmaps(Normal, 0, 0, 0, 0, true, false, 0);
    int panelDowns = 0;
    panel->Bind(wxEVT_LEFT_DOWN, [&](wxMouseEvent& e) {
        ++panelDowns;
        e.Skip();
    });
    ASSERT_TRUE(waitUntil([&] { return button->IsShownOnScreen() && button->GetScreenPosition() != wxPoint(); }));
    const wxPoint origin = button->GetScreenPosition();
    wxUIActionSimulator simulator;
    simulator.MouseMove(origin + wxPoint(1, 0));
    simulator.MouseClick();
    ASSERT_TRUE(waitUntil([&] { return panelDowns == 1; })) << "the panel never heard of the click";
    simulator.MouseMove(origin + wxPoint(Width / 2, Height / 2));
    simulator.MouseClick();
    ASSERT_TRUE(waitUntil([&] { return clicks.size() == 1; }));
    EXPECT_EQ(panelDowns, 1);
}

TEST_F(SkinButton, AClickIsALeftButtonReleasedOverTheButtonItWentDownOn)
{
    for (const ClickCase& c : clickCases()) {
        SCOPED_TRACE(c.what);
        clicks.clear();
        playClick(*button, c);
        EXPECT_EQ(clicks, std::vector<int>(c.clicks, button->GetId()));
        EXPECT_FALSE(button->isCaptured());
        EXPECT_FALSE(button->HasCapture());
    }
}

TEST_F(SkinButton, LosingTheFocusWhileHeldLetsGoWithoutAClick)
{
    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    ASSERT_TRUE(button->isPushed());
    sendFocus(*button, false);
    EXPECT_FALSE(button->isCaptured());
    EXPECT_FALSE(button->HasCapture());
    EXPECT_EQ(inside(*button), NormalColour);
    sendMouse(*button, wxEVT_LEFT_UP, 20, 10, false);
    EXPECT_TRUE(clicks.empty());
}

TEST_F(SkinButton, HoverStartsOverTheButtonAndEndsWhenTheMouseLeaves)
{
    sendMouse(*button, wxEVT_ENTER_WINDOW, 20, 10, false);
    EXPECT_TRUE(button->isHover());
    EXPECT_EQ(inside(*button), HoverColour);
    sendMouse(*button, wxEVT_LEAVE_WINDOW, 200, 10, false);
    EXPECT_FALSE(button->isHover());
    EXPECT_EQ(inside(*button), NormalColour);
    // Pressed and released over it: hovered again.
    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    EXPECT_FALSE(button->isHover());
    sendMouse(*button, wxEVT_LEFT_UP, 20, 10, false);
    EXPECT_EQ(inside(*button), HoverColour);
}

TEST_F(SkinButton, CheckBoxesToggleRadioButtonsCheckAndPushButtonsStayUnchecked)
{
    auto* check = make(CSkinButton::CheckBox, wxPoint(10, 50), "");
    auto* radio = make(CSkinButton::RadioButton, wxPoint(10, 80), "", CSkinButton::GroupStart);
    const struct {
        CSkinButton* button;
        std::vector<bool> afterEachClick;
    } cases[] = {
        {button, {false, false}},
        {check, {true, false, true}},
        {radio, {true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->kind());
        for (bool expected : c.afterEachClick) {
            sendMouse(*c.button, wxEVT_LEFT_DOWN, 20, 10, true);
            sendMouse(*c.button, wxEVT_LEFT_UP, 20, 10, false);
            EXPECT_EQ(c.button->GetCheck(), expected);
        }
    }
    // A release outside changes nothing; the space bar acts as a click.
    sendMouse(*check, wxEVT_LEFT_DOWN, 20, 10, true);
    sendMouse(*check, wxEVT_LEFT_UP, 200, 10, false);
    EXPECT_TRUE(check->GetCheck());
    sendKey(*check, WXK_SPACE);
    EXPECT_FALSE(check->GetCheck());
    button->SetCheck(true);
    EXPECT_FALSE(button->GetCheck());
}

TEST_F(SkinButton, CheckingARadioButtonUnchecksTheOthersOfItsGroupOnly)
{
    // Group one: a, b, (a label), c and a check box; group two: d, e.
    auto* a = make(CSkinButton::RadioButton, wxPoint(100, 10), "", CSkinButton::GroupStart);
    auto* b = make(CSkinButton::RadioButton, wxPoint(100, 40), "");
    new wxStaticText(panel, wxID_ANY, "between", wxPoint(100, 70));
    auto* c = make(CSkinButton::RadioButton, wxPoint(100, 100), "");
    auto* box = make(CSkinButton::CheckBox, wxPoint(100, 130), "");
    auto* d = make(CSkinButton::RadioButton, wxPoint(200, 10), "", CSkinButton::GroupStart);
    auto* e = make(CSkinButton::RadioButton, wxPoint(200, 40), "");
    for (CSkinButton* checkedFirst : {a, b, d, e, box})
        checkedFirst->SetCheck(true);
    ASSERT_FALSE(a->GetCheck()) << "b unchecked a";

    c->SetCheck(true);
    EXPECT_FALSE(a->GetCheck());
    EXPECT_FALSE(b->GetCheck());
    EXPECT_TRUE(c->GetCheck());
    EXPECT_TRUE(box->GetCheck()) << "check boxes are no part of the radio choice";
    EXPECT_FALSE(d->GetCheck());
    EXPECT_TRUE(e->GetCheck()) << "the other group is left alone";

    sendMouse(*a, wxEVT_LEFT_DOWN, 20, 10, true);
    sendMouse(*a, wxEVT_LEFT_UP, 20, 10, false);
    EXPECT_TRUE(a->GetCheck());
    EXPECT_FALSE(c->GetCheck()) << "a click checks through the same path";
    EXPECT_TRUE(e->GetCheck());
    // The push button made first has no group start before it: it is no radio button anyway.
    EXPECT_FALSE(button->GetCheck());
}

TEST_F(SkinButton, AButtonThatGoesWhileHeldGivesTheMouseBack)
{
    auto* held = make(CSkinButton::PushButton, wxPoint(10, 100), "");
    sendMouse(*held, wxEVT_LEFT_DOWN, 20, 10, true);
    ASSERT_EQ(wxWindow::GetCapture(), held);
    // A held capture would make wx assert here, and crash later.
    held->Destroy();
    EXPECT_EQ(wxWindow::GetCapture(), nullptr);
}
