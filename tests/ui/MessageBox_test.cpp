// The program's message boxes as the screen shows them: the kind's picture, the skin's
// colours, the buttons and keys of each kind, and the tests' hook still answering them.

#include "resources/ProgramImages.h"
#include "resources/ResourceIds.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/kit/CMessageBox.h"
#include "ui/MessageBoxes.h"
#include "ui/kit/ResourceBitmaps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

bool near(const wxImage& image, int x, int y, const wxColour& colour, int tolerance)
{
    return std::abs(image.GetRed(x, y) - colour.Red()) <= tolerance &&
           std::abs(image.GetGreen(x, y) - colour.Green()) <= tolerance &&
           std::abs(image.GetBlue(x, y) - colour.Blue()) <= tolerance;
}

// What the hook saw of each box: whether it was the program's own and which picture it had.
class BoxKinds : public wxModalDialogHook {
public:
    explicit BoxKinds(int answer) : answer_(answer) { Register(); }
    ~BoxKinds() override { Unregister(); }
    std::vector<int> icons; // -1 for a box that is not a CMessageBox

protected:
    int Enter(wxDialog* dialog) override
    {
        const auto* box = dynamic_cast<CMessageBox*>(dialog);
        icons.push_back(box ? box->iconId() : -1);
        return answer_;
    }
    void Exit(wxDialog*) override {}

private:
    int answer_;
};

class MessageBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadInstalledSkin(skin);
        ASSERT_TRUE(registerProgramImages());
    }
    void TearDown() override { setMessageBoxSkin(nullptr); }

    // The box's client area as the screen shows it, once its background is painted.
    wxImage clientShot(CMessageBox& box)
    {
        const wxColour background = colourOf(skin.backgroundColor());
        wxImage shot;
        waitUntil([&] {
            shot = screenImage(wxRect(box.ClientToScreen(wxPoint(0, 0)), box.GetClientSize()));
            return shot.IsOk() && near(shot, 2, 2, background, 0) && near(shot, shot.GetWidth() - 3, 2, background, 0);
        });
        return shot;
    }

    WxClient client;
    Skin skin;
};

} // namespace

TEST_F(MessageBox, EachKindShowsItsOwnPictureAndTheTextOnTheSkinsBackground)
{
    const auto red = [](int r, int g, int b) { return r > 150 && g < 110 && b < 110; };
    const auto gold = [](int r, int g, int b) { return r > 200 && g > 130 && g < 220 && b < 110; };
    const auto blue = [](int r, int g, int b) { return b > 150 && b > r + 60; };
    struct Case {
        const char* name;
        long style;
        int icon;
        std::function<bool(int, int, int)> hue;
        std::vector<int> buttons;
    };
    const Case cases[] = {
        {"stop", wxOK | wxICON_ERROR, IconBoxStop, red, {wxID_OK}},
        {"exclamation", wxOK | wxICON_WARNING, IconBoxExclamation, gold, {wxID_OK}},
        {"question", wxYES_NO | wxICON_QUESTION, IconBoxQuestion, blue, {wxID_YES, wxID_NO}},
        {"information", wxOK | wxICON_INFORMATION, IconBoxInformation, blue, {wxID_OK}},
        {"none", wxOK | wxICON_NONE, 0, nullptr, {wxID_OK}},
    };
    const wxColour background = colourOf(skin.backgroundColor());
    const wxColour text = colourOf(skin.textColor());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMessageBox box(nullptr, skin, "Are you sure, you want to delete [bob]\nfrom your contact list?", "Orvane",
                        c.style);
        EXPECT_EQ(box.iconId(), c.icon);
        std::vector<int> ids;
        for (const CSkinButton* button : box.buttons())
            ids.push_back(button->GetId());
        EXPECT_EQ(ids, c.buttons);
        ASSERT_TRUE(showModeless(box));
        const wxImage shot = clientShot(box);
        ASSERT_TRUE(shot.IsOk());
        dialogShot(box, std::string("message-box-") + c.name);

        // The skin's background all round, the skin's text colour in the text's place.
        for (const wxPoint& p : {wxPoint(2, 2), wxPoint(shot.GetWidth() - 3, shot.GetHeight() - 3),
                                 wxPoint(2, shot.GetHeight() - 3)})
            EXPECT_TRUE(near(shot, p.x, p.y, background, 0)) << p.x << "," << p.y;
        const wxRect textArea = box.textRect();
        int inked = 0;
        for (int y = textArea.y; y < textArea.GetBottom(); ++y)
            for (int x = textArea.x; x < textArea.GetRight(); ++x)
                inked += near(shot, x, y, text, 24);
        EXPECT_GT(inked, 40) << "pixels of the skin's text colour in the text";

        if (!c.icon) {
            EXPECT_TRUE(box.iconRect().IsEmpty());
            EXPECT_EQ(textArea.x, 12) << "the text takes the picture's place";
            continue;
        }
        // The picture as drawn, pixel for pixel where it is opaque, and of its kind's colour.
        const wxImage picture = resourceBitmap(c.icon).ConvertToImage();
        ASSERT_TRUE(picture.IsOk() && picture.HasAlpha());
        const wxRect at = box.iconRect();
        ASSERT_EQ(at.GetSize(), picture.GetSize());
        int differing = 0;
        int ofHue = 0;
        for (int y = 0; y < at.height; ++y) {
            for (int x = 0; x < at.width; ++x) {
                const int sx = at.x + x;
                const int sy = at.y + y;
                if (picture.GetAlpha(x, y) == 255)
                    differing += !near(shot, sx, sy,
                                       wxColour(picture.GetRed(x, y), picture.GetGreen(x, y), picture.GetBlue(x, y)), 8);
                ofHue += c.hue(shot.GetRed(sx, sy), shot.GetGreen(sx, sy), shot.GetBlue(sx, sy));
            }
        }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(ofHue, 100);
        box.Hide();
    }
}

TEST_F(MessageBox, TheProgramsBoxesAreItsOwnAndTheHookStillAnswersThem)
{
    setMessageBoxSkin(&skin);
    {
        MessageBoxAnswers boxes(wxID_YES);
        showMessage(nullptr, "Enter valid username and password", BoxIcon::Stop);
        showMessage(nullptr, "The user is already in your contact list.", BoxIcon::Warning);
        EXPECT_TRUE(askYesNo(nullptr, "Do you want to download and install it now?"));
        ASSERT_EQ(boxes.shown.size(), 3u);
        EXPECT_EQ(boxes.shown[0].caption, "Orvane");
        EXPECT_EQ(boxes.shown[0].text, "Enter valid username and password");
        EXPECT_EQ(iconOf(boxes.shown[0].style), wxICON_ERROR);
        EXPECT_EQ(iconOf(boxes.shown[1].style), wxICON_WARNING);
        EXPECT_EQ(boxes.shown[2].style & wxYES_NO, wxYES_NO);
    }
    BoxKinds kinds(wxID_NO);
    showMessage(nullptr, "Password is incorrect", BoxIcon::Stop);
    showMessage(nullptr, "Unable to register user!", BoxIcon::Warning);
    showMessage(nullptr, "Signed in.", BoxIcon::Information);
    EXPECT_FALSE(askYesNo(nullptr, "Are you sure?"));
    EXPECT_EQ(kinds.icons, (std::vector<int>{IconBoxStop, IconBoxExclamation, IconBoxInformation, IconBoxQuestion}));
}

TEST_F(MessageBox, KeysAndButtonsAnswerAsTheBoxAsks)
{
    struct Case {
        const char* name;
        long style;
        std::function<void(CMessageBox&)> act;
        int answer;
    };
    const Case cases[] = {
        {"Escape in a Yes/No box", wxYES_NO | wxICON_QUESTION, [](CMessageBox&) { pressKey(WXK_ESCAPE); }, wxID_NO},
        {"Enter in a Yes/No box", wxYES_NO | wxICON_QUESTION, [](CMessageBox&) { pressKey(WXK_RETURN); }, wxID_YES},
        {"No clicked", wxYES_NO | wxICON_QUESTION, [](CMessageBox& box) { clickOn(box, wxID_NO); }, wxID_NO},
        {"Alt+N", wxYES_NO | wxICON_QUESTION, [](CMessageBox&) { wxUIActionSimulator().Char('n', wxMOD_ALT); },
         wxID_NO},
        {"Y alone", wxYES_NO | wxICON_QUESTION, [](CMessageBox&) { wxUIActionSimulator().Char('y'); }, wxID_YES},
        {"Escape in an OK box", wxOK | wxICON_ERROR, [](CMessageBox&) { pressKey(WXK_ESCAPE); }, wxID_OK},
        {"OK clicked", wxOK | wxICON_WARNING, [](CMessageBox& box) { clickOn(box, wxID_OK); }, wxID_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMessageBox box(nullptr, skin, "text", "Orvane", c.style);
        EXPECT_EQ(runModal(box,
                           [&] {
                               ASSERT_TRUE(waitActive(box));
                               c.act(box);
                           }),
                  c.answer);
    }
}
