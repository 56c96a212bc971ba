// What the small dialogs and the account dialog have in common: their captions, controls
// and texts, a layout in which every control lies whole inside the window and none covers
// another, the skin's background, and the keys (Enter, Escape, the close box).

#include "core/ConfigFiles.h"
#include "core/contacts/ContactRecord.h"
#include "resources/ProgramImages.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/CAboutDialog.h"
#include "ui/CAccountDialog.h"
#include "ui/CAddContactDialog.h"
#include "ui/CConnectionSettingsDialog.h"
#include "ui/CCurrentPasswordDialog.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/choice.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

struct Control {
    int id;
    const char* text;
};

struct DialogCase {
    const char* name;
    std::function<CSkinDialog*(Skin&, AccountSettings&, ContactRecord&)> make;
    const char* caption;
    std::vector<Control> controls;
};

// The text a control shows: a label's or a button's caption.
wxString shownText(wxWindow& window)
{
    if (auto* label = dynamic_cast<CTextLabel*>(&window); label && !label->GetText().empty())
        return label->GetText();
    return window.GetLabel();
}

const std::vector<DialogCase>& dialogCases()
{
    static const std::vector<DialogCase> cases = {
        {"add-contact",
         [](Skin& skin, AccountSettings&, ContactRecord&) {
             return new CAddContactDialog(nullptr, skin, "me", [](const char*) { return false; });
         },
         "Orvane - Add contact",
         {{1038, "User ID"}, {1019, ""}, {1020, "&Add"}, {1, "&Close"}}},
        {"current-password",
         [](Skin& skin, AccountSettings&, ContactRecord&) { return new CCurrentPasswordDialog(nullptr, skin, "pw"); },
         "Current Password",
         {{1052, "Enter your current password"}, {1051, ""}, {1, "OK"}, {2, "Cancel"}}},
        {"settings",
         [](Skin& skin, AccountSettings& account, ContactRecord&) {
             return new CConnectionSettingsDialog(nullptr, skin, account, "1.6", "240517");
         },
         "Orvane - Settings",
         {{1051, ""},
          {4016, "Orvane messenger"},
          {1048, MakerNotice},
          {1018, "Version 1.6.240517"},
          {4017, ""},
          {1011, ""},
          {1050, "Obtain proxy settings from the system"},
          {1013, ""},
          {4013, "Proxy IP address"},
          {1015, ""},
          {4014, "Proxy port"},
          {1017, "0"},
          {1, "OK"},
          {2, "Cancel"}}},
        {"about",
         [](Skin& skin, AccountSettings&, ContactRecord&) { return new CAboutDialog(nullptr, skin, "1.6", "240517"); },
         "About Orvane",
         {{1049, ""}, {1047, "Orvane Messenger"}, {1048, MakerNotice}, {1006, "Version 1.6.240517"}, {1, "OK"}}},
        {"sign-up",
         [](Skin& skin, AccountSettings& account, ContactRecord& own) {
             auto* dialog = new CAccountDialog(nullptr, skin, account, own, "http://127.0.0.1:1/");
             dialog->OnInitDialog(CAccountDialog::Mode::SignUp);
             return dialog;
         },
         "Orvane - Register new account",
         {{1019, ""},
          {1021, ""},
          {1025, ""},
          {1029, ""},
          {1031, ""},
          {1028, ""},
          {1033, ""},
          {1, "OK"},
          {2, "Cancel"}}},
        {"change-details",
         [](Skin& skin, AccountSettings& account, ContactRecord& own) {
             auto* dialog = new CAccountDialog(nullptr, skin, account, own, "http://127.0.0.1:1/");
             dialog->OnInitDialog(CAccountDialog::Mode::ChangeDetails);
             return dialog;
         },
         "Orvane - Change my details",
         {{1019, "alice"},
          {1029, "Alice"},
          {1031, "Liddell"},
          {1028, "alice@example.org"},
          {1033, "http://example.org/"}}},
    };
    return cases;
}

class SkinDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
        account.userName = "alice";
        account.password = "pw";
        own.userName = "alice";
        own.firstName = "Alice";
        own.lastName = "Liddell";
        own.email = "alice@example.org";
        own.webSite = "http://example.org/";
    }

    Skin skin;
    AccountSettings account;
    ContactRecord own{"7"};
};

// A control's text: an edit's value, a button's or label's caption.
wxString textOf(wxWindow& window)
{
    if (auto* edit = dynamic_cast<CFlatEdit*>(&window))
        return edit->GetValue();
    return shownText(window);
}

TEST_F(SkinDialogs, EachShowsItsCaptionControlsAndTextsLaidOutInsideTheWindowOnTheSkinsBackground)
{
    for (const DialogCase& c : dialogCases()) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CSkinDialog> dialog(c.make(skin, account, own));
        EXPECT_EQ(dialog->GetTitle(), c.caption);
        for (const Control& control : c.controls) {
            SCOPED_TRACE(control.id);
            wxWindow* window = dialog->FindWindow(control.id);
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(textOf(*window), wxString::FromUTF8(control.text));
        }

        // Every control whole inside the client area; none over another, except the
        // settings box's frame round its controls.
        const wxRect client(dialog->GetClientSize());
        std::vector<wxWindow*> children;
        for (wxWindow* child : dialog->GetChildren())
            if (child->GetId() != CConnectionSettingsDialog::GroupId || c.name != std::string("settings"))
                children.push_back(child);
        for (size_t i = 0; i < children.size(); ++i) {
            const wxRect place = children[i]->GetRect();
            EXPECT_TRUE(client.Contains(place)) << children[i]->GetId() << " at " << place.x << "," << place.y << " "
                                                << place.width << "x" << place.height;
            for (size_t j = i + 1; j < children.size(); ++j)
                EXPECT_FALSE(place.Intersects(children[j]->GetRect()))
                    << children[i]->GetId() << " and " << children[j]->GetId() << " overlap";
        }

        ASSERT_TRUE(showModeless(*dialog));
        // The window's left edge, halfway down: always background.
        wxImage shot;
        ASSERT_TRUE(waitUntil([&] {
            shot = screenImage(wxRect(dialog->ClientToScreen(wxPoint(1, client.height / 2)), wxSize(1, 1)));
            return shot.IsOk() && colorRefOf(wxColour(shot.GetRed(0, 0), shot.GetGreen(0, 0), shot.GetBlue(0, 0))) ==
                                      skin.backgroundColor();
        })) << "the skin's background never showed";
        // What a person sees, for looking at.
        dialogShot(*dialog, std::string("dialog-") + c.name);
        dialog->Hide();
    }
}

} // namespace
