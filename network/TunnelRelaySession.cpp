#include "network/TunnelRelaySession.h"

#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Thread.h"
#include "network/ProxyClient.h"

#include <cstdarg>

namespace orvane {

namespace {

int64_t nowSeconds()
{
    return currentTimeMillis() / 1000;
}

// The id and the host go into the query of every URL. Their ordinary bytes (letters, digits,
// '-', '.', '_', '~') stay as they are; any other byte is escaped, so that nothing a peer
// sends can add a query field or break the request line.
String queryValue(const String& text)
{
    static const char hex[] = "0123456789ABCDEF";
    String out;
    for (int i = 0; i < text.length(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text.at(i));
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                           || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out.append(static_cast<char>(c));
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 15]);
        }
    }
    return out;
}

} // namespace

TunnelRelaySession::TunnelRelaySession() = default;

TunnelRelaySession::TunnelRelaySession(const TunnelSettings& s)
    : logSink(s.logSink), proxyAddress(s.proxyAddress), tunnelUrl(s.tunnelUrl),
      chunkSize(s.chunkSize > 0 ? s.chunkSize : 1), establishTimeoutSec(s.establishTimeoutSec),
      user(s.user), password(s.password), domain(s.domain), retryDelayMs(s.retryDelayMs),
      maxTries(s.maxTries > 0 ? s.maxTries : 1), requestTimeoutSec(s.requestTimeoutSec)
{
}

TunnelRelaySession::~TunnelRelaySession() = default;

void TunnelRelaySession::log(const char* format, ...)
{
    if (!logSink)
        return;
    String text;
    va_list args;
    va_start(args, format);
    text.formatV(format, args);
    va_end(args);
    String line;
    line.format("Relay %s> %s -> %s", tunnelId.c_str(), text.c_str(), getDescription().c_str());
    logSink->logLine(line);
}

const String& TunnelRelaySession::getDescription()
{
    if (description.isEmpty()) {
        const SocketAddress peer = getPeerAddress(socket.handle);
        try {
            const String name = peer.getHostName();
            description.format("<%s/%s:%d>", name.c_str(), peer.getHostAddress().c_str(),
                               static_cast<int>(peer.getPort()));
        } catch (const UnknownHostException&) {
            description.format("<%s:%d>", peer.getHostAddress().c_str(), static_cast<int>(peer.getPort()));
        }
    }
    return description;
}

void TunnelRelaySession::sendToClient(const void* bytes, int length)
{
    sendAll(socket.handle, bytes, length);
}

void TunnelRelaySession::handle()
{
    log("Accepted connection");
    startTime = nowSeconds();
    establishDeadline = startTime + establishTimeoutSec;
    try {
        establish();
        relayLoop();
    } catch (const CloseChannelException&) {
        log("Closing channel");
    } catch (const Exception&) {
        log("Uncaught exception");
    }
    // A relay that is being stopped waits for this session: its goodbye to the tunnel
    // server gets one short try, not maxTries of the full request time-out.
    Thread* worker = Thread::currentThread();
    stopping = worker && worker->isStopRequested();
    outBuffer.setSize(0);
    sendTunnelCommand(Close);
    close();
    log("Channel closed");
}

void TunnelRelaySession::establish()
{
    request.reset();
    SocketInputStream stream(socket);
    stream.setTimeoutMs(100);
    bool complete = false;
    while (isRunning()) {
        Thread::checkStop();
        if (nowSeconds() > establishDeadline) {
            log("Session establishment timeout expired");
            throw CloseChannelException();
        }
        if (readRequestHead(stream, request)) {
            complete = true;
            break;
        }
    }
    if (!complete)
        return;
    parseConnect();
}

bool TunnelRelaySession::readRequestHead(SocketInputStream& stream, HttpRequest& head)
{
    while (head.state < HttpMessage::Body) {
        String line;
        try {
            line = stream.readLine();
        } catch (const TimeoutException&) {
            return false;
        }
        // A client that leaves before its request is complete has nothing to connect; the
        // empty line that the end of the stream gives would otherwise end the head.
        if (stream.atEnd())
            throw NoConnectionException();
        line.trim();
        line += "\r\n";
        head.parse(line.c_str(), line.length());
    }
    return true;
}

void TunnelRelaySession::parseConnect()
{
    String method = request.method;
    method.toUpper();
    if (method != "CONNECT") {
        log("Bad method: %s", request.method.c_str());
        throw CloseChannelException();
    }
    // The parser reads the target as host and port only for a method spelled exactly
    // "CONNECT"; in any other spelling the target was taken for a path.
    if (request.method != "CONNECT" && !request.path.isEmpty() && !request.path.startsWith("/"))
        request.setHost(request.path);
    destinationHost = request.getHost();
    destinationPort = request.port;
}

void TunnelRelaySession::relayLoop()
{
    localTimeoutMs = 0;
    while (isRunning()) {
        Thread::checkStop();
        relayStep();
    }
}

void TunnelRelaySession::relayStep()
{
    bool clientClosed = false;
    outBuffer.setSize(chunkSize);
    try {
        const int n = receive(socket.handle, outBuffer.data(), chunkSize, localTimeoutMs);
        outBuffer.setSize(n);
    } catch (const Exception&) {
        log("Client socket closed");
        clientClosed = true;
        outBuffer.setSize(0);
    }

    sendTunnelCommand(tunnelId.isEmpty() ? Open : Data);

    const int status = httpClient.response.statusCode;
    if (status != 200) {
        log("Response code: %d", status);
        if (!answered) {
            String line;
            line.format("HTTP/1.0 %d %s\r\n", status, "Cannot connect");
            line += "\r\n";
            sendToClient(line.c_str(), line.length());
        }
        close();
        return;
    }
    if (!answered) {
        String line;
        line.format("HTTP/1.0 %d %s\r\n", 200, "OK");
        line += "\r\n";
        sendToClient(line.c_str(), line.length());
        answered = true;
    }

    const int count = inBuffer.count();
    int lf = -1;
    for (int i = 0; i < count; ++i) {
        if (inBuffer[i] == '\n') {
            lf = i;
            break;
        }
    }
    if (lf >= 0) {
        String id(reinterpret_cast<const char*>(inBuffer.data()), lf);
        id.trim();
        if (id.length() > MaxTunnelIdLength) {
            log("Bad tunnel id");
            throw CloseChannelException();
        }
        tunnelId = id;
        if (lf + 1 < count)
            sendToClient(inBuffer.data() + lf + 1, count - lf - 1);
    }

    if (clientClosed)
        throw CloseChannelException();
    if (httpClient.reconnected)
        Thread::sleep(retryDelayMs);
}

String TunnelRelaySession::buildQuery(int cmd) const
{
    String query;
    if (cmd == Open)
        query.format("cmd=%d&host=%s&port=%d&rid=%d", cmd, queryValue(destinationHost).c_str(),
                     destinationPort, requestId);
    else
        query.format("cmd=%d&id=%s&rid=%d", cmd, queryValue(tunnelId).c_str(), requestId);
    return query;
}

void TunnelRelaySession::sendTunnelCommand(int cmd)
{
    const String url = tunnelUrl + "?" + buildQuery(cmd);
    httpClient.proxy.setProxy(proxyAddress, ProxyHttpTunnel, user, password, domain);
    httpClient.setHeader("Pragma", "no-cache");
    httpClient.setHeader("Content-Type", "application/octet-stream");
    int tries = maxTries;
    httpClient.timeoutSeconds = requestTimeoutSec;
    if (stopping) {
        tries = 1;
        if (httpClient.timeoutSeconds < 0 || httpClient.timeoutSeconds > StopCloseTimeoutSec)
            httpClient.timeoutSeconds = StopCloseTimeoutSec;
    }

    for (int attempt = 1; attempt <= tries; ++attempt) {
        try {
            httpClient.post(url, &outBuffer, &inBuffer);
            ++requestId;
            return;
        } catch (const Exception&) {
            const int status = httpClient.response.statusCode;
            switch (status) {
            case 500:
                log("TcpOverHttpSrv FAILED to connect to the destination server. rid %d, response %d",
                    requestId, status);
                throw CloseChannelException();
            case 501:
                log("TcpOverHttpSrv FAILED to transmit data. Try %d/%d, rid %d, response %d", attempt,
                    tries, requestId, status);
                break;
            case 502:
                log("TcpOverHttpSrv FAILED to find the tunnel - rid %d, response %d", requestId, status);
                throw CloseChannelException();
            case 503:
                log("TcpOverHttpSrv FAILED to create a tunnel. rid %d, response %d", requestId, status);
                throw CloseChannelException();
            default:
                log("FAILED to send data to the server. Try %d/%d, rid %d, response %d", attempt, tries,
                    requestId, status);
                break;
            }
        }
        if (attempt < tries) {
            // A relay that is being stopped does not go on retrying: a data request ends the
            // session, which then makes its one short close attempt; a close gives up.
            Thread* worker = Thread::currentThread();
            if (worker && worker->isStopRequested()) {
                if (cmd != Close)
                    throw ThreadStopException();
                break;
            }
            Thread::sleep(retryDelayMs);
        }
    }
    log("Max number of tries %d reached. Close the channel.", tries);
    throw CloseChannelException();
}

} // namespace orvane
