#pragma once

#include "foundation/Socket.h"
#include "foundation/String.h"
#include "network/ConnectionDispatcher.h"

#include <mutex>

namespace orvane {

// Where the relay's sessions write their log lines. Nothing in the program installs one.
class TunnelLogSink {
public:
    virtual ~TunnelLogSink();
    virtual void logLine(const String& line) = 0;
};

// The tunnel configuration that every new session copies.
struct TunnelSettings {
    TunnelLogSink* logSink = nullptr;
    // The HTTP proxy through which the tunnel server is reached; port 0 means none (the
    // requests then go straight to the tunnel URL's host).
    SocketAddress proxyAddress;
    String tunnelUrl;
    // Bytes read from the local client per request.
    int chunkSize = 10000;
    // How long the local client has to send its CONNECT request, in seconds.
    int establishTimeoutSec = 30;
    String user;
    String password;
    String domain;
    int retryDelayMs = 500;
    int maxTries = 20;
    // Time-out of one request to the tunnel server, in seconds (the HTTP client's).
    int requestTimeoutSec = 60;
};

// The dispatcher of the relay's server: every accepted local connection becomes a
// TunnelRelaySession with a copy of the settings. The settings may be changed while the
// server runs (a ProxyClient refreshes them on every tunnel connect); a session keeps the
// copy it was made with.
class TunnelRelayDispatcher : public ConnectionDispatcher {
public:
    TunnelRelayDispatcher();
    ~TunnelRelayDispatcher() override;

    ConnectionHandler* createHandler() override;

    TunnelSettings getSettings();
    void setSettings(const TunnelSettings& settings);

private:
    std::mutex settingsLock;
    TunnelSettings settings;
};

} // namespace orvane
