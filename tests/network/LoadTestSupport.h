#pragma once

// The load run shared by the server test and the benchmark: concurrent clients, each doing
// cycles of connect, send, receive and close against a server whose handler echoes one
// request, and the stop of a server whose handlers are all busy.

#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "network/TCPServer.h"

#include "ServerTestSupport.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace orvane::testing {

constexpr int LoadRequestBytes = 32;

// Echoes one request of LoadRequestBytes, then returns (the connection is then closed).
inline void echoRequest(FnHandler& h)
{
    char buffer[LoadRequestBytes];
    if (receiveExactly(h, buffer, LoadRequestBytes))
        sendAll(h.socket.handle, buffer, LoadRequestBytes);
}

struct LoadResult {
    int cycles = 0;          // cycles that completed with the right answer
    int failures = 0;        // cycles that failed or got a wrong answer
    int handled = 0;         // handlers the server ran to their end
    int64_t elapsedMs = 0;
    double connectionsPerSecond() const
    {
        return elapsedMs > 0 ? cycles * 1000.0 / static_cast<double>(elapsedMs) : 0.0;
    }
};

// A hundred clients connecting at once overflow the server's own backlog of 5 on Linux, which
// then drops handshakes and lets the clients retry after a second or more; the load runs
// measure the server, so their listeners get a queue as long as the client count.
constexpr int LoadBacklog = 128;

// Runs `clients` threads of `cycles` connections each against a fresh echo server, then stops
// the server. Each request carries the client and cycle number, so an answer meant for
// another connection is caught.
inline LoadResult runEchoLoad(int clients, int cycles, int backlog = LoadBacklog)
{
    RunningServer s(echoRequest, 50, 100, backlog);
    const uint16_t port = s.port();
    std::atomic<int> ok{0}, failed{0};
    std::vector<std::thread> threads;
    const int64_t t0 = monotonicMillis();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            for (int k = 0; k < cycles; ++k) {
                char request[LoadRequestBytes], answer[LoadRequestBytes];
                std::snprintf(request, sizeof request, "client %5u cycle %8u ...", static_cast<unsigned>(c) % 100000u,
                              static_cast<unsigned>(k) % 100000000u);
                try {
                    OwnedSocket sock(createSocket(true));
                    connectSocket(sock, loopback(port));
                    sendAll(sock, request, LoadRequestBytes);
                    int got = 0;
                    while (got < LoadRequestBytes) {
                        int n = receive(sock, answer + got, LoadRequestBytes - got, 10000);
                        if (n == 0)
                            break;
                        got += n;
                    }
                    if (got == LoadRequestBytes && std::memcmp(request, answer, LoadRequestBytes) == 0)
                        ++ok;
                    else
                        ++failed;
                } catch (const Exception&) {
                    ++failed;
                }
            }
        });
    }
    for (auto& t : threads)
        t.join();
    LoadResult r;
    r.elapsedMs = monotonicMillis() - t0;
    // Every handler finishes once its client has its answer; the stop waits for the last.
    s.server.stop(true);
    r.cycles = ok.load();
    r.failures = failed.load();
    r.handled = s.dispatcher.ended.load();
    return r;
}

struct BusyStopResult {
    int busy = 0;            // handlers running when the stop began
    int ended = 0;           // handlers ended when the stop returned
    int workersLeft = -1;
    int64_t stopMs = 0;
};

// Opens `clients` connections whose handlers wait for a byte that never comes (they poll the
// worker's stop request every handler time-out), then measures TCPServer::stop(true).
inline BusyStopResult runBusyStop(int clients, int acceptPollMs)
{
    RunningServer s(
        [](FnHandler& h) {
            char c;
            receiveExactly(h, &c, 1);
        },
        acceptPollMs, 100, LoadBacklog);
    std::vector<OwnedSocket> open;
    for (int i = 0; i < clients; ++i) {
        OwnedSocket sock(createSocket(true));
        connectSocket(sock, loopback(s.port()));
        open.push_back(std::move(sock));
    }
    BusyStopResult r;
    awaitCondition([&] { return s.dispatcher.started.load() == clients; }, 20000);
    r.busy = s.dispatcher.started.load();
    const int64_t t0 = monotonicMillis();
    s.server.stop(true);
    r.stopMs = monotonicMillis() - t0;
    r.ended = s.dispatcher.ended.load();
    r.workersLeft = s.dispatcher.getPool().getWorkerCount();
    return r;
}

} // namespace orvane::testing
