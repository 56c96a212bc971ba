#include "resources/ProgramImages.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/CCurrentPasswordDialog.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

class CurrentPasswordDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
    }

    Skin skin;
};

TEST_F(CurrentPasswordDialog, OkClosesOnlyOnTheStoredPasswordAndSaysSoOnlyForAWrongOneTyped)
{
    const struct {
        const char* stored;
        const char* typed;
        bool closes;
        bool box;
    } cases[] = {
        {"secret", "secret", true, false},
        {"secret", "Secret", false, true},
        {"secret", "secre", false, true},
        {"secret", "secret ", false, true},
        {"secret", "", false, false},
        {"", "", true, false},
        {"", "x", false, true},
        {"gr\xC3\xBC\xC3\x9F", "gr\xC3\xBC\xC3\x9F", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("stored '") + c.stored + "', typed '" + c.typed + "'");
        MessageBoxAnswers boxes;
        CCurrentPasswordDialog dialog(nullptr, skin, c.stored);
        ASSERT_TRUE(showModeless(dialog));
        dialog.edit().SetValue(wxString::FromUTF8(c.typed));
        // As after a click with the mouse: the focus on the button.
        wxWindow& ok = *dialog.FindWindow(CCurrentPasswordDialog::OkId);
        ok.SetFocus();
        ASSERT_TRUE(waitUntil([&] { return wxWindow::FindFocus() == &ok; }));
        clickOn(dialog, CCurrentPasswordDialog::OkId);
        EXPECT_EQ(dialog.IsShown(), !c.closes);
        if (c.closes) {
            EXPECT_EQ(dialog.GetReturnCode(), wxID_OK);
        }
        ASSERT_EQ(boxes.shown.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(boxes.shown[0].text, "Password is incorrect");
            EXPECT_EQ(iconOf(boxes.shown[0].style), wxICON_HAND);
            EXPECT_TRUE(waitUntil([&] { return dialog.edit().isFocused(); })) << "the focus is not back in the field";
            EXPECT_EQ(dialog.edit().GetValue(), wxString::FromUTF8(c.typed));
        }
    }
}

TEST_F(CurrentPasswordDialog, ThePasswordTypedAndEnterConfirmInAModalRunAndCancelDoesNot)
{
    {
        CCurrentPasswordDialog dialog(nullptr, skin, "pw2");
        EXPECT_EQ(runModal(dialog,
                           [&] {
                               ASSERT_TRUE(typeInto(dialog.edit(), "pw2", "pw2"));
                               pressKey(WXK_RETURN);
                           }),
                  wxID_OK);
    }
    {
        CCurrentPasswordDialog dialog(nullptr, skin, "pw2");
        EXPECT_EQ(runModal(dialog,
                           [&] {
                               dialog.edit().SetValue("pw2");
                               clickOn(dialog, CCurrentPasswordDialog::CancelId);
                           }),
                  wxID_CANCEL);
    }
}

} // namespace
