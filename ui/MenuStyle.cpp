#include "ui/MenuStyle.h"

#include <wx/display.h>
#include <wx/menu.h>

#include <gtk/gtk.h>

#include <cstdio>
#include <initializer_list>

namespace orvane {

namespace {

std::string css(ColorRef color)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(color & 0xff),
                  static_cast<unsigned>((color >> 8) & 0xff), static_cast<unsigned>((color >> 16) & 0xff));
    return text;
}

std::string px(int pixels)
{
    return std::to_string(pixels) + "px";
}

void addStyleClass(GtkWidget* widget)
{
    if (widget)
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), MenuStyle::StyleClass);
}

// wx keeps the GtkMenuBar as the bar's widget, or inside a handle box for a dockable bar.
GtkWidget* findMenuBar(GtkWidget* widget)
{
    if (!widget || GTK_IS_MENU_BAR(widget))
        return widget;
    if (!GTK_IS_BIN(widget))
        return nullptr;
    return findMenuBar(gtk_bin_get_child(GTK_BIN(widget)));
}

// GTK lights a bar item only while its menu is open; the program's bar also lights the item
// under the pointer, with a style class of its own.
gboolean enterBarItem(GtkWidget* item, GdkEventCrossing*, gpointer)
{
    gtk_style_context_add_class(gtk_widget_get_style_context(item), MenuStyle::HotClass);
    return FALSE;
}

gboolean leaveBarItem(GtkWidget* item, GdkEventCrossing*, gpointer)
{
    gtk_style_context_remove_class(gtk_widget_get_style_context(item), MenuStyle::HotClass);
    return FALSE;
}

void trackBarItem(GtkWidget* item, gpointer)
{
    // Once per item: the bar is dressed again whenever a menu is inserted.
    static const char* const tracked = "orvane-hot-tracked";
    if (g_object_get_data(G_OBJECT(item), tracked))
        return;
    g_object_set_data(G_OBJECT(item), tracked, GINT_TO_POINTER(1));
    g_signal_connect(item, "enter-notify-event", G_CALLBACK(enterBarItem), nullptr);
    g_signal_connect(item, "leave-notify-event", G_CALLBACK(leaveBarItem), nullptr);
}

void countParsingError(GtkCssProvider*, GtkCssSection*, GError*, gpointer errors)
{
    ++*static_cast<int*>(errors);
}

} // namespace

const char* const MenuStyle::StyleClass = "orvane-menu";
const char* const MenuStyle::HotClass = "orvane-hot";

MenuStyle::~MenuStyle()
{
    remove();
}

int MenuStyle::barBrushWidth(int screenWidth)
{
    return (screenWidth + 16) / 8 * 8;
}

std::string MenuStyle::styleSheet(const MenuColors& colors, int barBrushWidth)
{
    const std::string bar = std::string("menubar.") + StyleClass;
    const std::string barItem = bar + " > menuitem";
    const std::string menu = std::string("menu.") + StyleClass;
    const std::string item = menu + " menuitem";
    const std::string frame = "inset 0 0 0 1px " + css(colors.selectionFrame());
    const std::string textStart = px(IconColumnWidth + TextGap);

    std::string sheet = "/* The program's menus, in the skin's colours. */\n";
    auto rule = [&sheet](const std::string& selector, std::initializer_list<std::string> declarations) {
        sheet += selector + " {\n";
        for (const std::string& declaration : declarations)
            sheet += "  " + declaration + ";\n";
        sheet += "}\n";
    };

    // The bar: one horizontal sweep, repeated downwards. The item under the pointer and the
    // open one shade from a darker background at the top to the selection colour at the foot;
    // the open one, being selected, also gets the selection frame.
    rule(bar, {"padding: 0", "box-shadow: none", "background-color: " + css(colors.barBrushStart()),
               "background-image: linear-gradient(to right, " + css(colors.barBrushStart()) + ", " +
                   css(colors.barBrushEnd()) + ")",
               "background-size: " + px(barBrushWidth) + " " + px(BarBrushHeight), "background-repeat: repeat"});
    rule(barItem, {"padding: 3px 7px", "color: " + css(colors.selectedText()), "background-color: transparent",
                   "background-image: none", "box-shadow: none"});
    rule(barItem + "." + HotClass + ", " + barItem + ":hover",
         {"background-image: linear-gradient(to bottom, " + css(colors.barItemTop()) + ", " +
          css(colors.selection) + ")"});
    rule(barItem + ":hover", {"box-shadow: " + frame});
    rule(barItem + ":disabled", {"color: " + css(colors.disabledText())});

    // The popup window: a flat outer frame, an inner frame whose left side continues the icon
    // column (GTK draws the last inset shadow on top), and the column's gradient, which runs
    // from the items' left edge down every item and separator. GTK lays a menu's items out
    // inside its padding alone, the border overlapping the padding: two pixels of padding keep
    // the items clear of both frames.
    rule(menu, {"margin: 0", "padding: 2px", "border: 1px solid " + css(colors.outerFrame()), "border-radius: 0",
                "background-color: " + css(colors.popupFill()),
                "background-image: linear-gradient(to right, " + css(colors.popupFill()) + ", " +
                    css(colors.iconColumnEnd()) + ")",
                "background-origin: padding-box", "background-position: 1px 0",
                "background-size: " + px(IconColumnWidth) + " 100%", "background-repeat: no-repeat",
                "box-shadow: inset 0 0 0 1px " + css(colors.innerFrame()) + ", inset 1px 0 " +
                    css(colors.columnLine())});
    rule(item, {"min-height: " + px(MinimumItemHeight), "padding: 0 " + px(TextRightMargin) + " 0 " + textStart,
                "color: " + css(colors.popupText()), "text-shadow: none", "background-color: transparent",
                "background-image: none", "box-shadow: none"});
    rule(item + ":hover", {"color: " + css(colors.selectedText()), "background-color: " + css(colors.selection),
                           "box-shadow: " + frame});
    rule(item + ":disabled", {"color: " + css(colors.disabledText())});
    // An accelerator after a tab is right-aligned by GTK and keeps the item's colour.
    rule(item + " accelerator", {"color: inherit"});
    // A separator: one line across the text area, in the middle of three pixels.
    rule(menu + " separator", {"min-height: 1px", "margin: 1px " + px(TextRightMargin) + " 1px " + textStart,
                               "background-color: " + css(colors.separator()), "background-image: none"});
    // A tick sits on a square of the tick colour inside the selection frame.
    rule(item + " check, " + item + " radio",
         {"background-color: " + css(colors.tick), "background-image: none", "box-shadow: " + frame});
    rule(item + ":hover check, " + item + ":hover radio", {"background-color: " + css(colors.tickSelected)});
    return sheet;
}

bool MenuStyle::apply(const MenuColors& colors)
{
    remove();
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen)
        return false;
    sheet_ = styleSheet(colors, barBrushWidth(wxDisplay().GetGeometry().GetWidth()));
    provider_ = gtk_css_provider_new();
    int errors = 0;
    const gulong handler = g_signal_connect(provider_, "parsing-error", G_CALLBACK(countParsingError), &errors);
    GError* error = nullptr;
    gtk_css_provider_load_from_data(provider_, sheet_.c_str(), static_cast<gssize>(sheet_.size()), &error);
    g_signal_handler_disconnect(provider_, handler);
    if (error) {
        ++errors;
        g_error_free(error);
    }
    // Above the theme and the desktop's settings; a person's own gtk.css still has the last word.
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider_),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    screen_ = screen;
    return errors == 0;
}

void MenuStyle::remove()
{
    if (!provider_)
        return;
    gtk_style_context_remove_provider_for_screen(screen_, GTK_STYLE_PROVIDER(provider_));
    g_object_unref(provider_);
    provider_ = nullptr;
    screen_ = nullptr;
}

void MenuStyle::dress(wxMenuBar& bar)
{
    GtkWidget* shell = findMenuBar(static_cast<GtkWidget*>(bar.GetHandle()));
    addStyleClass(shell);
    if (shell)
        gtk_container_foreach(GTK_CONTAINER(shell), trackBarItem, nullptr);
    for (size_t i = 0; i < bar.GetMenuCount(); ++i)
        dress(*bar.GetMenu(i));
}

void MenuStyle::dress(wxMenu& menu)
{
    addStyleClass(menu.m_menu);
    for (const wxMenuItem* item : menu.GetMenuItems()) {
        if (wxMenu* sub = item->GetSubMenu())
            dress(*sub);
    }
}

} // namespace orvane
