#pragma once

#include "core/channels/PeerPort.h"
#include "foundation/Socket.h"
#include "foundation/String.h"
#include "foundation/XmlNode.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace orvane {

class ChannelRequest;
class ClientApp;
class IModuleConnection;
class SystemModule;

// How a TCP channel was made, for the user's diagnostics and the tests.
enum class TcpPath {
    None = 0,
    // To the peer's local address through the proxy, when its local and external
    // addresses are one.
    DirectLocalThroughProxy = 1,
    // To the peer's external address through the proxy, when the peer says it is reachable
    // there.
    DirectExternal = 2,
    // To the peer's local address without proxy (the same network).
    DirectLocal = 3,
    // The peer connected to this program.
    ConnectBack = 4,
    // Both sides joined the server's relay.
    Relay = 5,
};
const char* tcpPathName(TcpPath path);

// The TCP side of the system module: the server that takes the peers' direct connections,
// and the negotiation that tries every way of connecting two programs in a fixed order:
// direct to the peer, the peer connecting back, and last the server's relay. Every direct
// connection opens with a set-up record in a Packet frame, answered "SUCCESS" or "FAILED".
//
// Only connections this program has reason to expect are accepted: a CONNECT_DIRECT from a
// contact who asked for this program's addresses through the server within the
// negotiation's time, and a CONNECT_DIRECT_BACK that answers a CONNECT_BACK of a waiting
// opener, from the user it was sent to. Anything else is answered "FAILED" and closed.
//
// Threads: opening runs on the calling module's thread and blocks; the message handlers
// run on the user-interface thread and never connect there (a connect-back connects on a
// thread of its own); the accepted connections' set-up records are read, and decided, on
// the peer port's one thread.
class TcpChannelConnector {
public:
    // Waits of the negotiation; fields so that tests can shorten them.
    struct Timing {
        // The answer of an ASK, a CONNECT_BACK or the relay, each.
        int answerMs = 60000;
        // A connect without proxy to the peer's local address.
        int directConnectMs = 500;
        // A connect through the proxy (or directly when none is configured).
        int proxyConnectMs = 10000;
        // The listening side's answer to a set-up record. A first read over a slow proxy
        // can take a moment, so this is seconds rather than a fraction.
        int recordAnswerMs = 5000;
        // How long an accepted connection may take to send its set-up record: no longer than
        // an opener waits for the answer (recordAnswerMs), or the answer serves nobody.
        int recordWaitMs = 5000;
        // The relay's answer to a join.
        int relayJoinAnswerMs = 30000;
        // How long a contact's ASK makes its CONNECT_DIRECT welcome.
        int expectationMs = 60000;
    };

    explicit TcpChannelConnector(SystemModule& system);
    ~TcpChannelConnector();
    TcpChannelConnector(const TcpChannelConnector&) = delete;
    TcpChannelConnector& operator=(const TcpChannelConnector&) = delete;

    // Listens on the account's bind address and port (port 0: one the system chooses,
    // which is kept in memory only). LoopAcceptor::ListenException when it cannot.
    void start();
    void stop();
    // The port the server listens on; 0 while it does not.
    uint16_t boundPort() const { return boundPort_.load(); }

    // A channel to the user for the module, or NULL when every way failed. Blocks.
    IModuleConnection* openTcpChannel(const char* userId, const char* moduleId);
    // The path of the last channel this program opened.
    TcpPath lastPath() const { return lastPath_.load(); }
    // One direct attempt: the connected socket after "SUCCESS", else NoSocket.
    SocketHandle connectDirect(const String& address, int port, const XmlNode& record, bool throughProxy);

    // The system module's messages (user-interface thread).
    void onAskAddresses(const XmlNode& message, uint64_t sender);
    void onAddresses(const XmlNode& message, uint64_t sender);
    void onConnectBack(const XmlNode& message, uint64_t sender);
    void onJoinServerChannel(const XmlNode& message, uint64_t sender);
    // The server's answer to OPEN_SERVER_CHANNEL with protocol "tcp".
    void onServerChannelOpened(const XmlNode& reply);

    // What becomes of an accepted connection, from its set-up record (the peer port's
    // thread): the answer to write (none for a record that is no set-up record) and where the
    // socket goes.
    struct SetUpDecision {
        enum Action { Refuse, HandOver, DeliverBack };
        String answer;
        Action action = Refuse;
        String moduleId;
        uint64_t sender = 0;
        std::shared_ptr<ChannelRequest> request;
    };
    SetUpDecision decide(const XmlNode& record);
    // Gives the socket where the decision says (after its answer was written).
    void carryOut(const SetUpDecision& decision, SocketHandle socket);

    Timing timing;
    // The peer port's bounds (its record wait is timing.recordWaitMs); set before start.
    PeerPort& peerPort() { return port_; }

private:
    SocketHandle connectBack(const std::shared_ptr<ChannelRequest>& asked, uint64_t peer, const String& moduleId);
    SocketHandle relay(uint64_t peer, const String& moduleId);
    // Remembers that the contact asked for this program's addresses.
    void expectFrom(uint64_t sender);
    bool isExpected(uint64_t sender);

    SystemModule& system_;
    ClientApp& app_;
    std::atomic<uint16_t> boundPort_{0};
    std::atomic<TcpPath> lastPath_{TcpPath::None};

    std::mutex expectLock_;
    // Contact -> when its ASK stops making a CONNECT_DIRECT welcome (monotonic ms).
    std::map<uint64_t, int64_t> expected_;

    // Declared last: its thread, which calls decide, ends before the rest goes.
    PeerPort port_{*this};
};

} // namespace orvane
