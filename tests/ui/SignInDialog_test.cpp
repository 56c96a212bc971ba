#include "resources/ProgramImages.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/MessageBoxAnswers.h"
#include "tests/ui/WxClient.h"
#include "ui/CSignInDialog.h"
#include "ui/SignUpHandover.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include <functional>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The program's side of "New Account", recorded: what was called, in order, and over which
// window the sign-up ran.
class RecordingHandover : public SignUpHandover {
public:
    bool signUpSucceeds = false;
    std::vector<std::string> calls;
    wxWindow* signUpParent = nullptr;
    // Whether the sign-in dialog was still running when the sign-in was asked for.
    bool dialogOpenAtSignIn = false;
    wxDialog* dialog = nullptr;

    bool signUp(wxWindow& parent) override
    {
        calls.push_back("sign-up");
        signUpParent = &parent;
        return signUpSucceeds;
    }
    void signInNewAccount() override
    {
        calls.push_back("sign-in");
        dialogOpenAtSignIn = dialog && dialog->IsModal();
    }
};

void click(CSkinButton& button)
{
    const wxSize size = button.GetClientSize();
    sendMouse(button, wxEVT_LEFT_DOWN, size.GetWidth() / 2, size.GetHeight() / 2, true);
    sendMouse(button, wxEVT_LEFT_UP, size.GetWidth() / 2, size.GetHeight() / 2, false);
}

void pressKey(wxWindow& window, int code, bool alt = false)
{
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = code;
    event.m_altDown = alt;
    event.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(event);
}

class SignInDialog : public ::testing::Test {
protected:
    SignInDialog()
    {
        registerProgramImages();
        loadInstalledSkin(skin);
    }

    // The dialog, modal; `inside` runs once it is on the screen and should end it. One
    // that leaves it open fails the test and answers wxID_ABORT.
    int run(CSignInDialog& dialog, const std::function<void()>& inside)
    {
        handover.dialog = &dialog;
        dialog.CallAfter([&dialog, inside] {
            waitUntil([&dialog] { return dialog.IsShownOnScreen(); });
            // Without a window manager the keys go where the pointer is.
            wxUIActionSimulator().MouseMove(dialog.ClientToScreen(wxPoint(2, 2)));
            inside();
            if (dialog.IsModal()) {
                ADD_FAILURE() << "the dialog is still open";
                dialog.EndModal(wxID_ABORT);
            }
        });
        return dialog.ShowModal();
    }

    Skin skin;
    RecordingHandover handover;
    MessageBoxAnswers boxes;
};

} // namespace

TEST_F(SignInDialog, OpensWithItsCaptionTextsEmptyFieldsAndTheSkinsColours)
{
    for (const bool firstSignIn : {true, false}) {
        SCOPED_TRACE(firstSignIn ? "first sign-in" : "an own user name is stored");
        CSignInDialog dialog(nullptr, skin, handover, firstSignIn);
        const int answer = run(dialog, [&] {
            EXPECT_EQ(dialog.GetTitle(), "Orvane - Sign In");
            EXPECT_EQ(dialog.makeDefaultBox().GetCheck(), firstSignIn) << "the make-default box";
            EXPECT_TRUE(dialog.userNameEdit().GetValue().empty());
            EXPECT_TRUE(dialog.passwordEdit().GetValue().empty());
            EXPECT_TRUE(dialog.passwordEdit().textCtrl().HasFlag(wxTE_PASSWORD));
            const struct {
                int id;
                const char* text;
            } labels[] = {{1045, "Username"}, {1039, "Password"}, {1046, "Make default account"}};
            for (const auto& label : labels) {
                auto* control = dynamic_cast<CTextLabel*>(dialog.FindWindow(label.id));
                ASSERT_NE(control, nullptr) << label.id;
                EXPECT_EQ(control->GetLabel(), label.text);
            }
            const struct {
                int id;
                const char* caption;
            } buttons[] = {{1, "S&ign in"}, {2, "Cancel"}, {1032, "&New Acount"}};
            for (const auto& button : buttons) {
                auto* control = dynamic_cast<CSkinButton*>(dialog.FindWindow(button.id));
                ASSERT_NE(control, nullptr) << button.id;
                EXPECT_EQ(control->GetLabel(), button.caption);
                EXPECT_EQ(control->GetSize(), wxSize(96, 26)) << "the size of its bitmap";
                EXPECT_TRUE(control->windowRegion().IsOk()) << "shaped by its bitmap";
            }
            EXPECT_TRUE(waitUntil([&] { return dialog.userNameEdit().isFocused(); }))
                << "the user name takes the first keys";
            EXPECT_EQ(dialog.userNameEdit().borderColorNow(), skin.foregroundColor()) << "focused";
            CFlatEdit& password = dialog.passwordEdit();
            EXPECT_EQ(password.borderColorNow(), skin.backgroundColorLight());
            sendMouse(password, wxEVT_ENTER_WINDOW, 3, 3, false);
            EXPECT_EQ(password.borderColorNow(), skin.foregroundColor()) << "under the mouse";

            // Between the controls the skin's background shows.
            const wxPoint corner = dialog.ClientToScreen(wxPoint(2, 2));
            const wxImage screen = screenImage(wxRect(corner, wxSize(1, 1)));
            ASSERT_TRUE(screen.IsOk());
            EXPECT_EQ(colorRefOf(wxColour(screen.GetRed(0, 0), screen.GetGreen(0, 0), screen.GetBlue(0, 0))),
                      skin.backgroundColor());
            click(dialog.cancelButton());
        });
        EXPECT_EQ(answer, wxID_CANCEL);
    }
}

TEST_F(SignInDialog, SignInWithAFieldEmptyShowsTheStopBoxAndStaysOpen)
{
    const struct {
        const char* userName;
        const char* password;
        bool accepted;
    } cases[] = {
        {"", "", false},
        {"alice", "", false},
        {"", "alice-pw", false},
        {"alice", "alice-pw", true},
        // Only emptiness is refused.
        {" ", " ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("user name '") + c.userName + "', password '" + c.password + "'");
        boxes.shown.clear();
        CSignInDialog dialog(nullptr, skin, handover, true);
        bool openAfterSignIn = false;
        const int answer = run(dialog, [&] {
            dialog.userNameEdit().SetValue(c.userName);
            dialog.passwordEdit().SetValue(c.password);
            click(dialog.signInButton());
            openAfterSignIn = dialog.IsModal();
            if (openAfterSignIn)
                click(dialog.cancelButton());
        });
        if (c.accepted) {
            EXPECT_EQ(answer, wxID_OK);
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_EQ(std::string(dialog.userName().c_str()), c.userName);
            EXPECT_EQ(std::string(dialog.password().c_str()), c.password);
        } else {
            EXPECT_TRUE(openAfterSignIn) << "the dialog stays for a correction";
            EXPECT_EQ(answer, wxID_CANCEL);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].caption, "Orvane");
            EXPECT_EQ(boxes.shown[0].text, "Enter valid username and password");
            EXPECT_TRUE(boxes.shown[0].style & wxICON_ERROR) << "the stop icon";
        }
    }
}

TEST_F(SignInDialog, SignInAnswersTheTypedValuesAndTheMakeDefaultChoice)
{
    const struct {
        bool firstSignIn;
        int boxClicks;
        bool makeDefault;
    } cases[] = {{true, 0, true}, {true, 1, false}, {false, 0, false}, {false, 1, true}, {false, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.boxClicks) + " clicks on the box, first sign-in " +
                     std::to_string(c.firstSignIn));
        CSignInDialog dialog(nullptr, skin, handover, c.firstSignIn);
        const int answer = run(dialog, [&] {
            dialog.userNameEdit().SetValue(wxString::FromUTF8("zoë"));
            dialog.passwordEdit().SetValue(wxString::FromUTF8("pä ss:wörd"));
            for (int i = 0; i < c.boxClicks; ++i) {
                sendMouse(dialog.makeDefaultBox(), wxEVT_LEFT_DOWN, 6, 6, true);
                sendMouse(dialog.makeDefaultBox(), wxEVT_LEFT_UP, 6, 6, false);
            }
            click(dialog.signInButton());
        });
        ASSERT_EQ(answer, wxID_OK);
        EXPECT_STREQ(dialog.userName().c_str(), "zo\xc3\xab") << "UTF-8";
        EXPECT_STREQ(dialog.password().c_str(), "p\xc3\xa4 ss:w\xc3\xb6rd");
        EXPECT_EQ(dialog.makeDefault(), c.makeDefault);
    }
}

TEST_F(SignInDialog, TypingAndEnterSignInFromTheKeyboard)
{
    CSignInDialog dialog(nullptr, skin, handover, true);
    wxUIActionSimulator keys;
    const int answer = run(dialog, [&] {
        for (CFlatEdit* edit : {&dialog.userNameEdit(), &dialog.passwordEdit()}) {
            edit->SetFocus();
            ASSERT_TRUE(waitUntil([&] { return edit->isFocused(); }));
            keys.Text(edit == &dialog.userNameEdit() ? "bob" : "bob-pw");
            ASSERT_TRUE(waitUntil([&] { return edit->GetValue().length() >= 3; }));
        }
        keys.Char(WXK_RETURN);
        waitUntil([&] { return !dialog.IsModal(); });
    });
    EXPECT_EQ(answer, wxID_OK);
    EXPECT_STREQ(dialog.userName().c_str(), "bob");
    EXPECT_STREQ(dialog.password().c_str(), "bob-pw");
}

TEST_F(SignInDialog, CancelEscapeAndTheCloseBoxLeaveWithoutSigningIn)
{
    const struct {
        const char* way;
        std::function<void(CSignInDialog&)> leave;
    } ways[] = {
        {"Cancel", [](CSignInDialog& d) { click(d.cancelButton()); }},
        {"Escape", [](CSignInDialog& d) { pressKey(d, WXK_ESCAPE); }},
        {"close box", [](CSignInDialog& d) { d.Close(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        CSignInDialog dialog(nullptr, skin, handover, true);
        const int answer = run(dialog, [&] {
            dialog.userNameEdit().SetValue("alice");
            dialog.passwordEdit().SetValue("alice-pw");
            way.leave(dialog);
        });
        EXPECT_EQ(answer, wxID_CANCEL);
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_TRUE(handover.calls.empty());
    }
}

TEST_F(SignInDialog, TheButtonsMnemonicsClickThem)
{
    CSignInDialog dialog(nullptr, skin, handover, true);
    const int answer = run(dialog, [&] {
        pressKey(dialog, 'N', true);
        EXPECT_EQ(handover.calls, std::vector<std::string>{"sign-up"}) << "Alt+N: New Account";
        dialog.userNameEdit().SetValue("alice");
        dialog.passwordEdit().SetValue("alice-pw");
        pressKey(dialog, 'I', true);
    });
    EXPECT_EQ(answer, wxID_OK);
}

TEST_F(SignInDialog, ASuccessfulSignUpSignsInAndClosesTheDialogAsCancelled)
{
    handover.signUpSucceeds = true;
    CSignInDialog dialog(nullptr, skin, handover, false);
    const int answer = run(dialog, [&] {
        click(dialog.newAccountButton());
    });
    EXPECT_EQ(answer, wxID_CANCEL) << "so that its caller does not sign in again";
    EXPECT_EQ(handover.calls, (std::vector<std::string>{"sign-up", "sign-in"}));
    EXPECT_EQ(handover.signUpParent, &dialog) << "the sign-up form runs over the dialog";
    EXPECT_TRUE(handover.dialogOpenAtSignIn) << "the sign-in starts before the dialog closes";
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SignInDialog, ACancelledSignUpLeavesTheDialogAsItWas)
{
    handover.signUpSucceeds = false;
    CSignInDialog dialog(nullptr, skin, handover, true);
    bool openAfterSignUp = false;
    const int answer = run(dialog, [&] {
        dialog.userNameEdit().SetValue("alice");
        click(dialog.newAccountButton());
        openAfterSignUp = dialog.IsModal();
        EXPECT_EQ(dialog.userNameEdit().GetValue(), "alice");
        dialog.passwordEdit().SetValue("alice-pw");
        click(dialog.signInButton());
    });
    EXPECT_TRUE(openAfterSignUp);
    EXPECT_EQ(handover.calls, std::vector<std::string>{"sign-up"}) << "no sign-in after a cancelled sign-up";
    EXPECT_EQ(answer, wxID_OK);
    EXPECT_STREQ(dialog.userName().c_str(), "alice");
}
