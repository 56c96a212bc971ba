#include "modules/webjoin/CWebjoinApp.h"
#include "modules/webjoin/SessionWindow.h"
#include "tests/modules/RecordingHost.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvane {
namespace {

using testing::FakeContact;
using FakeHost = testing::RecordingHost;

class FakeWindow final : public SessionWindow {
public:
    std::vector<std::string> peerPages;
    void navigateFromPeer(const std::string& url) override { peerPages.push_back(url); }
    WindowHandle handle() override { return this; }
};

class FakeWindows final : public WebjoinWindows {
public:
    bool failing = false;
    std::vector<std::unique_ptr<FakeWindow>> windows;
    std::map<const CWebjoinDoc*, FakeWindow*> byDoc;
    std::vector<std::string> warnings;

    SessionWindow* openSessionWindow(CWebjoinDoc& doc) override
    {
        if (failing)
            return nullptr;
        windows.push_back(std::make_unique<FakeWindow>());
        byDoc[&doc] = windows.back().get();
        return windows.back().get();
    }
    void showWarning(const std::string& text) override { warnings.push_back(text); }
    void bringUp(WindowHandle) override {}
    bool preTranslate(UiMessage*) override { return false; }
};

std::string navigate(const std::string& url, const std::string& sessionId)
{
    return "<data command=\"NAVIGATE\" url=\"" + url + "\" session_id=\"" + sessionId + "\"/>";
}

class WebjoinSessions : public ::testing::Test {
protected:
    FakeHost host;
    FakeWindows windows;
    std::vector<std::string> logged;
    CWebjoinApp app{host, windows, "/opt/orvane/modules/webjoin/",
                    [this](const std::string& line) { logged.push_back(line); }};
    FakeContact ann{"2002", "Ann"};
    FakeContact bob{"3003", "Bob"};

    FakeWindow& windowOf(const CWebjoinDoc& doc) { return *windows.byDoc.at(&doc); }
};

TEST_F(WebjoinSessions, SessionIdsAreTheOwnIdAndACounterWhateverTheContact)
{
    app.StartSession(ann);
    app.StartSession(bob);
    app.StartSession(ann);
    ASSERT_EQ(app.sessions().size(), 3u);
    EXPECT_EQ(app.sessions()[0]->sessionId(), "1001_1");
    EXPECT_EQ(app.sessions()[1]->sessionId(), "1001_2");
    EXPECT_EQ(app.sessions()[2]->sessionId(), "1001_3");
    EXPECT_EQ(app.sessions()[1]->contactName(), "Bob");
    EXPECT_TRUE(host.sent.empty()) << "the peer learns of a session with its first navigation";
}

TEST_F(WebjoinSessions, ASessionIdTakesTheOwnIdOfTheTimeItIsMade)
{
    // The library is loaded before the first sign-in, when the own user has no id yet.
    FakeContact signedOut{"", ""};
    host.ownUser = &signedOut;
    CWebjoinApp loadedEarly(host, windows, "/m/");
    host.ownUser = &host.own;
    loadedEarly.StartSession(ann);
    FakeContact other{"5005", "Other me"};
    host.ownUser = &other;
    loadedEarly.StartSession(ann);
    ASSERT_EQ(loadedEarly.sessions().size(), 2u);
    EXPECT_EQ(loadedEarly.sessions()[0]->sessionId(), "1001_1");
    EXPECT_EQ(loadedEarly.sessions()[1]->sessionId(), "5005_2");
}

TEST_F(WebjoinSessions, AnOfflineContactGetsABoxAndNoWindow)
{
    FakeContact away{"4004", "Cy", false};
    app.StartSession(away);
    EXPECT_TRUE(app.sessions().empty());
    ASSERT_EQ(windows.warnings.size(), 1u);
    EXPECT_EQ(windows.warnings[0], "Can't connect to Cy!\nThe user is offline.");
}

TEST_F(WebjoinSessions, AWindowThatCannotBeMadeGivesABoxAndNoSession)
{
    windows.failing = true;
    app.StartSession(ann);
    EXPECT_TRUE(app.sessions().empty());
    ASSERT_EQ(windows.warnings.size(), 1u);
    EXPECT_EQ(windows.warnings[0], "Can't instantiate Webjoin object!");
}

TEST_F(WebjoinSessions, SendNavigateAddressesTheContactWithTheRecord)
{
    app.StartSession(ann);
    app.sessions()[0]->SendNavigate("http://127.0.0.1/a.html");
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].first, "2002");
    EXPECT_EQ(host.sent[0].second,
              "<data command=\"NAVIGATE\" url=\"http://127.0.0.1/a.html\" session_id=\"1001_1\"/>");
}

TEST_F(WebjoinSessions, ARecordForAnUnknownSessionOpensAWindowWithSoundAndNoticeWhateverItsCommand)
{
    for (const char* command : {"NAVIGATE", "LOCK", "whatever"}) {
        SCOPED_TRACE(command);
        const std::string id = std::string("2002_") + command;
        app.OnModuleData(&ann, ("<data command=\"" + std::string(command) + "\" session_id=\"" + id + "\"/>").c_str());
        CWebjoinDoc* doc = app.FindSession("2002", id);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->contactId(), "2002");
        EXPECT_EQ(host.sounds.back(), "/opt/orvane/modules/webjoin/sounds/webjoin.wav");
        EXPECT_EQ(host.notices.back().first, "Webjoin from\nAnn");
        EXPECT_EQ(host.notices.back().second, doc->frame()->handle());
    }
    EXPECT_EQ(app.sessions().size(), 3u);
    EXPECT_EQ(host.sounds.size(), 3u);
    EXPECT_TRUE(host.sent.empty()) << "nothing is ever answered";
}

TEST_F(WebjoinSessions, ANavigateDrivesOnlyTheWindowOfItsOwnSession)
{
    app.OnModuleData(&ann, navigate("http://127.0.0.1/one", "2002_1").c_str());
    app.OnModuleData(&ann, navigate("http://127.0.0.1/two", "2002_2").c_str());
    app.OnModuleData(&ann, navigate("http://127.0.0.1/three", "2002_1").c_str());
    ASSERT_EQ(app.sessions().size(), 2u);
    EXPECT_EQ(windowOf(*app.sessions()[0]).peerPages,
              (std::vector<std::string>{"http://127.0.0.1/one", "http://127.0.0.1/three"}));
    EXPECT_EQ(windowOf(*app.sessions()[1]).peerPages, (std::vector<std::string>{"http://127.0.0.1/two"}));
    EXPECT_EQ(host.sounds.size(), 2u);
}

TEST_F(WebjoinSessions, ARecordWithoutSessionIdGoesToTheFirstWindowWithItsSender)
{
    app.OnModuleData(&ann, "<data command=\"NAVIGATE\" url=\"http://a/\"/>");
    ASSERT_EQ(app.sessions().size(), 1u);
    EXPECT_EQ(app.sessions()[0]->sessionId(), "");
    app.StartSession(bob);
    app.OnModuleData(&ann, "<data command=\"NAVIGATE\" url=\"http://b/\"/>");
    app.OnModuleData(&bob, "<data command=\"NAVIGATE\" url=\"http://c/\"/>");
    ASSERT_EQ(app.sessions().size(), 2u);
    EXPECT_EQ(windowOf(*app.sessions()[0]).peerPages, (std::vector<std::string>{"http://a/", "http://b/"}));
    EXPECT_EQ(windowOf(*app.sessions()[1]).peerPages, (std::vector<std::string>{"http://c/"}));
}

TEST_F(WebjoinSessions, ARecordThatDoesNotParseFindsOrOpensASessionWithItsSenderAndDoesNothingElse)
{
    app.OnModuleData(&ann, "<<<garbage");
    ASSERT_EQ(app.sessions().size(), 1u);
    EXPECT_TRUE(windowOf(*app.sessions()[0]).peerPages.empty());
    app.OnModuleData(&ann, "more garbage");
    EXPECT_EQ(app.sessions().size(), 1u);
    EXPECT_EQ(host.sounds.size(), 1u);
}

TEST_F(WebjoinSessions, ARecordNamingAnotherContactsSessionIsDroppedAndLogged)
{
    app.StartSession(ann);
    app.OnModuleData(&bob, navigate("http://127.0.0.1/evil", "1001_1").c_str());
    EXPECT_EQ(app.sessions().size(), 1u);
    EXPECT_TRUE(windowOf(*app.sessions()[0]).peerPages.empty());
    EXPECT_TRUE(host.sounds.empty());
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(WebjoinSessions, APeerCanOnlySendTheWindowToWebAddressesOrTheBlankPage)
{
    app.StartSession(ann);
    for (const char* url : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x", "", "about:config",
                            "about:blank", "https://127.0.0.1/s"})
        app.OnModuleData(&ann, navigate(url, "1001_1").c_str());
    EXPECT_EQ(windowOf(*app.sessions()[0]).peerPages,
              (std::vector<std::string>{"about:blank", "https://127.0.0.1/s"}));
    EXPECT_EQ(logged.size(), 5u);
}

TEST_F(WebjoinSessions, AClosedSessionIsForgottenAndItsIdIsNeverReused)
{
    app.StartSession(ann);
    app.CloseSession(*app.sessions()[0]);
    EXPECT_TRUE(app.sessions().empty());
    EXPECT_EQ(app.FindSession("2002", "1001_1"), nullptr);
    app.StartSession(ann);
    EXPECT_EQ(app.sessions()[0]->sessionId(), "1001_2");
    // The peer's next record for the closed session opens a new window.
    app.OnModuleData(&ann, navigate("http://a/", "1001_1").c_str());
    EXPECT_EQ(app.sessions().size(), 2u);
}

TEST_F(WebjoinSessions, ASenderIsMatchedByUserIdNotByItsRecord)
{
    app.StartSession(ann);
    // A new sign-in makes new records for the same users.
    FakeContact annAgain{"2002", "Ann"};
    app.OnModuleData(&annAgain, navigate("http://a/", "1001_1").c_str());
    EXPECT_EQ(app.sessions().size(), 1u);
    EXPECT_EQ(windowOf(*app.sessions()[0]).peerPages, (std::vector<std::string>{"http://a/"}));
}

TEST_F(WebjoinSessions, OnlyListedContactsOpenWindows)
{
    // A sender known only from its messages has no presence: its record is offline.
    FakeContact stranger{"6006", "Unknown 6006", false};
    app.OnModuleData(&stranger, navigate("http://127.0.0.1/a", "6006_1").c_str());
    EXPECT_TRUE(app.sessions().empty());
    EXPECT_TRUE(host.sounds.empty());
    EXPECT_TRUE(host.notices.empty());

    // A removed contact may keep its last presence; it is refused until added again, and a
    // new sign-in brings the list anew.
    app.OnContactRemoved(&ann);
    app.OnModuleData(&ann, navigate("http://127.0.0.1/a", "2002_1").c_str());
    EXPECT_TRUE(app.sessions().empty());
    app.OnContactAdded(&ann);
    app.OnModuleData(&ann, navigate("http://127.0.0.1/a", "2002_1").c_str());
    EXPECT_EQ(app.sessions().size(), 1u);
    app.OnContactRemoved(&bob);
    app.OnSignedIn();
    app.OnModuleData(&bob, navigate("http://127.0.0.1/b", "3003_1").c_str());
    EXPECT_EQ(app.sessions().size(), 2u);

    // Refused records do not reach the window of an open session either.
    app.OnContactRemoved(&ann);
    app.OnModuleData(&ann, navigate("http://127.0.0.1/c", "2002_1").c_str());
    EXPECT_EQ(windowOf(*app.sessions()[0]).peerPages, std::vector<std::string>{"http://127.0.0.1/a"});
    EXPECT_EQ(logged.size(), 3u);
}

TEST_F(WebjoinSessions, OneContactOpensABoundedNumberOfWindows)
{
    app.StartSession(ann); // the user's own session with Ann counts too
    for (int i = 0; i < 50; ++i)
        app.OnModuleData(&ann, navigate("http://127.0.0.1/a", "2002_" + std::to_string(i)).c_str());
    EXPECT_EQ(app.sessions().size(), CWebjoinApp::MaxSessionsPerContact);
    EXPECT_EQ(host.sounds.size(), CWebjoinApp::MaxSessionsPerContact - 1);
    // Open sessions still take their records, and another contact is not held up.
    app.OnModuleData(&ann, navigate("http://127.0.0.1/b", "2002_0").c_str());
    EXPECT_EQ(windowOf(*app.sessions()[1]).peerPages,
              (std::vector<std::string>{"http://127.0.0.1/a", "http://127.0.0.1/b"}));
    app.OnModuleData(&bob, navigate("http://127.0.0.1/a", "3003_1").c_str());
    EXPECT_EQ(app.sessions().size(), CWebjoinApp::MaxSessionsPerContact + 1);
    // A closed window makes room for one more.
    app.CloseSession(*app.sessions()[0]);
    app.OnModuleData(&ann, navigate("http://127.0.0.1/a", "2002_99").c_str());
    EXPECT_NE(app.FindSession("2002", "2002_99"), nullptr);
}

} // namespace
} // namespace orvane
