#pragma once

#include "network/TCPServer.h"
#include "server/AccountEndpoint.h"
#include "server/AccountService.h"
#include "server/AccountStore.h"
#include "server/MessageEndpoint.h"
#include "server/MessageHub.h"
#include "server/ServerSettings.h"

#include <memory>

namespace orvane {

// The stand-in server: the store, the message server and the account endpoint, each face
// on its own TCPServer with its own pool.
class OrvaneServer {
public:
    explicit OrvaneServer(const ServerSettings& settings);
    // Stops both faces when they still run.
    ~OrvaneServer();
    OrvaneServer(const OrvaneServer&) = delete;
    OrvaneServer& operator=(const OrvaneServer&) = delete;

    // Opens the database and starts listening: the message server first, so that the
    // first sign-in reply can name its port. AccountStore::StoreException or
    // TCPServer::StartupException when either fails (nothing is left running).
    void start();
    // Ends every connection and waits for them.
    void stop();

    // The bound addresses, once started.
    SocketAddress httpAddress() const { return httpServer_.address; }
    SocketAddress messageAddress() const { return messageServer_.address; }
    const ServerSettings& settings() const { return settings_; }
    MessageHub& hub() { return *hub_; }
    AccountStore& store() { return *store_; }

private:
    ServerSettings settings_;
    std::unique_ptr<AccountStore> store_;
    std::unique_ptr<MessageHub> hub_;
    std::unique_ptr<AccountService> service_;
    // Declared after what their connections use and before the servers that feed them,
    // so they go after the servers and before the hub.
    std::unique_ptr<MessageDispatcher> messageDispatcher_;
    std::unique_ptr<AccountDispatcher> accountDispatcher_;
    TCPServer messageServer_;
    TCPServer httpServer_;
    bool running_ = false;
};

} // namespace orvane
