#pragma once

#include "network/EventLoop.h"
#include "network/WorkQueue.h"
#include "server/AccountEndpoint.h"
#include "server/AccountService.h"
#include "server/AccountStore.h"
#include "server/ChannelRelay.h"
#include "server/MessageEndpoint.h"
#include "server/MessageHub.h"
#include "server/ServerSettings.h"

#include <memory>

namespace orvane {

// Makes the named accounts where they are missing (an existing one keeps its password) and
// lists every one of them in every other's list.
void makeDemoAccounts(AccountStore& store, const std::vector<std::pair<String, String>>& accounts);

// The stand-in server: the store, the message server and the account endpoint, and when
// asked for, the channel relay. Both faces run on one event loop thread, which never waits:
// password hashes (sign-in frames and the account forms) go to a fixed number of password
// workers. So the server's threads are the loop and the workers, however many clients come
// and go, and the relay's own loop (server/ChannelRelay.h says why it has one).
class OrvaneServer {
public:
    explicit OrvaneServer(const ServerSettings& settings);
    // Stops the server when it still runs.
    ~OrvaneServer();
    OrvaneServer(const OrvaneServer&) = delete;
    OrvaneServer& operator=(const OrvaneServer&) = delete;

    // Opens the database and starts listening: the relay and the message server first, so
    // that the first sign-in reply can name its port and the first command the relay's. The connection bounds are lowered, with a log
    // line, when the process may not open enough descriptors for them.
    // AccountStore::StoreException, LoopAcceptor::ListenException or ThreadCreateException
    // when a step fails (nothing is left running).
    void start();
    // Ends every connection: the loop stops, the password workers finish the hash at hand,
    // and each connection closes, its session leaving the hub.
    void stop();

    // The bound addresses, once started.
    SocketAddress httpAddress() const { return httpAddress_; }
    SocketAddress messageAddress() const { return messageAddress_; }
    // The relay's bound address; NULL without a relay.
    const SocketAddress* relayAddress() const { return relay_ ? &relay_->address() : nullptr; }
    ChannelRelay* relay() { return relay_.get(); }
    const ServerSettings& settings() const { return settings_; }
    MessageHub& hub() { return *hub_; }
    AccountStore& store() { return *store_; }
    // The connection bounds in force, once started.
    // Password hashes waiting for a worker, in all and from one address (host order).
    int hashesWaiting() { return passwordWorkers_ ? passwordWorkers_->waiting() : 0; }
    int hashesWaitingFrom(uint32_t address)
    {
        // The workers' lines are keyed by the address as a socket holds it.
        return passwordWorkers_ ? passwordWorkers_->waiting(htonl(address)) : 0;
    }
    int maxMessageConnections() const { return maxMessageConnections_; }
    int maxHttpConnections() const { return maxHttpConnections_; }
    int maxRelaySessions() const { return maxRelaySessions_; }

private:
    void sizeForDescriptors();

    ServerSettings settings_;
    std::unique_ptr<AccountStore> store_;
    std::unique_ptr<MessageHub> hub_;
    std::unique_ptr<AccountService> service_;
    // The loop and the workers outlive the faces, whose connections they serve; the faces
    // go first, closing their connections while the hub still stands.
    std::unique_ptr<EventLoop> loop_;
    std::unique_ptr<WorkQueue> passwordWorkers_;
    // Stopped after the message loop, so that no command opens a session meanwhile; gone
    // after the faces, whose sessions' hub points at its sessions.
    std::unique_ptr<ChannelRelay> relay_;
    std::unique_ptr<MessageServer> messageServer_;
    std::unique_ptr<AccountServer> accountServer_;
    SocketAddress httpAddress_;
    SocketAddress messageAddress_;
    int maxMessageConnections_ = 0;
    int maxHttpConnections_ = 0;
    int maxRelaySessions_ = 0;
    bool running_ = false;
};

// Raises the process's soft limit on open descriptors to its hard limit (every connection
// takes one); the limit now in force.
long raiseOpenFileLimit();

} // namespace orvane
