#include "ui/MenuColors.h"

#include "ui/kit/Skin.h"

#include <wx/settings.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

// a b / c rounded to the nearest integer, halves up; every operand here is non-negative.
int mulDiv(int a, int b, int c)
{
    return (2 * a * b + c) / (2 * c);
}

int component(ColorRef color, int shift)
{
    return static_cast<int>((color >> shift) & 0xff);
}

template <typename Rule>
ColorRef eachComponent(ColorRef color, Rule rule)
{
    return rgb(rule(component(color, 0)), rule(component(color, 8)), rule(component(color, 16)));
}

int clampAmount(int amount)
{
    return std::clamp(amount, 0, 255);
}

bool highContrastTheme()
{
#ifdef __WXGTK__
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings)
        return false;
    gchar* name = nullptr;
    g_object_get(settings, "gtk-theme-name", &name, nullptr);
    // GNOME's high-contrast themes: "HighContrast" and "HighContrastInverse".
    const bool high = name && std::strncmp(name, "HighContrast", 12) == 0;
    g_free(name);
    return high;
#else
    return false;
#endif
}

} // namespace

ColorRef darken(int amount, ColorRef color)
{
    const int keep = 255 - clampAmount(amount);
    return eachComponent(color, [keep](int x) { return mulDiv(x, keep, 255); });
}

ColorRef lighten(int amount, ColorRef color)
{
    const int a = clampAmount(amount);
    return eachComponent(color, [a](int x) { return x + mulDiv(255 - x, a, 255); });
}

ColorRef blend86(ColorRef x, ColorRef y)
{
    auto mix = [](int a, int b) { return mulDiv(86, a, 100) + mulDiv(14, b, 100); };
    return rgb(mix(component(x, 0), component(y, 0)), mix(component(x, 8), component(y, 8)),
               mix(component(x, 16), component(y, 16)));
}

MenuColors MenuColors::fromSystem()
{
    MenuColors colors;
    colors.menuBar = systemColor(wxSYS_COLOUR_MENUBAR);
    colors.background = systemColor(wxSYS_COLOUR_MENU);
    colors.selection = systemColor(wxSYS_COLOUR_MENUHILIGHT);
    colors.barBrushBase = colors.background;
    colors.selectionFrameBase = systemColor(wxSYS_COLOUR_HIGHLIGHT);
    colors.menuText = systemColor(wxSYS_COLOUR_MENUTEXT);
    colors.grayText = systemColor(wxSYS_COLOUR_GRAYTEXT);
    colors.windowText = systemColor(wxSYS_COLOUR_WINDOWTEXT);
    colors.buttonText = systemColor(wxSYS_COLOUR_BTNTEXT);
    colors.highContrast = highContrastTheme();
    return colors;
}

void MenuColors::takeSkin(ISkin& skin)
{
    background = skin.backgroundColor();
    barBrushBase = skin.backgroundColor();
    selection = skin.menuSelectionColor();
    menuBar = skin.menuBarColor();
}

ColorRef MenuColors::popupFill() const
{
    const ColorRef c1 = blend86(darken(10, background), background);
    const ColorRef c2 = blend86(menuBar, darken(10, background));
    return c1 == c2 ? darken(10, background) : c1;
}

ColorRef MenuColors::iconColumnEnd() const
{
    const ColorRef c1 = blend86(darken(10, background), background);
    const ColorRef c2 = blend86(menuBar, darken(10, background));
    return c1 == c2 ? background : c2;
}

ColorRef MenuColors::selectionFrame() const
{
    return highContrast ? blend86(selectionFrameBase, buttonText) : darken(128, selectionFrameBase);
}

ColorRef MenuColors::outerFrame() const
{
    return highContrast ? buttonText : darken(128, menuBar);
}

ColorRef MenuColors::innerFrame() const
{
    return highContrast ? buttonText : blend86(background, menuBar);
}

ColorRef MenuColors::columnLine() const
{
    return highContrast ? buttonText : blend86(menuBar, background);
}

} // namespace orvane
