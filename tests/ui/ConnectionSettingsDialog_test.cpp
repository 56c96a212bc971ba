#include "core/ConfigFiles.h"
#include "resources/ProgramImages.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/CConnectionSettingsDialog.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/clipbrd.h>

#include <memory>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

class ConnectionSettingsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
        account.autoProxy = false;
        account.proxyHost = "proxy.example";
        account.proxyPort = 3128;
        account.proxyType = ProxyHttps;
    }

    std::unique_ptr<CConnectionSettingsDialog> make()
    {
        return std::make_unique<CConnectionSettingsDialog>(nullptr, skin, account, "1.6", "240517");
    }

    bool fieldsEnabled(CConnectionSettingsDialog& dialog)
    {
        const bool list = dialog.typeList().IsEnabled();
        EXPECT_EQ(dialog.hostEdit().IsEnabled(), list);
        EXPECT_EQ(dialog.portEdit().IsEnabled(), list);
        return list;
    }

    Skin skin;
    AccountSettings account;
};

TEST_F(ConnectionSettingsDialog, TheProductNoticeAndVersionStandCentredWithTheVersionFilledIn)
{
    auto dialog = make();
    EXPECT_EQ(dialog->FindWindow(CConnectionSettingsDialog::VersionId)->GetLabel(), "Version 1.6.240517");
    for (int id : {CConnectionSettingsDialog::ProductId, CConnectionSettingsDialog::NoticeId,
                   CConnectionSettingsDialog::VersionId}) {
        SCOPED_TRACE(id);
        auto& label = dynamic_cast<CTextLabel&>(*dialog->FindWindow(id));
        const auto [first, last] = inkedColumns(label);
        ASSERT_GE(first, 0);
        const int right = label.GetClientSize().GetWidth() - 1 - last;
        EXPECT_GT(first, 10);
        EXPECT_NEAR(first, right, 2);
    }
}

TEST_F(ConnectionSettingsDialog, TheListShowsTheStoredTypeAndOkKeepsATypeItCannotShow)
{
    const struct {
        int stored;
        int shown; // list position, -1 for none
    } cases[] = {
        {ProxyDirect, 0}, {ProxyHttps, 1}, {ProxySocks4, 2},   {ProxySocks5, 3},
        {ProxyAutoDetect, 4}, {ProxyHttpTunnel, -1}, {9, -1}, {-1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        account.proxyType = c.stored;
        auto dialog = make();
        ASSERT_TRUE(showModeless(*dialog));
        EXPECT_EQ(dialog->typeList().GetSelection(), c.shown);
        EXPECT_EQ(dialog->hostEdit().GetValue(), "proxy.example");
        EXPECT_EQ(dialog->portEdit().GetValue(), "3128");
        EXPECT_FALSE(dialog->systemSettingsBox().GetCheck());
        clickOn(*dialog, CConnectionSettingsDialog::OkId);
        EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
        EXPECT_EQ(account.proxyType, c.stored);
    }
}

TEST_F(ConnectionSettingsDialog, OkStoresTheChosenEntrysTypeTheAutoDetectEntryItsOwn)
{
    const int expected[5] = {ProxyDirect, ProxyHttps, ProxySocks4, ProxySocks5, ProxyAutoDetect};
    for (int position = 0; position < 5; ++position) {
        SCOPED_TRACE(CConnectionSettingsDialog::TypeNames[position]);
        account.proxyType = ProxyHttpTunnel;
        auto dialog = make();
        ASSERT_TRUE(showModeless(*dialog));
        EXPECT_EQ(dialog->typeList().GetString(static_cast<unsigned>(position)),
                  CConnectionSettingsDialog::TypeNames[position]);
        dialog->typeList().SetSelection(position);
        dialog->hostEdit().SetValue("");
        clickOn(*dialog, CConnectionSettingsDialog::OkId);
        EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
        EXPECT_EQ(account.proxyType, expected[position]);
        EXPECT_EQ(account.proxyPort, 3128);
        EXPECT_STREQ(account.proxyHost.c_str(), "");
        EXPECT_FALSE(account.autoProxy);
    }
}

TEST_F(ConnectionSettingsDialog, TheSystemSettingsBoxAndItsTextToggleTheProxyFieldsKeepingWhatWasTyped)
{
    auto dialog = make();
    ASSERT_TRUE(showModeless(*dialog));
    EXPECT_TRUE(fieldsEnabled(*dialog));
    clickOn(*dialog, CConnectionSettingsDialog::SystemSettingsBoxId);
    EXPECT_TRUE(dialog->systemSettingsBox().GetCheck());
    EXPECT_FALSE(fieldsEnabled(*dialog));

    // A click on the text, with something typed meanwhile.
    dialog->hostEdit().SetValue("typed.example");
    dialog->portEdit().SetValue("8080");
    sendMouse(dialog->systemSettingsText(), wxEVT_LEFT_DOWN, 5, 5, true);
    sendMouse(dialog->systemSettingsText(), wxEVT_LEFT_UP, 5, 5, false);
    EXPECT_FALSE(dialog->systemSettingsBox().GetCheck());
    EXPECT_TRUE(fieldsEnabled(*dialog));
    EXPECT_EQ(dialog->hostEdit().GetValue(), "typed.example");
    EXPECT_EQ(dialog->portEdit().GetValue(), "8080");
    sendMouse(dialog->systemSettingsText(), wxEVT_LEFT_DOWN, 5, 5, true);
    sendMouse(dialog->systemSettingsText(), wxEVT_LEFT_UP, 5, 5, false);
    EXPECT_FALSE(fieldsEnabled(*dialog));
    // Nothing is stored before OK.
    EXPECT_FALSE(account.autoProxy);

    clickOn(*dialog, CConnectionSettingsDialog::OkId);
    EXPECT_TRUE(account.autoProxy);
    EXPECT_STREQ(account.proxyHost.c_str(), "typed.example");
    EXPECT_EQ(account.proxyPort, 8080);
}

TEST_F(ConnectionSettingsDialog, ThePortFieldTakesOnlyDigitsTypedOrPasted)
{
    auto dialog = make();
    ASSERT_TRUE(showModeless(*dialog));
    CFlatEdit& port = dialog->portEdit();
    port.ChangeValue("");
    // Keys arrive through the X server: the release of the last one says they all have.
    int lastReleased = 0;
    port.textCtrl().Bind(wxEVT_KEY_UP, [&](wxKeyEvent& e) {
        lastReleased = e.GetKeyCode();
        e.Skip();
    });
    ASSERT_TRUE(focusField(port));
    wxUIActionSimulator keys;
    keys.Text("8a0-8 /0x");
    ASSERT_TRUE(waitUntil([&] { return lastReleased == 'X'; }));
    EXPECT_EQ(port.GetValue(), "8080");

    ASSERT_TRUE(wxTheClipboard->Open());
    wxTheClipboard->SetData(new wxTextDataObject("1a2 b3"));
    wxTheClipboard->Close();
    port.textCtrl().SetInsertionPointEnd();
    keys.Char('v', wxMOD_CONTROL);
    // The clipboard answers through the X server too.
    EXPECT_TRUE(waitUntil([&] { return port.GetValue() == "8080123"; })) << port.GetValue();
    // Typing goes on where the paste ended.
    keys.Char('4');
    EXPECT_TRUE(waitUntil([&] { return port.GetValue() == "80801234"; })) << port.GetValue();
}

TEST_F(ConnectionSettingsDialog, OkRefusesAPortOutsideOneTo65535WhileAManualProxyIsChosen)
{
    const struct {
        bool systemSettings;
        int position;
        const char* port;
        int stored; // -1: refused
    } cases[] = {
        {false, 1, "8080", 8080},
        {false, 1, "1", 1},
        {false, 3, "65535", 65535},
        {false, 1, "", -1},
        {false, 1, "0", -1},
        {false, 2, "65536", -1},
        {false, 3, "99999999999999999999", -1},
        {false, 4, "0", -1},
        // Nobody uses the port: stored as typed.
        {false, 0, "", 0},
        {false, 0, "70000", 70000},
        {true, 1, "", 0},
        {true, 3, "0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.systemSettings ? "system settings, " : "") +
                     CConnectionSettingsDialog::TypeNames[c.position] + ", port '" + c.port + "'");
        account.autoProxy = false;
        account.proxyPort = 3128;
        account.proxyType = ProxyHttps;
        MessageBoxAnswers boxes;
        auto dialog = make();
        ASSERT_TRUE(showModeless(*dialog));
        dialog->typeList().SetSelection(c.position);
        dialog->portEdit().SetValue(c.port);
        if (c.systemSettings)
            clickOn(*dialog, CConnectionSettingsDialog::SystemSettingsBoxId);
        clickOn(*dialog, CConnectionSettingsDialog::OkId);
        if (c.stored < 0) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, "Enter a proxy port from 1 to 65535.");
            EXPECT_EQ(iconOf(boxes.shown[0].style), wxICON_EXCLAMATION);
            EXPECT_TRUE(dialog->IsShown());
            EXPECT_TRUE(waitUntil([&] { return dialog->portEdit().isFocused(); }));
            EXPECT_EQ(dialog->portEdit().GetValue(), c.port);
            EXPECT_EQ(account.proxyPort, 3128);
            EXPECT_EQ(account.proxyType, ProxyHttps);
        } else {
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_FALSE(dialog->IsShown());
            EXPECT_EQ(account.proxyPort, c.stored);
            EXPECT_EQ(account.autoProxy, c.systemSettings);
        }
    }
}

TEST_F(ConnectionSettingsDialog, InAModalRunEnterStoresAndEscapeLeavesTheSettingsAsTheyWere)
{
    {
        auto dialog = make();
        EXPECT_EQ(runModal(*dialog,
                           [&] {
                               dialog->hostEdit().SetValue("elsewhere.example");
                               ASSERT_TRUE(typeInto(dialog->portEdit(), "0", "31280"));
                               pressKey(WXK_ESCAPE);
                           }),
                  wxID_CANCEL);
        EXPECT_STREQ(account.proxyHost.c_str(), "proxy.example");
        EXPECT_EQ(account.proxyPort, 3128);
    }
    {
        auto dialog = make();
        EXPECT_EQ(runModal(*dialog,
                           [&] {
                               ASSERT_TRUE(typeInto(dialog->portEdit(), "1", "31281"));
                               pressKey(WXK_RETURN);
                           }),
                  wxID_OK);
        EXPECT_EQ(account.proxyPort, 31281);
    }
}

} // namespace
