#include "foundation/XmlNode.h"
#include "tests/ui/PixelProbe.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/frame.h>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

XmlNode parsed(const char* text)
{
    XmlNode node;
    node.parse(text);
    return node;
}

} // namespace

TEST(Skin, AColourElementReadsEachComponentIntoItsOwnByte)
{
    const struct {
        const char* element;
        ColorRef expected;
    } cases[] = {
        {"<c><red>255</red><green>0</green><blue>128</blue></c>", 0x8000ffu},
        {"<c red=\"1\" green=\"2\" blue=\"3\"/>", 0x030201u},       // attributes count as children
        {"<c><RED>16</RED><Blue>32</Blue></c>", 0x200010u},          // names ignore case; green missing
        {"<c><red>256</red><green>-1</green><blue>511</blue></c>", 0xffff00u}, // low 8 bits, no spill
        {"<c><red>12abc</red><green>abc</green><blue>+7</blue></c>", 0x07000cu},
        {"<c/>", 0u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        const XmlNode element = parsed(c.element);
        EXPECT_EQ(Skin::readColor(&element), c.expected);
    }
    EXPECT_EQ(Skin::readColor(nullptr), 0u);
}

TEST(Skin, LoadTakesEveryColourByItsElementAndLeavesTheUnnamedOnesBlack)
{
    Skin skin;
    skin.load(parsed("<skin>"
                     "<menu_selection_color red=\"1\"/><menu_bar_color red=\"2\"/><text_color red=\"3\"/>"
                     "<caption_text_color red=\"4\"/><background_color red=\"5\"/>"
                     "<BACKGROUND_COLOR_LIGHT red=\"6\"/><foreground_color red=\"7\"/>"
                     "<progressbar_color_back red=\"8\"/><progressbar_color_progress red=\"9\"/></skin>"));
    EXPECT_EQ(skin.menuSelectionColor(), 1u);
    EXPECT_EQ(skin.menuBarColor(), 2u);
    EXPECT_EQ(skin.textColor(), 3u);
    EXPECT_EQ(skin.captionTextColor(), 4u);
    EXPECT_EQ(skin.backgroundColor(), 5u);
    EXPECT_EQ(skin.backgroundColorLight(), 6u);
    EXPECT_EQ(skin.foregroundColor(), 7u);
    EXPECT_EQ(skin.progressBarBackColor(), 8u);
    EXPECT_EQ(skin.progressBarColor(), 9u);
    EXPECT_EQ(skin.backgroundBrush(), nullptr);

    skin.load(parsed("<skin/>"));
    EXPECT_EQ(skin.backgroundColor(), 0u);
    EXPECT_EQ(skin.foregroundColor(), 0u);
}

TEST(Skin, ThePaintersFillTheWindowsClientAreaAndSetTheContextsBackground)
{
    Skin skin;
    skin.load(parsed("<skin><background_color red=\"10\" green=\"20\" blue=\"30\"/>"
                     "<background_color_light red=\"200\" green=\"210\" blue=\"220\"/></skin>"));
    auto frame = std::make_unique<wxFrame>(nullptr, wxID_ANY, "skin");
    frame->SetClientSize(40, 30);
    const wxSize client = frame->GetClientSize();
    for (const bool light : {false, true}) {
        SCOPED_TRACE(light ? "light" : "plain");
        wxBitmap bitmap = filledBitmap(client.GetWidth() + 10, client.GetHeight() + 10, 0x00ff00);
        {
            wxMemoryDC dc(bitmap);
            if (light)
                skin.paintBackgroundLight(frame.get(), &dc);
            else
                skin.paintBackground(frame.get(), &dc);
            EXPECT_EQ(colorRefOf(dc.GetTextBackground()), light ? 0xdcd2c8u : 0x1e140au);
        }
        const ColorRef expected = light ? 0xdcd2c8u : 0x1e140au;
        EXPECT_EQ(pixelAt(bitmap, 0, 0), expected);
        EXPECT_EQ(pixelAt(bitmap, client.GetWidth() - 1, client.GetHeight() - 1), expected);
        // Nothing beyond the client area.
        EXPECT_EQ(pixelAt(bitmap, client.GetWidth() + 2, client.GetHeight() + 2), 0x00ff00u);
    }
    frame->Destroy();
}
