#include "network/ProxyClient.h"

#include "foundation/Clock.h"
#include "foundation/SocketInputStream.h"
#include "network/HttpResponse.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace orvane {

ProxyClient::ProxyException::~ProxyException() = default;
ProxyClient::HostException::~HostException() = default;
ProxyClient::ProxyAuthenticationRequiredException::~ProxyAuthenticationRequiredException() = default;
ProxyClient::ProxyUnknownAuthenticationRequiredException::~ProxyUnknownAuthenticationRequiredException() = default;
ProxyClient::ProxyNTLMAuthenticationRequiredException::~ProxyNTLMAuthenticationRequiredException() = default;
ProxyClient::ProxyBasicAuthenticationRequiredException::~ProxyBasicAuthenticationRequiredException() = default;
ProxyClient::ProxyDigestAuthenticationRequiredException::~ProxyDigestAuthenticationRequiredException() = default;
ProxyClient::ProxyAuthenticationFailedException::~ProxyAuthenticationFailedException() = default;

IProxyListener::~IProxyListener() = default;

NullProxyListener& NullProxyListener::instance()
{
    static NullProxyListener shared;
    return shared;
}

namespace {

const char kIncorrectVersion[] = "Failed: The proxy server replyed with incorrect SOCKS version: %d";
const char kReplyCode[] = "Failed: Reply code: %d - %s";

const char kTimeoutExpired[] = "Failed: Timeout expired.";
const char kSocketFailed[] = "Failed: Socket exception.";

int textLength(const String& s)
{
    return static_cast<int>(std::strlen(s.c_str()));
}

// One step of the exchange on the CONNECT path: a ProxyException passes as it is, any other
// failure becomes a ProxyException with the step's text.
template <class Step>
void connectStep(String& lastError, const char* failure, Step step)
{
    try {
        step();
    } catch (const ProxyClient::ProxyException&) {
        throw;
    } catch (const Exception&) {
        lastError = failure;
        throw ProxyClient::ProxyException();
    }
}

// One step of a SOCKS handshake: a time-out or a socket failure inside it becomes a Failure
// (a ProxyException or a HostException) with the matching text; the rest passes as it is.
template <class Failure, class Step>
void socksStep(String& lastError, const char* timeoutText, const char* socketText, Step step)
{
    try {
        step();
    } catch (const TimeoutException&) {
        lastError = timeoutText;
        throw Failure();
    } catch (const SocketException&) {
        lastError = socketText;
        throw Failure();
    }
}

} // namespace

ProxyClient::ProxyClient() : listener(&NullProxyListener::instance())
{
}

ProxyClient::~ProxyClient()
{
    stopRelay();
}

const char* ProxyClient::socksReplyText(uint8_t code)
{
    switch (code) {
    case 0: return "Success";
    case 1: return "General SOCKS Server failure";
    case 2: return "Can't connect to the destination host";
    case 3: return "Network Unreachable";
    case 4: return "Host Unreachable";
    case 5: return "Connection Refused";
    case 6: return "TTL Expired";
    case 7: return "Command not supported";
    case 8: return "Address Type not Supported";
    case 9: return "to 0xFF UnAssigned";
    case 90: return "Request GRANTED";
    case 91: return "Request REJECTED or FAILED";
    case 92: return "Request REJECTED - SOCKS server can't connect to Identd on the client";
    case 93: return "Request REJECTED - Client and Identd report diff user-ID";
    default: return "Unknown Command";
    }
}

int ProxyClient::timeLeft() const
{
    if (timeoutMs < 0)
        return -1;
    const int64_t left = deadline - monotonicMillis();
    return left > 0 ? static_cast<int>(left) : 0;
}

void ProxyClient::setProxy(const SocketAddress& proxy, uint8_t proxyType, const char* userText,
                           const char* passwordText, const char* domainText)
{
    proxyHost = proxy.getHostAddress();
    proxyPort = proxy.getPort();
    type = proxyType;
    user = userText ? userText : "";
    password = passwordText ? passwordText : "";
    domain = domainText ? domainText : "";
}

void ProxyClient::connect(Socket& socket, const char* host, uint16_t port, const char* proxyHostText,
                          uint16_t proxyPortNumber, uint8_t proxyType)
{
    // The texts may be this client's own fields (HttpClient passes proxyHost back in), so
    // they are copied before anything is assigned.
    const String newProxyHost(proxyHostText ? proxyHostText : "");
    const String newDestination(host ? host : "");
    lastError.clear();
    deadline = monotonicMillis() + (timeoutMs < 0 ? 0 : timeoutMs);
    proxyHost = newProxyHost;
    destinationHost = newDestination;
    proxyPort = proxyPortNumber;
    destinationPort = port;
    type = proxyType;
    switch (proxyType) {
    case ProxyDirect: connectDirect(socket); break;
    case ProxyHttps: connectHttps(socket); break;
    case ProxySocks4: connectSocks4(socket); break;
    case ProxySocks5: connectSocks5(socket); break;
    case ProxyHttpTunnel: connectViaTunnel(socket); break;
    case ProxyAutoDetect: connectAuto(socket); break;
    default:
        // Returning quietly would hand the caller an unconnected socket as if it were
        // connected.
        lastError.format("Failed: Unknown proxy type #%d", static_cast<int>(proxyType));
        throw ProxyException();
    }
}

void ProxyClient::connectTcp(Socket& socket, const char* host, uint16_t port)
{
    SocketAddress address;
    address.setHost(host, port);
    if (socket.handle == NoSocket)
        socket.create();
    connectSocketTimeout(socket.handle, address, timeLeft());
}

uint8_t ProxyClient::readProxyByte(Socket& socket)
{
    uint8_t b = 0;
    if (receive(socket.handle, &b, 1, timeLeft()) == 0) {
        lastError = "Timeout expired while reading data from proxy.";
        throw TimeoutException();
    }
    return b;
}

void ProxyClient::connectDirect(Socket& socket)
{
    listener->onConnectingToProxy();
    listener->onProxyConnected();
    listener->onConnectingToHost();
    connectTcp(socket, destinationHost, destinationPort);
    listener->onHostConnected();
}

// ---- HTTPS (CONNECT) ----

void ProxyClient::sendConnectRequest(Socket& socket, const char* authorization)
{
    const String auth(authorization ? authorization : "");
    if (!isSafeToken(destinationHost) || !isSafeHeaderValue(auth))
        throw HttpException();
    String text;
    text.format("CONNECT %s:%d HTTP/1.0\r\n", destinationHost.c_str(), static_cast<int>(destinationPort));
    if (authorization) {
        text.append("Proxy-Authorization: ");
        text += auth;
        text.append("\r\n");
    }
    text.append("Proxy-Connection: Keep-Alive\r\n\r\n");
    sendAll(socket.handle, text.c_str(), text.length());
}

void ProxyClient::readConnectHead(Socket& socket, HttpResponse& response)
{
    // The head is read in blocks but consumed exactly: each block is first looked at with
    // MSG_PEEK, and only the bytes up to the end of the head are taken off the socket.
    // Whatever follows belongs to the tunnel. Lines end at LF, a CR before it is dropped,
    // and each line is trimmed, as the line reader of a socket stream would hand them over.
    String pending;
    char block[2048];
    while (response.state < HttpMessage::Body) {
        if (!waitReadable(socket.handle, timeLeft()))
            throw TimeoutException();
        ssize_t seen;
        do {
            seen = ::recv(socket.handle, block, sizeof block, MSG_PEEK);
        } while (seen < 0 && errno == EINTR);
        if (seen < 0)
            throw SocketException();
        if (seen == 0)
            throw NoConnectionException(); // the proxy hung up inside the head
        int take = static_cast<int>(seen);
        int lineStart = 0;
        for (int i = 0; i < static_cast<int>(seen); ++i) {
            if (block[i] != '\n')
                continue;
            pending.append(block + lineStart, i - lineStart);
            lineStart = i + 1;
            pending.trim();
            pending.append("\r\n");
            response.parse(pending.c_str(), pending.length());
            pending.clear();
            if (response.state >= HttpMessage::Body) {
                take = i + 1;
                break;
            }
        }
        if (response.state < HttpMessage::Body) {
            pending.append(block + lineStart, take - lineStart);
            if (pending.length() > response.maxLineLength)
                throw HttpException();
        }
        ssize_t got;
        do {
            got = ::recv(socket.handle, block, static_cast<size_t>(take), 0);
        } while (got < 0 && errno == EINTR);
        if (got != take)
            throw SocketException();
    }
}

void ProxyClient::readConnectResponse(Socket& socket, HttpResponse& response)
{
    response.reset();
    response.maxBodySize = MaxConnectResponseBody;
    readConnectHead(socket, response);
    if (response.statusCode >= 200 && response.statusCode <= 299)
        return;
    // The body of a refusal is read so that a second request on the same connection (the
    // answer to a 407) starts at a message boundary. Its reads are exact by Content-Length.
    response.timeoutMs = timeLeft();
    SocketInputStream stream(socket);
    stream.setTimeoutMs(ConnectResponsePollMs);
    response.read(stream);
}

void ProxyClient::reconnectToProxy(Socket& socket)
{
    connectStep(lastError, CannotConnectText, [&] {
        socket.close();
        connectTcp(socket, proxyHost, proxyPort);
    });
}

void ProxyClient::connectRound(Socket& socket, const char* authorization, HttpResponse& answer)
{
    connectStep(lastError, CannotSendText, [&] { sendConnectRequest(socket, authorization); });
    connectStep(lastError, CannotReadText, [&] { readConnectResponse(socket, answer); });
}

void ProxyClient::connectHttps(Socket& socket)
{
    HttpResponse response;
    connectStep(lastError, CannotConnectText, [&] {
        listener->onConnectingToProxy();
        connectTcp(socket, proxyHost, proxyPort);
        listener->onProxyConnected();
    });
    connectStep(lastError, CannotSendText, [&] {
        listener->onConnectingToHost();
        sendConnectRequest(socket, nullptr);
    });
    connectStep(lastError, CannotReadText, [&] { readConnectResponse(socket, response); });
    const int status = response.statusCode;
    if (status == 407) {
        authenticate(socket, response);
    } else if (status < 200 || status > 299) {
        lastError.format("Bad HTTP Proxy response code: %d", status);
        throw HostException();
    }
    listener->onHostConnected();
}

// ---- SOCKS 4 / 4a ----

void ProxyClient::connectSocks4(Socket& socket)
{
    socksStep<ProxyException>(lastError, "Failed: Timeout expired while connecting to proxy.",
                              "Failed: Socket exception while connecting to proxy.", [&] {
                                  listener->onConnectingToProxy();
                                  connectTcp(socket, proxyHost, proxyPort);
                                  listener->onProxyConnected();
                              });
    socksStep<HostException>(lastError, kTimeoutExpired, kSocketFailed, [&] {
        listener->onConnectingToHost();
        socks4Request(socket);
        listener->onHostConnected();
    });
}

void ProxyClient::socks4Request(Socket& socket)
{
    uint32_t address = 0;
    bool sendName = false;
    try {
        address = resolveHost(destinationHost);
    } catch (const UnknownHostException&) {
        // SOCKS 4a: an address of 0.0.0.x with x not 0 tells the proxy that the name follows.
        address = htonl(0x000000FFu);
        sendName = true;
    }
    const int nameLength = textLength(destinationHost);
    if (sendName && nameLength > MaxSocksField) {
        lastError = "Failed: Host name longer than 255 bytes.";
        throw HostException();
    }
    const int userLength = textLength(user);
    ByteArray request;
    request.setCapacity(9 + userLength + (sendName ? nameLength + 1 : 0));
    const uint8_t head[8] = {
        0x04, 0x01, static_cast<uint8_t>(destinationPort >> 8), static_cast<uint8_t>(destinationPort & 0xFF),
        0, 0, 0, 0};
    request.write(0, head, 8);
    std::memcpy(request.data() + 4, &address, 4); // already in network order
    request.write(8, user.c_str(), userLength);
    const uint8_t zero = 0;
    request.write(request.count(), &zero, 1);
    if (sendName) {
        request.write(request.count(), destinationHost.c_str(), nameLength);
        request.write(request.count(), &zero, 1);
    }
    sendAll(socket.handle, request.data(), request.count());

    uint8_t reply[8];
    for (uint8_t& b : reply)
        b = readProxyByte(socket);
    const int vn = reply[0];
    const int cd = reply[1];
    if (vn != 0) {
        lastError.format(kIncorrectVersion, vn);
        throw ProxyException();
    }
    if (cd == 90)
        return;
    lastError.format(kReplyCode, cd, socksReplyText(static_cast<uint8_t>(cd)));
    if (cd == 92)
        throw HostException();
    throw ProxyException();
}

// ---- SOCKS 5 ----

void ProxyClient::connectSocks5(Socket& socket)
{
    // Each of these goes out behind a one-byte length; a longer one would be cut and the
    // rest read by the proxy as the next field. Refused before anything is sent.
    if (textLength(user) > MaxSocksField || textLength(password) > MaxSocksField) {
        lastError = "Failed: User name or password longer than 255 bytes.";
        throw ProxyException();
    }
    if (textLength(destinationHost) > MaxSocksField) {
        lastError = "Failed: Host name longer than 255 bytes.";
        throw HostException();
    }
    socksStep<ProxyException>(lastError, kTimeoutExpired, kSocketFailed, [&] {
        listener->onConnectingToProxy();
        connectTcp(socket, proxyHost, proxyPort);
        listener->onProxyConnected();
        socks5Greeting(socket);
    });
    socksStep<HostException>(lastError, kTimeoutExpired, kSocketFailed, [&] {
        listener->onConnectingToHost();
        socks5Connect(socket);
        listener->onHostConnected();
    });
}

void ProxyClient::socks5Greeting(Socket& socket)
{
    const bool withUser = !user.isEmpty();
    static const uint8_t anonymous[] = {0x05, 0x01, 0x00};
    static const uint8_t withPassword[] = {0x05, 0x02, 0x00, 0x02};
    if (withUser)
        sendAll(socket.handle, withPassword, sizeof withPassword);
    else
        sendAll(socket.handle, anonymous, sizeof anonymous);
    const int version = readProxyByte(socket);
    const int method = readProxyByte(socket);
    if (version != 5) {
        lastError.format(kIncorrectVersion, version);
        throw ProxyException();
    }
    switch (method) {
    case 0x00:
        return;
    case 0xFF:
        if (!withUser) {
            lastError = "Proxy server requires authentication.";
            throw ProxyAuthenticationRequiredException();
        }
        lastError = "Proxy server responded with: No acceptable authentication methods.";
        throw ProxyException();
    case 0x02: {
        if (!withUser)
            throw ProxyAuthenticationRequiredException();
        const int userLength = textLength(user);
        const int passwordLength = textLength(password);
        ByteArray request;
        request.setCapacity(3 + userLength + passwordLength);
        const uint8_t version1 = 0x01;
        const uint8_t userByte = static_cast<uint8_t>(userLength);
        const uint8_t passwordByte = static_cast<uint8_t>(passwordLength);
        request.write(0, &version1, 1);
        request.write(1, &userByte, 1);
        request.write(2, user.c_str(), userLength);
        request.write(request.count(), &passwordByte, 1);
        request.write(request.count(), password.c_str(), passwordLength);
        sendAll(socket.handle, request.data(), request.count());
        readProxyByte(socket);
        if (readProxyByte(socket) != 0) {
            lastError = "Invalid Username/Password authentication.";
            throw ProxyException();
        }
        return;
    }
    default:
        lastError = "Proxy requires unsupported authentication method.";
        throw ProxyException();
    }
}

void ProxyClient::socks5Connect(Socket& socket)
{
    const int nameLength = textLength(destinationHost);
    ByteArray request;
    request.setCapacity(7 + nameLength);
    const uint8_t head[5] = {0x05, 0x01, 0x00, 0x03, static_cast<uint8_t>(nameLength)};
    request.write(0, head, 5);
    request.write(5, destinationHost.c_str(), nameLength);
    const uint8_t port[2] = {static_cast<uint8_t>(destinationPort >> 8), static_cast<uint8_t>(destinationPort & 0xFF)};
    request.write(request.count(), port, 2);
    sendAll(socket.handle, request.data(), request.count());

    const int version = readProxyByte(socket);
    const int reply = readProxyByte(socket);
    readProxyByte(socket); // reserved
    const int addressType = readProxyByte(socket);
    int addressLength;
    switch (addressType) {
    case 1:
        addressLength = 4;
        break;
    case 3:
        addressLength = readProxyByte(socket);
        if (addressLength == 0) {
            lastError = "Failed: Proxy returned an invalid host name length";
            throw ProxyException();
        }
        break;
    case 4:
        // Read whole: leaving its bytes in the socket would hand them to the caller as
        // the destination's first data.
        addressLength = 16;
        break;
    default:
        lastError.format("Failed: Unsupported address type #%d", addressType);
        throw ProxyException();
    }
    for (int i = 0; i < addressLength + 2; ++i) // the bound address, then its port
        readProxyByte(socket);
    if (version != 5) {
        lastError.format(kIncorrectVersion, version);
        throw ProxyException();
    }
    if (reply == 0)
        return;
    lastError.format(kReplyCode, reply, socksReplyText(static_cast<uint8_t>(reply)));
    if (reply == 3 || reply == 4 || reply == 6)
        throw HostException();
    throw ProxyException();
}

// ---- Tunnel and AutoDetect ----

void ProxyClient::connectViaTunnel(Socket& socket)
{
    const uint16_t relayPort = startRelay();
    const String host(destinationHost);
    connect(socket, host, destinationPort, "127.0.0.1", relayPort, ProxyHttps);
}

void ProxyClient::connectAuto(Socket& socket)
{
    const String host(destinationHost);
    const uint16_t port = destinationPort;
    const String viaHost(proxyHost);
    const uint16_t viaPort = proxyPort;
    uint8_t attempts[4] = {ProxyHttps, ProxySocks5, ProxySocks4, ProxyHttpTunnel};
    const int count = tunnelUrl.isEmpty() ? 3 : 4;
    for (int i = 0; i < count; ++i) {
        try {
            // Each nested connect starts its own deadline.
            connect(socket, host, port, viaHost, viaPort, attempts[i]);
            return;
        } catch (const Exception&) {
            if (socket.handle != NoSocket) {
                closeSocket(socket.handle);
                socket.handle = NoSocket;
            }
            socket.create();
        }
    }
    // Detection starts again next time rather than sticking to the last type tried.
    type = ProxyAutoDetect;
    proxyHost = viaHost;
    proxyPort = viaPort;
    lastError = "Unknown proxy type";
    throw ProxyException();
}

} // namespace orvane
