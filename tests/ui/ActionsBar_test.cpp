// The action bar with a real application: its module list holds modules of the test's own,
// with and without pictures; the selected contact comes from the test as the frame would
// hand over the tree's.

#include "resources/ResourceIds.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/ui/WxClient.h"
#include "resources/ProgramImages.h"
#include "ui/CActionsBar.h"
#include "ui/CChatwynView.h"
#include "ui/kit/CIconButton.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/sizer.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

class ActionsBar : public ::testing::Test {
protected:
    ActionsBar()
    {
        loadInstalledSkin(skin);
        frame = new wxFrame(nullptr, wxID_ANY, "action bar", wxPoint(0, 0), wxSize(200, 500));
        bar = new CActionsBar(*client.app, skin);
        EXPECT_TRUE(bar->Create(frame));
        bar->SetContactSource([this] { return selected; });
        // The frame docks the bar at its right edge; here it stands alone at its best size.
        bar->SetSize(bar->GetBestSize());
    }
    ~ActionsBar() override { delete frame; }

    std::vector<bool> enabledStates() const
    {
        std::vector<bool> states;
        for (int i = 0; i <= bar->GetLastIndex(); ++i)
            states.push_back(bar->GetButton(i)->IsEnabled());
        return states;
    }

    void click(int index)
    {
        ClickCase c{"click", {{wxEVT_LEFT_DOWN, {10, 10}}, {wxEVT_LEFT_UP, {10, 10}}}, 1};
        playClick(*bar->GetButton(index), c);
    }

    WxClient client;
    Skin skin;
    wxFrame* frame = nullptr;
    CActionsBar* bar = nullptr;
    ContactRecord* selected = nullptr;
};

} // namespace

TEST_F(ActionsBar, TheFirstIdleUpdateGivesEachModuleWithAPictureAButtonInListOrder)
{
    client.addModule("plain", "Plain");
    ActionModule& talk = client.addModule("voice", "Talk", *wxRED);
    ActionModule& video = client.addModule("video", "Video", *wxGREEN);
    ActionModule& unnamed = client.addModule("unnamed", "", *wxBLUE);
    client.registerModules();

    frame->Show();
    ASSERT_TRUE(waitUntil([this] { return bar->IsPopulated(); })) << "populated from the idle update";
    ASSERT_EQ(bar->GetLastIndex(), 2);
    const struct {
        IModule* module;
        const char* tooltip;
    } expected[] = {{&talk, "Talk"}, {&video, "Video"}, {&unnamed, ""}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar->GetModule(i), expected[i].module);
        CIconButton& button = *bar->GetButton(i);
        EXPECT_EQ(button.GetId(), CActionsBar::FirstButtonId + i);
        EXPECT_TRUE(button.IsShown());
        EXPECT_EQ(button.GetLabel(), "") << "the picture stands for the name";
        EXPECT_EQ(button.GetToolTipText(), expected[i].tooltip);
        EXPECT_TRUE(button.tooltipBalloon());
        EXPECT_EQ(button.GetColor(CIconButton::NormalBackground), skin.backgroundColor());
        EXPECT_EQ(button.GetColor(CIconButton::HotBackground), skin.backgroundColor());
        EXPECT_EQ(button.GetColor(CIconButton::FocusBackground), skin.backgroundColor());
    }
    for (int i = 3; i < CActionsBar::ButtonCount; ++i)
        EXPECT_FALSE(bar->GetButton(i)->IsShown()) << i;
    EXPECT_FALSE(bar->GetFiller()->IsEnabled());
    EXPECT_EQ(bar->GetFiller()->GetId(), CActionsBar::FillerId);
    EXPECT_EQ(bar->GetFiller()->GetColor(CIconButton::NormalBackground), skin.backgroundColor());

    // A module registered afterwards gets no button.
    ActionModule late(client.log, "late", "Late");
    late.bitmap = modulePicture(*wxCYAN);
    client.app->addBuiltinModule(&late);
    bar->Populate();
    EXPECT_EQ(bar->GetLastIndex(), 2);
    EXPECT_FALSE(bar->GetButton(3)->IsShown());
}

TEST_F(ActionsBar, ANinthModuleWithAPictureGetsNoButton)
{
    for (int i = 0; i < 9; ++i)
        client.addModule("m" + std::to_string(i), "Module " + std::to_string(i), wxColour(20 * i, 100, 100));
    client.registerModules();
    bar->Populate();
    EXPECT_EQ(bar->GetLastIndex(), 7);
    for (int i = 0; i < CActionsBar::ButtonCount; ++i)
        EXPECT_EQ(bar->GetModule(i), client.modules[static_cast<size_t>(i)].get()) << i;
}

TEST_F(ActionsBar, TheButtonsFollowWhetherTheirModulesAcceptTheSelectedContact)
{
    client.addModule("voice", "Talk", *wxRED);
    client.addModule("video", "Video", *wxGREEN);
    client.addModule("web", "Webjoin", *wxBLUE).accepts = false;
    client.registerModules();
    ContactRecord& alice = client.contact("1", "alice", 1);
    ContactRecord& bob = client.contact("2", "bob", 0);
    bar->Populate();

    const struct {
        const char* what;
        ContactRecord* contact;
        std::vector<bool> enabled;
    } cases[] = {
        {"nothing selected", nullptr, {false, false, false}},
        {"online contact", &alice, {true, true, false}},
        {"offline contact", &bob, {false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        selected = c.contact;
        bar->UpdateButtons();
        EXPECT_EQ(enabledStates(), c.enabled);
    }
}

TEST_F(ActionsBar, AClickReachesTheModuleWithTheContactSelectedAtThatMoment)
{
    ActionModule& talk = client.addModule("voice", "Talk", *wxRED);
    client.registerModules();
    ContactRecord& alice = client.contact("1", "alice", 1);
    ContactRecord& carol = client.contact("3", "carol", 1);
    frame->Show();
    bar->Populate();
    selected = &alice;
    bar->UpdateButtons();
    ASSERT_TRUE(bar->GetButton(0)->IsEnabled());

    click(0);
    EXPECT_EQ(talk.acted, (std::vector<std::string>{"1"}));

    // alice goes offline and nobody tells the bar: the button stays enabled and the click
    // still reaches the module, which is the one to refuse.
    alice.status = 0;
    ASSERT_TRUE(bar->GetButton(0)->IsEnabled());
    click(0);
    EXPECT_EQ(talk.acted, (std::vector<std::string>{"1", "1"}));

    // The selection moved on to carol, the bar not told either: she is the one acted on.
    selected = &carol;
    click(0);
    EXPECT_EQ(talk.acted, (std::vector<std::string>{"1", "1", "3"}));
}

TEST_F(ActionsBar, TheButtonsStackFromTheTopAndTheFillerTakesTheRestOfTheColumn)
{
    const wxSize unit = bar->DialogToPixels(wxSize(4, 8));
    ASSERT_GT(unit.x, 0);
    ASSERT_GT(unit.y, 0);
    EXPECT_EQ(bar->GetBestSize(), bar->DialogToPixels(wxSize(32, 292)));
    const wxSize button = bar->DialogToPixels(wxSize(32, 32));
    for (int i = 0; i < CActionsBar::ButtonCount; ++i)
        EXPECT_EQ(bar->GetButton(i)->GetRect(), wxRect(wxPoint(0, bar->DialogToPixels(wxSize(0, 32 * i)).y), button))
            << i;

    // No module with a picture: the filler fills the bar.
    bar->Populate();
    EXPECT_EQ(bar->GetLastIndex(), -1);
    EXPECT_EQ(bar->GetFiller()->GetRect(), wxRect(bar->GetClientSize()));
    bar->SetSize(bar->GetSize().x, 400);
    EXPECT_EQ(bar->GetFiller()->GetRect(), wxRect(bar->GetClientSize()));
}

TEST_F(ActionsBar, WithButtonsTheFillerStartsBelowTheLastAndFollowsTheHeight)
{
    client.addModule("voice", "Talk", *wxRED);
    client.addModule("video", "Video", *wxGREEN);
    client.registerModules();
    bar->Populate();
    const wxRect last = bar->GetButton(1)->GetRect();
    for (int height : {bar->GetClientSize().y, 450}) {
        SCOPED_TRACE(height);
        bar->SetSize(bar->GetSize().x, height);
        EXPECT_EQ(bar->GetFiller()->GetRect(),
                  wxRect(last.x, last.GetBottom() + 1, last.width, bar->GetClientSize().y - last.GetBottom() - 1));
    }
}

TEST_F(ActionsBar, BesideTheTreeTheBarShowsTheModulesPicturesOnTheSkinsBackground)
{
    // Laid out as the main frame lays them out: the tree takes the width the bar leaves.
    ASSERT_TRUE(registerProgramImages());
    client.addModule("voice", "Talk", wxColour(200, 30, 30));
    client.addModule("video", "Video", wxColour(30, 160, 30));
    client.addModule("web", "Webjoin", wxColour(30, 30, 200));
    client.registerModules();
    client.contact("1", "alice", 1);
    client.contact("2", "Bob", 0);
    client.contact("3", "carol", 0);
    auto* view = new CChatwynView(frame, *client.app, skin);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(view, 1, wxEXPAND);
    row->Add(bar, 0, wxEXPAND);
    frame->SetSizer(row);
    frame->SetSize(220, 550);
    view->SetSelectionHandler([this, view] {
        selected = view->GetSelectedContact();
        bar->UpdateButtons();
    });
    view->OnInitialUpdate();
    frame->Show();
    bar->Populate();
    // The tree's selection reaches the bar through the handler the frame installs.
    view->SelectItem(view->FindContactItem("2"));
    EXPECT_EQ(enabledStates(), (std::vector<bool>{false, false, false}));
    view->SelectItem(view->FindContactItem("1"));
    EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true}));
    bar->GetButton(2)->Disable();

    const wxRect area(frame->GetScreenPosition() + frame->GetClientAreaOrigin(), frame->GetClientSize());
    const wxRect barArea(bar->GetPosition(), bar->GetClientSize());
    wxImage shot;
    ASSERT_TRUE(waitUntil([&] {
        shot = screenImage(area);
        return shot.IsOk() && colourBox(wxBitmap(shot), 0x1ea01e) != wxRect() &&
               colourBox(wxBitmap(shot), skin.backgroundColor()).GetLeft() == 0;
    }));
    if (const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR"))
        shot.SaveFile(wxString(dir) + "/tree-and-bar.png", wxBITMAP_TYPE_PNG);
    const wxBitmap screen(shot);
    // Each enabled picture inside its button, the key colour nowhere; the disabled one grey.
    auto onScreen = [&barArea](const wxRect& button) { return wxRect(barArea.GetPosition() + button.GetPosition(), button.GetSize()); };
    EXPECT_TRUE(onScreen(bar->GetButton(0)->GetRect()).Contains(colourBox(screen, 0x1e1ec8)));
    EXPECT_TRUE(onScreen(bar->GetButton(1)->GetRect()).Contains(colourBox(screen, 0x1ea01e)));
    EXPECT_EQ(colourBox(screen, 0xc81e1e), wxRect()) << "the disabled picture is drawn grey";
    EXPECT_EQ(colourBox(screen, SkinKeyColor), wxRect());
    // The filler below the buttons shows the skin's background.
    const wxRect filler = onScreen(bar->GetFiller()->GetRect()).Deflate(4);
    EXPECT_EQ(colourBox(screen.GetSubBitmap(filler), skin.backgroundColor()), wxRect(filler.GetSize()));
}
