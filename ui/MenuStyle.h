#pragma once

#include "ui/MenuColors.h"

#include <string>

class wxMenu;
class wxMenuBar;

typedef struct _GdkScreen GdkScreen;
typedef struct _GtkCssProvider GtkCssProvider;

namespace orvane {

// The program's menus in the skin's colours and a flat look. GTK draws menus itself, so the
// look is a GTK style sheet built from MenuColors: the menu bar's horizontal gradient and its
// open item, the popups' background with the icon column's gradient, the selected item with
// its frame, the popup window's flat double frame, separators and the item texts.
//
// The sheet is put on the screen once for the whole program: a sheet given to one widget
// reaches neither that widget's children (the items and their labels) nor the popup windows
// GTK makes for the menus. Its rules only match menus that carry the StyleClass, which
// dress() gives them, so the other menus GTK makes (a combo box's list, a text field's
// context menu) keep the desktop's look. The menu factory (MainMenu) dresses every menu it
// builds; a menu built elsewhere that is to look like the program's needs dress() too.
//
// User-interface thread only. The sheet stays on the screen while this object lives.
class MenuStyle {
public:
    static const char* const StyleClass;
    // What the bar item under the pointer carries while no menu is open.
    static const char* const HotClass;
    // The menu bar's gradient is one tile this high, repeated downwards.
    static constexpr int BarBrushHeight = 20;
    // The icon column at the left of every popup, 16 pixels of icon and 8 of margin.
    static constexpr int IconColumnWidth = 24;
    // Popup item texts start this far after the column and end this far before the right edge.
    static constexpr int TextGap = 4;
    static constexpr int TextRightMargin = 15;
    static constexpr int MinimumItemHeight = 23;

    MenuStyle() = default;
    ~MenuStyle();
    MenuStyle(const MenuStyle&) = delete;
    MenuStyle& operator=(const MenuStyle&) = delete;

    // Builds the sheet for the colours and the width of the primary display and puts it on
    // the default screen in place of the one before. Answers false when GTK did not take the
    // whole sheet (the menus then look as far as it got).
    bool apply(const MenuColors& colors);
    const std::string& styleSheet() const { return sheet_; }

    // The sheet for the colours; the bar's gradient tile is barBrushWidth wide.
    static std::string styleSheet(const MenuColors& colors, int barBrushWidth);
    // The bar's gradient spans the screen's width plus 16, rounded down to a multiple of 8, so
    // a window anywhere on the screen shows a part of one sweep.
    static int barBrushWidth(int screenWidth);

    // Marks the menu bar, or the popup menu and its sub-menus, as the program's own, and has
    // the bar light the item under the pointer. Dressing again after a menu has been
    // inserted covers the new one.
    static void dress(wxMenuBar& bar);
    static void dress(wxMenu& menu);

private:
    void remove();

    GtkCssProvider* provider_ = nullptr;
    GdkScreen* screen_ = nullptr;
    std::string sheet_;
};

} // namespace orvane
