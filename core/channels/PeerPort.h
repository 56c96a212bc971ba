#pragma once

#include "foundation/Socket.h"
#include "network/EventLoop.h"
#include "network/LoopAcceptor.h"
#include "network/WaitingRoom.h"

#include <atomic>
#include <memory>
#include <unordered_map>
#include <vector>

namespace orvane {

class TcpChannelConnector;

// The port on which peers connect to this program directly: a listening socket and the
// connections that have not yet sent their set-up record, all served by one event-loop
// thread, so a connection that sends nothing costs a descriptor and a few bytes, never a
// thread.
//
// Anybody can reach the port, so nothing a connection sends is trusted before the record
// is whole: it must come within recordWaitMs of the connect, and it is read with a cap of
// maxRecordBytes on the wire and inflated (a record is about 120 bytes), so a frame that
// announces more, or inflates to more, is refused before anything is allocated for it.
// Waiting connections are bounded per source address and in all; a new one beyond either
// bound takes the place of the oldest waiting one (from its own address first), so idle
// connections can never keep a peer out. A whole record goes to the connector, which says
// what to answer and where the socket goes; the socket is made blocking again and handed on,
// or closed.
//
// Threads: start and stop on the owner's thread; everything else on the loop's thread,
// where the connector's decide and carryOut run too (they take the application lock
// briefly).
class PeerPort : private LoopAcceptor::Owner {
public:
    struct Limits {
        // The opener waits a few seconds for its answer; a record later than that serves
        // nobody.
        int recordWaitMs = 5000;
        int maxRecordBytes = 4096;
        int maxWaiting = 128;
        int maxWaitingPerAddress = 8;
        // Room for a burst of connects while the loop catches up: a full backlog drops SYNs,
        // and a peer caught by that waits a second or more to retry.
        int backlog = 1024;
    };

    explicit PeerPort(TcpChannelConnector& connector);
    // Stops the loop when it still runs.
    ~PeerPort() override;
    PeerPort(const PeerPort&) = delete;
    PeerPort& operator=(const PeerPort&) = delete;

    // Listens on the address and starts the loop's thread; LoopAcceptor::ListenException
    // when it cannot listen, ThreadCreateException when the thread cannot be made. Once.
    void start(const SocketAddress& address);
    // Closes every waiting connection and the listening socket and ends the thread.
    void stop();
    // The bound address once started.
    const SocketAddress& address() const { return acceptor_->address(); }
    // Connections waiting for their record now (any thread).
    int waitingCount() const { return waiting_.load(); }

    // Set before start.
    Limits limits;

private:
    class Waiting;

    void onAccepted(int fd, const SocketAddress& peer) override;
    void onAcceptFailed(int error, bool refused) override;
    // Takes the connection out of the loop, the room and the table; its object goes at the
    // end of the loop's round (its handler may be on the stack).
    void retire(Waiting& connection);
    void closeAll();

    TcpChannelConnector& connector_;
    std::unique_ptr<EventLoop> loop_;
    std::unique_ptr<LoopAcceptor> acceptor_;
    std::unique_ptr<WaitingRoom> room_;
    std::unordered_map<EventLoop::HandlerId, std::unique_ptr<Waiting>> connections_;
    std::vector<std::unique_ptr<Waiting>> retired_;
    std::atomic<int> waiting_{0};
    bool running_ = false;
};

} // namespace orvane
