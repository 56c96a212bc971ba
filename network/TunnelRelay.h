#pragma once

#include "network/TCPServer.h"
#include "network/TunnelRelayDispatcher.h"

#include <cstdint>

namespace orvane {

// The local end of the TCP-over-HTTP tunnel: a server on 127.0.0.1 that takes HTTP CONNECT
// requests, as an HTTPS proxy would, and carries each connection as HTTP requests to a
// tunnel server. Created and owned by a ProxyClient.
class TunnelRelay {
public:
    // Bound to 127.0.0.1 with a port the system chooses.
    TunnelRelay();
    // Stops the relay and waits for it (every session included) before it goes.
    ~TunnelRelay();
    TunnelRelay(const TunnelRelay&) = delete;
    TunnelRelay& operator=(const TunnelRelay&) = delete;

    // Returns once the server listens; TCPServer::StartupException when it cannot.
    void start();
    // Ends the accept loop and waits until every running session has finished.
    void stop();
    // The port the server listens on (valid once started).
    uint16_t getPort() const;

    TCPServer server;
    TunnelRelayDispatcher dispatcher;
};

} // namespace orvane
