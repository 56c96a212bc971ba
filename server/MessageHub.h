#pragma once

#include "core/Message.h"
#include "foundation/Containers.h"
#include "foundation/Socket.h"
#include "foundation/String.h"
#include "server/AccountStore.h"
#include "server/RelaySessions.h"
#include "server/ServerFrames.h"
#include "server/ServerSettings.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace orvane {

class MessageHub;

// Where the frames for one client go. Any thread may send; nothing waits for the network.
class SessionOutput {
public:
    virtual ~SessionOutput();
    // Queues one whole frame. False when the output is closed, or when the frame would pass
    // the bound on what may wait for this client (the output then closes itself).
    virtual bool send(const uint8_t* frame, int length) = 0;
    // Asks the connection to end; it does so on its own thread.
    virtual void requestClose() = 0;
};

// What a sign-in frame claims, to be checked against the store.
struct SignInRequest {
    String userName;
    String password;
    // The id the frame names, as written; empty when it names none.
    String userId;
};

// The answer of the store to a SignInRequest.
struct SignInCheck {
    bool passwordMatches = false;
    // The store failed before it could tell.
    bool storeFailed = false;
    // The account, when the password matches.
    AccountRecord account;
};

// Where a session's password check runs when it must not run on the session's thread: the
// check computes a deliberately slow hash. The checker answers later, on the session's
// thread, with ClientSession::finishSignIn.
class SignInChecker {
public:
    virtual ~SignInChecker();
    virtual void checkLater(const SignInRequest& request) = 0;
};

// One client's conversation with the message server: the sign-in frame first, then module
// messages, session messages and commands. The sender of everything it passes on is the
// account that signed in on this connection, whatever the frame's own sender field says.
//
// Used by one thread (the connection's); it reaches other clients only through the hub.
// Without a checker the password of the sign-in frame is checked at once, on that thread;
// with one, the session waits for the check (isCheckingSignIn), and the frames that follow
// the sign-in frame are the caller's to keep until finishSignIn.
class ClientSession {
public:
    enum ReadResult { FrameTaken, NoFrameYet, SessionEnded };

    // `peer` is the client's address as this end of the connection sees it.
    ClientSession(MessageHub& hub, SessionOutput& output, const SocketAddress& peer,
                  SignInChecker* checker = nullptr);
    // Leaves the hub when still signed in.
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Reads with the reader until one frame is complete and handles it. NoFrameYet when its
    // time-out passed first (the partial frame stays in the reader); SessionEnded when the
    // connection ended or a frame was refused, which is logged.
    ReadResult readFrame(Message& reader);
    // Handles one complete frame; false (logged) when it is refused and the connection
    // must close.
    bool onFrame(const Message& frame);
    // Leaves the hub; the account's watchers see it go offline when this was its last
    // connection. Further calls do nothing.
    void end();

    // The slow part of a sign-in: the password against the store's hash. Any thread.
    static SignInCheck checkSignIn(AccountStore& store, const SignInRequest& request);
    // Completes the sign-in that waited for its check, or refuses it (false, logged: the
    // connection must close).
    bool finishSignIn(const SignInRequest& request, const SignInCheck& check);

    bool isSignedIn() const { return signedIn_; }
    bool isCheckingSignIn() const { return checking_; }
    uint64_t getUserId() const { return account_.id; }
    const AccountRecord& getAccount() const { return account_; }
    const SocketAddress& getPeer() const { return peer_; }
    // The server's end of the connection: where the client reached the server, and so an
    // address by which it reaches a relay that listens on every interface.
    void setLocalAddress(const SocketAddress& local) { local_ = local; }
    const SocketAddress& localAddress() const { return local_; }
    // The address reported to the client and to its contacts, in network order.
    uint32_t externalAddress() const { return externalAddress_; }
    SessionOutput& output() { return output_; }
    // "address:port" and, once signed in, "user #id", for log lines.
    String describe() const;

    // Sends a frame to this client, built here; false when the output refused it.
    bool sendFrame(uint8_t type, uint64_t sender, const uint8_t* body, int length);
    bool sendFrame(uint8_t type, uint64_t sender, const XmlNode& body);

private:
    bool refuse(const char* why);
    // Runs the handling of a frame; a failure of the store or of memory on the way
    // refuses the frame.
    template <class Handling> bool refusingFailures(Handling&& handling);
    bool onSignIn(const Message& frame);
    bool completeSignIn(const SignInRequest& request, const SignInCheck& check);
    bool onRelayed(const Message& frame);
    bool onCommand(const Message& frame);
    bool addContact(const XmlNode& command);
    bool removeContact(const XmlNode& command);
    bool userInfo(const Message& frame);
    bool openServerChannel(const XmlNode& command);

    MessageHub& hub_;
    SessionOutput& output_;
    SignInChecker* checker_;
    SocketAddress peer_;
    SocketAddress local_;
    uint32_t externalAddress_;
    AccountRecord account_;
    bool signedIn_ = false;
    bool checking_ = false;
};

// The message server's shared state: who is signed in on which connections, and the
// fan-out of presence and messages between them. One lock guards it; every frame that
// crosses from one client to another is queued under that lock, so a session that has
// left the hub is never sent to, and presence changes reach every watcher in the order
// they happened.
class MessageHub {
public:
    enum SignInResult { SignedIn, TooManySessions };
    enum DeliveryResult { Delivered, HeldForLater, RecipientOffline, UnknownRecipient, HoldRefused };

    MessageHub(AccountStore& store, const ServerSettings& settings);
    ~MessageHub();
    MessageHub(const MessageHub&) = delete;
    MessageHub& operator=(const MessageHub&) = delete;

    AccountStore& store() { return store_; }
    const ServerSettings& settings() const { return settings_; }
    // The channel relay's sessions, where OPEN_SERVER_CHANNEL opens them; NULL when the
    // server has no relay (the command is then refused). Set before clients come.
    void setRelay(RelaySessions* relay) { relay_ = relay; }
    RelaySessions* relay() const { return relay_; }

    // Registers a session whose account has been checked and sends it, in this order, the
    // signed-in frame, the presence of its online contacts and the frames held for it;
    // when it is the account's first connection its watchers see it come online.
    SignInResult signIn(ClientSession& session);
    // Removes the session; the last one of an account takes it offline for its watchers.
    void signOut(ClientSession& session);
    // A module or session message from a signed-in session to the recipient's connections,
    // or held for later when it is a session message that may wait and the recipient
    // exists but is offline.
    DeliveryResult deliver(ClientSession& from, uint8_t type, uint64_t recipient, const ByteArray& body,
                           bool canBeOffline);
    // After a contact was added to the session's list: the reply to the session, then the
    // contact's presence when it is online.
    void confirmContactAdded(ClientSession& session, const AccountRecord& contact, const XmlNode& reply);

    // True when the account has a connection that comes from this address (network order).
    bool isSignedInFrom(uint64_t userId, uint32_t address);
    int sessionCount(uint64_t userId);

private:
    // All under lock_.
    void welcome(ClientSession& session, bool first);
    PresenceRecord presenceOf(uint64_t userId);
    void sendToAccount(uint64_t userId, const Message& frame);
    void notifyWatchers(uint64_t userId, const PresenceRecord& record);

    AccountStore& store_;
    const ServerSettings& settings_;
    RelaySessions* relay_ = nullptr;
    std::mutex lock_;
    std::map<uint64_t, std::vector<ClientSession*>> online_;
};

} // namespace orvane
