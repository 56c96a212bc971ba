#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/kit/CFlatEdit.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr ColorRef Border = 0x204060;
constexpr ColorRef HoverBorder = 0x10c0f0;
constexpr ColorRef NormalBack = 0xe0e0e0;
constexpr ColorRef FocusedBack = 0xffffff;

class FlatEdit : public ::testing::Test {
protected:
    FlatEdit()
    {
        frame = new wxFrame(nullptr, wxID_ANY, "edit", wxPoint(0, 0), wxSize(300, 200));
        panel = new wxPanel(frame);
        edit = new CFlatEdit(panel, 1001, "", wxPoint(20, 20), wxSize(150, 26));
        other = new CFlatEdit(panel, 1002, "", wxPoint(20, 80), wxSize(150, 26));
        for (CFlatEdit* e : {edit, other}) {
            e->SetBorderColor(Border);
            e->SetHoverBorderColor(HoverBorder);
            e->SetNormalColors(0x000000, NormalBack);
            e->SetFocusedColors(0x000080, FocusedBack);
        }
        frame->Show();
        frame->Raise();
        waitUntil([this] { return frame->IsShownOnScreen(); });
        // Start with the pointer away from both fields.
        sim.MouseMove(frame->ClientToScreen(wxPoint(250, 150)));
    }
    ~FlatEdit() override { frame->Destroy(); }

    void focus(CFlatEdit& e)
    {
        e.SetFocus();
        ASSERT_TRUE(waitUntil([&] { return e.isFocused(); })) << "the field never got the focus";
    }

    wxPoint centreOf(CFlatEdit& e) const { return e.ClientToScreen(wxPoint(75, 13)); }

    wxFrame* frame;
    wxPanel* panel;
    CFlatEdit* edit;
    CFlatEdit* other;
    wxUIActionSimulator sim;
};

} // namespace

TEST_F(FlatEdit, TwoFramesInTheBorderColourLightUpWhileHoveredAndWhileFocused)
{
    const struct {
        const char* state;
        std::function<void()> enter;
        ColorRef frames;
        ColorRef inside;
    } states[] = {
        {"normal", [] {}, Border, NormalBack},
        {"hover", [this] {
             sim.MouseMove(centreOf(*edit));
             waitUntil([this] { return edit->isHover(); });
         }, HoverBorder, NormalBack},
        {"focus", [this] { focus(*edit); }, HoverBorder, FocusedBack},
    };
    for (const auto& s : states) {
        SCOPED_TRACE(s.state);
        s.enter();
        const wxBitmap bitmap = drawnControl(*edit);
        for (const wxPoint& p : {wxPoint(0, 0), wxPoint(1, 1), wxPoint(149, 25), wxPoint(148, 24), wxPoint(75, 0),
                                 wxPoint(0, 13), wxPoint(148, 13)})
            EXPECT_EQ(pixelAt(bitmap, p.x, p.y), s.frames) << p.x << "," << p.y;
        EXPECT_EQ(pixelAt(bitmap, 2, 2), s.inside);
        EXPECT_EQ(colorRefOf(edit->textCtrl().GetBackgroundColour()), s.inside);
    }
}

TEST_F(FlatEdit, TheHoverBorderStaysWhileFocusedAndGoesWithThePointerOnceTheFocusGoes)
{
    sim.MouseMove(centreOf(*edit));
    ASSERT_TRUE(waitUntil([&] { return edit->isHover(); }));
    sim.MouseMove(frame->ClientToScreen(wxPoint(250, 150)));
    ASSERT_TRUE(waitUntil([&] { return !edit->isHover(); })) << "leaving ends the hover";

    focus(*edit);
    EXPECT_TRUE(edit->isHover());
    int leaves = 0;
    edit->textCtrl().Bind(wxEVT_LEAVE_WINDOW, [&](wxMouseEvent& e) {
        ++leaves;
        e.Skip();
    });
    sim.MouseMove(centreOf(*edit));
    sim.MouseMove(frame->ClientToScreen(wxPoint(250, 150)));
    ASSERT_TRUE(waitUntil([&] { return leaves > 0; })) << "the pointer never left";
    EXPECT_TRUE(edit->isHover()) << "focused: the pointer leaving changes nothing";
    EXPECT_EQ(edit->borderColorNow(), HoverBorder);

    focus(*other);
    EXPECT_FALSE(edit->isFocused());
    EXPECT_FALSE(edit->isHover());
    EXPECT_EQ(pixelAt(drawnControl(*edit), 0, 0), Border);
}

TEST_F(FlatEdit, AReadOnlyFieldTakesNeitherTypingNorPastingButCanBeFocusedAndSelected)
{
    ASSERT_TRUE(wxTheClipboard->Open());
    wxTheClipboard->SetData(new wxTextDataObject("pasted"));
    wxTheClipboard->Close();

    const struct {
        bool editable;
        const char* expected;
    } cases[] = {{true, "keeptypedpasted"}, {false, "keep"}};
    // Keys arrive through the X server: the release of the last one says they all have.
    bool pasteKeyReleased = false;
    edit->textCtrl().Bind(wxEVT_KEY_UP, [&](wxKeyEvent& e) {
        if (e.GetKeyCode() == 'V')
            pasteKeyReleased = true;
        e.Skip();
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.editable ? "editable" : "read-only");
        edit->ChangeValue("keep");
        edit->SetEditable(c.editable);
        focus(*edit);
        edit->textCtrl().SetInsertionPointEnd();
        pasteKeyReleased = false;
        sim.Text("typed");
        sim.Char('v', wxMOD_CONTROL);
        ASSERT_TRUE(waitUntil([&] { return pasteKeyReleased; }));
        // Pasting asks the clipboard, which answers through the X server too.
        waitUntil([&] { return edit->GetValue() == c.expected; }, std::chrono::seconds(c.editable ? 5 : 0));
        waitUntil([] { return false; }, std::chrono::milliseconds(c.editable ? 0 : 200));
        EXPECT_EQ(edit->GetValue(), c.expected);
    }
    // Read-only, its text can still be selected.
    focus(*edit);
    edit->textCtrl().SetSelection(0, 2);
    EXPECT_EQ(edit->textCtrl().GetStringSelection(), "ke");
}

TEST_F(FlatEdit, ItsTextEventsReachTheParentUnderItsOwnId)
{
    int seen = 0;
    panel->Bind(wxEVT_TEXT, [&](wxCommandEvent& e) { seen = e.GetId(); });
    edit->SetValue("x");
    EXPECT_EQ(seen, 1001);
}
