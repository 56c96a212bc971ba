#include "ui/CNewPersistSDIFrame.h"
#include "ui/CommandIds.h"
#include "ui/MainMenu.h"
#include "ui/MenuStyle.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/stockitem.h>

#include <memory>
#include <string>
#include <vector>

using namespace orvane;

namespace {

// An item as a person reads it off the menu: "---" for a separator, else the command id (the
// program's number) and the text, "32974 Sign &In".
using Items = std::vector<std::string>;

Items itemsOf(const wxMenu& menu)
{
    Items items;
    for (const wxMenuItem* item : menu.GetMenuItems()) {
        if (item->IsSeparator())
            items.push_back("---");
        else
            items.push_back(std::to_string(command::fromWxId(item->GetId())) + " " +
                            item->GetItemLabel().ToStdString());
    }
    return items;
}

bool dressed(GtkWidget* widget)
{
    return widget && gtk_style_context_has_class(gtk_widget_get_style_context(widget), MenuStyle::StyleClass);
}

TEST(MainMenu, TheMenuBarHoldsFileContactsAndHelpWithTheirItemsInOrder)
{
    const std::unique_ptr<wxMenuBar> bar = MainMenu::createMenuBar();
    ASSERT_EQ(bar->GetMenuCount(), 3u);
    const struct {
        const char* title;
        Items items;
    } menus[] = {
        {"&File",
         {"32974 Sign &In", "32975 Sign &Out", "32982 Sign in &as ...", "---", "32983 &Settings", "---",
          "57665 E&xit"}},
        {"&Contacts",
         {"32981 &Search contact", "32977 &Add a contact", "32978 &Delete contact", "---",
          "32980 &Change my details"}},
        {"&Help", {"57664 &About ..."}},
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(menus[i].title);
        EXPECT_EQ(bar->GetMenuLabel(i).ToStdString(), menus[i].title);
        EXPECT_EQ(itemsOf(*bar->GetMenu(i)), menus[i].items);
    }
}

TEST(MainMenu, TheTrayMenusKeepTheirOwnSpellings)
{
    const struct {
        MainMenu::TrayMenu which;
        Items items;
    } cases[] = {
        {MainMenu::TrayMenu::Online, {"32975 Sign &out", "---", "57664 &About", "---", "32772 &Open", "57665 E&xit"}},
        {MainMenu::TrayMenu::Offline,
         {"32974 Sing &in", "32982 Sign in &as...", "---", "57664 &About", "---", "32772 &Open", "57665 E&xit"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.which));
        EXPECT_EQ(itemsOf(*MainMenu::createTrayMenu(c.which)), c.items);
    }
}

TEST(MainMenu, NoItemHasAStockIdOrAnAccelerator)
{
    std::vector<std::unique_ptr<wxMenu>> menus;
    menus.push_back(MainMenu::createTrayMenu(MainMenu::TrayMenu::Online));
    menus.push_back(MainMenu::createTrayMenu(MainMenu::TrayMenu::Offline));
    std::unique_ptr<wxMenuBar> bar = MainMenu::createMenuBar();
    std::vector<const wxMenu*> all = {menus[0].get(), menus[1].get()};
    for (size_t i = 0; i < bar->GetMenuCount(); ++i)
        all.push_back(bar->GetMenu(i));
    for (const wxMenu* menu : all) {
        for (const wxMenuItem* item : menu->GetMenuItems()) {
            if (item->IsSeparator())
                continue;
            SCOPED_TRACE(item->GetItemLabel().ToStdString());
            EXPECT_FALSE(wxIsStockID(static_cast<wxWindowID>(item->GetId())));
            EXPECT_EQ(item->GetAccel(), nullptr);
        }
    }
}

TEST(MainMenu, TheActionsPopupGoesBeforeHelpWithIdsCountedFromTheFirstAction)
{
    std::unique_ptr<wxMenuBar> bar = MainMenu::createMenuBar();
    std::unique_ptr<wxMenu> actions = MainMenu::createActionsMenu();
    ASSERT_TRUE(MainMenu::appendAction(*actions, "Talk"));
    ASSERT_TRUE(MainMenu::appendAction(*actions, "Video"));
    MainMenu::insertActionsMenu(*bar, std::move(actions));
    ASSERT_EQ(bar->GetMenuCount(), 4u);
    const char* titles[] = {"&File", "&Contacts", "Actions", "&Help"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(bar->GetMenuLabel(i).ToStdString(), titles[i]);
    EXPECT_EQ(itemsOf(*bar->GetMenu(2)), (Items{"32773 Talk", "32774 Video"}));
    EXPECT_TRUE(dressed(bar->GetMenu(2)->m_menu));
}

TEST(MainMenu, ActionsStopAtTheLastActionIdBeforeTheyReachSignIn)
{
    std::unique_ptr<wxMenu> actions = MainMenu::createActionsMenu();
    for (int k = 0; k <= command::ModuleActionLast - command::ModuleActionFirst; ++k)
        ASSERT_TRUE(MainMenu::appendAction(*actions, "Module " + std::to_string(k)));
    EXPECT_FALSE(MainMenu::appendAction(*actions, "One too many"));
    ASSERT_EQ(actions->GetMenuItemCount(), 201u);
    EXPECT_EQ(command::fromWxId(actions->FindItemByPosition(200)->GetId()), 32973);
}

TEST(MainMenu, EveryMenuItBuildsCarriesTheProgramsStyleClass)
{
    std::unique_ptr<wxMenuBar> bar = MainMenu::createMenuBar();
    EXPECT_TRUE(dressed(static_cast<GtkWidget*>(bar->GetHandle())));
    for (size_t i = 0; i < bar->GetMenuCount(); ++i)
        EXPECT_TRUE(dressed(bar->GetMenu(i)->m_menu)) << i;
    EXPECT_TRUE(dressed(MainMenu::createTrayMenu(MainMenu::TrayMenu::Online)->m_menu));
    // A menu made without the factory keeps the desktop's look.
    wxMenu plain;
    EXPECT_FALSE(dressed(plain.m_menu));
}

TEST(MainMenu, TheFrameTemplateCarriesTheMainMenu)
{
    wxFileConfig profile(wxEmptyString, wxEmptyString, wxEmptyString, wxEmptyString, 0);
    auto* frame = new CNewPersistSDIFrame(profile, nullptr, wxID_ANY, "Orvane");
    ASSERT_NE(frame->GetMenuBar(), nullptr);
    EXPECT_EQ(frame->GetMenuBar()->GetMenuCount(), 3u);
    EXPECT_NE(frame->GetMenuBar()->FindItem(command::toWxId(command::SignIn)), nullptr);
    frame->Destroy();
    wxTheApp->ProcessIdle();
}

} // namespace
