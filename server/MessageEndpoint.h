#pragma once

#include "core/Message.h"
#include "foundation/Containers.h"
#include "network/ConnectionDispatcher.h"
#include "network/ConnectionHandler.h"
#include "server/MessageHub.h"

#include <atomic>
#include <mutex>

namespace orvane {

class MessageDispatcher;

// One client connection of the message server, served on a pool worker. Its thread reads
// the client's frames and is the only one that writes to the socket: frames for the client
// from any thread wait in a bounded queue, and a wake-up descriptor gets the thread to
// write them at once, also in the middle of reading a frame.
class MessageConnection : public ConnectionHandler, public SessionOutput, private Message::Source {
public:
    explicit MessageConnection(MessageDispatcher& dispatcher);
    ~MessageConnection() override;

    bool send(const uint8_t* frame, int length) override;
    void requestClose() override;

protected:
    void handle() override;

private:
    // The reader's source: bytes of the socket within the time-out, writing queued frames
    // while it waits.
    int receive(void* buffer, int length, int timeoutMs) override;
    // Writes what the socket takes without waiting; false when the connection failed.
    bool flushSome();

    MessageDispatcher& dispatcher_;
    int wakeFd_ = -1;
    // The client's address for log lines; set before the session can be sent anything.
    String peerText_;
    std::atomic<bool> closeRequested_{false};
    std::mutex outputLock_;
    ByteArray queued_;
    int queuedOffset_ = 0;
    uint8_t input_[4096];
    int inputPosition_ = 0;
    int inputLength_ = 0;
};

// Makes a MessageConnection for each accepted client, up to the connection bound.
class MessageDispatcher : public ConnectionDispatcher {
public:
    explicit MessageDispatcher(MessageHub& hub);
    ConnectionHandler* createHandler() override;
    void onHandlerCreated(ConnectionHandler* handler, SocketAddress* peer) override;

    MessageHub& hub() { return hub_; }
    // How often a connection looks at its stop request and its sign-in deadline.
    int pollMs = 250;

private:
    friend class MessageConnection;
    MessageHub& hub_;
    std::atomic<int> active_{0};
};

} // namespace orvane
