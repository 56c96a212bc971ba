#pragma once

#include "foundation/Containers.h"
#include "foundation/Socket.h"
#include "foundation/SocketInputStream.h"
#include "foundation/String.h"
#include "network/ConnectionHandler.h"
#include "network/HttpClient.h"
#include "network/HttpRequest.h"
#include "network/TunnelRelayDispatcher.h"

#include <cstdint>

namespace orvane {

// One local connection carried through the tunnel server. It reads the local client's
// CONNECT request, opens a tunnel with the first POST, answers the client "200 OK", and from
// then on polls the tunnel server with POSTs that carry what the client sent and bring back
// what is meant for it. Runs once, on a pool worker of the relay.
class TunnelRelaySession : public ConnectionHandler {
public:
    // The tunnel commands, sent as `cmd` in the query.
    enum Command { Open = 0, Data = 1, Close = 2 };

    // When the relay is being stopped, the close command is tried once, with at most this
    // time-out, instead of maxTries times with the full one.
    static constexpr int StopCloseTimeoutSec = 2;
    // Tunnel ids longer than this end the channel: the id goes into every later URL.
    static constexpr int MaxTunnelIdLength = 1024;

    TunnelRelaySession();
    explicit TunnelRelaySession(const TunnelSettings& settings);
    ~TunnelRelaySession() override;

    int32_t getRequestId() const { return requestId; }
    const String& getTunnelId() const { return tunnelId; }

protected:
    void handle() override;

    // Reads the CONNECT request within the establishment deadline and takes the destination
    // from it.
    void establish();
    // Feeds the request parser line by line; false when a read timed out before the head
    // was complete (the partial line stays in the stream).
    bool readRequestHead(SocketInputStream& stream, HttpRequest& head);
    void parseConnect();
    void relayLoop();
    void relayStep();
    // One command with the retry rule; returns after a request that succeeded, raises
    // CloseChannelException when the channel must end.
    void sendTunnelCommand(int cmd);
    String buildQuery(int cmd) const;

    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const String& getDescription();
    void sendToClient(const void* bytes, int length);

    TunnelLogSink* logSink = nullptr;
    String description;
    HttpClient httpClient;
    HttpRequest request;
    SocketAddress proxyAddress;
    String tunnelUrl;
    int chunkSize = 10000;
    int establishTimeoutSec = 60;
    String user;
    String password;
    String domain;
    int retryDelayMs = 500;
    int maxTries = 20;
    int requestTimeoutSec = HttpClient::DefaultTimeoutSeconds;
    int32_t requestId = 0;
    String destinationHost;
    int32_t destinationPort = 80;
    ByteArray outBuffer;
    ByteArray inBuffer;
    int64_t startTime = 0;
    int64_t establishDeadline = 0;
    String tunnelId;

    // The local client's receive time-out during the relay loop (poll without waiting).
    int localTimeoutMs = 0;
    // Set once the local client has been told "200 OK"; it is told only once.
    bool answered = false;
    // Set when the session ends because its worker is being stopped.
    bool stopping = false;
};

} // namespace orvane
