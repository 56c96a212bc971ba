#include "tests/ui/ScreenProbe.h"
#include "ui/CNewPersistSDIFrame.h"
#include "ui/CommandIds.h"
#include "ui/MainMenu.h"
#include "ui/MenuStyle.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::string describe(ColorRef color)
{
    char text[32];
    std::snprintf(text, sizeof text, "RGB(%u, %u, %u)", color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff);
    return text;
}

// The installation's skin with desktop colours picked to stand apart from it and from each
// other, so that every rule shows on the screen with a colour of its own.
MenuColors testColours()
{
    MenuColors colors;
    colors.background = colors.barBrushBase = rgb(200, 216, 236);
    colors.menuBar = rgb(214, 226, 242);
    colors.selection = rgb(176, 202, 238);
    colors.selectionFrameBase = rgb(53, 132, 228);
    colors.menuText = rgb(20, 40, 100);
    colors.grayText = rgb(150, 110, 110);
    colors.windowText = rgb(0, 0, 0);
    colors.buttonText = rgb(0, 0, 0);
    return colors;
}

// The declarations of the rule whose selector is exactly `selector`, or "" when there is none.
std::string ruleBody(const std::string& sheet, const std::string& selector)
{
    const std::string head = "\n" + selector + " {\n";
    const size_t start = sheet.find(head);
    if (start == std::string::npos)
        return "";
    const size_t body = start + head.size();
    return sheet.substr(body, sheet.find('}', body) - body);
}

TEST(MenuStyleSheet, EachRuleCarriesItsComputedColoursAndSizes)
{
    const std::string sheet = MenuStyle::styleSheet(testColours(), 1296);
    const struct {
        const char* selector;
        const char* declaration;
    } cases[] = {
        // The bar: darken(10, bg) = (192, 208, 227) to lighten(110, that) = (219, 228, 239),
        // one tile of 1296 by 20.
        {"menubar.orvane-menu", "background-image: linear-gradient(to right, #c0d0e3, #dbe4ef);"},
        {"menubar.orvane-menu", "background-size: 1296px 20px;"},
        {"menubar.orvane-menu", "background-repeat: repeat;"},
        {"menubar.orvane-menu > menuitem", "color: #142864;"},
        // The item under the pointer and the open one: darken(10, bg) down to the selection
        // colour; the open one framed in darken(128, highlight) = (26, 66, 114).
        {"menubar.orvane-menu > menuitem.orvane-hot, menubar.orvane-menu > menuitem:hover",
         "background-image: linear-gradient(to bottom, #c0d0e3, #b0caee);"},
        {"menubar.orvane-menu > menuitem:hover", "box-shadow: inset 0 0 0 1px #1a4272;"},
        {"menubar.orvane-menu > menuitem:disabled", "color: #966e6e;"},
        // The popup: c1 = (193, 209, 228), c2 = (211, 223, 240); frames (107, 113, 121) outside,
        // (202, 218, 237) inside, (212, 224, 241) down its left side.
        {"menu.orvane-menu", "border: 1px solid #6b7179;"},
        {"menu.orvane-menu", "background-color: #c1d1e4;"},
        {"menu.orvane-menu", "background-image: linear-gradient(to right, #c1d1e4, #d3dff0);"},
        {"menu.orvane-menu", "background-size: 24px 100%;"},
        {"menu.orvane-menu", "box-shadow: inset 0 0 0 1px #cadaed, inset 1px 0 #d4e0f1;"},
        {"menu.orvane-menu menuitem", "min-height: 23px;"},
        {"menu.orvane-menu menuitem", "padding: 0 15px 0 28px;"},
        {"menu.orvane-menu menuitem", "color: #142864;"},
        {"menu.orvane-menu menuitem:hover", "background-color: #b0caee;"},
        {"menu.orvane-menu menuitem:hover", "box-shadow: inset 0 0 0 1px #1a4272;"},
        {"menu.orvane-menu menuitem:disabled", "color: #966e6e;"},
        {"menu.orvane-menu separator", "background-color: #966e6e;"},
        {"menu.orvane-menu separator", "margin: 1px 15px 1px 28px;"},
        {"menu.orvane-menu menuitem check, menu.orvane-menu menuitem radio", "background-color: #ffc06f;"},
        {"menu.orvane-menu menuitem:hover check, menu.orvane-menu menuitem:hover radio",
         "background-color: #fe803e;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selector) + " { " + c.declaration + " }");
        const std::string body = ruleBody(sheet, c.selector);
        ASSERT_FALSE(body.empty()) << sheet;
        EXPECT_NE(body.find(std::string("  ") + c.declaration + "\n"), std::string::npos) << body;
    }
}

TEST(MenuStyleSheet, HighContrastGivesUnselectedItemsTheWindowTextAndFramesTheButtonText)
{
    MenuColors colors = testColours();
    colors.highContrast = true;
    colors.windowText = rgb(1, 2, 3);
    const std::string sheet = MenuStyle::styleSheet(colors, 1296);
    EXPECT_NE(ruleBody(sheet, "menu.orvane-menu menuitem").find("  color: #010203;\n"), std::string::npos);
    EXPECT_NE(ruleBody(sheet, "menu.orvane-menu menuitem:hover").find("  color: #142864;\n"), std::string::npos);
    EXPECT_NE(ruleBody(sheet, "menu.orvane-menu").find("  border: 1px solid #000000;\n"), std::string::npos);
}

TEST(MenuStyleSheet, TheBarTileSpansTheScreenPlus16RoundedDownToEights)
{
    const struct {
        int screen;
        int tile;
    } cases[] = {{1280, 1296}, {1366, 1376}, {1920, 1936}, {1021, 1032}, {0, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        EXPECT_EQ(MenuStyle::barBrushWidth(c.screen), c.tile);
    }
}

// ---------------------------------------------------------------------------------------------
// On the screen.

// Where the widget is on the screen, from GTK's own geometry.
wxRect screenRect(GtkWidget* widget)
{
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    int x = 0;
    int y = 0;
    gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
    return wxRect(originX + x, originY + y, gtk_widget_get_allocated_width(widget),
                  gtk_widget_get_allocated_height(widget));
}

ColorRef pixel(const wxImage& image, int x, int y)
{
    return rgb(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

int distance(ColorRef a, ColorRef b)
{
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)));
    return most;
}

// Whether some pixel in the area has exactly the colour: a text's solid strokes do.
bool showsColour(const wxImage& image, const wxRect& area, ColorRef color)
{
    for (int y = area.GetTop(); y <= area.GetBottom(); ++y)
        for (int x = area.GetLeft(); x <= area.GetRight(); ++x)
            if (pixel(image, x, y) == color)
                return true;
    return false;
}

// Keeps a picture for a person to look at when ORVANE_SCREENSHOTS names a folder.
void keep(const wxImage& image, const char* name)
{
    if (const char* folder = std::getenv("ORVANE_SCREENSHOTS"))
        image.SaveFile(wxString(folder) + "/" + name + ".png", wxBITMAP_TYPE_PNG);
}

class MenuOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        colors = testColours();
        ASSERT_TRUE(style.apply(colors)) << style.styleSheet();
        frame = new CNewPersistSDIFrame(profile, nullptr, wxID_ANY, "Orvane", wxPoint(40, 40), wxSize(360, 300));
        frame->Show();
        ASSERT_TRUE(waitUntil([&] { return frame->IsShownOnScreen() && gtk_widget_get_mapped(bar()); }));
    }

    void TearDown() override
    {
        if (GtkWidget* shell = frame ? bar() : nullptr)
            gtk_menu_shell_cancel(GTK_MENU_SHELL(shell));
        if (frame)
            frame->Destroy();
        wxTheApp->ProcessIdle();
    }

    GtkWidget* bar() { return static_cast<GtkWidget*>(frame->GetMenuBar()->GetHandle()); }
    wxMenu& menu(size_t index) { return *frame->GetMenuBar()->GetMenu(index); }
    GtkWidget* item(int command) { return frame->GetMenuBar()->FindItem(command::toWxId(command))->GetMenuItem(); }

    // Opens the bar's menu with a click on its title, as a person does.
    void open(wxMenu& popup)
    {
        const wxRect title = screenRect(popup.m_owner);
        simulator.MouseMove(title.GetLeft() + title.GetWidth() / 2, title.GetTop() + title.GetHeight() / 2);
        simulator.MouseClick();
        ASSERT_TRUE(waitUntil([&] { return gtk_widget_get_mapped(popup.m_menu); }));
    }

    wxFileConfig profile{wxEmptyString, wxEmptyString, wxEmptyString, wxEmptyString, 0};
    MenuColors colors;
    MenuStyle style;
    CNewPersistSDIFrame* frame = nullptr;
    wxUIActionSimulator simulator;
};

TEST_F(MenuOnScreen, TheOpenFileMenuShowsTheSkinsColoursTheSelectionAndTheTexts)
{
    frame->GetMenuBar()->Enable(command::toWxId(command::Settings), false);
    wxMenu& file = menu(0);
    open(file);
    // The pointer on "Sign &Out" selects it.
    const wxRect signOut = screenRect(item(command::SignOut));
    simulator.MouseMove(signOut.GetLeft() + signOut.GetWidth() - 4, signOut.GetTop() + signOut.GetHeight() / 2);
    const wxRect popup = screenRect(file.m_menu);
    wxImage shot;
    ASSERT_TRUE(waitUntil([&] {
        shot = screenImage(popup);
        return shot.IsOk() && pixel(shot, popup.width - 8, signOut.GetTop() - popup.GetTop() + 4) == colors.selection;
    })) << "the selected item never showed the selection colour";
    keep(shot, "menu-file-popup");

    auto inPopup = [&](const wxRect& r) { return wxRect(r.GetPosition() - popup.GetPosition(), r.GetSize()); };
    const wxRect signIn = inPopup(screenRect(item(command::SignIn)));
    const wxRect selected = inPopup(signOut);
    const wxRect settings = inPopup(screenRect(item(command::Settings)));
    const int right = popup.width - 1;
    const int bottom = popup.height - 1;
    const int row = signIn.GetTop() + signIn.GetHeight() / 2;

    // The frame: outer line, inner line, and the inner line's left side in the column's colour.
    EXPECT_EQ(describe(pixel(shot, 0, row)), describe(colors.outerFrame()));
    EXPECT_EQ(describe(pixel(shot, right, row)), describe(colors.outerFrame()));
    EXPECT_EQ(describe(pixel(shot, popup.width / 2, 0)), describe(colors.outerFrame()));
    EXPECT_EQ(describe(pixel(shot, popup.width / 2, bottom)), describe(colors.outerFrame()));
    EXPECT_EQ(describe(pixel(shot, 1, row)), describe(colors.columnLine()));
    EXPECT_EQ(describe(pixel(shot, right - 1, row)), describe(colors.innerFrame()));
    EXPECT_EQ(describe(pixel(shot, popup.width / 2, 1)), describe(colors.innerFrame()));
    EXPECT_EQ(describe(pixel(shot, popup.width / 2, bottom - 1)), describe(colors.innerFrame()));

    // The icon column: 24 pixels from c1 to c2 at the items' left edge, then c1.
    EXPECT_EQ(signIn.GetLeft(), 2);
    EXPECT_LE(distance(pixel(shot, 2, row), colors.popupFill()), 1) << describe(pixel(shot, 2, row));
    EXPECT_LE(distance(pixel(shot, 25, row), colors.iconColumnEnd()), 1) << describe(pixel(shot, 25, row));
    EXPECT_EQ(describe(pixel(shot, 26, row)), describe(colors.popupFill()));
    EXPECT_EQ(describe(pixel(shot, right - 3, row)), describe(colors.popupFill()));

    // The selected item: filled, framed, its whole width.
    const int selectedRow = selected.GetTop() + selected.GetHeight() / 2;
    EXPECT_EQ(describe(pixel(shot, 10, selectedRow)), describe(colors.selection));
    EXPECT_EQ(describe(pixel(shot, selected.GetLeft(), selectedRow)), describe(colors.selectionFrame()));
    EXPECT_EQ(describe(pixel(shot, selected.GetRight(), selectedRow)), describe(colors.selectionFrame()));
    EXPECT_EQ(describe(pixel(shot, 10, selected.GetTop())), describe(colors.selectionFrame()));
    EXPECT_EQ(describe(pixel(shot, 10, selected.GetBottom())), describe(colors.selectionFrame()));

    // Items are at least 23 high; texts start 4 pixels after the column.
    EXPECT_GE(signIn.GetHeight(), MenuStyle::MinimumItemHeight);
    const wxRect text(signIn.GetLeft() + 28, signIn.GetTop(), signIn.GetWidth() - 28 - 15, signIn.GetHeight());
    EXPECT_TRUE(showsColour(shot, text, colors.popupText()));
    EXPECT_FALSE(showsColour(shot, wxRect(2, signIn.GetTop() + 2, 27, signIn.GetHeight() - 4), colors.popupText()))
        << "text inside the icon column";
    EXPECT_TRUE(showsColour(shot, selected.Deflate(2, 2), colors.selectedText()));
    EXPECT_TRUE(showsColour(shot, settings, colors.disabledText()));
    EXPECT_FALSE(showsColour(shot, settings, colors.popupText()));

    // The separator after "Sign in &as ...": one grey line across the text area.
    const wxRect signInAs = inPopup(screenRect(item(command::SignInAs)));
    const int gap = settings.GetTop() - signInAs.GetBottom() - 1;
    EXPECT_EQ(gap, 3);
    const int line = signInAs.GetBottom() + 2;
    EXPECT_EQ(describe(pixel(shot, 28 + 2, line)), describe(colors.separator()));
    EXPECT_EQ(describe(pixel(shot, right - 2 - 15, line)), describe(colors.separator()));
    EXPECT_EQ(describe(pixel(shot, 28 + 1, line)), describe(colors.popupFill()));
    EXPECT_EQ(describe(pixel(shot, 30, line - 1)), describe(colors.popupFill()));
}

TEST_F(MenuOnScreen, TheBarShowsItsSweepAndTheOpenItemItsGradientInTheSelectionFrame)
{
    const wxRect barArea = screenRect(bar());
    open(menu(1));
    const wxRect title = screenRect(menu(1).m_owner);
    const wxRect titleInBar(title.GetPosition() - barArea.GetPosition(), title.GetSize());
    wxImage shot;
    ASSERT_TRUE(waitUntil([&] {
        shot = screenImage(barArea);
        return shot.IsOk() && pixel(shot, titleInBar.GetLeft(), titleInBar.GetTop() + titleInBar.GetHeight() / 2) ==
                                  colors.selectionFrame();
    })) << "the open item never showed its frame";
    keep(shot, "menu-bar");

    // Right of the titles: the sweep from darken(10, bg) toward lighten(110, that), over 1296.
    const int x = barArea.width - 3;
    const ColorRef start = colors.barBrushStart();
    const ColorRef end = colors.barBrushEnd();
    auto along = [&](int shift) {
        const int a = static_cast<int>((start >> shift) & 0xff);
        const int b = static_cast<int>((end >> shift) & 0xff);
        return a + (b - a) * (x + 0.5) / MenuStyle::barBrushWidth(wxDisplay().GetGeometry().GetWidth());
    };
    const ColorRef expected = rgb(static_cast<int>(along(0) + 0.5), static_cast<int>(along(8) + 0.5),
                                  static_cast<int>(along(16) + 0.5));
    for (int y : {0, barArea.height / 2, barArea.height - 1}) {
        SCOPED_TRACE(y);
        EXPECT_LE(distance(pixel(shot, x, y), expected), 1) << describe(pixel(shot, x, y));
    }
    EXPECT_LE(distance(pixel(shot, 0, barArea.height / 2), start), 1);

    // The open item: framed, darken(10, bg) under the top edge, the selection colour above the
    // bottom one, and its title in the menu text colour.
    const int middle = titleInBar.GetLeft() + titleInBar.GetWidth() / 2;
    EXPECT_EQ(describe(pixel(shot, titleInBar.GetRight(), titleInBar.GetTop() + 5)), describe(colors.selectionFrame()));
    EXPECT_EQ(describe(pixel(shot, middle, titleInBar.GetTop())), describe(colors.selectionFrame()));
    EXPECT_EQ(describe(pixel(shot, middle, titleInBar.GetBottom())), describe(colors.selectionFrame()));
    EXPECT_LE(distance(pixel(shot, titleInBar.GetLeft() + 2, titleInBar.GetTop() + 1), colors.barItemTop()), 4);
    EXPECT_LE(distance(pixel(shot, titleInBar.GetLeft() + 2, titleInBar.GetBottom() - 1), colors.selection), 4);
    EXPECT_TRUE(showsColour(shot, titleInBar.Deflate(2, 2), colors.selectedText()));
}

TEST_F(MenuOnScreen, TheBarItemUnderThePointerLightsUpWithoutAFrameUntilThePointerLeaves)
{
    const wxRect barArea = screenRect(bar());
    const wxRect title = screenRect(menu(2).m_owner);
    const wxRect help(title.GetPosition() - barArea.GetPosition(), title.GetSize());
    const int x = help.GetLeft() + 2;
    const int foot = help.GetBottom() - 1;
    wxImage shot;
    auto lit = [&] {
        shot = screenImage(barArea);
        return shot.IsOk() && distance(pixel(shot, x, foot), colors.selection) <= 4;
    };
    simulator.MouseMove(title.GetLeft() + title.GetWidth() / 2, title.GetTop() + title.GetHeight() / 2);
    ASSERT_TRUE(waitUntil(lit)) << "the item under the pointer stayed dark: " << describe(pixel(shot, x, foot));
    keep(shot, "menu-bar-hot");
    // Lit, not selected: no frame.
    EXPECT_NE(describe(pixel(shot, help.GetLeft(), help.GetTop() + help.GetHeight() / 2)),
              describe(colors.selectionFrame()));
    EXPECT_FALSE(gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(bar())));

    // Off the bar, into the window below it.
    simulator.MouseMove(title.GetLeft() + title.GetWidth() / 2, barArea.GetBottom() + 40);
    ASSERT_TRUE(waitUntil([&] { return !lit(); }));
    EXPECT_LE(distance(pixel(shot, x, foot), colors.barBrushStart()), 4) << describe(pixel(shot, x, foot));
}

TEST_F(MenuOnScreen, ATrayMenuPoppedUpByItselfIsDressedLikeTheBarsMenus)
{
    std::unique_ptr<wxMenu> tray = MainMenu::createTrayMenu(MainMenu::TrayMenu::Offline);
    wxImage shot;
    wxRect popup;
    wxTimer look;
    int ticks = 0;
    // PopupMenu runs its own loop until the menu closes: the timer looks at the screen from
    // inside it, then closes the menu, after five seconds at the latest.
    look.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        const bool late = ++ticks > 250;
        if (!late && !gtk_widget_get_mapped(tray->m_menu))
            return;
        popup = screenRect(tray->m_menu);
        shot = screenImage(popup);
        if (!late && shot.IsOk() && pixel(shot, popup.width - 4, popup.height / 2) != colors.popupFill())
            return;
        look.Stop();
        gtk_menu_shell_cancel(GTK_MENU_SHELL(tray->m_menu));
    });
    look.Start(20);
    frame->CallAfter([&] { frame->PopupMenu(tray.get(), 20, 20); });
    ASSERT_TRUE(waitUntil([&] { return !look.IsRunning(); }, std::chrono::seconds(10))) << "the menu never showed";
    ASSERT_TRUE(shot.IsOk());
    keep(shot, "menu-tray-offline");
    EXPECT_EQ(describe(pixel(shot, 0, popup.height / 2)), describe(colors.outerFrame()));
    EXPECT_EQ(describe(pixel(shot, popup.width - 4, popup.height / 2)), describe(colors.popupFill()));
    EXPECT_TRUE(showsColour(shot, wxRect(0, 0, popup.width, popup.height), colors.popupText()));
}

} // namespace
