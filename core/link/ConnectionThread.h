#pragma once

#include "core/Message.h"
#include "core/link/SignInReply.h"
#include "foundation/Containers.h"
#include "foundation/Socket.h"
#include "foundation/String.h"
#include "foundation/Thread.h"
#include "foundation/WakeSignal.h"
#include "network/ProxyClient.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace orvane {

// What the connection thread tells its owner (the application). Every call comes from the
// connection thread except where noted; the owner hands anything for the user interface
// on to its thread.
class LinkOwner {
public:
    virtual ~LinkOwner();
    // The server refused the sign-in with this reason ("Unable to sign in! ...").
    virtual void onSignInRefused(const String& reason) = 0;
    // The sign-in succeeded over HTTP; the message server is connected next.
    virtual void onSignInReply(const SignInReply& reply) = 0;
    // One complete frame read from the server link.
    virtual void onServerFrame(const Message& frame, SocketHandle socket) = 0;
    // Signed in or out, and why (ConnectionThread::Reason). Also from the thread that asks
    // for a sign-out while no link exists.
    virtual void reportConnectionState(bool signedIn, int reason) = 0;
    // The status line and the progress panel's line; also from the builders' threads.
    virtual void setStatusText(const char* text) = 0;
    virtual void setProgressText(const char* text) = 0;
};

// What one connect needs of the account and the configuration, copied when the connect is
// asked for, so that the user-interface thread may read its files again meanwhile.
struct LinkSettings {
    String userName;
    String password;
    String networkId;
    // The account endpoint that takes the LOGIN form.
    String serverUrl;
    int connectTimeoutMs = 10000;
    int socketTimeoutMs = 100;
};

// What the last sign-in reply and connection gave.
struct LinkValues {
    String serverHost;
    int serverPort = 0;
    String ownUserId;
    String contactIds;
    String peerContactIds;
    // The dotted local address of the server connection.
    String localAddress;
};

// The program's link to the message server. On request it signs in over HTTP (always
// directly), connects to the message server the reply names (through the configured
// proxy), sends the sign-in frame first and from then on writes every queued frame and
// reads the server's, handing each complete one to its owner.
//
// Threads: the connection thread alone connects, reads, writes and closes the server
// socket, so a socket is never closed under a read or write and a closed descriptor
// number is never written to again; a sign-out only asks it to close. Any thread may
// queue frames: queueing is an append under a short lock, and a wake-up descriptor gets
// the thread to write them at once, also while it waits for the server. The link is
// visible to other threads only once it is connected.
class ConnectionThread : public Thread, private Message::Source {
public:
    enum RunState { NotStarted = 0, LoopRunning = 1, LoopEnded = 2 };
    // Why the link ended, as WM_CONNECTION_STATE carries it.
    enum Reason { SignedOut = 0, UnableToConnect = 1, ConnectionLost = 2 };
    // The status line of a sign-in that failed (reason UnableToConnect); it is set before
    // the state is reported.
    static constexpr const char* SignInFailedText = "Error Signing in the server.";

    // Waits and bounds; set before the thread starts.
    struct Timing {
        // One wait for the server's next bytes; the loop looks at its requests in between.
        int readTimeoutMs = 300;
        // How long the thread rests without a link before it looks again (a request wakes it).
        int idleWaitMs = 300;
        // The server must confirm the sign-in (frame 101) within this time, or the link is
        // given up as unable to connect.
        int signInReplyTimeoutMs = 30000;
        // A frame the server does not take within this time ends the link.
        int writeTimeoutMs = 30000;
        // The HTTP sign-in's time-out in seconds.
        int httpTimeoutSeconds = 60;
        // Frames that wait for the link, by count and by bytes; beyond either the oldest go.
        size_t maxPendingFrames = 2000;
        size_t maxPendingBytes = 8 * 1024 * 1024;
    };

    explicit ConnectionThread(LinkOwner& owner);
    ~ConnectionThread() override;

    void run() override;
    bool deleteWhenDone() override { return false; }
    // Asks the loop to end and waits for it; the link is closed without a report.
    void stop();

    // The proxy of the server link and of peer-channel connects; no credentials.
    void setProxy(const char* host, int port, int type);
    // Asks for a connect with these settings; the loop runs it on its next turn. Asking
    // while connected only sets the status text "Connecting...".
    void requestConnect(const LinkSettings& settings);
    // The sign-out: the link closes on the connection thread, which then reports
    // (signed out, SignedOut); without a link or a connect under way it is reported at once.
    void disconnect();
    // Takes the frame; NULL is ignored. Never waits for the network.
    void queueMessage(std::unique_ptr<Message> frame);

    // A new socket connected to the destination through the configured proxy within
    // timeoutMs (negative: the connect time-out), for a peer channel; the caller owns it.
    // NoSocket when it failed. Each call has a connector of its own, so channel threads
    // and the link never share one.
    SocketHandle connectThroughProxy(const SocketAddress& destination, int timeoutMs);

    int runState() const { return runState_.load(); }
    // A link exists and no sign-out is pending.
    bool isConnected() const;
    // The handle of the link, NoSocket without one.
    SocketHandle linkHandle() const;
    LinkValues values() const;
    String ownUserId() const;

    // The frames of the link (each queued; the own user id is the sender).
    void sendModuleMessage(const char* moduleId, const char* userId, const char* data);
    void sendModuleMessageToUsers(const char* moduleId, const StringArray& userIds, const char* data);
    void sendSessionMessage(const char* moduleId, const char* sessionId, const char* userId, const char* data,
                            bool canBeOffline);
    void sendSessionMessageToUsers(const char* moduleId, const char* sessionId, const StringArray& userIds,
                                   const char* data, bool canBeOffline);
    void sendGetUserInfo(const char* userId);
    void sendOpenServerChannel(const char* protocol, int connectionId, const std::vector<uint64_t>& participants);
    void sendAddContact(const char* contactName);
    void sendRemoveContact(const char* contactId);

    // Frames dropped from the full queue so far.
    uint64_t droppedFrames() const { return dropped_.load(); }

    Timing timing;

private:
    struct ProxySettings {
        String host;
        int port = 0;
        int type = ProxyDirect;
    };

    void loop();
    void connectLink();
    // The HTTP sign-in; the parsed success, or an exception.
    SignInReply signInOverHttp(const LinkSettings& settings);
    void queueSignIn(const LinkSettings& settings, const SignInReply& reply);
    // Closes the link when there is one; true when there was.
    bool closeLink();
    void dropLink(Reason reason);
    void flush();
    void writeFrame(const Message& frame);
    void wake();
    // Waits for a wake-up or the time; true when woken.
    bool waitForWake(int timeoutMs);
    bool hasRequests() const;
    int receive(void* buffer, int length, int timeoutMs) override;

    LinkOwner& owner_;
    WakeSignal wake_;
    std::atomic<int> runState_{NotStarted};
    std::atomic<bool> connectRequested_{false};
    std::atomic<bool> disconnectRequested_{false};
    std::atomic<uint64_t> dropped_{0};

    // Guards socket_ (as the other threads see it), the connect flags, settings_, values_,
    // proxy_.
    mutable std::mutex stateLock_;
    SocketHandle socket_ = NoSocket;
    // A connect asked for and not begun; and one under way.
    bool connectPending_ = false;
    bool connecting_ = false;
    LinkSettings settings_;
    LinkValues values_;
    ProxySettings proxy_;

    // Guards pending_ and pendingBytes_ only; the network is never touched under it.
    std::mutex queueLock_;
    std::deque<std::unique_ptr<Message>> pending_;
    size_t pendingBytes_ = 0;

    // The connection thread's own: the link's connector (it keeps a tunnel relay alive for
    // as long as the link), the reader of the current link and its input buffer.
    ProxyClient linkProxy_;
    std::unique_ptr<Message> reader_;
    bool signedIn_ = false;
    int64_t signInDeadline_ = 0;
    uint8_t input_[8192];
    int inputPosition_ = 0;
    int inputLength_ = 0;
};

} // namespace orvane
