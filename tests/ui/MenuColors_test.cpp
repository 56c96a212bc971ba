#include "ui/MenuColors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace orvane;

namespace {

std::string describe(ColorRef color)
{
    char text[32];
    std::snprintf(text, sizeof text, "RGB(%u, %u, %u)", color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff);
    return text;
}

// The installation's skin (config.ini): background, menu bar and menu selection colours.
constexpr ColorRef SkinBackground = rgb(200, 216, 236);
constexpr ColorRef SkinMenuBar = rgb(214, 226, 242);
constexpr ColorRef SkinSelection = rgb(176, 202, 238);

class StubSkin : public ISkin {
public:
    void paintBackground(WindowHandle, DeviceContextHandle) override {}
    void paintBackgroundLight(WindowHandle, DeviceContextHandle) override {}
    ColorRef menuSelectionColor() override { return SkinSelection; }
    ColorRef menuBarColor() override { return SkinMenuBar; }
    ColorRef textColor() override { return rgb(1, 2, 3); }
    ColorRef captionTextColor() override { return rgb(4, 5, 6); }
    ColorRef backgroundColor() override { return SkinBackground; }
    ColorRef backgroundColorLight() override { return rgb(7, 8, 9); }
    BrushHandle backgroundBrush() override { return nullptr; }
    ColorRef progressBarBackColor() override { return rgb(10, 11, 12); }
    ColorRef progressBarColor() override { return rgb(13, 14, 15); }
};

MenuColors skinned()
{
    MenuColors colors;
    colors.selectionFrameBase = rgb(53, 132, 228);
    colors.menuText = rgb(20, 40, 100);
    colors.grayText = rgb(130, 130, 130);
    colors.windowText = rgb(0, 0, 0);
    colors.buttonText = rgb(0, 0, 0);
    StubSkin skin;
    colors.takeSkin(skin);
    return colors;
}

TEST(MenuColourRules, DarkenScalesEachComponentAndRoundsToTheNearest)
{
    const struct {
        int amount;
        ColorRef color;
        ColorRef expected;
    } cases[] = {
        // 200 * 245 / 255 = 192.16, 216 * 245 / 255 = 207.53, 236 * 245 / 255 = 226.75
        {10, rgb(200, 216, 236), rgb(192, 208, 227)},
        // 214 * 127 / 255 = 106.58, 226 * 127 / 255 = 112.56, 242 * 127 / 255 = 120.53
        {128, rgb(214, 226, 242), rgb(107, 113, 121)},
        // 1 * 127 / 255 = 0.498 goes down, 128 * 254 / 255 = 127.498 too; 255 * 127 / 255 exactly
        {128, rgb(1, 255, 0), rgb(0, 127, 0)},
        {1, rgb(128, 255, 2), rgb(127, 254, 2)},
        {0, rgb(12, 34, 56), rgb(12, 34, 56)},
        {255, rgb(255, 255, 255), rgb(0, 0, 0)},
        // Beyond the range: clamped.
        {300, rgb(255, 255, 255), rgb(0, 0, 0)},
        {-5, rgb(12, 34, 56), rgb(12, 34, 56)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.color) + " by " + std::to_string(c.amount));
        EXPECT_EQ(describe(darken(c.amount, c.color)), describe(c.expected));
    }
}

TEST(MenuColourRules, LightenMovesEachComponentTowardWhite)
{
    const struct {
        int amount;
        ColorRef color;
        ColorRef expected;
    } cases[] = {
        // 63 * 110 / 255 = 27.18, 47 * 110 / 255 = 20.27, 28 * 110 / 255 = 12.08
        {110, rgb(192, 208, 227), rgb(219, 228, 239)},
        // 254 * 110 / 255 = 109.57 goes up; 255 * 128 / 255 exactly
        {110, rgb(1, 0, 255), rgb(111, 110, 255)},
        {128, rgb(0, 0, 0), rgb(128, 128, 128)},
        {0, rgb(12, 34, 56), rgb(12, 34, 56)},
        {255, rgb(12, 34, 56), rgb(255, 255, 255)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.color) + " by " + std::to_string(c.amount));
        EXPECT_EQ(describe(lighten(c.amount, c.color)), describe(c.expected));
    }
}

TEST(MenuColourRules, Blend86RoundsEachTermByItselfWithHalvesUp)
{
    const struct {
        ColorRef x;
        ColorRef y;
        ColorRef expected;
    } cases[] = {
        // 21.5 -> 22 and 3.5 -> 4: 26, where the exact mix is 25.
        {rgb(25, 25, 25), rgb(25, 25, 25), rgb(26, 26, 26)},
        // 165.12 + 28, 178.88 + 30.24, 195.22 + 33.04
        {rgb(192, 208, 227), rgb(200, 216, 236), rgb(193, 209, 228)},
        // 219.3 + 0, 0 + 35.7, 0
        {rgb(255, 0, 0), rgb(0, 255, 0), rgb(219, 36, 0)},
        // 219.3 + 35.7 rounds to 219 + 36: white stays white, no component spills over.
        {rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255)},
        {rgb(0, 0, 0), rgb(0, 0, 0), rgb(0, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.x) + " with " + describe(c.y));
        EXPECT_EQ(describe(blend86(c.x, c.y)), describe(c.expected));
    }
}

TEST(MenuColourState, TheSkinSetsBackgroundBarBrushSelectionAndBarAndNothingElse)
{
    MenuColors colors;
    colors.menuBar = colors.background = colors.selection = colors.barBrushBase = rgb(1, 1, 1);
    colors.selectionFrameBase = rgb(53, 132, 228);
    colors.menuText = rgb(2, 2, 2);
    StubSkin skin;
    colors.takeSkin(skin);
    EXPECT_EQ(describe(colors.background), describe(SkinBackground));
    EXPECT_EQ(describe(colors.barBrushBase), describe(SkinBackground));
    EXPECT_EQ(describe(colors.selection), describe(SkinSelection));
    EXPECT_EQ(describe(colors.menuBar), describe(SkinMenuBar));
    EXPECT_EQ(describe(colors.selectionFrameBase), describe(rgb(53, 132, 228)));
    EXPECT_EQ(describe(colors.menuText), describe(rgb(2, 2, 2)));
    EXPECT_EQ(describe(colors.tick), describe(rgb(255, 192, 111)));
    EXPECT_EQ(describe(colors.tickSelected), describe(rgb(254, 128, 62)));
}

TEST(MenuColourState, TheDerivedColoursOfTheInstalledSkin)
{
    const MenuColors colors = skinned();
    const struct {
        const char* what;
        ColorRef actual;
        ColorRef expected;
    } cases[] = {
        // c1 = blend86(darken(10, bg), bg): darken(10, bg) = (192, 208, 227), see above.
        {"popup fill c1", colors.popupFill(), rgb(193, 209, 228)},
        // c2 = blend86(bar, darken(10, bg)): 184.04 + 26.88, 194.36 + 29.12, 208.12 + 31.78
        {"icon column end c2", colors.iconColumnEnd(), rgb(211, 223, 240)},
        // darken(128, highlight): 26.40, 65.74, 113.55
        {"selection frame", colors.selectionFrame(), rgb(26, 66, 114)},
        {"open bar item top", colors.barItemTop(), rgb(192, 208, 227)},
        {"bar brush start", colors.barBrushStart(), rgb(192, 208, 227)},
        {"bar brush end", colors.barBrushEnd(), rgb(219, 228, 239)},
        {"outer frame", colors.outerFrame(), rgb(107, 113, 121)},
        // blend86(bg, bar): 172 + 29.96, 185.76 + 31.64, 202.96 + 33.88
        {"inner frame", colors.innerFrame(), rgb(202, 218, 237)},
        // blend86(bar, bg): 184.04 + 28, 194.36 + 30.24, 208.12 + 33.04
        {"column line", colors.columnLine(), rgb(212, 224, 241)},
        {"popup text", colors.popupText(), rgb(20, 40, 100)},
        {"disabled text", colors.disabledText(), rgb(130, 130, 130)},
        {"separator", colors.separator(), rgb(130, 130, 130)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(c.actual), describe(c.expected));
    }
}

TEST(MenuColourState, WhereC1AndC2ComeOutEqualTheColumnRunsFromTheDarkenedBackgroundToTheBackground)
{
    // bg white: darken(10, bg) = 245, c1 = 210.7 + 35.7 -> 211 + 36 = 247;
    // bar 248: c2 = 213.28 + 34.3 -> 213 + 34 = 247.
    MenuColors colors;
    colors.background = rgb(255, 255, 255);
    colors.menuBar = rgb(248, 248, 248);
    EXPECT_EQ(describe(colors.popupFill()), describe(rgb(245, 245, 245)));
    EXPECT_EQ(describe(colors.iconColumnEnd()), describe(rgb(255, 255, 255)));
    // One step darker bar and the two differ again.
    colors.menuBar = rgb(247, 247, 247);
    EXPECT_EQ(describe(colors.popupFill()), describe(rgb(247, 247, 247)));
    EXPECT_EQ(describe(colors.iconColumnEnd()), describe(rgb(246, 246, 246)));
}

TEST(MenuColourState, HighContrastTakesTheDesktopsTextColoursForFramesAndUnselectedTexts)
{
    MenuColors colors = skinned();
    colors.highContrast = true;
    colors.windowText = rgb(1, 2, 3);
    colors.buttonText = rgb(0, 0, 0);
    // blend86(highlight, button text): 45.58, 113.52, 196.08
    EXPECT_EQ(describe(colors.selectionFrame()), describe(rgb(46, 114, 196)));
    EXPECT_EQ(describe(colors.outerFrame()), describe(rgb(0, 0, 0)));
    EXPECT_EQ(describe(colors.innerFrame()), describe(rgb(0, 0, 0)));
    EXPECT_EQ(describe(colors.columnLine()), describe(rgb(0, 0, 0)));
    EXPECT_EQ(describe(colors.popupText()), describe(rgb(1, 2, 3)));
    EXPECT_EQ(describe(colors.selectedText()), describe(rgb(20, 40, 100)));
}

} // namespace
