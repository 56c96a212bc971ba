#pragma once

#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

class HttpResponse;
class TunnelRelay;

// How a connection reaches its destination. HttpClient reads value 4 with a meaning of its
// own: a plain HTTP proxy that takes absolute-URL requests.
enum ProxyType : uint8_t {
    ProxyDirect = 0,
    ProxyHttps = 1,      // TCP to the proxy, then CONNECT
    ProxySocks4 = 2,     // SOCKS 4, or 4a when the destination does not resolve here
    ProxySocks5 = 3,     // with user name and password when a user is set
    ProxyHttpTunnel = 4, // through the local TCP-over-HTTP relay
    ProxyAutoDetect = 5, // Https, Socks5, Socks4, then (with a tunnel URL) HttpTunnel
};

// Progress of a connect, for whoever shows it.
class IProxyListener {
public:
    virtual ~IProxyListener();
    virtual void onConnectingToProxy() = 0;
    virtual void onProxyConnected() = 0;
    virtual void onConnectingToHost() = 0;
    virtual void onHostConnected() = 0;
};

class NullProxyListener : public IProxyListener {
public:
    // The one shared, stateless instance every client starts with.
    static NullProxyListener& instance();

    void onConnectingToProxy() override {}
    void onProxyConnected() override {}
    void onConnectingToHost() override {}
    void onHostConnected() override {}
};

// Connects a caller's TCP socket to a destination, directly or through a proxy, under one
// deadline. Failures are typed exceptions; `lastError` says why in words.
class ProxyClient {
public:
    // The proxy failed or refused.
    ORVANE_EXCEPTION(ProxyException, Exception);
    // The proxy was reached but the destination could not be.
    ORVANE_EXCEPTION(HostException, Exception);
    // The proxy asks for credentials (SOCKS 5 without a user, or a 407 that cannot be
    // answered); the subclasses name the scheme the proxy asked for.
    ORVANE_EXCEPTION(ProxyAuthenticationRequiredException, ProxyException);
    ORVANE_EXCEPTION(ProxyUnknownAuthenticationRequiredException, ProxyAuthenticationRequiredException);
    ORVANE_EXCEPTION(ProxyNTLMAuthenticationRequiredException, ProxyAuthenticationRequiredException);
    ORVANE_EXCEPTION(ProxyBasicAuthenticationRequiredException, ProxyAuthenticationRequiredException);
    ORVANE_EXCEPTION(ProxyDigestAuthenticationRequiredException, ProxyAuthenticationRequiredException);
    // The proxy refused the credentials.
    ORVANE_EXCEPTION(ProxyAuthenticationFailedException, ProxyException);

    // The longest user name, password or host name a SOCKS request can carry.
    static constexpr int MaxSocksField = 255;
    // Read time-out of the socket stream under the CONNECT answer; the deadline still rules.
    static constexpr int ConnectResponsePollMs = 200;
    // Error pages of proxies are small; more is refused.
    static constexpr int MaxConnectResponseBody = 1024 * 1024;

    uint8_t type = ProxyDirect;
    String proxyHost;
    uint16_t proxyPort = 0;
    String user;
    String password;
    String domain;
    String destinationHost;
    uint16_t destinationPort = 0;
    String lastError;
    IProxyListener* listener;
    // A negative value means no deadline.
    int32_t timeoutMs = 15000;
    // On the monotonic clock, in milliseconds.
    int64_t deadline = 0;
    TunnelRelay* relay = nullptr;
    String tunnelUrl;
    int32_t tunnelRetryDelayMs = 500;

    ProxyClient();
    ~ProxyClient();
    ProxyClient(const ProxyClient&) = delete;
    ProxyClient& operator=(const ProxyClient&) = delete;

    // Leaves the socket connected (and negotiated) to the destination, creating its handle
    // when it has none. An unknown type is a ProxyException.
    void connect(Socket& socket, const char* host, uint16_t port, const char* proxyHostText,
                 uint16_t proxyPortNumber, uint8_t proxyType);
    void setProxy(const SocketAddress& proxy, uint8_t proxyType, const char* userText,
                  const char* passwordText, const char* domainText);

    // Milliseconds until the deadline (0 once past), -1 without one.
    int timeLeft() const;

    static const char* socksReplyText(uint8_t code);

private:
    void connectDirect(Socket& socket);
    void connectHttps(Socket& socket);
    void connectSocks4(Socket& socket);
    void connectSocks5(Socket& socket);
    void connectViaTunnel(Socket& socket);
    void connectAuto(Socket& socket);

    void connectTcp(Socket& socket, const char* host, uint16_t port);
    uint8_t readProxyByte(Socket& socket);
    // "CONNECT host:port HTTP/1.0", the Proxy-Authorization header when a value is given,
    // and "Proxy-Connection: Keep-Alive" (without it a proxy may close an HTTP/1.0 CONNECT
    // after its answer, which breaks every handshake that needs a second round).
    void sendConnectRequest(Socket& socket, const char* authorization);
    // Reads the answer head; a body only when the answer is not 2xx (after a 2xx the
    // connection carries the tunnel, and any byte read from it would be lost).
    void readConnectResponse(Socket& socket, HttpResponse& response);
    // The head of the answer up to its empty line, and not one byte further.
    void readConnectHead(Socket& socket, HttpResponse& response);

    // What lastError says when a step of a CONNECT exchange fails.
    static constexpr const char* CannotConnectText = "Cannot connect HTTPS Proxy";
    static constexpr const char* CannotSendText = "Exception while sending HTTPS Proxy request";
    static constexpr const char* CannotReadText = "Exception while reading HTTPS Proxy response";
    // Closes the socket and connects it to the proxy anew; a failure is a ProxyException.
    void reconnectToProxy(Socket& socket);
    // Sends a CONNECT (with the Proxy-Authorization value when one is given) and reads its
    // answer; a failure is a ProxyException with the failed step's text.
    void connectRound(Socket& socket, const char* authorization, HttpResponse& answer);

    void socks4Request(Socket& socket);
    void socks5Greeting(Socket& socket);
    void socks5Connect(Socket& socket);

    // The TCP-over-HTTP relay (ProxyClientTunnel.cpp): starts the relay, or refreshes the
    // settings of the running one, and answers the port it listens on; and stops it.
    uint16_t startRelay();
    void stopRelay();

    // The answer to a 407 on CONNECT (ProxyAuthentication.cpp): returns when an
    // authenticated CONNECT was answered with 2xx, the socket then carrying the tunnel.
    void authenticate(Socket& socket, HttpResponse& response);
    void authenticateNtlm(Socket& socket);
    void authenticateBasic(Socket& socket);
    void authenticateDigest(Socket& socket, HttpResponse& response);
};

} // namespace orvane
