#include "foundation/XmlNode.h"
#include "tests/ui/PixelProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/PostedMessage.h"
#include "ui/kit/Skin.h"
#include "ui/kit/UrlOpener.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr ColorRef White = 0xffffff;
constexpr ColorRef Black = 0x000000;
constexpr ColorRef Red = 0x0000ff;
constexpr ColorRef Green = 0x00ff00;
constexpr ColorRef Blue = 0xff0000;
constexpr int ClickMessage = 0x8123;

bool near(const wxImage& image, int x, int y, ColorRef color, int tolerance = 40)
{
    const wxColour c = colourOf(color);
    return std::abs(image.GetRed(x, y) - c.Red()) <= tolerance && std::abs(image.GetGreen(x, y) - c.Green()) <= tolerance &&
           std::abs(image.GetBlue(x, y) - c.Blue()) <= tolerance;
}

// The smallest rectangle holding every pixel that passes; empty when none does.
wxRect boxOf(const wxImage& image, const std::function<bool(int x, int y)>& passes)
{
    wxRect box;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            if (passes(x, y))
                box = box.IsEmpty() ? wxRect(x, y, 1, 1) : box.Union(wxRect(x, y, 1, 1));
        }
    }
    return box;
}

bool holds(const wxImage& image, ColorRef color)
{
    return !boxOf(image, [&](int x, int y) { return near(image, x, y, color, 0); }).IsEmpty();
}

class TextLabel : public ::testing::Test {
protected:
    TextLabel()
    {
        frame = new wxFrame(nullptr, wxID_ANY, "label", wxPoint(0, 0), wxSize(400, 200));
        // On a panel: a frame stretches a lone child over its whole client area.
        panel = new wxPanel(frame, wxID_ANY, wxPoint(0, 0), wxSize(400, 200));
        label = new CTextLabel(panel, wxID_ANY, "", wxPoint(10, 10), wxSize(140, 30));
        label->SetFontName("Arial");
        label->SetFontSize(20);
        label->SetText("Hi");
        label->SetTextColor(Black);
        label->SetBackgroundColor(White);
        label->SetTransparent(false);
        frame->Show();
        previousOpener = setUrlOpener([this](const std::string& url) {
            opened.push_back(url);
            return openerWorks;
        });
        panel->Bind(EVT_POSTED_MESSAGE, [this](wxCommandEvent& event) { posted.push_back(event); });
        frame->Bind(EVT_POSTED_MESSAGE, [this](wxCommandEvent&) { ++reachedFrame; });
    }
    ~TextLabel() override
    {
        setUrlOpener(previousOpener);
        frame->Destroy();
    }

    // The label drawn over a picture of one colour, as a paint would draw it.
    wxImage drawn(ColorRef under = 0x808080) const
    {
        const wxSize size = label->GetClientSize();
        wxBitmap bitmap = filledBitmap(size.GetWidth(), size.GetHeight(), under);
        wxMemoryDC dc(bitmap);
        label->render(dc);
        dc.SelectObject(wxNullBitmap);
        return bitmap.ConvertToImage();
    }

    // Where `text` leaves ink in the label's font, drawn at (0, 0): the glyphs' side bearings
    // put it a little inside the measured extent.
    wxRect referenceInk(const wxString& text, wxSize& extent) const
    {
        wxBitmap bitmap = filledBitmap(200, 100, White);
        wxMemoryDC dc(bitmap);
        dc.SetFont(label->font());
        dc.SetTextForeground(*wxBLACK);
        dc.DrawText(text, 0, 0);
        extent = dc.GetTextExtent(text);
        dc.SelectObject(wxNullBitmap);
        const wxImage image = bitmap.ConvertToImage();
        return boxOf(image, [&](int x, int y) { return near(image, x, y, Black); });
    }

    void mouse(wxEventType type, int x, int y)
    {
        wxMouseEvent event(type);
        event.SetPosition(wxPoint(x, y));
        event.SetEventObject(label);
        label->GetEventHandler()->ProcessEvent(event);
    }

    wxFrame* frame;
    wxPanel* panel;
    CTextLabel* label;
    UrlOpenerFunction previousOpener;
    bool openerWorks = true;
    std::vector<std::string> opened;
    std::vector<wxCommandEvent> posted;
    int reachedFrame = 0;
};

} // namespace

TEST_F(TextLabel, TheTextIsPlacedByItsAlignmentInsideTheBorder)
{
    wxSize extent;
    const wxRect ink = referenceInk("Hi", extent);
    ASSERT_FALSE(ink.IsEmpty());
    const int width = 140;
    const struct {
        int alignment;
        int border;
        int left;  // where the text's extent starts
    } cases[] = {
        {-1, 0, 2},
        {-1, 3, 5},
        {0, 0, (width - extent.GetWidth()) / 2},
        {0, 2, (width - extent.GetWidth()) / 2},
        {1, 0, width - extent.GetWidth() - 2},
        {1, 2, width - extent.GetWidth() - 4},  // 4 pixels from the right edge
    };
    label->SetBorderColor(Red);
    for (const auto& c : cases) {
        SCOPED_TRACE("alignment " + std::to_string(c.alignment) + " border " + std::to_string(c.border));
        label->SetAlignment(c.alignment);
        label->SetBorderWidth(c.border);
        const wxImage image = drawn();
        const wxRect shown = boxOf(image, [&](int x, int y) { return near(image, x, y, Black); });
        EXPECT_EQ(shown.GetLeft(), c.left + ink.GetLeft());
        EXPECT_EQ(shown.GetRight(), c.left + ink.GetRight());
        EXPECT_EQ(shown.GetTop(), (30 - extent.GetHeight()) / 2 + ink.GetTop()) << "centred upright";
    }
    // Right-aligned inside a border of 2, the extent ends 4 pixels from the right edge: the
    // last ink lies that far in and the last glyph's side bearing more.
    const int bearing = extent.GetWidth() - 1 - ink.GetRight();
    ASSERT_GE(bearing, 0);
    ASSERT_LE(bearing, 3);
    const wxImage image = drawn();
    const wxRect shown = boxOf(image, [&](int x, int y) { return near(image, x, y, Black); });
    EXPECT_EQ(width - 1 - shown.GetRight(), 4 + bearing);
}

TEST_F(TextLabel, BordersAreFramesInTheBorderColourAndOnlyAnOpaqueLabelFillsItsArea)
{
    constexpr ColorRef Under = 0x336699;
    const struct {
        bool transparent;
        int border;
    } cases[] = {{false, 0}, {false, 2}, {true, 0}, {true, 3}};
    label->SetText("");
    label->SetBorderColor(Red);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.transparent ? "transparent" : "opaque") + " border " + std::to_string(c.border));
        label->SetTransparent(c.transparent);
        label->SetBorderWidth(c.border);
        const wxImage image = drawn(Under);
        const ColorRef inside = c.transparent ? Under : White;
        for (int i = 0; i < 6; ++i) {
            const ColorRef expected = i < c.border ? Red : inside;
            EXPECT_EQ(pixelAt(wxBitmap(image), i, 15), expected) << "left " << i;
            EXPECT_EQ(pixelAt(wxBitmap(image), 139 - i, 15), expected) << "right " << i;
            EXPECT_EQ(pixelAt(wxBitmap(image), 70, i), expected) << "top " << i;
            EXPECT_EQ(pixelAt(wxBitmap(image), 70, 29 - i), expected) << "bottom " << i;
            EXPECT_EQ(pixelAt(wxBitmap(image), i, i), expected) << "corner " << i;
        }
    }
}

TEST_F(TextLabel, AnEmptyTextShowsTheWindowLabel)
{
    label->SetText("");
    label->SetLabel("Window");
    wxSize extent;
    const wxRect ink = referenceInk("Window", extent);
    const wxImage image = drawn();
    EXPECT_EQ(boxOf(image, [&](int x, int y) { return near(image, x, y, Black); }).GetRight(), 2 + ink.GetRight());
}

// The effects, each with the text in the background colour so that only the effect shows:
// where it reaches beyond the text tells its offset.
TEST_F(TextLabel, ShadowAndOutlineAppearInTheirColoursAtTheirOffsets)
{
    label->SetAlignment(0);
    label->SetTextColor(Black);
    const wxImage plain = drawn();
    const wxRect text = boxOf(plain, [&](int x, int y) { return !near(plain, x, y, White, 0); });
    ASSERT_FALSE(text.IsEmpty());

    label->SetTextColor(White);
    label->SetShadowColor(Red);
    label->SetShadow(true);
    for (int offset : {1, 3}) {
        SCOPED_TRACE("shadow offset " + std::to_string(offset));
        label->SetShadowOffset(offset);
        const wxImage image = drawn();
        const wxRect shadow = boxOf(image, [&](int x, int y) { return !near(image, x, y, White, 0); });
        EXPECT_EQ(shadow.GetRight(), text.GetRight() + offset);
        EXPECT_EQ(shadow.GetBottom(), text.GetBottom() + offset);
        EXPECT_TRUE(holds(image, Red));
    }
    label->SetShadow(false);

    // The light ring one pixel out, the dark one two: each alone, the other made invisible.
    label->SetOutline(true);
    const struct {
        ColorRef light;
        ColorRef dark;
        int reach;
        ColorRef shows;
    } rings[] = {{Green, White, 1, Green}, {White, Blue, 2, Blue}};
    for (const auto& ring : rings) {
        SCOPED_TRACE("ring of " + std::to_string(ring.reach));
        label->SetOutlineColors(ring.light, ring.dark);
        const wxImage image = drawn();
        const wxRect outline = boxOf(image, [&](int x, int y) { return !near(image, x, y, White, 0); });
        EXPECT_EQ(outline, wxRect(text).Inflate(ring.reach));
        EXPECT_TRUE(holds(image, ring.shows));
    }

    // All together: the text on top in its own colour.
    label->SetTextColor(Black);
    label->SetShadow(true);
    label->SetOutlineColors(Green, Blue);
    const wxImage all = drawn();
    EXPECT_TRUE(holds(all, Black));
    EXPECT_TRUE(holds(all, Green));
    EXPECT_TRUE(holds(all, Blue));
}

TEST_F(TextLabel, ALinkIsDrawnInTheLinkColour)
{
    EXPECT_FALSE(label->isLink());
    EXPECT_TRUE(holds(drawn(), Black));
    EXPECT_FALSE(holds(drawn(), Blue));

    label->SetUrl("http://127.0.0.1/");
    EXPECT_TRUE(label->isLink());
    EXPECT_TRUE(holds(drawn(), Blue)) << "blue by default";
    EXPECT_FALSE(holds(drawn(), Black));
    label->SetLinkColor(Green);
    EXPECT_TRUE(holds(drawn(), Green));

    // A notify target makes a link only with a message to post.
    label->SetUrl("");
    label->SetNotify(panel, 0);
    EXPECT_FALSE(label->isLink());
    label->SetNotify(nullptr, ClickMessage);
    EXPECT_FALSE(label->isLink());
    label->SetNotify(panel, ClickMessage);
    EXPECT_TRUE(label->isLink());
    EXPECT_TRUE(holds(drawn(), Green));
}

TEST_F(TextLabel, AClickOnALinkOpensTheUrlAndThenPostsTheMessage)
{
    const struct {
        const char* url;
        bool notify;
        bool openerWorks;
    } cases[] = {
        {"http://127.0.0.1/page?a=1&b=2", false, true},
        {"http://127.0.0.1/", true, true},
        {"http://127.0.0.1/", true, false},  // a bell, and the message all the same
        {"", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.url) + (c.notify ? " with message" : "") + (c.openerWorks ? "" : ", opener fails"));
        opened.clear();
        posted.clear();
        openerWorks = c.openerWorks;
        label->SetUrl(c.url);
        label->SetNotify(c.notify ? panel : nullptr, ClickMessage);

        mouse(wxEVT_MOTION, 20, 15);
        EXPECT_TRUE(label->GetCursor().IsOk()) << "the hand over a link";
        mouse(wxEVT_LEFT_DOWN, 20, 15);
        mouse(wxEVT_LEFT_UP, 20, 15);
        EXPECT_EQ(opened, *c.url ? std::vector<std::string>{c.url} : std::vector<std::string>{});
        EXPECT_TRUE(posted.empty()) << "posted, not sent";
        if (c.notify) {
            ASSERT_TRUE(waitUntil([&] { return !posted.empty(); }));
            EXPECT_EQ(posted.size(), 1u);
            EXPECT_EQ(posted[0].GetId(), ClickMessage);
            EXPECT_EQ(posted[0].GetInt(), 0);
            EXPECT_EQ(posted[0].GetExtraLong(), 0);
        }
    }
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(reachedFrame, 0) << "a message stays with the window it was posted to";
}

TEST_F(TextLabel, AClickElsewhereOrOnPlainTextOpensAndPostsNothing)
{
    label->SetUrl("http://127.0.0.1/");
    label->SetNotify(panel, ClickMessage);
    mouse(wxEVT_LEFT_UP, 150, 15);  // the button let go beside the label
    mouse(wxEVT_LEFT_UP, 20, -1);

    label->SetUrl("");
    label->SetNotify(nullptr, 0);
    mouse(wxEVT_MOTION, 20, 15);
    EXPECT_FALSE(label->GetCursor().IsOk()) << "the ordinary arrow over plain text";
    mouse(wxEVT_LEFT_UP, 20, 15);
    wxTheApp->ProcessPendingEvents();
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(posted.empty());
}

TEST_F(TextLabel, ANotifyTargetDestroyedBeforeTheClickIsNotPostedTo)
{
    auto* target = new wxPanel(panel, wxID_ANY, wxPoint(200, 0), wxSize(10, 10));
    int received = 0;
    target->Bind(EVT_POSTED_MESSAGE, [&](wxCommandEvent&) { ++received; });
    label->SetNotify(target, ClickMessage);
    target->Destroy();
    EXPECT_FALSE(label->isLink());
    mouse(wxEVT_LEFT_UP, 20, 15);
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(received, 0);
}

TEST_F(TextLabel, TheFontStartsAsTheWindowsAndTheSettersChangeIt)
{
    panel->SetFont(wxFontInfo(12.0).FaceName("DejaVu Serif"));
    auto* inherited = new CTextLabel(panel, wxID_ANY, "x", wxPoint(0, 100), wxSize(50, 20));
    EXPECT_EQ(inherited->font().description().faceName, "DejaVu Serif");
    EXPECT_EQ(inherited->GetFontSize(), -16);
    EXPECT_EQ(inherited->font().GetColor(), systemColor(wxSYS_COLOUR_BTNTEXT)) << "in the text colour";
    EXPECT_TRUE(inherited->isTransparent());

    inherited->SetFontSize(10);
    inherited->SetFontName("MS Sans Serif");
    inherited->SetFontBold(true);
    EXPECT_EQ(inherited->GetFontSize(), -10);
    EXPECT_EQ(inherited->font().font().GetFaceName(), "Liberation Sans");
    EXPECT_EQ(inherited->font().description().weight, 700);

    // Without a size of its own it takes the room its text needs, border and indent included.
    auto* fitted = new CTextLabel(panel, wxID_ANY, "", wxPoint(0, 130));
    fitted->SetFontName("Arial");
    fitted->SetFontSize(20);
    fitted->SetText("Hi");
    fitted->SetBorderWidth(3);
    wxSize extent;
    referenceInk("Hi", extent);
    EXPECT_EQ(fitted->GetBestSize(), wxSize(extent.GetWidth() + 10, extent.GetHeight() + 6));
}

// On the real display: GTK draws the parent before the label, so a transparent label shows
// the skin's background its parent paints, and a redraw after a change leaves no trace of
// the old text.
TEST_F(TextLabel, ATransparentLabelShowsItsParentsPaintedBackgroundOnScreen)
{
    // The parent's painter outlives this test until the frame is gone: it holds its own state.
    auto skin = std::make_shared<ColorRef>(0x2060a0);
    panel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    wxPanel* parent = panel;
    panel->Bind(wxEVT_PAINT, [parent, skin](wxPaintEvent&) {
        wxPaintDC dc(parent);
        const ColorRef c = *skin;
        XmlNode colours;
        colours.parse(("<skin><background_color><red>" + std::to_string(c & 0xff) + "</red><green>" +
                       std::to_string((c >> 8) & 0xff) + "</green><blue>" + std::to_string(c >> 16) +
                       "</blue></background_color></skin>")
                          .c_str());
        Skin painter;
        painter.load(colours);
        painter.paintBackground(parent, &dc);
    });
    label->SetTextColor(White);
    label->SetTransparent(true);
    panel->Refresh();
    const wxRect area(label->ClientToScreen(wxPoint(0, 0)), label->GetClientSize());
    auto shows = [&](ColorRef corner, ColorRef text) {
        const wxImage image = screenImage(area);
        return image.IsOk() && near(image, 1, 1, corner, 0) && holds(image, text);
    };
    ASSERT_TRUE(waitUntil([&] { return shows(*skin, White); })) << "the skin around white text";

    // The skin changes under the label; its redraw repaints the parent beneath it first.
    *skin = 0x206020;
    label->SetText("");
    ASSERT_TRUE(waitUntil([&] {
        const wxImage image = screenImage(area);
        return image.IsOk() && near(image, 1, 1, *skin, 0) && !holds(image, White);
    })) << "the new skin, the old text gone";

    label->SetText("Hi");
    label->SetTransparent(false);
    EXPECT_TRUE(waitUntil([&] { return shows(White, White) || shows(White, Black); }));
    label->SetTextColor(Black);
    label->Redraw();
    EXPECT_TRUE(waitUntil([&] { return shows(White, Black); })) << "opaque: the label's own background";
}
