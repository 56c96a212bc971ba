#pragma once

#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "network/EventLoop.h"

namespace orvane {

// A listening TCP socket served by an EventLoop: it accepts what arrives without blocking
// and hands each connection on as a non-blocking, close-on-exec descriptor.
//
// Running out of descriptors does not stall it. Without a free descriptor the pending
// connection could not be taken, would stay ready, and the loop would spin on it while the
// client hangs in the backlog; so the acceptor keeps one descriptor in reserve, and when an
// accept fails for want of descriptors it gives the reserve up for a moment, takes the
// connection and closes it at once, so the client learns it was refused. Failures that
// leave nothing to take (no memory for the connection) pause accepting for a moment. Every
// failure is told to the owner, which logs it at the rate it chooses.
class LoopAcceptor : public EventLoop::Handler {
public:
    class Owner {
    public:
        virtual ~Owner();
        // A new connection; the owner now owns the descriptor.
        virtual void onAccepted(int fd, const SocketAddress& peer) = 0;
        // accept failed with this errno; `refused` says whether the connection was taken
        // and closed (descriptors ran out), otherwise accepting pauses for a moment.
        virtual void onAcceptFailed(int error, bool refused) = 0;
    };

    // The listener could not be set up; nothing listens.
    ORVANE_EXCEPTION(ListenException, Exception);

    LoopAcceptor(EventLoop& loop, Owner& owner);
    // Leaves the loop and closes the listening socket and the reserve; on the loop's thread
    // or once the loop has stopped.
    ~LoopAcceptor() override;
    LoopAcceptor(const LoopAcceptor&) = delete;
    LoopAcceptor& operator=(const LoopAcceptor&) = delete;

    // Binds (SO_REUSEADDR), listens and joins the loop; on the loop's thread or before the
    // loop starts. ListenException when any step fails.
    void listen(const SocketAddress& address, int backlog);
    // The bound address (the port the system chose for port 0).
    const SocketAddress& address() const { return address_; }

    void onReady(uint32_t events) override;

    // Connections taken at most per round, so a flood of them leaves the loop time for the
    // connections it already has.
    int acceptsPerRound = 64;
    // How long accepting pauses after a failure that left the connection where it was.
    int pauseMs = 100;

private:
    void pause();
    void reopenReserve();

    EventLoop& loop_;
    Owner& owner_;
    SocketAddress address_;
    int fd_ = -1;
    int reserveFd_ = -1;
    EventLoop::HandlerId id_ = 0;
    EventLoop::TimerId resumeTimer_ = 0;
    bool paused_ = false;
};

} // namespace orvane
