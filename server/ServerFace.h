#pragma once

#include "foundation/Socket.h"
#include "foundation/String.h"
#include "network/EventLoop.h"
#include "network/LoopAcceptor.h"
#include "network/WorkQueue.h"
#include "server/LimitedLog.h"
#include "server/ServerLog.h"
#include "network/WaitingRoom.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace orvane {

class ServerFace;

// One connection of a face, served on the face's event loop: a non-blocking socket that
// the loop's thread alone reads, writes and closes. It starts in the face's waiting room
// and leaves it once the client has shown it is one (stopWaiting).
class FaceConnection : public EventLoop::Handler {
public:
    using Key = EventLoop::HandlerId;

    // Takes the descriptor (closed by close() or the destructor).
    FaceConnection(ServerFace& face, int fd, const SocketAddress& peer);
    ~FaceConnection() override;
    FaceConnection(const FaceConnection&) = delete;
    FaceConnection& operator=(const FaceConnection&) = delete;

    Key key() const { return key_; }
    const SocketAddress& peer() const { return peer_; }
    // "address:port", for log lines.
    const String& peerText() const { return peerText_; }
    bool isClosed() const { return fd_ < 0; }

    // Ends the connection: onClosing runs, the socket leaves the loop and is closed, and
    // the face deletes the object after the loop's round. Further calls do nothing.
    void close();

    // The client did not show itself in time (the room's time-out); the connection says so
    // as its kind does and closes.
    virtual void onWaitedTooLong() = 0;

protected:
    friend class ServerFace;

    // What the kind must do before its socket goes (end a session, a last write).
    virtual void onClosing();
    // The events asked of the loop (EPOLLIN, EPOLLOUT); unchanged ones cost nothing.
    void setInterest(uint32_t events);
    uint32_t interest() const { return interest_; }
    // The client has shown it is one: it no longer counts as waiting.
    void stopWaiting();
    // The connection's socket; -1 once closed.
    int socket() const { return fd_; }
    // Writes what the socket takes now of data[offset, length), moving offset on; `blocked`
    // tells whether it stopped because the socket was full. False when the connection
    // failed.
    bool writeSome(const uint8_t* data, int length, int& offset, bool& blocked);

private:
    ServerFace& face_;
    int fd_;
    // False once closed; work queued for the connection looks at it from other threads.
    std::shared_ptr<std::atomic<bool>> open_;
    SocketAddress peer_;
    String peerText_;
    Key key_ = 0;
    uint32_t interest_ = 0;
};

// One listening face of the server on the event loop: its socket, its connections, and
// how it takes new ones. A face holds at most maxConnections; the connections that have not
// shown they are real clients wait in a room with a time-out, and at most
// maxWaitingPerAddress of them from one address. A new connection beyond either bound
// takes the place of the oldest waiting one (from its own address first), so idle
// connections can never keep a real client out; it is refused only when nothing waits.
// Work handed to the workers waits in a line per client address, taken in rounds over the
// addresses, and at most maxWorkPerAddress jobs of one address wait at once (over all the
// faces that share the workers): one address with many requests cannot keep another's
// waiting behind them.
// Refusals, evictions, time-outs, turned-away work and accept failures are logged at a
// bounded rate.
//
// Everything runs on the loop's thread, or on the stopping thread once the loop stopped.
class ServerFace : private LoopAcceptor::Owner {
public:
    struct Limits {
        Limits(int connections, int waitingPerAddress, int waitMs, int workPerAddress = 0)
            : maxConnections(connections),
              maxWaitingPerAddress(waitingPerAddress),
              waitTimeoutMs(waitMs),
              maxWorkPerAddress(workPerAddress)
        {
        }
        int maxConnections;
        int maxWaitingPerAddress;
        int waitTimeoutMs;
        // Jobs of one address waiting for the workers; 0: no bound.
        int maxWorkPerAddress;
    };

    // `name` begins the face's log lines ("message", "account"); `waiting` says what a
    // waiting connection has not done yet ("have not signed in"). The workers take the work
    // the loop must not wait for.
    ServerFace(EventLoop& loop, WorkQueue& workers, const char* name, const char* waiting, const Limits& limits);
    ~ServerFace() override;
    ServerFace(const ServerFace&) = delete;
    ServerFace& operator=(const ServerFace&) = delete;

    // Binds and listens; LoopAcceptor::ListenException when it cannot.
    void listen(const SocketAddress& address, int backlog);
    const SocketAddress& address() const { return acceptor_.address(); }
    // Closes every connection; once the loop has stopped. A subclass calls it in its own
    // destructor, while its connections can still reach it.
    void closeAll();

    int connectionCount() const { return static_cast<int>(connections_.size()); }
    int waitingCount() const { return room_.size(); }
    EventLoop& loop() { return loop_; }
    const char* name() const { return name_; }
    const Limits& limits() const { return limits_; }
    // The connection with the key, while it is open; NULL otherwise.
    FaceConnection* find(FaceConnection::Key key);
    // Logs that a connection did not show itself in time, at a bounded rate.
    void logTimeOut(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Scratch room for one receive at a time on the loop's thread.
    uint8_t* receiveBuffer() { return receiveBuffer_.data(); }
    int receiveBufferSize() const { return static_cast<int>(receiveBuffer_.size()); }

protected:
    // A connection of the face's kind for the accepted descriptor.
    virtual std::unique_ptr<FaceConnection> makeConnection(int fd, const SocketAddress& peer) = 0;

    // Runs `work` on the workers, in the line of the connection's address, then `answer`
    // with its result and the connection on the loop's thread, if the connection is still
    // open by then. Work whose connection closed before a worker took it is dropped: a
    // client that left costs no hash. Full (logged, the work dropped) when the address
    // already has maxWorkPerAddress jobs waiting; Stopping when the workers stop.
    template <class Work, class Answer>
    WorkQueue::Submitted workOffLoop(FaceConnection& connection, Work work, Answer answer)
    {
        const FaceConnection::Key key = connection.key();
        std::shared_ptr<const std::atomic<bool>> open = connection.open_;
        const WorkQueue::Submitted submitted = workers_.submit(
            connection.peer().getAddress(),
            [this, key, open, work, answer] {
                if (!open->load())
                    return;
                const auto result = work();
                loop_.post([this, key, result, answer] {
                    if (FaceConnection* live = find(key))
                        answer(*live, result);
                });
            },
            limits_.maxWorkPerAddress);
        if (submitted == WorkQueue::Submitted::Full)
            logTurnedAway(connection);
        return submitted;
    }

private:
    friend class FaceConnection;

    void onAccepted(int fd, const SocketAddress& peer) override;
    void onAcceptFailed(int error, bool refused) override;
    // Closes a waiting connection to make room for one from the address; `sameAddress` says
    // whether it was chosen as the oldest from that address or as the oldest of all.
    void evict(FaceConnection::Key key, uint32_t address, bool sameAddress);
    void logTurnedAway(const FaceConnection& connection);
    void retire(FaceConnection& connection);

    EventLoop& loop_;
    WorkQueue& workers_;
    const char* name_;
    const char* waiting_;
    Limits limits_;
    LoopAcceptor acceptor_;
    WaitingRoom room_;
    std::unordered_map<FaceConnection::Key, std::unique_ptr<FaceConnection>> connections_;
    // Closed in this round of the loop, deleted after it: their handlers may still be
    // on the stack.
    std::vector<std::unique_ptr<FaceConnection>> retired_;
    std::vector<uint8_t> receiveBuffer_;
    // Five lines a second show what happens; a flood beyond them is told as a count.
    LimitedLog refusals_;
    LimitedLog evictions_;
    LimitedLog timeOuts_;
    LimitedLog turnedAway_;
    LimitedLog acceptFailures_;
};

} // namespace orvane
