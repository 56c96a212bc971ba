#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "network/TCPServer.h"

#include "../foundation/ThreadTestSupport.h"
#include "PoolTestSupport.h"
#include "ServerTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <future>
#include <stdexcept>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Answers each 4-byte request with the same bytes, then ends.
void echoFour(FnHandler& h)
{
    char buffer[4];
    if (receiveExactly(h, buffer, 4))
        sendAll(h.socket.handle, buffer, 4);
}

void expectEcho(SocketHandle s, const char* text)
{
    ASSERT_EQ(sendAll(s, text, 4), 4);
    char back[4] = {};
    int got = 0;
    while (got < 4) {
        int n = receive(s, back + got, 4 - got, 5000);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(std::memcmp(back, text, 4), 0);
}

} // namespace

TEST(TCPServer, PortZeroListensOnAChosenPortAndEachConnectionGetsAHandler)
{
    RunningServer s(echoFour);
    ASSERT_NE(s.port(), 0);
    EXPECT_EQ(s.server.address.getAddress(), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(s.dispatcher.serverStarts.load(), 1);

    int round = 0;
    for (const char* text : {"abcd", "efgh", "ijkl"}) {
        OwnedSocket c = s.connect();
        expectEcho(c, text);
        EXPECT_TRUE(peerClosed(c)); // the handler closed the connection after it returned
        EXPECT_EQ(s.dispatcher.lastPeer().getPort(), getLocalPort(c));
        // The worker is idle again only once it has finished its job; connecting earlier
        // would rightly make a second worker.
        ++round;
        EXPECT_TRUE(awaitCondition([&] { return s.dispatcher.ended.load() == round; }));
        EXPECT_TRUE(awaitCondition([&] {
            PoolWorker* w = s.dispatcher.getPool().getWorker(0);
            return w && !w->isBusy();
        }));
    }
    EXPECT_EQ(s.dispatcher.created.load(), 3);
    EXPECT_EQ(s.dispatcher.started.load(), 3);
    // Sequential connections reuse the one worker.
    EXPECT_EQ(s.dispatcher.getPool().getWorkerCount(), 1);
}

TEST(TCPServer, HandlersGetTheDispatchersSocketTimeout)
{
    std::atomic<int> seen{-1};
    TestDispatcher d;
    d.handlerSocketTimeoutMs = 123;
    d.body = [&](FnHandler& h) { seen = h.timeoutMs(); };
    TCPServer server;
    server.address = loopback(0);
    server.dispatcher = &d;
    server.start();
    OwnedSocket c(createSocket(true));
    connectSocket(c, loopback(server.address.getPort()));
    EXPECT_TRUE(awaitCondition([&] { return seen.load() == 123; }));
    server.stop(true);
}

TEST(TCPServer, ASecondServerOnAUsedPortFailsToStart)
{
    RunningServer first(echoFour);
    TestDispatcher d;
    TCPServer second;
    second.address = loopback(first.port());
    second.dispatcher = &d;
    EXPECT_THROW(second.start(), TCPServer::StartupException);
    EXPECT_TRUE(awaitCondition([&] { return second.getState() == Thread::Finished; }));
    second.stop(true);

    // The first still serves.
    OwnedSocket c = first.connect();
    expectEcho(c, "wxyz");
}

TEST(TCPServer, AnAddressThatIsNotLocalFailsToStart)
{
    TCPServer server;
    server.address.setHost("192.0.2.1", 0); // documentation range: never a local address
    EXPECT_THROW(server.start(), TCPServer::StartupException);
}

TEST(TCPServer, StartDoesNotWaitForeverWhenTheThreadEndsBeforeListening)
{
    struct EndsAtOnce : TCPServer {
        void run() override {}
    } server;
    const Stopwatch watch;
    EXPECT_THROW(server.start(), TCPServer::StartupException);
    EXPECT_LT(watch.elapsed(), 2000);
}

TEST(TCPServer, StoppingAnIdleServerTakesAboutOneAcceptPoll)
{
    TestDispatcher d;
    TCPServer server;
    server.address = loopback(0);
    server.dispatcher = &d;
    EXPECT_EQ(server.acceptPollMs, 300);
    EXPECT_EQ(server.backlog, 5);
    server.start();
    const uint16_t port = server.address.getPort();

    const Stopwatch watch;
    server.stop(true);
    EXPECT_LT(watch.elapsed(), 300 + 2000);
    EXPECT_EQ(server.getState(), Thread::Finished);
    EXPECT_EQ(d.serverStops.load(), 1);
    EXPECT_EQ(d.getPool().getLimit(), 0);

    // Nothing listens any more.
    OwnedSocket c(createSocket(true));
    EXPECT_THROW(connectSocket(c, loopback(port)), ConnectException);
}

TEST(TCPServer, WhateverAHandlerThrowsIsDroppedAndItsConnectionClosed)
{
    std::atomic<int> kind{0};
    RunningServer s([&](FnHandler&) {
        switch (kind.load()) {
        case 0: throw IOException();
        case 1: throw std::runtime_error("handler failed");
        default: throw 7;
        }
    });
    for (int k = 0; k < 3; ++k) {
        kind = k;
        OwnedSocket c = s.connect();
        EXPECT_TRUE(peerClosed(c)) << "kind " << k;
        EXPECT_TRUE(awaitCondition([&] { return s.dispatcher.ended.load() == k + 1; }));
        // A connect before the worker is idle again would rightly make a second worker.
        EXPECT_TRUE(awaitCondition([&] {
            PoolWorker* w = s.dispatcher.getPool().getWorker(0);
            return w && !w->isBusy();
        }));
    }
    // Still accepting, on the same worker.
    s.dispatcher.body = echoFour;
    OwnedSocket c = s.connect();
    expectEcho(c, "live");
    EXPECT_EQ(s.dispatcher.getPool().getWorkerCount(), 1);
}

TEST(TCPServer, AHandlerThatHandsItsSocketOnLeavesTheConnectionOpen)
{
    std::promise<SocketHandle> handed;
    RunningServer s([&](FnHandler& h) {
        SocketHandle mine = h.socket.handle;
        h.socket.handle = NoSocket;
        handed.set_value(mine);
    });
    OwnedSocket c = s.connect();
    OwnedSocket taken(handed.get_future().get());
    ASSERT_TRUE(awaitCondition([&] { return s.dispatcher.ended.load() == 1; }));

    ASSERT_EQ(sendAll(taken, "open", 4), 4);
    char back[4];
    ASSERT_EQ(receive(c, back, 4, 5000), 4);
    EXPECT_EQ(std::memcmp(back, "open", 4), 0);
}

TEST(TCPServer, AConnectionThatNoHandlerTakesIsClosed)
{
    RunningServer s(echoFour);
    s.dispatcher.refuse = true;
    OwnedSocket c = s.connect();
    EXPECT_TRUE(peerClosed(c));
    EXPECT_EQ(s.dispatcher.created.load(), 0);
}

TEST(TCPServer, AFullPoolHoldsTheAcceptThreadUntilAWorkerIsFree)
{
    Latch hold;
    RunningServer s(
        [&](FnHandler& h) {
            hold.await();
            echoFour(h);
        },
        50, 2);
    OwnedSocket a = s.connect(), b = s.connect();
    ASSERT_TRUE(awaitCondition([&] { return s.dispatcher.started.load() == 2; }));

    // The third connection is accepted and its handler made; the accept thread then waits
    // for a worker, so the fourth stays in the backlog without a handler.
    OwnedSocket c = s.connect(), d = s.connect();
    ASSERT_TRUE(awaitCondition([&] { return s.dispatcher.created.load() == 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(s.dispatcher.created.load(), 3);
    EXPECT_EQ(s.dispatcher.started.load(), 2);

    hold.open();
    for (SocketHandle x : {a.get(), b.get(), c.get(), d.get()})
        expectEcho(x, "next");
    EXPECT_TRUE(awaitCondition([&] { return s.dispatcher.ended.load() == 4; }));
    EXPECT_EQ(s.dispatcher.getPool().getWorkerCount(), 2);
}

TEST(TCPServer, StopWaitsForEveryRunningHandler)
{
    std::atomic<int> unwound{0};
    RunningServer s([&](FnHandler& h) {
        try {
            char c;
            receiveExactly(h, &c, 1); // ends only through the worker's stop request
        } catch (const ThreadStopException&) {
            ++unwound;
            throw;
        }
    });
    std::vector<OwnedSocket> clients;
    for (int i = 0; i < 5; ++i)
        clients.push_back(s.connect());
    ASSERT_TRUE(awaitCondition([&] { return s.dispatcher.started.load() == 5; }));

    s.server.stop(true);
    EXPECT_EQ(unwound.load(), 5);
    EXPECT_EQ(s.dispatcher.ended.load(), 5);
    EXPECT_EQ(s.dispatcher.getPool().getWorkerCount(), 0);
    for (auto& c : clients)
        EXPECT_TRUE(peerClosed(c));
}

TEST(TCPServer, StopReleasesAnAcceptThreadWaitingForAFullPool)
{
    RunningServer s(
        [](FnHandler& h) {
            char c;
            receiveExactly(h, &c, 1);
        },
        50, 1);
    OwnedSocket busy = s.connect();
    ASSERT_TRUE(awaitCondition([&] { return s.dispatcher.started.load() == 1; }));
    OwnedSocket waiting = s.connect();
    ASSERT_TRUE(awaitCondition([&] { return s.dispatcher.created.load() == 2; }));

    const Stopwatch watch;
    s.server.stop(true);
    EXPECT_LT(watch.elapsed(), 2000);
    EXPECT_EQ(s.dispatcher.started.load(), 1); // the waiting connection never ran...
    EXPECT_TRUE(peerClosed(waiting));           // ...and was closed, not left open
    EXPECT_TRUE(peerClosed(busy));
}

TEST(TCPServer, StopWithoutWaitStillLeavesNothingRunning)
{
    RunningServer s(echoFour);
    OwnedSocket c = s.connect();
    expectEcho(c, "once");
    s.server.stop(false);
    EXPECT_EQ(s.server.getState(), Thread::Finished);
    EXPECT_EQ(s.dispatcher.getPool().getWorkerCount(), 0);
}
