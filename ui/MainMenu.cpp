#include "ui/MainMenu.h"

#include "ui/CommandIds.h"
#include "ui/MenuStyle.h"

#include <wx/menu.h>

namespace orvane {

namespace {

// One item of a menu table; command 0 is a separator.
struct MenuEntry {
    int command;
    const char* text;
};

constexpr MenuEntry Separator = {0, nullptr};

constexpr MenuEntry FileMenu[] = {
    {command::SignIn, "Sign &In"},
    {command::SignOut, "Sign &Out"},
    {command::SignInAs, "Sign in &as ..."},
    Separator,
    {command::Settings, "&Settings"},
    Separator,
    {command::AppExit, "E&xit"},
};

constexpr MenuEntry ContactsMenu[] = {
    {command::SearchContact, "&Search contact"},
    {command::AddContact, "&Add a contact"},
    {command::DeleteContact, "&Delete contact"},
    Separator,
    {command::ChangeDetails, "&Change my details"},
};

constexpr MenuEntry HelpMenu[] = {
    {command::AppAbout, "&About ..."},
};

// The tray's items keep their own spellings, "Sing &in" among them.
constexpr MenuEntry TrayOnline[] = {
    {command::SignOut, "Sign &out"},
    Separator,
    {command::AppAbout, "&About"},
    Separator,
    {command::OpenMainWindow, "&Open"},
    {command::AppExit, "E&xit"},
};

constexpr MenuEntry TrayOffline[] = {
    {command::SignIn, "Sing &in"},
    {command::SignInAs, "Sign in &as..."},
    Separator,
    {command::AppAbout, "&About"},
    Separator,
    {command::OpenMainWindow, "&Open"},
    {command::AppExit, "E&xit"},
};

template <size_t N>
std::unique_ptr<wxMenu> build(const MenuEntry (&entries)[N])
{
    auto menu = std::make_unique<wxMenu>();
    for (const MenuEntry& entry : entries) {
        if (entry.command == 0)
            menu->AppendSeparator();
        else
            menu->Append(command::toWxId(entry.command), wxString::FromUTF8(entry.text));
    }
    MenuStyle::dress(*menu);
    return menu;
}

} // namespace

const char* const MainMenu::ActionsTitle = "Actions";

std::unique_ptr<wxMenuBar> MainMenu::createMenuBar()
{
    auto bar = std::make_unique<wxMenuBar>();
    bar->Append(build(FileMenu).release(), "&File");
    bar->Append(build(ContactsMenu).release(), "&Contacts");
    bar->Append(build(HelpMenu).release(), "&Help");
    MenuStyle::dress(*bar);
    return bar;
}

std::unique_ptr<wxMenu> MainMenu::createTrayMenu(TrayMenu which)
{
    return which == TrayMenu::Online ? build(TrayOnline) : build(TrayOffline);
}

std::unique_ptr<wxMenu> MainMenu::createActionsMenu()
{
    auto menu = std::make_unique<wxMenu>();
    MenuStyle::dress(*menu);
    return menu;
}

bool MainMenu::appendAction(wxMenu& actions, const wxString& text)
{
    const int id = command::ModuleActionFirst + static_cast<int>(actions.GetMenuItemCount());
    if (id > command::ModuleActionLast)
        return false;
    actions.Append(command::toWxId(id), text);
    return true;
}

void MainMenu::insertActionsMenu(wxMenuBar& bar, std::unique_ptr<wxMenu> actions)
{
    const size_t count = bar.GetMenuCount();
    bar.Insert(count == 0 ? 0 : count - 1, actions.release(), ActionsTitle);
    MenuStyle::dress(bar);
}

} // namespace orvane
