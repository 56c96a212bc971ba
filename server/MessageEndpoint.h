#pragma once

#include "core/Message.h"
#include "foundation/Containers.h"
#include "network/WorkQueue.h"
#include "server/MessageHub.h"
#include "server/ServerFace.h"

#include <atomic>
#include <mutex>

namespace orvane {

class MessageServer;

// One client connection of the message server. The loop's thread reads it, hands each
// whole frame to the session, and is the only one that writes to and closes the socket.
// Frames for the client from any thread wait in a bounded queue; the first one into an
// empty queue wakes the loop to write it.
//
// The sign-in frame's password check runs on the password workers; meanwhile the
// connection reads nothing more, and what already followed the sign-in frame waits here
// until the check is answered.
class MessageConnection : public FaceConnection,
                          public SessionOutput,
                          private SignInChecker,
                          private Message::Source {
public:
    MessageConnection(MessageServer& server, int fd, const SocketAddress& peer);
    ~MessageConnection() override;

    bool send(const uint8_t* frame, int length) override;
    void requestClose() override;

    void onReady(uint32_t events) override;
    void onWake() override;
    void onWaitedTooLong() override;

    // The password check's answer, on the loop's thread.
    void onSignInChecked(const SignInRequest& request, const SignInCheck& check);

private:
    void onClosing() override;
    void checkLater(const SignInRequest& request) override;
    // The reader's source: the input being taken, never waiting.
    int receive(void* buffer, int length, int timeoutMs) override;

    void readInput();
    // Hands the frames of the bytes to the session; keeps the rest while a sign-in is
    // checked. False when the connection closed.
    bool takeFrames(const uint8_t* data, int length);
    // Writes what the socket takes; false when the connection failed.
    bool flushSome();
    void updateInterest();

    MessageServer& server_;
    ClientSession session_;
    Message reader_;
    const uint8_t* input_ = nullptr;
    int inputLength_ = 0;
    ByteArray held_;
    std::atomic<bool> closeRequested_{false};
    // Guards the queue, which other threads fill.
    std::mutex outputLock_;
    ByteArray queued_;
    int queuedOffset_ = 0;
    bool writeBlocked_ = false;
};

// The message server's face: clients connect, have signInTimeoutMs to send their sign-in
// frame (until then they wait in the face's room), and have their passwords checked on the
// password workers, never on the loop.
class MessageServer : public ServerFace {
public:
    // `maxConnections` replaces the settings' bound (lowered to what the process's
    // descriptors allow).
    MessageServer(EventLoop& loop, WorkQueue& passwordWorkers, MessageHub& hub, int maxConnections);
    ~MessageServer() override;

    MessageHub& hub() { return hub_; }
    const ServerSettings& settings() const { return hub_.settings(); }

private:
    friend class MessageConnection;

    std::unique_ptr<FaceConnection> makeConnection(int fd, const SocketAddress& peer) override;
    // Queues the check in its address's line; false when that line is full or the workers
    // stop (the connection is then closed).
    bool checkSignInLater(MessageConnection& connection, const SignInRequest& request);

    MessageHub& hub_;
};

} // namespace orvane
