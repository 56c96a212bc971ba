#pragma once

// A dispatcher and handler whose per-connection work the test supplies, counting every hook,
// and a server on 127.0.0.1 with a port the system picks.

#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "foundation/Thread.h"
#include "network/ConnectionDispatcher.h"
#include "network/ConnectionHandler.h"
#include "network/TCPServer.h"

#include "../foundation/LoopbackSockets.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

namespace orvane::testing {

class FnHandler : public ConnectionHandler {
public:
    explicit FnHandler(std::function<void(FnHandler&)> body) : body_(std::move(body)) {}
    void handle() override
    {
        if (body_)
            body_(*this);
    }
    // The receive time-out that the dispatcher gave this handler.
    int timeoutMs() const { return socket.acceptTimeoutMs; }
    SocketHandle handleOfSocket() const { return socket.handle; }
    using ConnectionHandler::socket;

private:
    std::function<void(FnHandler&)> body_;
};

class TestDispatcher : public ConnectionDispatcher {
public:
    ConnectionHandler* createHandler() override
    {
        if (refuse)
            return nullptr;
        return new FnHandler(body);
    }
    void onHandlerCreated(ConnectionHandler*, SocketAddress* peer) override
    {
        {
            std::lock_guard<std::mutex> g(m_);
            lastPeer_ = *peer;
        }
        ++created;
    }
    void onConnectionStart(ConnectionHandler*) override { ++started; }
    void onConnectionEnd(ConnectionHandler*) override { ++ended; }
    void onServerStart() override { ++serverStarts; }
    void onServerStop() override { ++serverStops; }

    SocketAddress lastPeer()
    {
        std::lock_guard<std::mutex> g(m_);
        return lastPeer_;
    }

    std::function<void(FnHandler&)> body;
    bool refuse = false;
    std::atomic<int> created{0}, started{0}, ended{0}, serverStarts{0}, serverStops{0};

private:
    std::mutex m_;
    SocketAddress lastPeer_;
};

// Reads exactly n bytes within the handler's time-out steps, polling the worker's stop
// request between them. False when the peer closed first.
inline bool receiveExactly(FnHandler& h, void* buffer, int n)
{
    int got = 0;
    while (got < n) {
        Thread::checkStop();
        try {
            got += receive(h.socket.handle, static_cast<char*>(buffer) + got, n - got, h.timeoutMs());
        } catch (const NoConnectionException&) {
            return false;
        }
    }
    return true;
}

// A server on 127.0.0.1, port chosen by the system, started by the constructor and stopped by
// the destructor.
struct RunningServer {
    // A backlog of 0 keeps the server's own.
    explicit RunningServer(std::function<void(FnHandler&)> body, int acceptPollMs = 50,
                           int poolLimit = 100, int backlog = 0)
    {
        dispatcher.body = std::move(body);
        if (poolLimit != 100)
            dispatcher.getPool().setLimit(poolLimit);
        server.address = loopback(0);
        server.acceptPollMs = acceptPollMs;
        if (backlog > 0)
            server.backlog = backlog;
        server.dispatcher = &dispatcher;
        server.start();
    }
    ~RunningServer() { server.stop(true); }

    uint16_t port() const { return server.address.getPort(); }
    OwnedSocket connect() const
    {
        OwnedSocket s(createSocket(true));
        connectSocket(s, loopback(port()));
        return s;
    }

    TestDispatcher dispatcher; // outlives the server
    TCPServer server;
};

// True when the peer has closed the connection (it may first drain what was sent).
inline bool peerClosed(SocketHandle s, int timeoutMs = 5000)
{
    char c;
    try {
        for (;;) {
            if (receive(s, &c, 1, timeoutMs) == 0)
                return false;
        }
    } catch (const NoConnectionException&) {
        return true;
    } catch (const SocketException&) {
        return true; // reset
    }
}

} // namespace orvane::testing
