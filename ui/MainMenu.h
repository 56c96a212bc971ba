#pragma once

#include <wx/string.h>

#include <memory>

class wxMenu;
class wxMenuBar;

namespace orvane {

// The program's menus, built from the tables in MainMenu.cpp and dressed in the skin's look
// (MenuStyle). Every item carries its command id through command::toWxId; a handler takes
// command::fromWxId of the id its event carries. No item has a stock id or an accelerator.
//
// User-interface thread only.
class MainMenu {
public:
    // The tray menus, by the sub-menu of the tray resource they come from.
    enum class TrayMenu {
        Online = 0,  // "TRAY_MENU_ONLINE": Sign out, About, Open, Exit
        Offline = 1, // "TRAY_MENU_OFFLINE": Sign in, Sign in as, About, Open, Exit
    };

    static const char* const ActionsTitle;

    MainMenu() = delete;

    // The main window's menu bar: "&File", "&Contacts" and "&Help". It still holds "&Search
    // contact"; the frame removes that item when it is created.
    static std::unique_ptr<wxMenuBar> createMenuBar();
    // A fresh tray menu, for one showing.
    static std::unique_ptr<wxMenu> createTrayMenu(TrayMenu which);
    // The empty popup for the modules' actions.
    static std::unique_ptr<wxMenu> createActionsMenu();
    // Appends a module's action with the next command id: the first item is ModuleActionFirst,
    // the k-th ModuleActionFirst + k. Answers false, appending nothing, once the ids up to
    // ModuleActionLast are all taken (the next id is already another command's).
    static bool appendAction(wxMenu& actions, const wxString& text);
    // Puts the popup into the bar as "Actions" before the last top-level menu (Help); the
    // bar owns it from then on.
    static void insertActionsMenu(wxMenuBar& bar, std::unique_ptr<wxMenu> actions);
};

} // namespace orvane
