#pragma once

#include "core/module/ModuleInterfaces.h"

namespace orvane {

// The menus' colour rules. Each works on red, green and blue separately and rounds every
// product-and-quotient to the nearest integer, halves away from zero (Windows' MulDiv), so a
// skin's menu colours come out to the unit as they were chosen. Amounts run from 0 to 255;
// others are clamped.

// x (255 - a) / 255: 0 keeps the colour, 255 gives black.
ColorRef darken(int amount, ColorRef color);
// x + (255 - x) a / 255: 0 keeps the colour, 255 gives white.
ColorRef lighten(int amount, ColorRef color);
// 86 % of x plus 14 % of y, each of the two terms rounded by itself, so the result can be one
// above the rounded exact mix.
ColorRef blend86(ColorRef x, ColorRef y);

constexpr ColorRef rgb(int red, int green, int blue)
{
    return static_cast<ColorRef>(red & 0xff) | static_cast<ColorRef>(green & 0xff) << 8 |
           static_cast<ColorRef>(blue & 0xff) << 16;
}

// Everything the program's menus are painted with: their own colour state, which the skin
// sets at start-up, and the desktop's colours they take as they are. The derived colours below
// are the ones the painting names; MenuStyle turns them into the style sheet.
//
// Filled once on the user-interface thread at start-up; a plain value afterwards.
struct MenuColors {
    static constexpr ColorRef DefaultTick = rgb(255, 192, 111);
    static constexpr ColorRef DefaultTickSelected = rgb(254, 128, 62);

    // The desktop's menu colours for the menus' own state, and its text and highlight colours;
    // the state until the skin is taken.
    static MenuColors fromSystem();
    // The start-up step: background and bar-brush base := the skin's background colour,
    // selection := its menu selection colour, bar := its menu bar colour. The rest stays.
    void takeSkin(ISkin& skin);

    // The menus' own state.
    ColorRef menuBar = 0;          // menu frames and the end of the icon column
    ColorRef background = 0;       // popup background
    ColorRef selection = 0;        // selected popup items, the foot of an open bar item
    ColorRef barBrushBase = 0;     // the menu bar's background
    ColorRef selectionFrameBase = 0; // the desktop's highlight colour
    ColorRef tick = DefaultTick;
    ColorRef tickSelected = DefaultTickSelected;

    // The desktop's colours, read once.
    ColorRef menuText = 0;
    ColorRef grayText = 0;
    ColorRef windowText = 0;
    ColorRef buttonText = 0;
    // The desktop runs a high-contrast theme: frames and unselected texts take its text colours.
    bool highContrast = false;

    // The popup background (c1) and the right end of the icon column's gradient (c2). Where
    // the two come out equal the column would vanish, so then they are darken(10, background)
    // and the background itself.
    ColorRef popupFill() const;
    ColorRef iconColumnEnd() const;
    // The one-pixel frame around a selected item, in the bar or in a popup.
    ColorRef selectionFrame() const;
    // The open bar item's gradient runs from barItemTop() down to the selection colour.
    ColorRef barItemTop() const { return darken(10, background); }
    // The menu bar's gradient, left to right.
    ColorRef barBrushStart() const { return darken(10, barBrushBase); }
    ColorRef barBrushEnd() const { return lighten(110, barBrushStart()); }
    // A popup's window frame: the outer line, the inner line, and the inner line's left side,
    // which continues the icon column.
    ColorRef outerFrame() const;
    ColorRef innerFrame() const;
    ColorRef columnLine() const;
    // Item texts: unselected popup items, selected ones and bar items, disabled ones.
    ColorRef popupText() const { return highContrast ? windowText : menuText; }
    ColorRef selectedText() const { return menuText; }
    ColorRef disabledText() const { return grayText; }
    // Separators.
    ColorRef separator() const { return grayText; }
};

} // namespace orvane
