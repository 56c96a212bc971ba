#include "tests/ui/ControlProbe.h"
#include "ui/kit/CIconButton.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/UrlOpener.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/panel.h>

#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int Width = 90;
constexpr int Height = 30;
constexpr ColorRef Key = 0xFF00FF;
// Six colours no theme uses, one for each role.
constexpr ColorRef Six[6] = {0x2030c0, 0x10e0e0, 0xa06020, 0xf0f0a0, 0x208020, 0xe0a0f0};

enum Bitmap : int { Solid = 7201, Keyed, Missing = 7299 };
constexpr ColorRef SolidColour = 0x4080c0;

ColorRef sys(wxSystemColour role)
{
    return systemColor(role);
}

// A button whose menu shows through a stand-in: a popup menu cannot be driven on a virtual
// display without a window manager. It records what would have been shown and answers a
// chosen command.
class MenuButton : public CIconButton {
public:
    using CIconButton::CIconButton;

    int answer = wxID_NONE;
    std::vector<wxString> shownItems;
    wxPoint shownAt;
    bool pressedWhileShown = false;

protected:
    int TrackMenu(wxMenu& menu, const wxPoint& at) override
    {
        for (const wxMenuItem* item : menu.GetMenuItems())
            shownItems.push_back(item->GetItemLabelText());
        shownAt = at;
        pressedWhileShown = isPressed();
        return answer;
    }
};

// A button that sees the program active or not, as the test says.
class InactiveButton : public CIconButton {
public:
    using CIconButton::CIconButton;
    bool active = false;

protected:
    bool isProgramActive() const override { return active; }
};

class IconButton : public ::testing::Test {
protected:
    IconButton()
    {
        registerResourceBitmap(Solid, filledBitmap(12, 10, SolidColour));
        frame = new wxFrame(nullptr, wxID_ANY, "icon buttons", wxPoint(0, 0), wxSize(400, 300));
        // On a panel: a frame stretches a lone child over its whole client area.
        panel = new wxPanel(frame);
        button = track(new CIconButton(panel, wxID_ANY, "", wxPoint(10, 10), wxSize(Width, Height)));
        // Shown, so that the buttons can capture the mouse.
        frame->Show();
    }
    ~IconButton() override
    {
        setUrlOpener(previousOpener);
        frame->Destroy();
    }

    template <typename Button>
    Button* track(Button* made)
    {
        made->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { clicks.push_back(e.GetInt()); });
        return made;
    }

    void setSix(CIconButton& b)
    {
        for (int i = 0; i < 6; ++i)
            ASSERT_EQ(b.SetColor(i, Six[i]), CIconButton::Ok);
    }

    void click(CIconButton& b)
    {
        sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true);
        sendMouse(b, wxEVT_LEFT_UP, 20, 10, false);
    }

    wxFrame* frame;
    wxPanel* panel;
    CIconButton* button;
    std::vector<int> clicks;
    UrlOpenerFunction previousOpener = setUrlOpener(nullptr);
};

} // namespace

TEST_F(IconButton, EachStateTakesItsPairOfColours)
{
    const struct {
        const char* state;
        long style;
        std::function<void(CIconButton&)> enter;
        ColorRef background, text;
    } cases[] = {
        {"normal", 0, [](CIconButton&) {}, Six[2], Six[3]},
        {"hot", 0, [](CIconButton& b) { sendMouse(b, wxEVT_MOTION, 20, 10, false); }, Six[0], Six[1]},
        {"pressed", 0, [](CIconButton& b) { sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true); }, Six[0], Six[1]},
        {"focused", 0, [](CIconButton& b) { sendFocus(b, true); }, Six[4], Six[5]},
        {"focused and hot",
         0,
         [](CIconButton& b) {
             sendFocus(b, true);
             sendMouse(b, wxEVT_MOTION, 20, 10, false);
         },
         Six[0], Six[1]},
        {"checked", CIconButton::CheckBoxStyle, [](CIconButton& b) { b.SetCheck(1); }, Six[0], Six[1]},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        auto* b = new CIconButton(panel, wxID_ANY, "EE", wxPoint(10, 100), wxSize(Width, Height), c.style);
        b->SetDrawBorder(false);
        setSix(*b);
        c.enter(*b);
        const wxBitmap drawn = drawnControl(*b);
        EXPECT_EQ(pixelAt(drawn, 0, 0), c.background);
        EXPECT_EQ(pixelAt(drawn, Width - 1, Height - 1), c.background);
        for (ColorRef text : {Six[1], Six[3], Six[5]})
            EXPECT_EQ(colourBox(drawn, text).IsEmpty(), text != c.text) << std::hex << text;
        if (b->HasCapture())
            b->ReleaseMouse();
        b->Destroy();
    }
}

TEST_F(IconButton, ColourIndexSixAndPressedOffsetStyleTwoAreRefusedAndChangeNothing)
{
    setSix(*button);
    button->SetLabel("EE");
    const wxImage before = drawnControl(*button).ConvertToImage();
    EXPECT_EQ(button->SetColor(6, 0x123456), CIconButton::BadColorIndex);
    EXPECT_EQ(button->SetColor(6, 0x123456), 3);
    EXPECT_EQ(button->SetColor(-1, 0x123456), 3);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(button->GetColor(i), Six[i]);
    const wxImage after = drawnControl(*button).ConvertToImage();
    EXPECT_EQ(0, memcmp(before.GetData(), after.GetData(), Width * Height * 3));

    EXPECT_EQ(button->SetPressedOffset(2), 6);
    EXPECT_EQ(button->SetPressedOffset(-1), CIconButton::BadStyle);
    EXPECT_EQ(button->pressedOffset(), wxPoint(1, 1));

    EXPECT_EQ(button->SetDefaultColors(), CIconButton::Ok);
    EXPECT_EQ(button->GetColor(CIconButton::NormalBackground), sys(wxSYS_COLOUR_BTNFACE));
    EXPECT_EQ(button->GetColor(CIconButton::FocusText), sys(wxSYS_COLOUR_BTNTEXT));
}

TEST_F(IconButton, CaptionAndImageMoveByThePressedOffsetWhilePressed)
{
    const struct {
        int style;
        wxPoint offset;
        long buttonStyle;
        bool imageMoves;
    } cases[] = {
        {0, {1, 1}, 0, true},
        {1, {0, 2}, 0, true},
        {1, {0, 2}, CIconButton::CheckBoxStyle, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        auto* b = new CIconButton(panel, wxID_ANY, "EE", wxPoint(10, 100), wxSize(Width, Height), c.buttonStyle);
        ASSERT_EQ(b->SetBitmaps(Solid, Key), CIconButton::Ok);
        setSix(*b);
        ASSERT_EQ(b->SetPressedOffset(c.style), CIconButton::Ok);
        EXPECT_EQ(b->pressedOffset(), c.offset);
        b->SetDrawBorder(false);
        const wxBitmap up = drawnControl(*b);
        if (c.buttonStyle & CIconButton::CheckBoxStyle)
            b->SetCheck(1);
        else
            sendMouse(*b, wxEVT_LEFT_DOWN, 50, 10, true);
        ASSERT_TRUE(b->isPressed());
        const wxBitmap down = drawnControl(*b);
        // Up the text is colour 3, pressed colour 1.
        EXPECT_EQ(colourBox(down, Six[1]), movedBy(colourBox(up, Six[3]), c.offset.x, c.offset.y));
        const wxRect image = colourBox(up, SolidColour);
        EXPECT_EQ(colourBox(down, SolidColour), c.imageMoves ? movedBy(image, c.offset.x, c.offset.y) : image);
        if (b->HasCapture())
            b->ReleaseMouse();
        b->Destroy();
    }
}

TEST_F(IconButton, TheFlatBorderIsRaisedWhileHotAndSunkenWhilePressed)
{
    const ColorRef highlight = sys(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef shadow = sys(wxSYS_COLOUR_BTNSHADOW);
    const struct {
        const char* state;
        bool drawBorder;
        std::function<void(CIconButton&)> enter;
        ColorRef topLeft, bottomRight, inside;
    } cases[] = {
        {"normal", true, [](CIconButton&) {}, Six[2], Six[2], Six[2]},
        {"hot", true, [](CIconButton& b) { sendMouse(b, wxEVT_MOTION, 20, 10, false); }, highlight, shadow, Six[0]},
        {"pressed", true,
         [](CIconButton& b) {
             sendMouse(b, wxEVT_MOTION, 20, 10, false);
             sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true);
         },
         shadow, highlight, Six[0]},
        {"hot without border", false, [](CIconButton& b) { sendMouse(b, wxEVT_MOTION, 20, 10, false); }, Six[0],
         Six[0], Six[0]},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        auto* b = new CIconButton(panel, wxID_ANY, "", wxPoint(10, 100), wxSize(Width, Height));
        setSix(*b);
        b->SetDrawBorder(c.drawBorder);
        c.enter(*b);
        const wxBitmap drawn = drawnControl(*b);
        EXPECT_EQ(pixelAt(drawn, 0, Height / 2), c.topLeft);
        EXPECT_EQ(pixelAt(drawn, Width / 2, 0), c.topLeft);
        EXPECT_EQ(pixelAt(drawn, Width - 1, Height / 2), c.bottomRight);
        EXPECT_EQ(pixelAt(drawn, Width / 2, Height - 1), c.bottomRight);
        EXPECT_EQ(pixelAt(drawn, 1, Height / 2), c.inside) << "one pixel wide";
        if (b->HasCapture())
            b->ReleaseMouse();
        b->Destroy();
    }
}

TEST_F(IconButton, NotFlatItIsAClassicButtonWithABlackFrameWhenDefaultOrFocused)
{
    const ColorRef highlight = sys(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef dark = sys(wxSYS_COLOUR_3DDKSHADOW);
    const ColorRef light = sys(wxSYS_COLOUR_3DLIGHT);
    const ColorRef shadow = sys(wxSYS_COLOUR_BTNSHADOW);
    constexpr ColorRef Black = 0;
    // The left edge, pixels 0 to 2, and the right edge from the outside in.
    const struct {
        const char* state;
        long style;
        std::function<void(CIconButton&)> enter;
        std::vector<ColorRef> left, right;
    } cases[] = {
        {"up", 0, [](CIconButton&) {}, {highlight, light, Six[2]}, {dark, shadow, Six[2]}},
        {"default", CIconButton::DefaultButtonStyle, [](CIconButton&) {},
         {Black, highlight, light}, {Black, dark, shadow}},
        {"focused", 0, [](CIconButton& b) { sendFocus(b, true); }, {Black, highlight, light}, {Black, dark, shadow}},
        {"pressed", 0, [](CIconButton& b) { sendMouse(b, wxEVT_LEFT_DOWN, 20, 10, true); },
         {shadow, Six[0], Six[0]}, {shadow, Six[0], Six[0]}},
        {"hovered", 0, [](CIconButton& b) { sendMouse(b, wxEVT_MOTION, 20, 10, false); },
         {highlight, light, Six[2]}, {dark, shadow, Six[2]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        auto* b = new CIconButton(panel, wxID_ANY, "", wxPoint(10, 100), wxSize(Width, Height), c.style);
        setSix(*b);
        b->SetFlat(false);
        c.enter(*b);
        EXPECT_FALSE(b->isHot()) << "only flat buttons turn hot";
        const wxBitmap drawn = drawnControl(*b);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(pixelAt(drawn, i, Height / 2), c.left[i]) << "left " << i;
            EXPECT_EQ(pixelAt(drawn, Width - 1 - i, Height / 2), c.right[i]) << "right " << i;
        }
        if (b->HasCapture())
            b->ReleaseMouse();
        b->Destroy();
    }
}

TEST_F(IconButton, TheFocusRectangleLiesThreePixelsInsideWhenNotFlatOrAskedFor)
{
    setSix(*button);
    sendFocus(*button, true);
    const wxRect inside3(3, 3, Width - 6, Height - 6);
    EXPECT_TRUE(colourBox(drawnControl(*button), Six[5]).IsEmpty()) << "flat: none";
    button->SetFlatFocus(true);
    EXPECT_EQ(colourBox(drawnControl(*button), Six[5]), inside3);
    button->SetFlatFocus(false);
    button->SetFlat(false);
    EXPECT_EQ(colourBox(drawnControl(*button), Six[5]), inside3);
}

TEST_F(IconButton, DisabledTheCaptionIsAHighlightOnePixelDownAndRightUnderAShadowPass)
{
    const ColorRef highlight = sys(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef shadow = sys(wxSYS_COLOUR_BTNSHADOW);
    button->SetLabel("EE");
    // The enabled caption in the shadow colour shows where an unshifted pass lies.
    button->SetColor(CIconButton::NormalText, shadow);
    const wxRect enabled = colourBox(drawnControl(*button), shadow);
    ASSERT_FALSE(enabled.IsEmpty());
    sendMouse(*button, wxEVT_MOTION, 20, 10, false);
    button->Disable();
    EXPECT_FALSE(button->isHot()) << "disabling ends the hover";
    const wxBitmap drawn = drawnControl(*button);
    EXPECT_EQ(colourBox(drawn, shadow), enabled);
    const wxRect light = colourBox(drawn, highlight);
    ASSERT_FALSE(light.IsEmpty());
    EXPECT_EQ(light.GetBottom(), enabled.GetBottom() + 1);
    EXPECT_EQ(light.GetRight(), enabled.GetRight() + 1);
}

TEST_F(IconButton, TheAutomaticPicturesFollowTheirFormulasAndKeepTheKeyColour)
{
    // Red, green, blue in, the grey and the darker pixel out.
    const struct {
        unsigned char r, g, b;
        unsigned char grey;
        unsigned char dr, dg, db;
    } cases[] = {
        {200, 100, 50, 124, 150, 75, 37},  // 124.2; 37.5 cut to 37
        {128, 128, 128, 127, 96, 96, 96},  // 127.99...: cut, not rounded
        {255, 255, 255, 255, 191, 191, 191},
        {0, 0, 0, 0, 0, 0, 0},
        {1, 3, 5, 2, 0, 2, 3},
        {255, 0, 254, 105, 191, 0, 190},   // one step off the key colour: changed
        {255, 0, 255, 255, 255, 0, 255},   // the key colour: kept (grey column unused)
    };
    wxImage source(static_cast<int>(std::size(cases)), 1);
    for (int i = 0; i < source.GetWidth(); ++i)
        source.SetRGB(i, 0, cases[i].r, cases[i].g, cases[i].b);
    const wxImage grey = CIconButton::greyCopy(wxBitmap(source, 24), Key).ConvertToImage();
    const wxImage darker = CIconButton::darkerCopy(wxBitmap(source, 24), Key).ConvertToImage();
    for (int i = 0; i < source.GetWidth(); ++i) {
        SCOPED_TRACE(i);
        const auto& c = cases[i];
        const bool key = i == source.GetWidth() - 1;
        EXPECT_EQ(grey.GetRed(i, 0), key ? 255 : c.grey);
        EXPECT_EQ(grey.GetGreen(i, 0), key ? 0 : c.grey);
        EXPECT_EQ(grey.GetBlue(i, 0), key ? 255 : c.grey);
        EXPECT_EQ(darker.GetRed(i, 0), c.dr);
        EXPECT_EQ(darker.GetGreen(i, 0), c.dg);
        EXPECT_EQ(darker.GetBlue(i, 0), c.db);
    }
}

TEST_F(IconButton, TheInPictureShowsWhileHotOrPressedAndTheOutPictureOtherwise)
{
    constexpr ColorRef Picture = 0x3264c8;  // red 200, green 100, blue 50
    wxBitmap keyed = filledBitmap(12, 10, Picture);
    {
        wxMemoryDC dc(keyed);
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(colourOf(Key)));
        dc.DrawRectangle(0, 0, 12, 2);
    }
    registerResourceBitmap(Keyed, keyed);
    setSix(*button);
    const ColorRef grey = 0x7c7c7c;   // 124
    const ColorRef darker = 0x254b96; // 150, 75, 37
    const struct {
        int out;
        ColorRef outColour;
    } cases[] = {{CIconButton::GreyCopy, grey}, {CIconButton::DarkerCopy, darker}, {0, Picture}, {Solid, SolidColour}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        ASSERT_EQ(button->SetBitmaps(Keyed, Key, c.out, Key), CIconButton::Ok);
        sendMouse(*button, wxEVT_LEAVE_WINDOW, 200, 10, false);
        wxBitmap drawn = drawnControl(*button);
        EXPECT_FALSE(colourBox(drawn, c.outColour).IsEmpty());
        EXPECT_TRUE(colourBox(drawn, Key).IsEmpty()) << "the key colour is left out";
        sendMouse(*button, wxEVT_MOTION, 20, 10, false);
        drawn = drawnControl(*button);
        const wxRect in = colourBox(drawn, Picture);
        // 12 by 10 less the two keyed rows, centred without a caption.
        EXPECT_EQ(in, wxRect((Width - 12) / 2, (Height - 10) / 2 + 2, 12, 8));
        EXPECT_EQ(pixelAt(drawn, in.GetLeft(), in.GetTop() - 1), Six[0]);
    }
    EXPECT_EQ(button->SetBitmaps(Missing, Key), CIconButton::BadBitmap);
    EXPECT_EQ(button->SetBitmaps(Keyed, Key, Missing, Key), CIconButton::BadBitmap);
    EXPECT_TRUE(colourBox(drawnControl(*button), Picture).IsEmpty()) << "a failed call leaves no picture";
}

TEST_F(IconButton, TheImageSitsAtItsGapBesideTheCaptionAndCentredAcross)
{
    const int w = 12, h = 10;
    const struct {
        CIconButton::Alignment alignment;
        wxString label;
        wxPoint at;
    } cases[] = {
        {CIconButton::ImageLeft, "EE", {3, (Height - h) / 2}},
        {CIconButton::ImageTop, "EE", {(Width - w) / 2, 3}},
        {CIconButton::ImageRight, "EE", {Width - 3 - w, (Height - h) / 2}},
        {CIconButton::ImageLeft, "", {(Width - w) / 2, (Height - h) / 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alignment);
        auto* b = new CIconButton(panel, wxID_ANY, c.label, wxPoint(10, 100), wxSize(Width, Height));
        ASSERT_EQ(b->SetBitmaps(Solid, Key), CIconButton::Ok);
        b->SetAlign(c.alignment);
        EXPECT_EQ(colourBox(drawnControl(*b), SolidColour), wxRect(c.at, wxSize(w, h)));
        b->Destroy();
    }
}

TEST_F(IconButton, AClickIsSentOnlyForAReleaseOverTheButtonItWentDownOn)
{
    for (const ClickCase& c : clickCases()) {
        SCOPED_TRACE(c.what);
        clicks.clear();
        playClick(*button, c);
        EXPECT_EQ(clicks.size(), c.clicks);
        EXPECT_FALSE(button->isPressed());
        EXPECT_FALSE(button->HasCapture());
    }
}

TEST_F(IconButton, InCheckBoxModeEachClickTogglesAndSetCheckTakesOneAndTwo)
{
    auto* check = track(new CIconButton(panel, wxID_ANY, "", wxPoint(10, 100), wxSize(Width, Height),
                                        CIconButton::CheckBoxStyle));
    ASSERT_TRUE(check->isCheckBox());
    click(*check);
    click(*check);
    click(*check);
    EXPECT_EQ(clicks, (std::vector<int>{1, 0, 1}));
    const struct {
        int set;
        int expected;
    } states[] = {{0, 0}, {1, 1}, {3, 0}, {2, 1}, {-1, 0}};
    for (const auto& s : states) {
        EXPECT_EQ(check->SetCheck(s.set), CIconButton::Ok);
        EXPECT_EQ(check->GetCheck(), s.expected) << s.set;
    }
    button->SetCheck(1);
    EXPECT_EQ(button->GetCheck(), 0) << "not a check box";
    click(*button);
    EXPECT_EQ(button->GetCheck(), 0);
}

TEST_F(IconButton, AFlatButtonIsNeverHotWhileTheLeftButtonIsHeldDownOutsideIt)
{
    setSix(*button);
    // Pressed somewhere else, then dragged over the button and about on it.
    for (wxEventType type : {wxEVT_ENTER_WINDOW, wxEVT_MOTION, wxEVT_MOTION}) {
        sendMouse(*button, type, 20, 10, true);
        EXPECT_FALSE(button->isHot());
        EXPECT_EQ(pixelAt(drawnControl(*button), 0, 0), Six[2]);
    }
    // Released over it: the next move makes it hot.
    sendMouse(*button, wxEVT_LEFT_UP, 20, 10, false);
    EXPECT_TRUE(clicks.empty());
    sendMouse(*button, wxEVT_MOTION, 21, 10, false);
    EXPECT_TRUE(button->isHot());
}

TEST_F(IconButton, HoverStartsOverTheButtonAndEndsOnLeaveFocusLossDeactivationOrDisabling)
{
    setSix(*button);
    const struct {
        const char* what;
        std::function<void()> end;
    } enders[] = {
        {"leave", [&] { sendMouse(*button, wxEVT_LEAVE_WINDOW, 200, 10, false); }},
        {"move off", [&] { sendMouse(*button, wxEVT_MOTION, Width + 5, 10, false); }},
        {"focus lost", [&] { sendFocus(*button, false); }},
        {"deactivation",
         [&] {
             wxActivateEvent event(wxEVT_ACTIVATE, false, frame->GetId());
             event.SetEventObject(frame);
             frame->GetEventHandler()->ProcessEvent(event);
         }},
        {"disabled", [&] { button->Disable(); }},
    };
    for (const auto& e : enders) {
        SCOPED_TRACE(e.what);
        button->Enable();
        sendMouse(*button, wxEVT_MOTION, 20, 10, false);
        ASSERT_TRUE(button->isHot());
        EXPECT_EQ(pixelAt(drawnControl(*button), 5, 5), Six[0]);
        e.end();
        EXPECT_FALSE(button->isHot());
        EXPECT_EQ(pixelAt(drawnControl(*button), 5, 5), Six[2]);
    }
}

TEST_F(IconButton, WithoutTrackingWhenInactiveItTurnsHotOnlyWhileTheProgramIsActive)
{
    auto* b = new InactiveButton(panel, wxID_ANY, "", wxPoint(10, 100), wxSize(Width, Height));
    sendMouse(*b, wxEVT_MOTION, 20, 10, false);
    EXPECT_TRUE(b->isHot()) << "tracked when inactive by default";
    sendMouse(*b, wxEVT_LEAVE_WINDOW, 200, 10, false);
    b->SetTrackWhenInactive(false);
    sendMouse(*b, wxEVT_MOTION, 20, 10, false);
    EXPECT_FALSE(b->isHot());
    b->active = true;
    sendMouse(*b, wxEVT_MOTION, 20, 10, false);
    EXPECT_TRUE(b->isHot());
    b->active = false;
    sendMouse(*b, wxEVT_MOTION, 21, 10, false);
    EXPECT_FALSE(b->isHot()) << "the program went inactive under it";
}

TEST_F(IconButton, AClickOpensTheLinkThroughTheOpener)
{
    std::vector<std::string> opened;
    setUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    click(*button);
    EXPECT_TRUE(opened.empty()) << "no link";
    const std::string url = "https://example.org/orvane?a=1&b=" + std::string(300, 'x');
    ASSERT_EQ(button->SetURL(url), CIconButton::Ok);
    click(*button);
    EXPECT_EQ(opened, std::vector<std::string>{url}) << "the whole link, however long";
    EXPECT_EQ(clicks.size(), 2u);
    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    sendMouse(*button, wxEVT_LEFT_UP, 200, 10, false);
    EXPECT_EQ(opened.size(), 1u) << "released outside";
}

TEST_F(IconButton, WithAMenuTheFirstSubmenuOpensBelowAndTheChoiceGoesToItsWindow)
{
    auto* b = track(new MenuButton(panel, wxID_ANY, "", wxPoint(10, 100), wxSize(Width, Height)));
    std::vector<std::string> opened;
    setUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    b->SetURL("https://example.org/");
    auto bar = std::make_unique<wxMenu>();
    auto* first = new wxMenu;
    first->Append(5101, "Call");
    first->Append(5102, "Send a file");
    auto* second = new wxMenu;
    second->Append(5201, "Elsewhere");
    bar->AppendSubMenu(first, "Actions");
    bar->AppendSubMenu(second, "More");
    std::vector<int> commands;
    panel->Bind(wxEVT_MENU, [&](wxCommandEvent& e) { commands.push_back(e.GetId()); });
    b->SetMenu(std::move(bar), panel);

    b->answer = 5102;
    click(*b);
    EXPECT_EQ(b->shownItems, (std::vector<wxString>{"Call", "Send a file"}));
    EXPECT_EQ(b->shownAt, wxPoint(0, Height));
    EXPECT_TRUE(b->pressedWhileShown);
    EXPECT_FALSE(b->isPressed()) << "no longer pressed once the menu closed";
    EXPECT_EQ(commands, std::vector<int>{5102});
    EXPECT_TRUE(opened.empty()) << "a menu takes the place of the link";
    EXPECT_EQ(clicks.size(), 1u);

    b->answer = wxID_NONE;
    click(*b);
    EXPECT_EQ(commands.size(), 1u) << "nothing chosen";

    // The receiver may go before the button.
    auto* receiver = new wxPanel(frame);
    auto menu = std::make_unique<wxMenu>();
    auto* only = new wxMenu;
    only->Append(5301, "One");
    menu->AppendSubMenu(only, "Only");
    b->SetMenu(std::move(menu), receiver);
    receiver->Destroy();
    b->answer = 5301;
    click(*b);
    EXPECT_EQ(commands.size(), 1u);
}

TEST_F(IconButton, TheTooltipTakesItsTextAndCanBeSwitchedOff)
{
    EXPECT_EQ(button->SetTooltipText("Start a call"), CIconButton::Ok);
    EXPECT_EQ(button->GetToolTipText(), "Start a call");
    button->SetTooltipText("Start a call", false);
    EXPECT_EQ(button->GetToolTipText(), "");
    button->SetTooltipText("Hang up");
    EXPECT_EQ(button->GetToolTipText(), "Hang up");
}

TEST_F(IconButton, AButtonThatGoesWhileHeldGivesTheMouseBack)
{
    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    ASSERT_EQ(wxWindow::GetCapture(), button);
    // A held capture would make wx assert here, and crash later.
    button->Destroy();
    EXPECT_EQ(wxWindow::GetCapture(), nullptr);
}
