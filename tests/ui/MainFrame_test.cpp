#include "core/app/ThreadMessages.h"
#include "tests/core/EndToEndSupport.h"
#include "tests/core/HeadlessProcess.h"
#include "tests/ui/DialogDriver.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/ui/WxClient.h"
#include "ui/CActionsBar.h"
#include "ui/CAudioBar.h"
#include "ui/kit/CTextLabel.h"
#include "ui/CAccountDialog.h"
#include "ui/CAddContactDialog.h"
#include "ui/CSignInDialog.h"
#include "ui/CConnectionSettingsDialog.h"
#include "network/ProxyClient.h"
#include "tests/network/ProxyPeers.h"
#include "ui/CChatwynDoc.h"
#include "ui/CChatwynView.h"
#include "ui/CMainFrame.h"
#include "ui/CSystemTray.h"
#include "ui/CTaskbarNotifier.h"
#include "ui/CommandIds.h"
#include "ui/ProgramUi.h"
#include "ui/kit/CIconButton.h"
#include "ui/kit/PostedMessage.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/menu.h>

#include <string>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A module with a picture that notes whether the main window was up when it was loaded.
class OrderModule : public ActionModule {
public:
    using ActionModule::ActionModule;
    bool windowShownAtInit = false;
    std::vector<WindowHandle> shownWindows;
    void showWindow(WindowHandle window) override { shownWindows.push_back(window); }
    bool init(IModuleHost* host) override
    {
        wxWindow* top = wxTheApp->GetTopWindow();
        windowShownAtInit = top && top->IsShown();
        return ActionModule::init(host);
    }
};

// The whole program on the test's thread, as its start-up builds it: the application with
// the windows of ProgramUi, against a real server that knows alice and bob (who list each
// other), signed in as alice, on a desktop with a window manager.
class MainFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        // carol exists but nobody lists her.
        signUpAt(url(), "carol", "carol-pw");
        folders = std::make_unique<ClientFolders>(url());
        folders->writeAccount("alice", "alice-pw");
        runtime = std::make_unique<ScopedEnv>("ORVANE_RUNTIME_DIR", folders->runtimeDir.c_str());
        registry = std::make_unique<ScopedEnv>("ORVANE_REGISTRY_DIR", folders->registryDir.c_str());
        ClientAppOptions options;
        options.programFolder = (folders->programFolder + "/").c_str();
        options.configHome = folders->configHome.c_str();
        ui = std::make_unique<ProgramUi>();
        app = std::make_unique<ClientApp>(*ui, port, options);
        port.setMessageHandler([this](int id, intptr_t wParam, intptr_t lParam) {
            if (app)
                app->onThreadMessage(id, wParam, lParam);
        });
        video.bitmap = modulePicture(*wxBLUE);
        app->setBuiltinModules({&video});
        wxTheApp->Bind(wxEVT_IDLE, &MainFrame::onIdle, this);
    }

    void TearDown() override
    {
        wxTheApp->Unbind(wxEVT_IDLE, &MainFrame::onIdle, this);
        // As the program ends: the window first, then the loop's end, then the objects.
        if (ui && ui->frame())
            delete ui->frame();
        if (app && started)
            app->exitInstance();
        app.reset();
        wxTheApp->ProcessPendingEvents();
        ui.reset();
    }

    void onIdle(wxIdleEvent& event)
    {
        if (app && started)
            app->onIdle();
        event.Skip();
    }

    // Start-up, and the link signed in.
    void startSignedIn()
    {
        started = app->initInstance();
        ASSERT_TRUE(started);
        ASSERT_NE(ui->frame(), nullptr);
        populatedBeforeIdle = frame().actionsBar().IsPopulated();
        ASSERT_TRUE(waitUntil([this] { return app->connection().isConnected(); }, std::chrono::seconds(15)))
            << "alice never signed in; server log:\n" << server.log();
    }

    CMainFrame& frame() { return *ui->frame(); }

    // Whether the frame's update handlers enable the command now.
    bool enabled(int command)
    {
        wxUpdateUIEvent event(command::toWxId(command));
        event.SetEventObject(&frame());
        frame().ProcessWindowEvent(event);
        return event.GetEnabled();
    }

    // A menu command, as choosing it does.
    void command(int id)
    {
        wxCommandEvent event(wxEVT_MENU, command::toWxId(id));
        event.SetEventObject(&frame());
        frame().GetEventHandler()->ProcessEvent(event);
    }

    // The items of a menu as "text=command" (separators as "-").
    static std::vector<std::string> items(wxMenu& menu)
    {
        std::vector<std::string> out;
        for (const wxMenuItem* item : menu.GetMenuItems())
            out.push_back(item->IsSeparator() ? "-"
                                              : item->GetItemLabel().ToStdString() + "=" +
                                                    std::to_string(command::fromWxId(item->GetId())));
        return out;
    }

    // The tray menu a right click shows now, with the choice the test makes on it.
    std::vector<std::string> trayMenu(int choose = wxID_NONE)
    {
        std::vector<std::string> seen;
        frame().trackTrayMenu = [&](wxMenu& menu) {
            seen = items(menu);
            return choose == wxID_NONE ? wxID_NONE : command::toWxId(choose);
        };
        postMessage(frame(), ThreadMessage::TrayNotify, TrayIconId, TrayMouse::RightUp);
        waitUntil([&] { return !seen.empty(); });
        return seen;
    }

    wxTreeItemId itemOf(const std::string& name)
    {
        CChatwynView& view = frame().view();
        for (wxTreeItemId root : {view.GetOnlineRoot(), view.GetOfflineRoot()}) {
            wxTreeItemIdValue cookie;
            for (wxTreeItemId child = view.GetFirstChild(root, cookie); child.IsOk();
                 child = view.GetNextChild(root, cookie))
                if (view.GetItemText(child) == name)
                    return child;
        }
        return wxTreeItemId();
    }

    // "online", "offline" or "" for where the contact shows in the tree.
    std::string placeOf(const std::string& name)
    {
        const wxTreeItemId item = itemOf(name);
        if (!item.IsOk())
            return "";
        return frame().view().GetItemParent(item) == frame().view().GetOnlineRoot() ? "online" : "offline";
    }

    DesktopSession desktop;
    ServerProcess server;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/"; }
    std::unique_ptr<ClientFolders> folders;
    std::unique_ptr<ScopedEnv> runtime;
    std::unique_ptr<ScopedEnv> registry;
    LineLog log;
    OrderModule video{log, "video", "Start video"};
    WxUiThreadPort port;
    std::unique_ptr<ProgramUi> ui;
    std::unique_ptr<ClientApp> app;
    bool started = false;
    bool populatedBeforeIdle = false;
};

} // namespace

TEST_F(MainFrame, StartUpShowsTheCaptionTheMenusAndTheModuleButtonAtTheFirstIdleTime)
{
    startSignedIn();
    EXPECT_TRUE(video.windowShownAtInit) << "the window shows before the modules load";
    EXPECT_FALSE(populatedBeforeIdle) << "the buttons come at the first idle time";
    EXPECT_TRUE(frame().IsShown());
    EXPECT_EQ(frame().GetTitle(), "alice - Orvane");
    wxMenuBar& bar = *frame().GetMenuBar();
    std::vector<std::string> titles;
    for (size_t i = 0; i < bar.GetMenuCount(); ++i)
        titles.push_back(bar.GetMenuLabel(i).ToStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Contacts", "Actions", "&Help"}));
    EXPECT_EQ(items(*bar.GetMenu(1)),
              (std::vector<std::string>{"&Add a contact=32977", "&Delete contact=32978", "-",
                                        "&Change my details=32980"}))
        << "the search item is gone";
    EXPECT_EQ(items(*bar.GetMenu(2)), (std::vector<std::string>{"Start video=32773"}));
    ASSERT_TRUE(waitUntil([this] { return frame().actionsBar().IsPopulated(); }));
    EXPECT_EQ(frame().actionsBar().GetLastIndex(), 0) << "one button: the video module's";
}

TEST_F(MainFrame, TheWebjoinLibraryBesideTheProgramGetsItsActionsItemAndItsButton)
{
    // The library's folder as the build lays it out beside the program, sounds included.
    ::mkdir((folders->programFolder + "/modules").c_str(), 0700);
    const std::string built = ORVANE_WEBJOIN_LIBRARY;
    const std::string folder = built.substr(0, built.rfind('/'));
    ASSERT_EQ(::symlink(folder.c_str(), (folders->programFolder + "/modules/webjoin").c_str()), 0);
    startSignedIn();
    wxMenuBar& bar = *frame().GetMenuBar();
    EXPECT_EQ(items(*bar.GetMenu(2)), (std::vector<std::string>{"Start video=32773", "Webjoin=32774"}));
    ASSERT_TRUE(waitUntil([this] { return frame().actionsBar().IsPopulated(); }));
    ASSERT_EQ(frame().actionsBar().GetLastIndex(), 1) << "the video module's button and the library's";
    IModule* webjoin = frame().actionsBar().GetModule(1);
    ASSERT_NE(webjoin, nullptr);
    EXPECT_STREQ(webjoin->getId(), "Webjoin");
    CIconButton& button = *frame().actionsBar().GetButton(1);
    EXPECT_FALSE(button.IsEnabled()) << "nobody selected";

    // bob online and selected, a click on the button opens a session window titled after
    // him; the page alice goes to reaches bob's client through the server as the record.
    HeadlessProcess bob(url());
    bob.folders.writeAccount("bob", "bob-pw");
    ASSERT_TRUE(bob.start({"--module", "Webjoin"}));
    ASSERT_TRUE(waitUntil([this] { return placeOf("bob") == "online"; }, std::chrono::seconds(15)));
    frame().view().SelectItem(itemOf("bob"));
    ASSERT_TRUE(waitUntil([&] { return button.IsEnabled(); }));
    playClick(button, ClickCase{"click", {{wxEVT_LEFT_DOWN, {10, 10}}, {wxEVT_LEFT_UP, {10, 10}}}, 1});
    wxWindow* session = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (wxWindow* window : wxTopLevelWindows)
            if (window->GetLabel() == "bob - Webjoin" && window->IsShown())
                session = window;
        return session != nullptr;
    }));
    auto* address = dynamic_cast<wxComboBox*>(session->FindWindow(1001));
    ASSERT_NE(address, nullptr);
    address->SetValue("data:text/html,<p>hi</p>");
    wxCommandEvent enter(wxEVT_TEXT_ENTER, address->GetId());
    enter.SetEventObject(address);
    address->GetEventHandler()->ProcessEvent(enter);
    const std::string alice = app->ownUser().getId();
    const std::string record = "module Webjoin message " + alice +
                               " <data command=\"NAVIGATE\" url=\"data:text/html,&lt;p&gt;hi&lt;/p&gt;\" "
                               "session_id=\"" + alice + "_1\"/>";
    // The page is reported from this thread's loop, which has to run meanwhile.
    EXPECT_TRUE(waitUntil([&] { return bob.log.waitFor(record, 0, 0) >= 0; }, std::chrono::seconds(20)))
        << bob.log.dump() << server.log();
    // The tear-down ends the program with the window open: the module closes it and its
    // library is let go without a crash or a report from the sanitizers.
}

TEST_F(MainFrame, TheCallBarDocksAlongTheBottomAndShowsTheStatusText)
{
    startSignedIn();
    CAudioBar& call = frame().audioBar();
    const int height = call.GetBestSize().y;
    // The frame is laid out once the window manager has mapped it at its size.
    ASSERT_TRUE(waitUntil([&] { return frame().IsShownOnScreen() && frame().GetClientSize().y > 2 * height; }))
        << "the frame never got its size";
    const wxSize client = frame().GetClientSize();
    EXPECT_EQ(call.GetRect(), wxRect(0, client.y - height, client.x, height)) << "the whole width, at the bottom";
    EXPECT_EQ(frame().actionsBar().GetRect().GetBottom() + 1, client.y - height);
    EXPECT_EQ(frame().view().GetRect().GetBottom() + 1, client.y - height);
    // The application's status text comes to the bar's status label.
    ASSERT_TRUE(waitUntil([&] { return call.statusLabel()->GetText() == "Online."; }));
    // Without a voice module the bar places no call, whatever is selected.
    EXPECT_EQ(call.GetState(), CallState::Unavailable);
    EXPECT_FALSE(call.talkButton()->IsEnabled());
}

TEST_F(MainFrame, TheCommandsAreEnabledBySignInStateAndSelection)
{
    startSignedIn();
    ASSERT_TRUE(waitUntil([this] { return !placeOf("bob").empty(); })) << "bob is listed";
    const struct {
        int command;
        bool signedIn;
        bool signedOut;
    } table[] = {
        {command::SignIn, false, true},         {command::SignInAs, false, true},
        {command::SignOut, true, false},        {command::Settings, true, true},
        {command::AddContact, true, false},     {command::ChangeDetails, true, true},
        {command::AppAbout, true, true},        {command::AppExit, true, true},
        {command::DeleteContact, false, false}, // nothing selected
    };
    for (const auto& row : table)
        EXPECT_EQ(enabled(row.command), row.signedIn) << "signed in: " << row.command;
    frame().view().SelectItem(itemOf("bob"));
    EXPECT_TRUE(enabled(command::DeleteContact));

    app->signOut();
    ASSERT_TRUE(waitUntil([this] { return !app->connection().isConnected(); }));
    for (const auto& row : table)
        if (row.command != command::DeleteContact) {
            EXPECT_EQ(enabled(row.command), row.signedOut) << "signed out: " << row.command;
        }
}

TEST_F(MainFrame, TheTrayOffersItsMenuForTheStateAndItsClicksShowAndHide)
{
    startSignedIn();
    EXPECT_EQ(trayMenu(), (std::vector<std::string>{"Sign &out=32975", "-", "&About=57664", "-", "&Open=32772",
                                                  "E&xit=57665"}));
    app->signOut();
    ASSERT_TRUE(waitUntil([this] { return !app->connection().isConnected(); }));
    EXPECT_EQ(trayMenu(), (std::vector<std::string>{"Sing &in=32974", "Sign in &as...=32982", "-", "&About=57664",
                                                  "-", "&Open=32772", "E&xit=57665"}));

    // A left click hides the window and the next one brings it back.
    postMessage(frame(), ThreadMessage::TrayNotify, TrayIconId, TrayMouse::LeftUp);
    ASSERT_TRUE(waitUntil([this] { return !frame().IsShown(); }));
    postMessage(frame(), ThreadMessage::TrayNotify, TrayIconId, TrayMouse::LeftUp);
    ASSERT_TRUE(waitUntil([this] { return frame().IsShown(); }));
    // Another icon's clicks are not the program's.
    postMessage(frame(), ThreadMessage::TrayNotify, TrayIconId + 1, TrayMouse::LeftUp);
    wxTheApp->ProcessPendingEvents();
    EXPECT_TRUE(frame().IsShown());
}

TEST_F(MainFrame, ARightClickOnTheTrayIconLeavesAHiddenWindowHidden)
{
    startSignedIn();
    // A user closes a window that is on the screen: wx takes the X server's word that a
    // window was mapped as a show, even when it comes after the window was hidden again.
    // The window manager gives it the focus once it has mapped it.
    ASSERT_TRUE(waitUntil([this] { return gtk_window_is_active(GTK_WINDOW(frame().GetHandle())); }));
    frame().hasTray = [] { return true; };
    frame().Close();
    ASSERT_FALSE(frame().IsShown());
    // The menu comes and goes with nothing chosen, as Escape leaves it.
    EXPECT_FALSE(trayMenu().empty());
    wxTheApp->ProcessPendingEvents();
    EXPECT_FALSE(frame().IsShown());
    EXPECT_FALSE(gtk_widget_get_visible(frame().GetHandle())) << "GTK was asked to show the window";

    // Shown, it is brought forward for the menu and stays as it was.
    frame().OnOpen();
    EXPECT_FALSE(trayMenu().empty());
    EXPECT_TRUE(frame().IsShown());
    EXPECT_FALSE(frame().IsIconized());
}

TEST_F(MainFrame, ClosingHidesWithATrayMinimisesWithoutAndOnlyExitEnds)
{
    startSignedIn();
    frame().hasTray = [] { return true; };
    frame().Close();
    EXPECT_FALSE(frame().IsShown()) << "hidden: the tray brings it back";
    frame().OnOpen();
    EXPECT_TRUE(frame().IsShown());

    frame().hasTray = [] { return false; };
    frame().Close();
    EXPECT_TRUE(frame().IsShown()) << "without a tray nothing could bring a hidden window back";
    EXPECT_TRUE(waitUntil([this] { return frame().IsIconized(); }));

    // Exit from the tray menu ends it for good.
    wxWeakRef<wxWindow> watch(&frame());
    trayMenu(command::AppExit);
    EXPECT_TRUE(waitUntil([&] { return !watch; })) << "the frame is destroyed";
}

TEST_F(MainFrame, ContactsMoveBetweenOnlineAndOfflineAsTheyComeAndGo)
{
    startSignedIn();
    ASSERT_TRUE(waitUntil([this] { return placeOf("bob") == "offline"; }));
    {
        HeadlessProcess bob(url());
        bob.folders.writeAccount("bob", "bob-pw");
        ASSERT_TRUE(bob.start());
        EXPECT_TRUE(waitUntil([this] { return placeOf("bob") == "online"; }, std::chrono::seconds(15)));
        // The action bar follows the selection: bob online and selected enables the button.
        frame().view().SelectItem(itemOf("bob"));
        EXPECT_TRUE(waitUntil([this] { return enabled(command::ModuleActionFirst); }));
    }
    EXPECT_TRUE(waitUntil([this] { return placeOf("bob") == "offline"; }, std::chrono::seconds(15)));
}

TEST_F(MainFrame, DeletingAContactAsksFirstAndOnlyYesSendsIt)
{
    startSignedIn();
    ASSERT_TRUE(waitUntil([this] { return !placeOf("bob").empty(); }));
    frame().view().SelectItem(itemOf("bob"));
    {
        BoxAnswers no(wxID_NO);
        command(command::DeleteContact);
        ASSERT_EQ(no.shown.size(), 1u);
        EXPECT_EQ(no.shown[0].text, "Are you sure, you want to delete [bob]\nfrom your contact list?");
        EXPECT_EQ(no.shown[0].caption, "Orvane");
    }
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(placeOf("bob"), "offline") << "No keeps him";
    BoxAnswers yes(wxID_YES);
    command(command::DeleteContact);
    EXPECT_TRUE(waitUntil([this] { return placeOf("bob").empty(); }, std::chrono::seconds(10)))
        << "the server's answer takes him off the list";
}

TEST_F(MainFrame, TheDocumentKeysNeverWriteOrCutAUsersFile)
{
    startSignedIn();
    const std::string path = folders->root / "letter.txt";
    writeBytes(path, "dear bob");
    std::vector<std::string> asked;
    frame().chooseFile = [&](bool save, const wxString& proposed) {
        asked.push_back(std::string(save ? "save " : "open ") + proposed.ToStdString());
        return wxString(path);
    };
    command(command::FileSave);
    EXPECT_EQ(readBytes(path), "dear bob") << "saving the empty document writes nothing over the file";
    EXPECT_EQ(frame().GetTitle(), "letter.txt - Orvane");
    command(command::FileOpen);
    EXPECT_EQ(readBytes(path), "dear bob");
    command(command::FileNew);
    EXPECT_EQ(frame().GetTitle(), "alice - Orvane") << "a new document is titled with the user name again";
    EXPECT_EQ(asked, (std::vector<std::string>{"save alice", "open "}));
}

TEST_F(MainFrame, ANoticeSlidesOutAndItsClickEndsInTheModulesWindow)
{
    startSignedIn();
    int marker = 0;
    ui->showNotice("bob wants to talk", &video, &marker, true);
    EXPECT_TRUE(waitUntil([this] { return frame().notifier().IsShown(); })) << "the notice slides out";
    // What a click on its text queues to the frame.
    wxQueueEvent(&frame(), new NotifierClickEvent(ThreadMessage::NotifierClick, &video, &marker));
    ASSERT_TRUE(waitUntil([this] { return !video.shownWindows.empty(); }));
    EXPECT_EQ(video.shownWindows.front(), &marker);
    // Without a module the click brings the main window.
    frame().Hide();
    wxQueueEvent(&frame(), new NotifierClickEvent(ThreadMessage::NotifierClick, nullptr, nullptr));
    EXPECT_TRUE(waitUntil([this] { return frame().IsShown(); }));
}

TEST_F(MainFrame, AddingAContactThroughItsDialogPutsHerInTheTree)
{
    startSignedIn();
    ASSERT_TRUE(waitUntil([this] { return !placeOf("bob").empty(); }));
    EXPECT_EQ(placeOf("carol"), "");
    // The dialog runs modally from the command; the person's part is queued to its loop.
    auto add = [this](const char* name) {
        frame().CallAfter([name] {
            CAddContactDialog* dialog = nullptr;
            waitUntil([&] { return (dialog = modalDialog<CAddContactDialog>()) != nullptr; });
            ASSERT_NE(dialog, nullptr);
            dialog->edit().ChangeValue(name);
            clickOn(*dialog, CAddContactDialog::AddId);
        });
        command(command::AddContact);
    };
    // A name the server does not know: its reason slides out as a notice, and nobody is added.
    add("nobody");
    EXPECT_TRUE(waitUntil(
        [this] { return frame().notifier().GetText() == "Can't add the user. There is no user with this name."; },
        std::chrono::seconds(10)))
        << "the notice says \"" << frame().notifier().GetText() << "\"";
    EXPECT_EQ(placeOf("nobody"), "");
    frame().CallAfter([] {
        CAddContactDialog* dialog = nullptr;
        waitUntil([&] { return (dialog = modalDialog<CAddContactDialog>()) != nullptr; });
        ASSERT_NE(dialog, nullptr);
        dialog->edit().ChangeValue("carol");
        clickOn(*dialog, CAddContactDialog::AddId);
    });
    command(command::AddContact);
    (void)add;
    EXPECT_TRUE(waitUntil([this] { return placeOf("carol") == "offline"; }, std::chrono::seconds(10)))
        << "the server's answer lists her";
}

TEST_F(MainFrame, TheSettingsDialogsChoiceIsSavedAndTheNextSignInGoesThroughTheProxy)
{
    startSignedIn();
    // dante refuses the account endpoint, so only the link can go through it.
    auto dante = std::make_unique<DantePeer>(server.httpPort());
    ASSERT_NO_FATAL_FAILURE(dante->start());
    const uint16_t dantePort = dante->port();
    frame().CallAfter([dantePort] {
        CConnectionSettingsDialog* dialog = nullptr;
        waitUntil([&] { return (dialog = modalDialog<CConnectionSettingsDialog>()) != nullptr; });
        ASSERT_NE(dialog, nullptr);
        if (dialog->systemSettingsBox().GetCheck())
            clickOn(*dialog, CConnectionSettingsDialog::SystemSettingsBoxId);
        dialog->typeList().SetSelection(CConnectionSettingsDialog::listPositionOf(ProxySocks5));
        dialog->UpdateEnabling();
        dialog->hostEdit().ChangeValue("127.0.0.1");
        dialog->portEdit().ChangeValue(std::to_string(dantePort));
        clickOn(*dialog, CConnectionSettingsDialog::OkId);
    });
    command(command::Settings);
    const std::string saved = readBytes(folders->configHome + "/Orvane/account.ini");
    EXPECT_NE(saved.find("<proxy_type>3</proxy_type>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<proxy_port>" + std::to_string(dantePort) + "</proxy_port>"), std::string::npos);

    app->signOut();
    ASSERT_TRUE(waitUntil([this] { return !app->connection().isConnected(); }));
    app->signIn();
    ASSERT_TRUE(waitUntil([this] { return app->connection().isConnected(); }, std::chrono::seconds(15)));
    // The link runs through dante: without it, it is gone.
    dante.reset();
    EXPECT_TRUE(waitUntil([this] { return !app->connection().isConnected(); }, std::chrono::seconds(15)));
}

TEST_F(MainFrame, ANewUserSignsUpFromTheSignInDialogAndIsSignedInAtOnce)
{
    folders->writeAccount("", "");
    // The person's part: New Account in the sign-in dialog, then the sign-up form filled in.
    wxTheApp->CallAfter([] {
        CSignInDialog* signIn = nullptr;
        waitUntil([&] { return (signIn = modalDialog<CSignInDialog>()) != nullptr; });
        ASSERT_NE(signIn, nullptr) << "no account stored: the sign-in dialog comes first";
        wxTheApp->CallAfter([] {
            CAccountDialog* form = nullptr;
            waitUntil([&] { return (form = modalDialog<CAccountDialog>()) != nullptr; });
            ASSERT_NE(form, nullptr);
            form->edit(CAccountDialog::UserNameId).ChangeValue("dave");
            form->edit(CAccountDialog::NewPasswordId).ChangeValue("dave-pw");
            form->edit(CAccountDialog::ConfirmPasswordId).ChangeValue("dave-pw");
            form->edit(CAccountDialog::FirstNameId).ChangeValue("Dave");
            form->edit(CAccountDialog::EmailId).ChangeValue("dave@example.org");
            clickOn(*form, CAccountDialog::OkId);
        });
        clickOn(*signIn, CSignInDialog::NewAccountId);
    });
    MessageBoxAnswers boxes;
    started = app->initInstance();
    ASSERT_TRUE(started);
    ASSERT_TRUE(waitUntil([this] { return app->connection().isConnected(); }, std::chrono::seconds(15)))
        << "the new account is signed in; server log:\n" << server.log();
    EXPECT_STREQ(app->account().userName.c_str(), "dave");
    EXPECT_TRUE(waitUntil([this] { return frame().GetTitle() == "dave - Orvane"; }))
        << "titled once the server confirms; now \"" << frame().GetTitle() << "\"";
}
