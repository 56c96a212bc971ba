#pragma once

#include "network/EventLoop.h"
#include "network/WorkQueue.h"
#include "server/RelaySessions.h"
#include "server/ServerSettings.h"
#include "server/TcpRelay.h"
#include "server/UdpRelay.h"

#include <memory>

namespace orvane {

// The channel relay: the sessions that OPEN_SERVER_CHANNEL opens, the TCP relay and the
// UDP relay on one port number, and the thread they run on.
//
// The relay has an event loop of its own rather than the message server's: a relayed
// stream moves megabytes a second, and on the message loop every sign-in, presence change
// and message would wait behind its turns; apart, the relay takes a core of its own and
// the messages keep theirs. The sessions are the one thing both loops touch, under their
// lock. The loop also sweeps the sessions for those past their time.
class ChannelRelay {
public:
    // `maxSessions` replaces the settings' bound (lowered to what the process's descriptors
    // allow). The workers are the TCP face's; the relay gives them no work.
    ChannelRelay(const ServerSettings& settings, WorkQueue& workers, int maxSessions);
    // Stops the relay when it still runs.
    ~ChannelRelay();
    ChannelRelay(const ChannelRelay&) = delete;
    ChannelRelay& operator=(const ChannelRelay&) = delete;

    // Binds TCP, then UDP on the same port number (for port 0, a few system-chosen ports
    // are tried until one is free for both), then starts the thread.
    // LoopAcceptor::ListenException when the ports cannot be had, ThreadCreateException
    // when the thread cannot be made.
    void start();
    // Ends every relayed connection and the thread.
    void stop();

    // Descriptors the relay may take with so many sessions (each pair of connections has a
    // pipe each way), and the sessions that so many descriptors allow (at least one).
    static long descriptorsFor(int maxSessions);
    static int sessionsWithin(long descriptors);

    // The bound address, once started.
    const SocketAddress& address() const { return sessions_.address(); }
    RelaySessions& sessions() { return sessions_; }

private:
    void sweep();

    const ServerSettings& settings_;
    WorkQueue& workers_;
    RelaySessions sessions_;
    // The loop outlives the relays that are its handlers.
    std::unique_ptr<EventLoop> loop_;
    std::unique_ptr<TcpRelay> tcp_;
    std::unique_ptr<UdpRelay> udp_;
    int maxConnections_;
    int sweepMs_;
    bool running_ = false;
};

} // namespace orvane
