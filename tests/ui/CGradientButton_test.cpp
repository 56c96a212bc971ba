#include "tests/ui/ControlProbe.h"
#include "ui/kit/CGradientButton.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int Width = 80;
constexpr int Height = 40;

// The colour a palette picture holds at a pixel, read from its packed block.
ColorRef pictureColour(const DibImage& picture, int x, int y)
{
    const uint8_t* entry = picture.block().data() + DibImage::HeaderSize + picture.indexAt(x, y) * 4;
    return static_cast<ColorRef>(entry[2]) | static_cast<ColorRef>(entry[1]) << 8 |
           static_cast<ColorRef>(entry[0]) << 16;
}

int brightness(ColorRef c)
{
    return static_cast<int>((c & 0xff) + ((c >> 8) & 0xff) + ((c >> 16) & 0xff));
}

class GradientButton : public ::testing::Test {
protected:
    GradientButton()
    {
        frame = new wxFrame(nullptr, wxID_ANY, "gradient buttons", wxPoint(0, 0), wxSize(400, 300));
        // On a panel: a frame stretches a lone child over its whole client area.
        panel = new wxPanel(frame);
        button = new CGradientButton(panel, wxID_ANY, "", wxPoint(10, 10), wxSize(Width, Height));
        // The flat border would cover the edge pixels while hot.
        button->SetDrawBorder(false);
        // Shown, so that the button can capture the mouse.
        frame->Show();
    }
    ~GradientButton() override
    {
        if (button->HasCapture())
            button->ReleaseMouse();
        frame->Destroy();
    }

    wxFrame* frame;
    wxPanel* panel;
    CGradientButton* button;
};

} // namespace

TEST_F(GradientButton, TheNormalPictureWhenNotHotTheHotOneWhenHotMovedByOneWhilePressed)
{
    button->SetShade(CGradientButton::VerticalShade, 0, 30, 20, 0x2040c0);
    const DibImage& normal = button->normalPicture();
    const DibImage& hot = button->hotPicture();
    ASSERT_EQ(normal.width(), Width);
    ASSERT_EQ(hot.height(), Height);
    // In the darker half, where every row has a colour of its own.
    const wxPoint probes[] = {{2, Height / 2 + 2}, {Width / 2, Height * 3 / 4}, {Width - 3, Height - 3}};

    wxBitmap drawn = drawnControl(*button);
    for (const wxPoint p : probes)
        EXPECT_EQ(pixelAt(drawn, p.x, p.y), pictureColour(normal, p.x, p.y)) << "normal at " << p.x << "," << p.y;

    sendMouse(*button, wxEVT_MOTION, 20, 10, false);
    drawn = drawnControl(*button);
    for (const wxPoint p : probes) {
        EXPECT_EQ(pixelAt(drawn, p.x, p.y), pictureColour(hot, p.x, p.y)) << "hot at " << p.x << "," << p.y;
        EXPECT_NE(pictureColour(hot, p.x, p.y), pictureColour(normal, p.x, p.y));
    }

    sendMouse(*button, wxEVT_LEFT_DOWN, 20, 10, true);
    drawn = drawnControl(*button);
    for (const wxPoint p : probes) {
        EXPECT_EQ(pixelAt(drawn, p.x, p.y), pictureColour(hot, p.x - 1, p.y - 1)) << "pressed at " << p.x << "," << p.y;
        EXPECT_NE(pictureColour(hot, p.x - 1, p.y - 1), pictureColour(hot, p.x, p.y));
    }
    // Pressed but moved off: no longer hot, so the normal picture in its place.
    sendMouse(*button, wxEVT_MOTION, 200, 10, true);
    ASSERT_FALSE(button->isHot());
    drawn = drawnControl(*button);
    for (const wxPoint p : probes)
        EXPECT_EQ(pixelAt(drawn, p.x, p.y), pictureColour(normal, p.x, p.y));
}

TEST_F(GradientButton, EachKindShadesWhereItSays)
{
    auto at = [&](int x, int y) { return brightness(pictureColour(button->normalPicture(), x, y)); };
    const int right = Width - 1, bottom = Height - 1, midX = Width / 2, midY = Height / 2;
    const struct {
        int kind;
        const char* what;
        std::function<bool()> holds;
    } cases[] = {
        {CGradientButton::VerticalShade, "top light, bottom dark", [&] { return at(midX, 0) > at(midX, bottom); }},
        {CGradientButton::HorizontalShade, "left light, right dark", [&] { return at(0, midY) > at(right, midY); }},
        {CGradientButton::DiagonalShade, "top-left light, bottom-right dark",
         [&] { return at(0, 0) > at(midX, midY) && at(midX, midY) > at(right, bottom); }},
        {CGradientButton::HorizontalBump, "middle row light",
         [&] { return at(midX, midY) > at(midX, 0) && at(midX, midY) > at(midX, bottom); }},
        {CGradientButton::VerticalBump, "middle column light",
         [&] { return at(midX, midY) > at(0, midY) && at(midX, midY) > at(right, midY); }},
        {CGradientButton::Noise, "flat without grain", [&] { return at(0, 0) == at(right, bottom); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        button->SetShade(c.kind, 0, 20, 0, 0);
        EXPECT_TRUE(c.holds());
    }

    // The kinds not built of the eleven, and any other number, shade as the first.
    button->SetShade(CGradientButton::VerticalShade);
    const std::vector<uint8_t> first = button->normalPicture().block();
    for (int kind : {7, 11, 0, 99}) {
        button->SetShade(kind);
        EXPECT_EQ(button->normalPicture().block(), first) << kind;
    }
}

TEST_F(GradientButton, TheHotPictureIsTheNormalOneMovedTowardWhiteAndColouringTintsBoth)
{
    button->SetShade(CGradientButton::Noise, 10, 50, 0, 0);
    const DibImage& normal = button->normalPicture();
    const DibImage& hot = button->hotPicture();
    bool grained = false;
    for (int x = 0; x < Width; ++x) {
        const ColorRef n = pictureColour(normal, x, 5);
        const ColorRef h = pictureColour(hot, x, 5);
        grained = grained || n != pictureColour(normal, 0, 5);
        for (int shift : {0, 8, 16}) {
            const int channel = static_cast<int>((n >> shift) & 0xff);
            EXPECT_EQ(static_cast<int>((h >> shift) & 0xff), (channel * 50 + 255 * 50) / 100);
        }
    }
    EXPECT_TRUE(grained) << "granularity 10 strays";
    // The grain is the same at every build.
    const std::vector<uint8_t> once = normal.block();
    button->SetShade(CGradientButton::Noise, 10, 50, 0, 0);
    EXPECT_EQ(normal.block(), once);

    button->SetShade(CGradientButton::VerticalShade, 0, 0, 100, 0x2040c0);
    EXPECT_EQ(pictureColour(normal, 3, 3), 0x2040c0u);
    EXPECT_EQ(pictureColour(hot, Width - 3, Height - 3), 0x2040c0u);
}

TEST_F(GradientButton, ThePicturesFollowTheButtonsSizeAndWithoutThemItIsAPlainButton)
{
    button->SetColor(CIconButton::NormalBackground, 0x102030);
    EXPECT_EQ(pixelAt(drawnControl(*button), Width / 2, Height / 2), 0x102030u) << "not shaded yet";
    button->SetShade(CGradientButton::HorizontalShade);
    button->SetSize(wxSize(120, 30));
    EXPECT_EQ(button->normalPicture().width(), 120);
    EXPECT_EQ(button->normalPicture().height(), 30);
    const wxBitmap drawn = drawnControl(*button);
    EXPECT_EQ(pixelAt(drawn, 118, 28), pictureColour(button->normalPicture(), 118, 28));
}
