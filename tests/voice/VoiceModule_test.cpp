#include "tests/voice/VoiceCallFakes.h"
#include "voice/VoiceModule.h"
#include "voice/VoiceRecord.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Sent = std::vector<std::pair<std::string, std::string>>;

// The records as they travel, written out by hand.
const char* const RequestBytes = "<req>\r\n\t<command>SESSION_REQUEST</command>\r\n</req>\r\n";
const char* const AcceptBytes = "<xml>\r\n\t<command>SESSION_ACCEPT</command>\r\n</xml>\r\n";
const char* const BusyBytes =
    "<xml>\r\n\t<command>SESSION_DECLINE</command>\r\n\t<reason>Talking at the moment</reason>\r\n</xml>\r\n";
const char* const DeclineBytes =
    "<xml>\r\n\t<command>SESSION_DECLINE</command>\r\n\t<reason>Do not want to talk.</reason>\r\n</xml>\r\n";
const char* const CloseBytes = "<xml>\r\n\t<command>SESSION_CLOSE</command>\r\n\t<reason>The user wants to stop "
                               "talking.</reason>\r\n</xml>\r\n";
const char* const FailedBytes = "<xml>\r\n\t<command>SESSION_FAILED</command>\r\n</xml>\r\n";

class VoiceCall : public ::testing::Test {
protected:
    VoiceCall()
    {
        module.init(&host);
        module.attachBar(&bar);
        module.setSession(&session);
        module.setContactSource([this] { return selected; });
        module.onSignedIn();
        log.clear();
    }

    bool logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }

    // Alice has called this side and it accepted.
    void acceptCallFromAlice()
    {
        module.onMessage(&alice, RequestBytes);
        bar.talk();
        ASSERT_EQ(bar.state(), CallState::Connected);
        log.clear();
        host.sent.clear();
        host.sounds.clear();
    }

    // This side has called Bob and he accepted.
    void callBobAccepted()
    {
        selected = &bob;
        bar.talk();
        module.onMessage(&bob, AcceptBytes);
        ASSERT_EQ(bar.state(), CallState::Connected);
        log.clear();
        host.sent.clear();
        host.sounds.clear();
    }

    CallLog log;
    RecordingHost host;
    RecordingServices services{log};
    RecordingSession session{log};
    VoiceModule module{services};
    TextCallBar bar{module, [this](const std::string& line) { log.push_back(line); }, "", false};
    FakeContact alice{"2001", "Alice"};
    FakeContact bob{"2002", "Bob"};
    FakeContact carol{"2003", "Carol"};
    FakeContact offline{"2004", "Dave", false};
    IContact* selected = nullptr;
};

} // namespace

TEST(VoiceRecord, EachRecordIsWrittenInTheIndentedFormWithItsRoot)
{
    struct Case {
        const char* command;
        const char* reason;
        const char* bytes;
    } cases[] = {
        {VoiceRecord::Request, nullptr, RequestBytes},
        {VoiceRecord::Accept, nullptr, AcceptBytes},
        {VoiceRecord::Decline, VoiceRecord::BusyReason, BusyBytes},
        {VoiceRecord::Decline, VoiceRecord::DeclineReason, DeclineBytes},
        {VoiceRecord::Close, VoiceRecord::CloseReason, CloseBytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_STREQ(VoiceRecord::write(c.command, c.reason).c_str(), c.bytes);
    }
}

TEST(VoiceRecord, ReadingTakesAnyRootAnyCaseAndGivesNothingForNonsense)
{
    struct Case {
        const char* text;
        const char* command;
        const char* reason;
    } cases[] = {
        {CloseBytes, "SESSION_CLOSE", "The user wants to stop talking."},
        {"<anything><command>session_close</command></anything>", "SESSION_CLOSE", ""},
        {"<xml><COMMAND>Session_Accept</COMMAND><reason>a &amp; b</reason></xml>", "SESSION_ACCEPT", "a & b"},
        {"<xml><reason>no command</reason></xml>", "", "no command"},
        {"not xml at all", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const VoiceRecord record = VoiceRecord::read(c.text);
        EXPECT_STREQ(record.command.c_str(), c.command);
        EXPECT_STREQ(record.reason.c_str(), c.reason);
    }
}

TEST(VoiceModuleObject, AnswersItsTextsAndHasNoButton)
{
    CallLog log;
    RecordingServices services{log};
    VoiceModule module{services};
    EXPECT_STREQ(module.getId(), "voice");
    EXPECT_STREQ(module.getName(), "Voice Module");
    EXPECT_STREQ(module.getVersion(), "2.0");
    EXPECT_STREQ(module.getDisplayName(), "Talk");
    EXPECT_STREQ(module.getDescription(), "Voice Conversation Module");
    EXPECT_EQ(module.getBitmap(), nullptr);
}

TEST(VoiceModuleObject, SoundPathsJoinTheProgramFolderWithTheSeparator)
{
    EXPECT_STREQ(VoiceModule::soundPath("/opt/orvane/", "ring.wav").c_str(), "/opt/orvane/sounds/ring.wav");
    EXPECT_STREQ(VoiceModule::soundPath("/opt/orvane", "hang.wav").c_str(), "/opt/orvane/sounds/hang.wav");
    EXPECT_STREQ(VoiceModule::soundPath("", "answer.wav").c_str(), "sounds/answer.wav");
    // A name with a percent sign stays as it is.
    EXPECT_STREQ(VoiceModule::fill("Call from %s", "50%s %d").c_str(), "Call from 50%s %d");
}

TEST_F(VoiceCall, SigningInAndOutMovesBetweenIdleAndUnavailable)
{
    EXPECT_EQ(bar.state(), CallState::Idle);
    module.onSignedOut();
    EXPECT_EQ(bar.state(), CallState::Unavailable);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(VoiceCall, CallerRingsThenConnectsThenHangsUpWithOneClose)
{
    selected = &bob;
    bar.talk();
    EXPECT_EQ(bar.state(), CallState::Calling);
    EXPECT_EQ(host.sent, (Sent{{"2002", RequestBytes}}));
    EXPECT_EQ(log, (CallLog{"status Calling Bob ...", "name Bob", "ring /opt/orvane/sounds/ring.wav 4000"}));

    log.clear();
    module.onMessage(&bob, AcceptBytes);
    EXPECT_EQ(bar.state(), CallState::Connected);
    EXPECT_EQ(log, (CallLog{"ring stop", "status Calling Bob ...", "session call 2002"}));

    log.clear();
    module.onSessionConnected(module.currentCall());
    EXPECT_EQ(log, (CallLog{"label Connected.", "name Bob"}));
    EXPECT_EQ(host.sounds, (std::vector<std::string>{"/opt/orvane/sounds/answer.wav"}));

    log.clear();
    host.sent.clear();
    bar.hangUp();
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_EQ(host.sent, (Sent{{"2002", CloseBytes}}));
    EXPECT_EQ(log, (CallLog{"name ", "status Call closed.", "session stop"}));
    EXPECT_EQ(host.sounds.back(), "/opt/orvane/sounds/hang.wav");

    // The own talk loop's end, a moment later, changes nothing more.
    log.clear();
    module.onSessionEnded(module.currentCall());
    EXPECT_EQ(log, (CallLog{"levels 0", "label Call closed.", "name "}));
    EXPECT_EQ(host.sent.size(), 1u);
}

TEST_F(VoiceCall, CalleeRingsAcceptsTakesTheChannelAndEndsSilentlyOnClose)
{
    module.onMessage(&alice, RequestBytes);
    EXPECT_EQ(bar.state(), CallState::Ringing);
    EXPECT_EQ(log, (CallLog{"front", "label Call from Alice", "name Alice", "ring /opt/orvane/sounds/ring.wav 4000"}));
    EXPECT_TRUE(host.sent.empty());

    log.clear();
    bar.talk();
    EXPECT_EQ(bar.state(), CallState::Connected);
    EXPECT_EQ(host.sent, (Sent{{"2001", AcceptBytes}}));
    EXPECT_EQ(log, (CallLog{"ring stop", "label Connecting Alice...", "status Connecting Alice ..."}));

    NotedChannel channel;
    module.onIncomingConnection(&alice, &channel);
    EXPECT_EQ(session.talking, &channel);
    EXPECT_FALSE(channel.closed);

    log.clear();
    host.sent.clear();
    module.onMessage(&alice, "<xml><command>session_close</command></xml>");
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_TRUE(host.sent.empty()) << "a close is not answered";
    EXPECT_EQ(bar.currentContact(), nullptr);
    EXPECT_TRUE(logged("session stop"));
    EXPECT_TRUE(logged("status Call closed."));
}

TEST_F(VoiceCall, ARequestDuringACallIsAnsweredBusyAndDisturbsNothing)
{
    acceptCallFromAlice();
    module.onMessage(&carol, RequestBytes);
    EXPECT_EQ(host.sent, (Sent{{"2003", BusyBytes}}));
    EXPECT_EQ(bar.state(), CallState::Connected);
    EXPECT_EQ(bar.currentContact(), &alice);
    EXPECT_TRUE(log.empty());
}

TEST_F(VoiceCall, TwoSidesCallingAtOnceBothEndDeclined)
{
    selected = &bob;
    bar.talk();
    host.sent.clear();
    log.clear();
    module.onMessage(&bob, RequestBytes);
    EXPECT_EQ(host.sent, (Sent{{"2002", BusyBytes}}));
    EXPECT_EQ(bar.state(), CallState::Calling);

    host.sent.clear();
    module.onMessage(&bob, BusyBytes);
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_TRUE(host.sent.empty()) << "the decline is not answered";
    EXPECT_TRUE(logged("label Bob declined your call."));
    EXPECT_TRUE(logged("notice Call declined by\n Bob\n\nTalking at the moment"));
    EXPECT_TRUE(logged("ring stop"));
}

TEST_F(VoiceCall, HangingUpWhileCallingOrRingingDeclines)
{
    for (bool caller : {true, false}) {
        SCOPED_TRACE(caller ? "calling" : "ringing");
        host.sent.clear();
        log.clear();
        if (caller) {
            selected = &bob;
            bar.talk();
        } else {
            module.onMessage(&bob, RequestBytes);
        }
        host.sent.clear();
        bar.hangUp();
        EXPECT_EQ(bar.state(), CallState::Idle);
        EXPECT_EQ(host.sent, (Sent{{"2002", DeclineBytes}}));
        EXPECT_TRUE(logged("ring stop"));
        EXPECT_TRUE(logged("status Call closed."));
    }
}

TEST_F(VoiceCall, CallingAnOfflineContactShowsTheBoxSendsNothingAndStaysIdle)
{
    // A contact of an earlier call must not hear of it either.
    callBobAccepted();
    bar.hangUp();
    host.sent.clear();
    log.clear();

    selected = &offline;
    bar.talk();
    EXPECT_EQ(log, (CallLog{"box You cannot request Audio session with Dave\nbecause he/she is offline."}));
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(bar.state(), CallState::Idle);

    selected = nullptr;
    log.clear();
    bar.talk();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(bar.state(), CallState::Idle);
}

TEST_F(VoiceCall, TheActionsEntryCallsTheContactItIsGiven)
{
    selected = &carol;
    module.actOn(&bob);
    EXPECT_EQ(host.sent, (Sent{{"2002", RequestBytes}}));
    EXPECT_EQ(bar.currentContact(), &bob);
}

TEST_F(VoiceCall, AnAcceptOutsideCallingOrRingingIsIgnored)
{
    module.onMessage(&bob, AcceptBytes);
    EXPECT_EQ(bar.state(), CallState::Idle);
    callBobAccepted();
    module.onMessage(&bob, AcceptBytes);
    EXPECT_EQ(bar.state(), CallState::Connected);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(VoiceCall, RecordsFromAnyoneButThePeerChangeNothing)
{
    for (const char* record : {AcceptBytes, DeclineBytes, CloseBytes, FailedBytes}) {
        SCOPED_TRACE(record);
        for (bool ringing : {true, false}) {
            if (ringing) {
                selected = &bob;
                bar.talk();
            } else {
                callBobAccepted();
            }
            const CallState before = bar.state();
            log.clear();
            host.sent.clear();
            module.onMessage(&carol, record);
            EXPECT_EQ(bar.state(), before);
            EXPECT_EQ(bar.currentContact(), &bob);
            EXPECT_TRUE(log.empty());
            EXPECT_TRUE(host.sent.empty());
            bar.hangUp();
        }
    }
    // A decline from the peer of an ended call shows nothing either.
    log.clear();
    module.onMessage(&bob, DeclineBytes);
    EXPECT_TRUE(log.empty());
}

TEST_F(VoiceCall, AChannelIsTakenOnlyInAnAcceptedCallWithItsSender)
{
    struct Case {
        const char* name;
        std::function<void()> setUp;
        IContact* sender;
    } cases[] = {
        {"no call", [] {}, &alice},
        {"ringing, not accepted", [this] { module.onMessage(&alice, RequestBytes); }, &alice},
        {"calling", [this] { selected = &alice; bar.talk(); }, &alice},
        {"accepted call with someone else", [this] { acceptCallFromAlice(); }, &carol},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setUp();
        NotedChannel channel;
        module.onIncomingConnection(c.sender, &channel);
        EXPECT_TRUE(channel.closed);
        EXPECT_EQ(session.talking, nullptr);
        bar.hangUp();
    }
}

TEST_F(VoiceCall, ADeclineWhileConnectedEndsTheCallWithoutTellingThePeer)
{
    callBobAccepted();
    module.onMessage(&bob, DeclineBytes);
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_TRUE(host.sent.empty());
    EXPECT_TRUE(logged("notice Call declined by\n Bob\n\nDo not want to talk."));
    EXPECT_TRUE(logged("session stop"));
}

TEST_F(VoiceCall, AFailedRecordClosesTowardsThePeerAndReportsTheFailure)
{
    callBobAccepted();
    module.onMessage(&bob, FailedBytes);
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_EQ(host.sent, (Sent{{"2002", CloseBytes}}));
    EXPECT_EQ(bar.currentContact(), nullptr);
    EXPECT_EQ(log.back(), "post failed");

    log.clear();
    module.onSessionFailed(services.postedCall);
    EXPECT_EQ(log, (CallLog{"levels 0", "label Call closed.", "name ", "label Call failed."}));
}

TEST_F(VoiceCall, TheSessionFailingMidCallEndsItAndTellsThePeer)
{
    callBobAccepted();
    module.onSessionFailed(module.currentCall());
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_EQ(host.sent, (Sent{{"2002", CloseBytes}}));
    EXPECT_EQ(log.back(), "label Call failed.");
}

TEST_F(VoiceCall, AChannelThatOpensAfterHangUpIsClosedAndNotShownConnected)
{
    callBobAccepted();
    bar.hangUp();
    host.sent.clear();
    log.clear();
    module.onSessionConnected(module.currentCall());
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_EQ(host.sent, (Sent{{"2002", CloseBytes}}));
    EXPECT_TRUE(logged("session stop"));
    EXPECT_FALSE(logged("label Connected."));
}

TEST_F(VoiceCall, ThePeerGoingOfflineOrAwayEndsTheCall)
{
    // A late report of the sign-in that came before the call leaves it ringing.
    module.onMessage(&alice, RequestBytes);
    module.onContactStatusChanged(&alice);
    EXPECT_EQ(bar.state(), CallState::Ringing);
    bar.hangUp();
    host.sent.clear();

    callBobAccepted();
    module.onContactStatusChanged(&carol);
    module.onContactStatusChanged(&bob);
    EXPECT_EQ(bar.state(), CallState::Connected);
    bob.setOnline(false);
    module.onContactStatusChanged(&bob);
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_EQ(host.sent, (Sent{{"2002", CloseBytes}}));

    module.onMessage(&alice, RequestBytes);
    module.onContactRemoved(&alice);
    EXPECT_EQ(bar.state(), CallState::Idle);
    EXPECT_EQ(bar.currentContact(), nullptr);
}

TEST_F(VoiceCall, SigningOutEndsTheCallAndTheBarStaysUnavailable)
{
    callBobAccepted();
    module.onSignedOut();
    EXPECT_EQ(bar.state(), CallState::Unavailable);
    EXPECT_EQ(host.sent, (Sent{{"2002", CloseBytes}}));
    EXPECT_EQ(bar.currentContact(), nullptr);
    module.onSessionEnded(module.currentCall());
    EXPECT_EQ(bar.state(), CallState::Unavailable);
    module.onContactStatusChanged(&bob);
    EXPECT_EQ(bar.state(), CallState::Unavailable);
}

TEST_F(VoiceCall, TheLateReportsOfAnEarlierCallLeaveTheNextOneAlone)
{
    callBobAccepted();
    const unsigned earlier = session.lastCall;
    module.onMessage(&bob, CloseBytes);
    module.onMessage(&alice, RequestBytes);
    host.sent.clear();
    module.onSessionEnded(earlier);
    EXPECT_EQ(bar.state(), CallState::Ringing);

    // Accepted, its channel still on the way: the earlier call's end and a start that came
    // after its hang-up stop that call's session only.
    bar.talk();
    ASSERT_EQ(bar.state(), CallState::Connected);
    log.clear();
    host.sent.clear();
    module.onSessionEnded(earlier);
    module.onSessionConnected(earlier);
    EXPECT_EQ(bar.state(), CallState::Connected);
    EXPECT_EQ(log, (CallLog{"session stop-of " + std::to_string(earlier)}));
    EXPECT_TRUE(host.sent.empty());

    NotedChannel channel;
    module.onIncomingConnection(&alice, &channel);
    EXPECT_NE(session.lastCall, earlier);
    module.onSessionConnected(session.lastCall);
    EXPECT_TRUE(logged("label Connected."));
}
