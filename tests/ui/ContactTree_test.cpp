// The contact tree with a real application: records made through its contact API, modules
// of the test's own in its module list, refreshes coming the way the core sends them
// (through the user interface to the document), and, for signing in and deleting, the
// application's own server link against a server of the test's on loopback.

#include "resources/ProgramImages.h"
#include "tests/core/FakeServers.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/ui/WxClient.h"
#include "ui/CChatwynDoc.h"
#include "ui/CChatwynView.h"
#include "ui/CommandIds.h"

#include <gtest/gtest.h>
#include <wx/dnd.h>
#include <wx/frame.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Names = std::vector<std::string>;

// A view that keeps where the context menu would have opened.
class ProbeView : public CChatwynView {
public:
    using CChatwynView::CChatwynView;
    std::vector<wxPoint> menuPoints;

    void ShowContextMenu(const wxPoint& screenPoint) override { menuPoints.push_back(screenPoint); }
};

Names namesUnder(const wxTreeCtrl& tree, const wxTreeItemId& root)
{
    Names names;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree.GetFirstChild(root, cookie); child.IsOk(); child = tree.GetNextChild(root, cookie))
        names.push_back(std::string(tree.GetItemText(child).utf8_str()));
    return names;
}

class ContactTree : public ::testing::Test {
protected:
    ContactTree()
    {
        EXPECT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
        frame = new wxFrame(nullptr, wxID_ANY, "contact tree", wxPoint(0, 0), wxSize(240, 400));
        view = new ProbeView(frame, *client.app, skin);
        view->SetDocument(&doc);
        client.ui.doc = &doc;
        view->SetSelectionHandler([this] { ++selectionChanges; });
        frame->Show();
        view->OnInitialUpdate();
    }
    ~ContactTree() override
    {
        client.ui.doc = nullptr;
        delete frame;
    }

    // The core's two kinds of refresh.
    void rebuild() { client.app->refreshContactViews(nullptr); }
    void refresh(ContactRecord& contact) { client.app->refreshContactViews(&contact); }

    Names online() const { return namesUnder(*view, view->GetOnlineRoot()); }
    Names offline() const { return namesUnder(*view, view->GetOfflineRoot()); }
    int picture(const wxTreeItemId& item, wxTreeItemIcon which = wxTreeItemIcon_Normal) const
    {
        return view->GetItemImage(item, which);
    }
    void select(const char* id) { view->SelectItem(view->FindContactItem(id)); }
    // The middle of the item's label, in the view's client coordinates.
    wxPoint labelOf(const wxTreeItemId& item) const
    {
        wxRect rect;
        EXPECT_TRUE(view->GetBoundingRect(item, rect, true));
        return wxPoint(rect.x + rect.width / 2, rect.y + rect.height / 2);
    }

    WxClient client;
    Skin skin;
    CChatwynDoc doc;
    wxFrame* frame = nullptr;
    ProbeView* view = nullptr;
    int selectionChanges = 0;
};

} // namespace

TEST_F(ContactTree, ARebuildShowsTheListedContactsUnderTheirPresenceInOrderWithTheirPictures)
{
    client.contact("10", "carol", 1);
    client.contact("11", "Bob", 0);
    client.contact("12", "alice", 1);
    client.contact("13", "dave", 2);
    client.contact("14", "eve", 1, false);
    client.contact("15", "Frank", 0);
    rebuild();

    EXPECT_EQ(online(), (Names{"alice", "carol", "dave"}));
    EXPECT_EQ(offline(), (Names{"Bob", "Frank"}));
    EXPECT_FALSE(view->FindContactItem("14").IsOk()) << "an unlisted record is never shown";
    // Status 1 and 0 have their pictures; any other status keeps the one it was inserted with.
    const struct {
        const char* id;
        int picture;
    } pictures[] = {{"10", 2}, {"12", 2}, {"13", 0}, {"11", 3}, {"15", 3}};
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.id);
        EXPECT_EQ(picture(view->FindContactItem(p.id)), p.picture);
        EXPECT_EQ(picture(view->FindContactItem(p.id), wxTreeItemIcon_Selected), p.picture);
    }
    for (const wxTreeItemId& root : {view->GetOnlineRoot(), view->GetOfflineRoot()}) {
        EXPECT_TRUE(view->IsExpanded(root));
        EXPECT_EQ(picture(root), 1);
        EXPECT_EQ(picture(root, wxTreeItemIcon_Selected), 1);
        EXPECT_EQ(view->GetItemData(root), nullptr);
    }
    EXPECT_EQ(view->GetItemText(view->GetOnlineRoot()), "Online");
    EXPECT_EQ(view->GetItemText(view->GetOfflineRoot()), "Offline");

    select("13");
    EXPECT_EQ(view->GetSelectedContact(), client.app->findContact("13"));
    view->SelectItem(view->GetOnlineRoot());
    EXPECT_EQ(view->GetSelectedContact(), nullptr);
}

TEST_F(ContactTree, ARootIsExpandedWithPicture1ExactlyWhileItHoldsContacts)
{
    ContactRecord& bob = client.contact("11", "Bob", 0);
    rebuild();
    EXPECT_FALSE(view->IsExpanded(view->GetOnlineRoot()));
    EXPECT_EQ(picture(view->GetOnlineRoot()), 0);
    EXPECT_EQ(picture(view->GetOnlineRoot(), wxTreeItemIcon_Selected), 0);
    EXPECT_TRUE(view->IsExpanded(view->GetOfflineRoot()));
    EXPECT_EQ(picture(view->GetOfflineRoot()), 1);

    // The first contact of a root expands it; the last one leaving collapses it.
    bob.status = 1;
    refresh(bob);
    EXPECT_TRUE(view->IsExpanded(view->GetOnlineRoot()));
    EXPECT_EQ(picture(view->GetOnlineRoot()), 1);
    EXPECT_EQ(picture(view->GetOnlineRoot(), wxTreeItemIcon_Selected), 1);
    EXPECT_FALSE(view->IsExpanded(view->GetOfflineRoot()));
    EXPECT_EQ(picture(view->GetOfflineRoot()), 0);
    EXPECT_EQ(picture(view->GetOfflineRoot(), wxTreeItemIcon_Selected), 0);
}

TEST_F(ContactTree, ANewContactGoesAfterTheLastChildThatSortsStrictlyBeforeItInTheOrderOfNames)
{
    // Names sort as the user's locale sorts them, ignoring case: an accented letter right
    // after its plain one (not after every ASCII name, as bytes would have it), punctuation
    // before letters, and a new contact before those of an equal name.
    const struct {
        const char* name;
        Names expected;
    } cases[] = {
        {"alice", {"alice#4", "Bob#1", "emile#2", "Eva#3"}},
        {"Bob", {"Bob#4", "Bob#1", "emile#2", "Eva#3"}},
        {"bob", {"bob#4", "Bob#1", "emile#2", "Eva#3"}},
        {"EMILE", {"Bob#1", "EMILE#4", "emile#2", "Eva#3"}},
        {"\xc3\x89mile", {"Bob#1", "emile#2", "\xc3\x89mile#4", "Eva#3"}},
        {"[x]", {"[x]#4", "Bob#1", "emile#2", "Eva#3"}},
        {"zed", {"Bob#1", "emile#2", "Eva#3", "zed#4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        client.app->clearContacts();
        client.contact("1", "Bob", 0);
        client.contact("2", "emile", 0);
        client.contact("3", "Eva", 0);
        rebuild();
        refresh(client.contact("4", c.name, 0));

        Names withIds;
        wxTreeItemIdValue cookie;
        const wxTreeItemId root = view->GetOfflineRoot();
        for (wxTreeItemId child = view->GetFirstChild(root, cookie); child.IsOk();
             child = view->GetNextChild(root, cookie)) {
            view->SelectItem(child);
            withIds.push_back(std::string(view->GetItemText(child).utf8_str()) + "#" +
                              view->GetSelectedContact()->getId());
        }
        EXPECT_EQ(withIds, c.expected);

        // A full rebuild puts every contact where the single refresh did.
        rebuild();
        Names rebuilt;
        for (const std::string& entry : c.expected)
            rebuilt.push_back(entry.substr(0, entry.find('#')));
        EXPECT_EQ(offline(), rebuilt);
    }
}

TEST_F(ContactTree, APresenceChangeMovesTheContactToItsPlaceUnderTheOtherRoot)
{
    client.contact("1", "alice", 1);
    client.contact("2", "carol", 1);
    ContactRecord& bob = client.contact("3", "Bob", 0);
    client.contact("4", "dave", 0);
    rebuild();

    bob.status = 1;
    refresh(bob);
    EXPECT_EQ(online(), (Names{"alice", "Bob", "carol"}));
    EXPECT_EQ(offline(), (Names{"dave"}));
    EXPECT_EQ(picture(view->FindContactItem("3")), 2);

    ContactRecord& carol = *client.app->findContact("2");
    carol.status = 0;
    refresh(carol);
    EXPECT_EQ(online(), (Names{"alice", "Bob"}));
    EXPECT_EQ(offline(), (Names{"carol", "dave"}));
    EXPECT_EQ(picture(view->FindContactItem("2")), 3);
}

TEST_F(ContactTree, ANameChangeWithoutAPresenceChangeKeepsThePlaceAndChangesOnlyTheText)
{
    ContactRecord& alice = client.contact("1", "alice", 1);
    client.contact("2", "carol", 1);
    rebuild();
    const wxTreeItemId item = view->FindContactItem("1");

    alice.firstName = "Zoe";
    refresh(alice);
    EXPECT_EQ(online(), (Names{"Zoe", "carol"}));
    EXPECT_EQ(view->FindContactItem("1"), item);
    EXPECT_EQ(picture(item), 2);
}

TEST_F(ContactTree, AnUnlistedRecordLeavesTheTreeAndAPresenceChangeDoesNotBringItBack)
{
    ContactRecord& dave = client.contact("4", "dave", 0);
    client.contact("5", "erin", 0);
    rebuild();

    dave.listed = false;
    refresh(dave);
    EXPECT_EQ(offline(), (Names{"erin"}));
    dave.status = 1;
    refresh(dave);
    EXPECT_EQ(online(), Names{});
    EXPECT_EQ(offline(), (Names{"erin"}));
    EXPECT_FALSE(view->IsExpanded(view->GetOnlineRoot()));

    // Nor does a record the tree never showed, made for an unknown sender.
    ContactRecord& stranger = *client.app->getContact("99");
    stranger.status = 1;
    refresh(stranger);
    EXPECT_EQ(online(), Names{});
}

TEST_F(ContactTree, ARebuildSelectsTheSelectedContactAgainByItsId)
{
    client.contact("1", "alice", 1);
    ContactRecord& carol = client.contact("2", "carol", 1);
    rebuild();
    select("2");
    const int before = selectionChanges;

    carol.status = 0;
    rebuild();
    EXPECT_EQ(view->GetSelectedContact(), &carol);
    EXPECT_EQ(view->GetItemParent(view->GetSelection()), view->GetOfflineRoot());
    EXPECT_GE(selectionChanges, before + 1) << "the bars hear of the rebuild";
}

TEST_F(ContactTree, ASignInClearingTheRecordsUnderASelectionLeavesAnEmptyTree)
{
    // clearContacts deletes the records, then rebuilds: the rebuild must not read the
    // selected item's record to remember it (AddressSanitizer watches).
    client.contact("1", "alice", 1);
    rebuild();
    select("1");
    client.app->clearContacts();
    EXPECT_EQ(view->GetSelectedContact(), nullptr);
    EXPECT_EQ(online(), Names{});

    // The records of the next sign-in, the same ids: nothing was left selected.
    client.contact("1", "alice", 1);
    rebuild();
    EXPECT_EQ(view->GetSelectedContact(), nullptr);
    EXPECT_EQ(online(), (Names{"alice"}));
}

TEST_F(ContactTree, TheCommandsAreEnabledByTheirConditions)
{
    client.addModule("nameless", "");
    ActionModule& alpha = client.addModule("alpha", "Alpha");
    ActionModule& beta = client.addModule("beta", "Beta");
    beta.accepts = false;
    client.registerModules();
    client.contact("1", "alice", 1);
    client.contact("2", "bob", 0);
    rebuild();

    auto enabled = [this](int commandId) {
        wxUpdateUIEvent event(command::toWxId(commandId));
        EXPECT_TRUE(view->ProcessWindowEventLocally(event)) << commandId;
        return event.GetSetEnabled() && event.GetEnabled();
    };
    const struct {
        const char* selection;
        bool remove, alpha, beta;
    } cases[] = {
        {nullptr, false, false, false},
        {"root", false, false, false},
        {"1", true, true, false},
        {"2", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selection ? c.selection : "nothing");
        if (!c.selection)
            view->UnselectAll();
        else if (std::string(c.selection) == "root")
            view->SelectItem(view->GetOnlineRoot());
        else
            select(c.selection);
        EXPECT_EQ(enabled(command::DeleteContact), c.remove);
        EXPECT_EQ(enabled(command::ModuleActionFirst), c.alpha);
        EXPECT_EQ(enabled(command::ModuleActionFirst + 1), c.beta);
        EXPECT_FALSE(enabled(command::ModuleActionFirst + 2)) << "no third Actions entry";
        EXPECT_FALSE(enabled(command::AddContact)) << "not signed in";
    }

    // The commands themselves: only the accepting module acts, on the selected contact.
    select("1");
    for (int id : {command::ModuleActionFirst, command::ModuleActionFirst + 1, command::ModuleActionFirst + 2}) {
        wxCommandEvent event(wxEVT_MENU, command::toWxId(id));
        EXPECT_TRUE(view->ProcessWindowEventLocally(event));
    }
    EXPECT_EQ(alpha.acted, (std::vector<std::string>{"1"}));
    EXPECT_TRUE(beta.acted.empty());
    // Ids the view does not handle pass on to the frame.
    wxCommandEvent other(wxEVT_MENU, command::toWxId(command::SignIn));
    EXPECT_FALSE(view->ProcessWindowEventLocally(other));
}

TEST_F(ContactTree, ADoubleClickActsThroughTheFirstActionsModuleOnlyWhenItAcceptsAndTogglesARoot)
{
    ActionModule& first = client.addModule("first", "First");
    ActionModule& second = client.addModule("second", "Second");
    second.accepts = true;
    client.registerModules();
    client.contact("1", "alice", 1);
    client.contact("2", "bob", 0);
    rebuild();

    for (const char* id : {"1", "2"}) {
        select(id);
        const wxPoint at = labelOf(view->FindContactItem(id));
        sendMouse(*view, wxEVT_LEFT_DCLICK, at.x, at.y, true);
    }
    EXPECT_EQ(first.acted, (std::vector<std::string>{"1"})) << "the offline bob is refused";
    EXPECT_TRUE(second.acted.empty());

    // On a root the module is asked about no contact and refuses; the root collapses.
    const wxTreeItemId root = view->GetOnlineRoot();
    view->SelectItem(root);
    const wxPoint at = labelOf(root);
    sendMouse(*view, wxEVT_LEFT_DCLICK, at.x, at.y, true);
    EXPECT_EQ(first.acted.size(), 1u);
    EXPECT_FALSE(view->IsExpanded(root));
    EXPECT_EQ(picture(root), 0);
    sendMouse(*view, wxEVT_LEFT_DCLICK, at.x, at.y, true);
    EXPECT_TRUE(view->IsExpanded(root));
    EXPECT_EQ(picture(root), 1);
}

TEST_F(ContactTree, TheRightButtonAndTheMenuKeysSelectAndOpenNoMenu)
{
    client.contact("1", "alice", 1);
    client.contact("2", "bob", 1);
    rebuild();
    select("1");

    const wxPoint onBob = labelOf(view->FindContactItem("2"));
    sendMouse(*view, wxEVT_RIGHT_DOWN, onBob.x, onBob.y, false);
    EXPECT_EQ(view->GetSelectedContact(), client.app->findContact("2"));
    ASSERT_EQ(view->menuPoints.size(), 1u);
    EXPECT_EQ(view->menuPoints[0], view->ClientToScreen(onBob));

    // Below every item: the selection stays.
    const wxPoint below(5, view->GetClientSize().y - 5);
    sendMouse(*view, wxEVT_RIGHT_DOWN, below.x, below.y, false);
    EXPECT_EQ(view->GetSelectedContact(), client.app->findContact("2"));
    EXPECT_EQ(view->menuPoints.size(), 2u);

    wxRect text;
    ASSERT_TRUE(view->GetBoundingRect(view->FindContactItem("2"), text, true));
    const struct {
        int key;
        bool shift;
        bool menu;
    } keys[] = {{WXK_WINDOWS_MENU, false, true}, {WXK_F10, true, true}, {WXK_F10, false, false}};
    for (const auto& k : keys) {
        SCOPED_TRACE(k.key);
        view->menuPoints.clear();
        wxKeyEvent key(wxEVT_KEY_DOWN);
        key.m_keyCode = k.key;
        key.m_shiftDown = k.shift;
        key.SetEventObject(view);
        view->GetEventHandler()->ProcessEvent(key);
        if (k.menu) {
            ASSERT_EQ(view->menuPoints.size(), 1u);
            EXPECT_EQ(view->menuPoints[0], view->ClientToScreen(wxPoint(text.x + text.width, text.y)));
        } else {
            EXPECT_TRUE(view->menuPoints.empty());
        }
    }
}

TEST_F(ContactTree, FilesDroppedOnAnOnlineContactGoToTheFrameAndNowhereElse)
{
    std::vector<std::string> drops;
    view->SetDropHandler([&drops](ContactRecord& contact, const wxArrayString& files) {
        drops.push_back(std::string(contact.getId()) + ":" + std::string(files[0].utf8_str()));
    });
    client.contact("1", "alice", 1);
    client.contact("2", "bob", 0);
    rebuild();
    auto* target = dynamic_cast<wxFileDropTarget*>(view->GetDropTarget());
    ASSERT_NE(target, nullptr);

    wxArrayString files;
    files.Add("/tmp/notes.txt");
    const struct {
        const char* what;
        wxPoint at;
        bool taken;
    } cases[] = {
        {"online contact", labelOf(view->FindContactItem("1")), true},
        {"offline contact", labelOf(view->FindContactItem("2")), false},
        {"root", labelOf(view->GetOnlineRoot()), false},
        {"below the items", wxPoint(5, view->GetClientSize().y - 5), false},
        {"outside the client area", wxPoint(-5, labelOf(view->FindContactItem("1")).y), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        drops.clear();
        EXPECT_EQ(target->OnDropFiles(c.at.x, c.at.y, files), c.taken);
        EXPECT_EQ(drops, c.taken ? Names{"1:/tmp/notes.txt"} : Names{});
    }
}

TEST_F(ContactTree, TheDocumentTitlesWithTheUserNameAndUpdatesOnlyLiveViews)
{
    std::vector<wxString> titles;
    doc.SetTitleHandler([&titles](const wxString& title) { titles.push_back(title); });
    client.app->account().userName = "alice";
    EXPECT_TRUE(doc.OnNewDocument(*client.app));
    EXPECT_EQ(doc.GetTitle(), "alice");
    EXPECT_EQ(titles, std::vector<wxString>{"alice"});

    auto* second = new CChatwynView(frame, *client.app, skin);
    second->SetDocument(&doc);
    EXPECT_EQ(doc.views().size(), 2u);
    delete second;
    EXPECT_EQ(doc.views().size(), 1u);
    client.contact("1", "alice", 1);
    doc.UpdateAllViews(nullptr);
    EXPECT_EQ(online(), (Names{"alice"}));
}

TEST_F(ContactTree, ARefreshBeforeTheFirstRebuildBuildsTheWholeTree)
{
    auto* early = new CChatwynView(frame, *client.app, skin);
    client.contact("1", "alice", 0);
    ContactRecord& bob = client.contact("2", "bob", 1);
    early->OnUpdate(&bob);
    EXPECT_EQ(namesUnder(*early, early->GetOnlineRoot()), (Names{"bob"}));
    EXPECT_EQ(namesUnder(*early, early->GetOfflineRoot()), (Names{"alice"}));
    delete early;
}

TEST_F(ContactTree, TheTreeDrawsItsPicturesOnTheSkinsBackground)
{
    client.contact("1", "alice", 1);
    client.contact("2", "Bob", 1);
    client.contact("3", "carol", 0);
    client.contact("4", "dave", 0);
    rebuild();
    select("2");
    view->SetFocus();
    wxImage shot;
    const wxRect area(view->GetScreenPosition(), view->GetClientSize());
    ASSERT_TRUE(waitUntil([&] {
        shot = screenImage(area);
        // The empty part at the bottom shows the skin's background once the tree has painted.
        const wxColour corner = shot.IsOk() ? wxColour(shot.GetRed(area.width - 3, area.height - 3),
                                                       shot.GetGreen(area.width - 3, area.height - 3),
                                                       shot.GetBlue(area.width - 3, area.height - 3))
                                            : wxColour();
        return corner == colourOf(skin.backgroundColor());
    }));
    if (const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR"))
        shot.SaveFile(wxString(dir) + "/contact-tree.png", wxBITMAP_TYPE_PNG);

    // The key colour is masked out of every picture, and each contact's picture shows in
    // its row: compare the pixels left of the label with the pictures' own.
    for (int y = 0; y < shot.GetHeight(); ++y)
        for (int x = 0; x < shot.GetWidth(); ++x)
            ASSERT_FALSE(shot.GetRed(x, y) == 255 && shot.GetGreen(x, y) == 0 && shot.GetBlue(x, y) == 255)
                << "key colour at " << x << "," << y;
    EXPECT_NE(colourBox(wxBitmap(shot), skin.backgroundColor()), wxRect());
}

// ---- signed in, against a server of the test's own -------------------------------------------

TEST(ContactTreeSignedIn, TheTreeFollowsTheServerAndDeletesOnlyAfterYes)
{
    registerProgramImages();
    FakeMessageServer server;
    FakeAccountEndpoint endpoint(signInReply(server.port()));
    WxClient client(endpoint.url());
    client.folders.writeAccount("alice", "pw");
    Skin skin;
    loadInstalledSkin(skin);
    CChatwynDoc doc;
    client.ui.doc = &doc;
    auto* frame = new wxFrame(nullptr, wxID_ANY, "signed in", wxPoint(0, 0), wxSize(240, 400));
    auto* view = new CChatwynView(frame, *client.app, skin);
    view->SetDocument(&doc);
    frame->Show();
    view->OnInitialUpdate();
    EXPECT_FALSE(view->CanAddContact());

    ASSERT_TRUE(client.start()) << client.log.dump();
    const int fd = server.accept();
    ASSERT_GE(fd, 0) << client.log.dump();
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, signedInFrame());
    ASSERT_TRUE(waitUntil([&] { return namesUnder(*view, view->GetOfflineRoot()).size() == 2; }))
        << client.log.dump();
    EXPECT_EQ(namesUnder(*view, view->GetOfflineRoot()), (Names{"bob", "carl"}));
    EXPECT_EQ(readFrame(fd).body, "<xml command=\"GET_USER_INFO\"/>");
    EXPECT_TRUE(view->CanAddContact());
    wxUpdateUIEvent addState(command::toWxId(command::AddContact));
    view->ProcessWindowEventLocally(addState);
    EXPECT_TRUE(addState.GetEnabled());
    int addDialogs = 0;
    view->SetAddContactHandler([&addDialogs] { ++addDialogs; });
    wxCommandEvent add(wxEVT_MENU, command::toWxId(command::AddContact));
    view->ProcessWindowEventLocally(add);
    EXPECT_EQ(addDialogs, 1);

    // carl comes online.
    const std::string presence = presenceBody(16, presenceRecord(34, 1, std::string("\x7f\0\0\x01", 4), 6000));
    sendAllBytes(fd, frameHeader(4, 7, 34, presence.size()) + presence);
    ASSERT_TRUE(waitUntil([&] { return namesUnder(*view, view->GetOnlineRoot()) == Names{"carl"}; }));

    // No for carl sends nothing: the next frame is bob's removal.
    view->SelectItem(view->FindContactItem("34"));
    {
        BoxAnswers no(wxID_NO);
        wxCommandEvent remove(wxEVT_MENU, command::toWxId(command::DeleteContact));
        EXPECT_TRUE(view->ProcessWindowEventLocally(remove));
        ASSERT_EQ(no.shown.size(), 1u);
        EXPECT_EQ(no.shown[0].caption, "Orvane");
        EXPECT_EQ(no.shown[0].text, "Are you sure, you want to delete [carl]\nfrom your contact list?");
        EXPECT_TRUE((no.shown[0].style & wxYES_NO) == wxYES_NO);
        EXPECT_TRUE(no.shown[0].style & wxICON_QUESTION);
    }
    view->SelectItem(view->FindContactItem("12"));
    {
        BoxAnswers yes(wxID_YES);
        view->OnDeleteContact();
        EXPECT_EQ(yes.shown.size(), 1u);
    }
    const RawFrame removal = readFrame(fd);
    EXPECT_EQ(removal.type, 10);
    EXPECT_EQ(removal.body, "<xml command=\"REMOVE_CONTACT\" contact_id=\"12\"/>");
    EXPECT_TRUE(view->FindContactItem("12").IsOk()) << "the tree waits for the server's answer";

    const std::string removed = "<xml command=\"CONTACT_REMOVED\" contact_id=\"12\"/>";
    sendAllBytes(fd, frameHeader(10, 7, 0, removed.size()) + removed);
    ASSERT_TRUE(waitUntil([&] { return !view->FindContactItem("12").IsOk(); }));
    EXPECT_EQ(namesUnder(*view, view->GetOfflineRoot()), Names{});

    // Nothing selected: no question.
    view->UnselectAll();
    {
        BoxAnswers yes(wxID_YES);
        view->OnDeleteContact();
        EXPECT_TRUE(yes.shown.empty());
    }
    ::close(fd);
    client.ui.doc = nullptr;
    delete frame;
}
