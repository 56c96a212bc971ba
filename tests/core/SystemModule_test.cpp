// The system module's own machinery: connection ids, the requests that negotiations wait
// on (answered, timed out, answered too late, cancelled by the module's end), the command
// dispatch with its check of the claimed sender, and the routing of the server's relay
// answers.

#include "core/channels/SystemModule.h"
#include "core/channels/TcpModuleConnection.h"
#include "tests/core/ClientTestSupport.h"
#include "tests/foundation/ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

class SystemModuleTest : public ::testing::Test {
protected:
    SystemModule& system() { return client.app->systemModule(); }

    // Every command's handler records its name and sender.
    void recordCommands()
    {
        for (int i = 0; i < SystemModule::CommandCount; ++i) {
            const std::string name = SystemModule::Commands[i];
            system().setCommandHandler(name.c_str(), [this, name](const XmlNode&, uint64_t sender) {
                handled.push_back(name + " " + std::to_string(sender));
            });
        }
    }

    void dispatch(const char* from, const std::string& text)
    {
        ContactRecord sender(from);
        system().onMessage(&sender, text.c_str());
    }

    DiagnosticRecorder diagnostics;
    ClientFolders folders;
    TestClient client{folders, {}};
    std::vector<std::string> handled;
};

} // namespace

TEST_F(SystemModuleTest, ConnectionIdsRunFrom10000To50000AndStartAgain)
{
    EXPECT_EQ(system().newConnectionId(), 10000);
    EXPECT_EQ(system().newConnectionId(), 10001);
    int id = 0;
    while (id != 49999)
        id = system().newConnectionId();
    EXPECT_EQ(system().newConnectionId(), 50000);
    EXPECT_EQ(system().newConnectionId(), 10000);
}

TEST_F(SystemModuleTest, CommandsReachTheirHandlersWhateverTheirCase)
{
    recordCommands();
    for (int i = 0; i < SystemModule::CommandCount; ++i) {
        String lower = SystemModule::Commands[i];
        lower.toLower();
        dispatch("12", std::string("<xml>\r\n\t<command>") + lower.c_str() + "</command>\r\n</xml>\r\n");
    }
    ASSERT_EQ(handled.size(), static_cast<size_t>(SystemModule::CommandCount));
    for (int i = 0; i < SystemModule::CommandCount; ++i)
        EXPECT_EQ(handled[static_cast<size_t>(i)], std::string(SystemModule::Commands[i]) + " 12");
}

TEST_F(SystemModuleTest, MessagesWithoutAKnownCommandOrFromAFalseSenderChangeNothing)
{
    recordCommands();
    const char* ignored[] = {
        "<xml><connection_id>5</connection_id></xml>",
        "<xml command=\"OPEN_THE_DOOR\"/>",
        "not xml at all",
        "",
        // The server says 12 sent it; the message claims to come from 34.
        "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"5\" user_id=\"34\"/>",
    };
    for (const char* text : ignored)
        dispatch("12", text);
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(DiagnosticRecorder::lines().size(), 1u);
    dispatch("12", "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"5\" user_id=\"12\"/>");
    EXPECT_EQ(handled, std::vector<std::string>{"ASK_TCP_SERVER_IP_PORT 12"});
}

TEST_F(SystemModuleTest, TheServersRelayAnswersGoByTheirProtocol)
{
    std::vector<std::string> routed;
    system().setServerChannelHandler("tcp", [&routed](const XmlNode&) { routed.push_back("tcp"); });
    system().setServerChannelHandler("udp", [&routed](const XmlNode&) { routed.push_back("udp"); });
    for (const char* protocol : {"TCP", "udp", "Udp", "sctp", ""}) {
        XmlNode reply;
        reply.addChild("command", "OPEN_SERVER_CHANNEL");
        reply.addChild("protocol", protocol);
        system().onServerChannelOpened(reply);
    }
    EXPECT_EQ(routed, (std::vector<std::string>{"tcp", "udp", "udp"}));
}

TEST_F(SystemModuleTest, ARequestIsAnsweredTimesOutOrIsAnsweredTooLate)
{
    // Answered from another thread while the opener waits.
    auto request = system().addRequest();
    std::thread answerer;
    const bool answered = system().await(request, [&] {
        answerer = std::thread([this, id = request->connectionId] {
            auto found = system().findRequest(id);
            ASSERT_TRUE(found);
            found->answer([](ChannelRequest& r) {
                r.peerExternalHost = "198.51.100.7";
                r.peerExternalPort = 4000;
            });
        });
    });
    answerer.join();
    EXPECT_TRUE(answered);
    EXPECT_STREQ(request->peerExternalHost.c_str(), "198.51.100.7");
    EXPECT_EQ(system().pendingRequestCount(), 0);

    // No answer within the time: a failure, and the request is gone from the list.
    auto late = system().addRequest();
    EXPECT_FALSE(system().await(late, nullptr, 50));
    EXPECT_EQ(system().findRequest(late->connectionId), nullptr);
    // An answerer that found it before it timed out writes nothing and frees nothing.
    EXPECT_FALSE(late->answer([](ChannelRequest& r) { r.peerLocalPort = 1; }));
    EXPECT_EQ(late->peerLocalPort, 0);

    // A socket delivered too late is closed rather than lost.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    EXPECT_FALSE(late->deliver(pair[0]));
    char byte;
    EXPECT_EQ(::recv(pair[1], &byte, 1, 0), 0) << "the late socket was closed";
    ::close(pair[1]);

    // Every request has an id of its own.
    EXPECT_NE(system().addRequest()->connectionId, system().addRequest()->connectionId);
}

TEST_F(SystemModuleTest, ADeliveredSocketGoesToTheWaiter)
{
    auto request = system().addRequest();
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    EXPECT_TRUE(system().await(request, [&] { EXPECT_TRUE(request->deliver(pair[0])); }));
    const SocketHandle socket = request->takeResult();
    EXPECT_EQ(socket, pair[0]);
    closeSocket(socket);
    ::close(pair[1]);
}

TEST_F(SystemModuleTest, ShutdownWakesEveryWaiterWithAFailure)
{
    std::vector<std::future<bool>> waiters;
    for (int i = 0; i < 3; ++i) {
        auto request = system().addRequest();
        waiters.push_back(std::async(std::launch::async, [this, request] { return system().await(request, nullptr); }));
    }
    ASSERT_TRUE(awaitCondition([this] { return system().pendingRequestCount() == 3; }));
    system().shutdown();
    for (auto& waiter : waiters) {
        ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_FALSE(waiter.get());
    }
    // A module that is closing takes no new waiter.
    auto after = system().addRequest();
    EXPECT_FALSE(system().await(after, nullptr, 60000));
}

TEST_F(SystemModuleTest, AConnectionOfferedToTheSystemModuleIsClosed)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    system().onIncomingConnection(nullptr, new TcpModuleConnection(pair[0]));
    char byte;
    EXPECT_EQ(::recv(pair[1], &byte, 1, 0), 0);
    ::close(pair[1]);
}
