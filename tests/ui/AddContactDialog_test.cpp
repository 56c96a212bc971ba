#include "resources/ProgramImages.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/CAddContactDialog.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/app.h>

#include <memory>
#include <set>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

class AddContactDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
    }

    std::unique_ptr<CAddContactDialog> make(const char* own)
    {
        return std::make_unique<CAddContactDialog>(nullptr, skin, own, [this](const char* name) {
            ++asked;
            return listed.count(name) > 0;
        });
    }

    Skin skin;
    std::set<std::string> listed{"alice", "Bob"};
    int asked = 0;
};

TEST_F(AddContactDialog, AddRefusesWithTheFirstFailingChecksBoxAndKeepsTheNameAsTyped)
{
    const struct {
        const char* own;
        const char* typed;
        const char* refusal; // nullptr: added
    } cases[] = {
        {"me", "", "You should enter a user name to add it."},
        {"me", "alice", "The user is already in your contact list."},
        {"alice", "alice", "The user is already in your contact list."},
        {"me", "me", "Can't add yourself to your contact list."},
        // The server decides on letter case.
        {"me", "Alice", nullptr},
        {"me", "ME", nullptr},
        {"me", "carol", nullptr},
        {"me", "Bo", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.own) + " adds '" + c.typed + "'");
        MessageBoxAnswers boxes;
        auto dialog = make(c.own);
        ASSERT_TRUE(showModeless(*dialog));
        dialog->edit().SetValue(c.typed);
        clickOn(*dialog, CAddContactDialog::AddId);
        if (c.refusal) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, c.refusal);
            EXPECT_EQ(iconOf(boxes.shown[0].style), wxICON_EXCLAMATION);
            EXPECT_TRUE(dialog->IsShown());
            EXPECT_EQ(dialog->edit().GetValue(), c.typed);
        } else {
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_FALSE(dialog->IsShown());
            EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
            EXPECT_STREQ(dialog->userName().c_str(), c.typed);
        }
    }
}

TEST_F(AddContactDialog, TypedNameAndEnterAddInAModalRun)
{
    auto dialog = make("me");
    EXPECT_EQ(runModal(*dialog,
                       [&] {
                                                      ASSERT_TRUE(typeInto(dialog->edit(), "carol", "carol"));
                           pressKey(WXK_RETURN);
                       }),
              wxID_OK);
    EXPECT_STREQ(dialog->userName().c_str(), "carol");
}

TEST_F(AddContactDialog, CloseAndEscapeEndWithoutAddingOrCheckingAnything)
{
    {
        auto dialog = make("me");
        EXPECT_EQ(runModal(*dialog,
                           [&] {
                               dialog->edit().SetValue("carol");
                               clickOn(*dialog, CAddContactDialog::CloseId);
                           }),
                  wxID_CANCEL);
    }
    {
        auto dialog = make("me");
        EXPECT_EQ(runModal(*dialog,
                           [&] {
                                                              ASSERT_TRUE(typeInto(dialog->edit(), "carol", "carol"));
                               pressKey(WXK_ESCAPE);
                           }),
                  wxID_CANCEL);
    }
    EXPECT_EQ(asked, 0);
}

} // namespace
