#include "core/ConfigFiles.h"
#include "core/contacts/ContactRecord.h"
#include "foundation/Conversions.h"
#include "foundation/Exception.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"
#include "resources/ProgramImages.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/CAccountDialog.h"
#include "ui/CCurrentPasswordDialog.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/app.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Mode = CAccountDialog::Mode;

struct SignUpFields {
    std::string user;
    std::string password;
    std::string confirmation;
};

class AccountDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
        account.userName = "alice";
        account.password = "old-pw";
        account.networkId = "net7";
        own.userName = "alice";
        own.firstName = "Alice";
        own.lastName = "Liddell";
        own.email = "alice@example.org";
        own.webSite = "http://example.org/";
    }

    // A dialog whose sign-up posts go to the test: recorded, answered with `reply`, or
    // failing with `failure` when that is set.
    std::unique_ptr<CAccountDialog> make(Mode mode, const String& serverUrl = "http://127.0.0.1:9/account")
    {
        auto dialog = std::make_unique<CAccountDialog>(nullptr, skin, account, own, serverUrl);
        dialog->setFormPoster([this](const String& url, FormFields& form) {
            postedTo.push_back(url.c_str());
            fields.clear();
            for (int i = 0; i < form.names.count(); ++i)
                fields.emplace_back(form.names[i].c_str(), form.values[i].c_str());
            if (failure)
                failure();
            return String(reply.c_str());
        });
        dialog->OnInitDialog(mode);
        return dialog;
    }

    void fillSignUp(CAccountDialog& dialog, const SignUpFields& f)
    {
        dialog.edit(CAccountDialog::UserNameId).SetValue(wxString::FromUTF8(f.user.c_str()));
        dialog.edit(CAccountDialog::NewPasswordId).SetValue(wxString::FromUTF8(f.password.c_str()));
        dialog.edit(CAccountDialog::ConfirmPasswordId).SetValue(wxString::FromUTF8(f.confirmation.c_str()));
        dialog.edit(CAccountDialog::FirstNameId).SetValue("Bob");
        dialog.edit(CAccountDialog::LastNameId).SetValue("Builder");
        dialog.edit(CAccountDialog::EmailId).SetValue("bob@example.org");
        dialog.edit(CAccountDialog::WebSiteId).SetValue("http://bob.example/");
    }

    Skin skin;
    AccountSettings account;
    ContactRecord own{"7"};
    std::vector<std::string> postedTo;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string reply = "<xml><status>SUCCESS</status><userID>42</userID></xml>";
    std::function<void()> failure;
};

TEST_F(AccountDialog, EachModeStartsWithItsCaptionFieldsAndEnabling)
{
    const struct {
        Mode mode;
        const char* caption;
        const char* user;
        const char* first;
        bool userEditable;
    } cases[] = {
        {Mode::SignUp, "Orvane - Register new account", "", "", true},
        {Mode::ChangeDetails, "Orvane - Change my details", "alice", "Alice", false},
    };
    // The account's user name rather than the record's, where they differ.
    own.userName = "someone-else";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        auto dialog = make(c.mode);
        EXPECT_EQ(dialog->GetTitle(), c.caption);
        EXPECT_EQ(dialog->isSignUp(), c.mode == Mode::SignUp);
        EXPECT_STREQ(dialog->userName().c_str(), c.user);
        EXPECT_STREQ(dialog->firstName().c_str(), c.first);
        EXPECT_STREQ(dialog->password().c_str(), "");
        EXPECT_STREQ(dialog->confirmation().c_str(), "");
        EXPECT_EQ(dialog->edit(CAccountDialog::UserNameId).IsEnabled(), c.userEditable);
        EXPECT_FALSE(dialog->edit(CAccountDialog::ConfirmPasswordId).IsEnabled());
    }
}

TEST_F(AccountDialog, TheConfirmationIsEnabledExactlyWhileANewPasswordIsTyped)
{
    for (Mode mode : {Mode::SignUp, Mode::ChangeDetails}) {
        SCOPED_TRACE(mode == Mode::SignUp ? "sign-up" : "change details");
        auto dialog = make(mode);
        ASSERT_TRUE(showModeless(*dialog));
        CFlatEdit& password = dialog->edit(CAccountDialog::NewPasswordId);
        CFlatEdit& confirm = dialog->edit(CAccountDialog::ConfirmPasswordId);
        ASSERT_TRUE(typeInto(password, "p", "p"));
        EXPECT_TRUE(confirm.IsEnabled());
        ASSERT_TRUE(typeInto(confirm, "q", "q"));
        ASSERT_TRUE(focusField(password));
        pressKey(WXK_BACK);
        ASSERT_TRUE(waitUntil([&] { return password.GetValue().empty(); }));
        EXPECT_FALSE(confirm.IsEnabled());
        // Nothing hidden in it can stand against the next password.
        EXPECT_EQ(confirm.GetValue(), "");
    }
}

TEST_F(AccountDialog, SignUpRefusesWithTheFirstFailingCheckBeforeAnythingChanges)
{
    const std::string name250(250, 'n');
    const std::string password250(250, 'p');
    const struct {
        const char* what;
        SignUpFields fields;
        const char* refusal;
        long icon;
    } cases[] = {
        {"all empty", {"", "", ""}, "Enter user name!", wxICON_EXCLAMATION},
        {"251 bytes", {name250 + "n", "pw", "pw"}, "Your user name is too long! ( maximum characters: 250 )",
         wxICON_EXCLAMATION},
        {"251 bytes in 250 letters", {std::string(249, 'n') + "\xC3\xA9", "pw", "pw"},
         "Your user name is too long! ( maximum characters: 250 )", wxICON_EXCLAMATION},
        {"colon in the name", {"bo:b", "pw", "pw"}, "You have entered invalid characters!", wxICON_EXCLAMATION},
        {"colon in the name before an empty password", {"bob:", "", ""}, "You have entered invalid characters!",
         wxICON_EXCLAMATION},
        {"no password", {"bob", "", ""}, "Enter password!", wxICON_EXCLAMATION},
        {"confirmation differs", {"bob", "pw", "pW"}, "Passwords do not match", wxICON_NONE},
        {"password too long", {"bob", password250 + "p", password250 + "p"},
         "Your password is too long! ( maximum characters: 250 )", wxICON_NONE},
        {"colon in the password", {"bob", "p:w", "p:w"}, "You have entered invalid characters!", wxICON_EXCLAMATION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBoxAnswers boxes;
        auto dialog = make(Mode::SignUp);
        ASSERT_TRUE(showModeless(*dialog));
        fillSignUp(*dialog, c.fields);
        clickOn(*dialog, CAccountDialog::OkId);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.refusal);
        EXPECT_EQ(iconOf(boxes.shown[0].style), c.icon);
        EXPECT_TRUE(dialog->IsShown());
        EXPECT_STREQ(dialog->userName().c_str(), c.fields.user.c_str());
        EXPECT_TRUE(postedTo.empty());
        EXPECT_STREQ(account.userName.c_str(), "alice");
        EXPECT_STREQ(account.password.c_str(), "old-pw");
    }
}

TEST_F(AccountDialog, SignUpPostsTheFormAndOnSuccessMakesTheOwnRecordAndCredentialsTheNewAccount)
{
    const std::string name250(250, 'n');
    const struct {
        const char* what;
        SignUpFields fields;
        const char* reply;
        const char* userId;
    } cases[] = {
        {"elements", {"bob", "pw", "pw"}, "<xml><status>SUCCESS</status><userID>42</userID></xml>", "42"},
        {"attributes", {"bob", "pw", "pw"}, "<reply status=\"SUCCESS\" userID=\"43\"/>", "43"},
        {"a 250-byte name", {name250, "pw", "pw"}, "<xml><status>SUCCESS</status><userID>44</userID></xml>", "44"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBoxAnswers boxes;
        reply = c.reply;
        auto dialog = make(Mode::SignUp, "http://127.0.0.1:9/account");
        ASSERT_TRUE(showModeless(*dialog));
        fillSignUp(*dialog, c.fields);
        clickOn(*dialog, CAccountDialog::OkId);
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_FALSE(dialog->IsShown());
        EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
        ASSERT_EQ(postedTo.size(), 1u);
        EXPECT_EQ(postedTo[0], "http://127.0.0.1:9/account");
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"CMD", "CREATE_USER"},   {"User_Name", c.fields.user}, {"Email", "bob@example.org"},
            {"First_Name", "Bob"},    {"Last_Name", "Builder"},     {"Password", "pw"},
            {"Web_Site", "http://bob.example/"}, {"Network_ID", "net7"},
        };
        EXPECT_EQ(fields, expected);
        EXPECT_STREQ(account.userName.c_str(), c.fields.user.c_str());
        EXPECT_STREQ(account.password.c_str(), "pw");
        EXPECT_STREQ(own.id.c_str(), c.userId);
        EXPECT_STREQ(own.userName.c_str(), c.fields.user.c_str());
        EXPECT_STREQ(own.firstName.c_str(), "Bob");
        EXPECT_STREQ(own.lastName.c_str(), "Builder");
        EXPECT_STREQ(own.email.c_str(), "bob@example.org");
        EXPECT_STREQ(own.webSite.c_str(), "http://bob.example/");
        postedTo.clear();
    }
}

TEST_F(AccountDialog, AFailedSignUpSaysWhyStaysOpenAndLeavesTheCredentialsAsTheyWere)
{
    const struct {
        const char* what;
        const char* reply;
        std::function<void()> failure;
        const char* shown;
    } cases[] = {
        {"status in other letter case", "<xml><status>success</status><reason>Name taken</reason></xml>", nullptr,
         "Name taken"},
        {"refused, in attributes", "<xml status=\"FAILED\" reason=\"Bad e-mail\"/>", nullptr, "Bad e-mail"},
        {"no reason", "<xml><status>FAILED</status></xml>", nullptr, "Unable to register user!"},
        {"not a document", "Service Unavailable", nullptr, "Unable to register user!"},
        {"network failure", "", [] { throw TimeoutException(); }, "Unable to register user!"},
        {"HTTP status", "", [] { throw HttpClient::BadResponseException(); }, "Unable to register user!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reply = c.reply;
        failure = c.failure;
        MessageBoxAnswers boxes;
        auto dialog = make(Mode::SignUp);
        ASSERT_TRUE(showModeless(*dialog));
        fillSignUp(*dialog, {"bob", "pw", "pw"});
        clickOn(*dialog, CAccountDialog::OkId);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.shown);
        EXPECT_EQ(iconOf(boxes.shown[0].style), wxICON_EXCLAMATION);
        EXPECT_TRUE(dialog->IsShown());
        EXPECT_STREQ(dialog->userName().c_str(), "bob");
        EXPECT_STREQ(account.userName.c_str(), "alice") << "not overwritten before the server made the account";
        EXPECT_STREQ(account.password.c_str(), "old-pw");
        EXPECT_STREQ(own.id.c_str(), "7");
        EXPECT_STREQ(own.userName.c_str(), "alice");
    }
}

TEST_F(AccountDialog, SignUpRegistersWithTheServerAndATakenNameIsRefusedWithItsReason)
{
    ServerProcess server;
    ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost", "1"}));
    const String url = ("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/").c_str();
    {
        CAccountDialog dialog(nullptr, skin, account, own, url);
        queueSteps(dialog, [&] {
            fillSignUp(dialog, {"carol", "carol-pw", "carol-pw"});
            clickOn(dialog, CAccountDialog::OkId);
        });
        EXPECT_TRUE(dialog.DoModalRegister());
        EXPECT_GT(parseUInt64(own.id.c_str()), 0u) << own.id.c_str();
        EXPECT_STREQ(own.userName.c_str(), "carol");
        EXPECT_STREQ(account.userName.c_str(), "carol");
        EXPECT_STREQ(account.password.c_str(), "carol-pw");
    }
    {
        MessageBoxAnswers boxes;
        CAccountDialog dialog(nullptr, skin, account, own, url);
        queueSteps(dialog, [&] {
            fillSignUp(dialog, {"carol", "other-pw", "other-pw"});
            clickOn(dialog, CAccountDialog::OkId);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, "This user name is already taken.");
            clickOn(dialog, CAccountDialog::CancelId);
        });
        EXPECT_FALSE(dialog.DoModalRegister());
    }
    server.stop();
    {
        MessageBoxAnswers boxes;
        CAccountDialog dialog(nullptr, skin, account, own, url);
        queueSteps(dialog, [&] {
            fillSignUp(dialog, {"dave", "dave-pw", "dave-pw"});
            clickOn(dialog, CAccountDialog::OkId);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, "Unable to register user!");
            pressKey(WXK_ESCAPE);
        });
        EXPECT_FALSE(dialog.DoModalRegister());
    }
}

TEST_F(AccountDialog, ChangeDetailsRefusesPasswordsThatDifferAndOtherwiseAsksForTheCurrentOne)
{
    const struct {
        const char* what;
        const char* password;
        const char* confirmation;
        int currentAnswer;
        const char* refusal; // nullptr: not refused
        bool asked;
        bool closes;
    } cases[] = {
        {"passwords differ", "new", "New", wxID_OK, "Passwords do not match", false, false},
        {"current password confirmed", "new", "new", wxID_OK, nullptr, true, true},
        {"current password not confirmed", "new", "new", wxID_CANCEL, nullptr, true, false},
        {"no new password", "", "", wxID_OK, nullptr, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Answers the message boxes and the current-password dialog alike.
        BoxAnswers answers(c.currentAnswer);
        auto dialog = make(Mode::ChangeDetails);
        ASSERT_TRUE(showModeless(*dialog));
        dialog->edit(CAccountDialog::FirstNameId).SetValue("Alicia");
        dialog->edit(CAccountDialog::NewPasswordId).SetValue(c.password);
        dialog->edit(CAccountDialog::ConfirmPasswordId).SetValue(c.confirmation);
        clickOn(*dialog, CAccountDialog::OkId);
        ASSERT_EQ(answers.shown.size(), 1u);
        if (c.refusal) {
            EXPECT_EQ(answers.shown[0].text, c.refusal);
            EXPECT_EQ(iconOf(answers.shown[0].style), wxICON_HAND);
        } else {
            EXPECT_EQ(answers.shown[0].caption, "Current Password");
        }
        EXPECT_EQ(dialog->IsShown(), !c.closes);
        if (c.closes) {
            EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
            EXPECT_STREQ(dialog->firstName().c_str(), "Alicia");
            EXPECT_STREQ(dialog->password().c_str(), c.password);
        }
        // The caller sends the change: nothing here is posted or stored.
        EXPECT_TRUE(postedTo.empty());
        EXPECT_STREQ(own.firstName.c_str(), "Alice");
        EXPECT_STREQ(account.password.c_str(), "old-pw");
    }
}

TEST_F(AccountDialog, ChangeDetailsEndsOnlyOnceTheCurrentPasswordIsTypedRight)
{
    MessageBoxAnswers boxes;
    auto dialog = make(Mode::ChangeDetails);
    // The steps in the current-password dialog's own loop, once OK has opened it.
    auto answerCurrent = [&](const char* typed, int button) {
        wxTheApp->CallAfter([&, typed, button] {
            CCurrentPasswordDialog* current = modalDialog<CCurrentPasswordDialog>();
            ASSERT_NE(current, nullptr) << "OK did not ask for the current password";
            current->edit().SetValue(typed);
            clickOn(*current, button);
            if (current->IsModal())
                current->EndModal(wxID_ABORT);
        });
    };
    queueSteps(*dialog, [&] {
        dialog->edit(CAccountDialog::NewPasswordId).SetValue("new-pw");
        dialog->edit(CAccountDialog::ConfirmPasswordId).SetValue("new-pw");
        answerCurrent("wrong", CCurrentPasswordDialog::OkId);
        clickOn(*dialog, CAccountDialog::OkId);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "Password is incorrect");
        EXPECT_TRUE(dialog->IsModal());

        answerCurrent("old-pw", CCurrentPasswordDialog::OkId);
        clickOn(*dialog, CAccountDialog::OkId);
    });
    EXPECT_TRUE(dialog->DoModalChangeDetails());
    EXPECT_STREQ(dialog->password().c_str(), "new-pw");
}

} // namespace
