#include "tests/ui/ControlProbe.h"
#include "ui/kit/CFlatSlider.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr ColorRef Thumb = 0x808080;
constexpr ColorRef Pressed = 0xc0c0c0;
constexpr ColorRef Back = 0x203040;

class FlatSlider : public ::testing::Test {
protected:
    FlatSlider()
    {
        frame = new wxFrame(nullptr, wxID_ANY, "slider");
        // On a panel: a frame stretches a lone child over its whole client area.
        panel = new wxPanel(frame);
        slider = new CFlatSlider(panel, wxID_ANY, 50, 0, 100, wxPoint(0, 0), wxSize(110, 24));
        slider->SetThumbColors(Thumb, Pressed);
        slider->SetBackgroundColor(Back);
        // Shown, so that the slider can capture the mouse.
        frame->Show();
        slider->Bind(wxEVT_SLIDER, [this](wxCommandEvent& e) { positions.push_back(e.GetInt()); });
    }
    ~FlatSlider() override { frame->Destroy(); }

    wxBitmap drawn() const { return drawnControl(*slider); }
    void key(int code) { sendKey(*slider, code); }
    void mouse(wxEventType type, int x, int y) { sendMouse(*slider, type, x, y, type != wxEVT_LEFT_UP); }

    wxFrame* frame;
    wxPanel* panel;
    CFlatSlider* slider;
    std::vector<int> positions;
};

} // namespace

TEST(FlatSliderColours, LighteningAndDarkeningSaturateEachChannel)
{
    EXPECT_EQ(CFlatSlider::shifted(0xffffff, 50), 0xffffffu);
    EXPECT_EQ(CFlatSlider::shifted(0xffffff, -50), 0xcdcdcdu);  // 205 each
    EXPECT_EQ(CFlatSlider::shifted(0x10f020, 50), 0x42ff52u);
    EXPECT_EQ(CFlatSlider::shifted(0x10f020, -50), 0x00be00u);
}

TEST_F(FlatSlider, TheBackgroundASunkenChannelAndARaisedThumbAreDrawnInTheirColours)
{
    const wxRect channel = slider->channelRect();
    const wxRect thumb = slider->thumbRect();
    ASSERT_FALSE(channel.Intersects(wxRect(0, 0, 2, 2)));
    wxBitmap bitmap = drawn();
    EXPECT_EQ(pixelAt(bitmap, 0, 0), Back);
    // The channel, away from the thumb: dark left and top, light right and bottom.
    EXPECT_EQ(pixelAt(bitmap, channel.GetLeft(), channel.GetTop() + 1), 0x4e4e4eu);
    EXPECT_EQ(pixelAt(bitmap, channel.GetLeft() + 5, channel.GetTop()), 0x4e4e4eu);
    EXPECT_EQ(pixelAt(bitmap, channel.GetRight(), channel.GetTop() + 1), 0xb2b2b2u);
    EXPECT_EQ(pixelAt(bitmap, channel.GetLeft() + 5, channel.GetBottom()), 0xb2b2b2u);
    // The thumb, at the middle for 50 of 0..100, shrunk by one: light left and top, dark
    // right and bottom, the fill inside, the background around it.
    EXPECT_EQ(thumb.GetLeft() + thumb.GetWidth() / 2, channel.GetLeft() + channel.GetWidth() / 2);
    const wxRect inner = wxRect(thumb).Deflate(1);
    EXPECT_EQ(pixelAt(bitmap, inner.GetLeft(), inner.GetTop() + 2), 0xb2b2b2u);
    EXPECT_EQ(pixelAt(bitmap, inner.GetLeft() + 2, inner.GetTop()), 0xb2b2b2u);
    EXPECT_EQ(pixelAt(bitmap, inner.GetRight(), inner.GetTop() + 2), 0x4e4e4eu);
    EXPECT_EQ(pixelAt(bitmap, inner.GetLeft() + 2, inner.GetBottom()), 0x4e4e4eu);
    EXPECT_EQ(pixelAt(bitmap, inner.GetLeft() + 2, inner.GetTop() + 2), Thumb);
    EXPECT_EQ(pixelAt(bitmap, thumb.GetLeft(), thumb.GetTop() + 2), Back);
    // No edge runs past its corner.
    EXPECT_EQ(pixelAt(bitmap, inner.GetRight() + 1, inner.GetBottom()), Back);
    EXPECT_EQ(pixelAt(bitmap, inner.GetRight(), inner.GetBottom() + 1), Back);
    EXPECT_EQ(pixelAt(bitmap, channel.GetRight() + 1, channel.GetBottom()), Back);
}

TEST_F(FlatSlider, KeysMoveByLineAndPageAndToTheEnds)
{
    slider->SetPageSize(20);
    const struct {
        int code;
        int expected;
    } steps[] = {{WXK_RIGHT, 51}, {WXK_DOWN, 52}, {WXK_LEFT, 51}, {WXK_UP, 50}, {WXK_PAGEDOWN, 70},
                 {WXK_PAGEUP, 50}, {WXK_END, 100}, {WXK_RIGHT, 100}, {WXK_HOME, 0}, {WXK_LEFT, 0}};
    for (const auto& step : steps) {
        key(step.code);
        EXPECT_EQ(slider->GetValue(), step.expected) << step.code;
    }
    // An event for every change and none where the value stood still.
    EXPECT_EQ(positions, (std::vector<int>{51, 52, 51, 50, 70, 50, 100, 0}));
}

TEST_F(FlatSlider, TheThumbFollowsTheMouseAndAClickBesideItMovesAPage)
{
    slider->SetPageSize(10);
    const wxRect channel = slider->channelRect();
    wxRect thumb = slider->thumbRect();
    const int y = thumb.GetTop() + thumb.GetHeight() / 2;
    const int centre = thumb.GetLeft() + thumb.GetWidth() / 2;
    mouse(wxEVT_LEFT_DOWN, centre + 2, y);  // taken two pixels right of its centre
    EXPECT_TRUE(slider->isThumbPressed());
    EXPECT_EQ(pixelAt(drawn(), centre, y), Pressed);
    // The channel is 100 pixels for 0..100: one pixel a step.
    mouse(wxEVT_MOTION, channel.GetLeft() + 80 + 2, y);
    EXPECT_EQ(slider->GetValue(), 80);
    mouse(wxEVT_MOTION, channel.GetRight() + 50, y);
    EXPECT_EQ(slider->GetValue(), 100) << "held at the end";
    mouse(wxEVT_LEFT_UP, channel.GetRight() + 50, y);
    EXPECT_FALSE(slider->isThumbPressed());
    mouse(wxEVT_MOTION, channel.GetLeft(), y);
    EXPECT_EQ(slider->GetValue(), 100) << "released: moves do nothing";

    mouse(wxEVT_LEFT_DOWN, channel.GetLeft() + 2, y);
    EXPECT_EQ(slider->GetValue(), 90);
    EXPECT_FALSE(slider->isThumbPressed());
    EXPECT_EQ(positions, (std::vector<int>{80, 100, 90}));
}

// The notices a trackbar sends, in order, for each kind of move; the end of every move is
// the end-track notice (wxEVT_SCROLL_CHANGED).
TEST_F(FlatSlider, EachMoveSendsTheNoticeOfItsKindAndEndsWithTheEndTrackNotice)
{
    const std::pair<wxEventTypeTag<wxScrollEvent>, const char*> kinds[] = {
        {wxEVT_SCROLL_LINEUP, "line-up"},     {wxEVT_SCROLL_LINEDOWN, "line-down"},
        {wxEVT_SCROLL_PAGEUP, "page-up"},     {wxEVT_SCROLL_PAGEDOWN, "page-down"},
        {wxEVT_SCROLL_TOP, "top"},            {wxEVT_SCROLL_BOTTOM, "bottom"},
        {wxEVT_SCROLL_THUMBTRACK, "track"},   {wxEVT_SCROLL_THUMBRELEASE, "release"},
        {wxEVT_SCROLL_CHANGED, "end"}};
    std::vector<std::string> notices;
    for (const auto& [type, name] : kinds)
        slider->Bind(type, [&notices, name = std::string(name)](wxScrollEvent& e) {
            notices.push_back(name + " " + std::to_string(e.GetPosition()));
        });
    slider->SetPageSize(10);
    const wxRect channel = slider->channelRect();
    const wxRect thumb = slider->thumbRect();
    const int y = thumb.GetTop() + thumb.GetHeight() / 2;
    const int centre = thumb.GetLeft() + thumb.GetWidth() / 2;
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
    } cases[] = {
        {"right arrow", [&] { key(WXK_RIGHT); }, {"line-down 51", "end 51"}},
        {"up arrow", [&] { key(WXK_UP); }, {"line-up 50", "end 50"}},
        {"page up", [&] { key(WXK_PAGEUP); }, {"page-up 40", "end 40"}},
        {"end", [&] { key(WXK_END); }, {"bottom 100", "end 100"}},
        {"end again: no move, still the end of one", [&] { key(WXK_END); }, {"end 100"}},
        {"home", [&] { key(WXK_HOME); }, {"top 0", "end 0"}},
        {"a drag, with moves that change nothing",
         [&] {
             slider->SetValue(50);
             mouse(wxEVT_LEFT_DOWN, centre, y);
             mouse(wxEVT_MOTION, channel.GetLeft() + 60, y);
             mouse(wxEVT_MOTION, channel.GetLeft() + 60, y);
             mouse(wxEVT_MOTION, channel.GetLeft() + 70, y);
             mouse(wxEVT_LEFT_UP, channel.GetLeft() + 70, y);
         },
         {"track 60", "track 70", "release 70", "end 70"}},
        {"a click beside the thumb",
         [&] {
             mouse(wxEVT_LEFT_DOWN, channel.GetLeft() + 2, y);
             mouse(wxEVT_LEFT_UP, channel.GetLeft() + 2, y);
         },
         {"page-up 60", "end 60"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        notices.clear();
        c.act();
        EXPECT_EQ(notices, c.expected);
    }
}

TEST_F(FlatSlider, AVerticalSliderRunsFromTheTop)
{
    auto* vertical = new CFlatSlider(panel, wxID_ANY, 0, 0, 10, wxPoint(150, 0), wxSize(24, 111), wxSL_VERTICAL);
    EXPECT_TRUE(vertical->isVertical());
    const wxRect top = vertical->thumbRect();
    vertical->SetValue(10);
    EXPECT_GT(vertical->thumbRect().GetTop(), top.GetTop() + 90);
    vertical->SetValue(42);
    EXPECT_EQ(vertical->GetValue(), 10) << "clamped";
}
