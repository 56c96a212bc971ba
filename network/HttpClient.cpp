#include "network/HttpClient.h"

#include "foundation/Clock.h"
#include "network/FormFields.h"

#include <cerrno>
#include <cstring>
#include <poll.h>

namespace orvane {

HttpClient::BadResponseException::~BadResponseException() = default;
HttpClient::AuthenticationRequiredException::~AuthenticationRequiredException() = default;

namespace {

// The receive buffer; the parser takes whatever arrives, so its size only sets how many
// system calls a response costs.
constexpr int kReceiveChunk = 16 * 1024;

String hostWithPort(const String& host, int port)
{
    String text("http://");
    text += host;
    if (port != 80) {
        String p;
        p.format(":%d", port);
        text += p;
    }
    return text;
}

bool startsWithIgnoreCase(const String& text, const char* prefix)
{
    const int n = static_cast<int>(std::strlen(prefix));
    return text.length() >= n && text.substring(0, n).equalsIgnoreCase(prefix);
}

// A location of another scheme ("https://...", "ftp://..."): letters, digits, '+', '-' or
// '.' up to "://".
bool hasOtherScheme(const String& location)
{
    const int mark = location.find("://");
    if (mark <= 0)
        return false;
    for (int i = 0; i < mark; ++i) {
        const char c = location.at(i);
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '+' || c == '-' || c == '.';
        if (!schemeChar)
            return false;
    }
    return !startsWithIgnoreCase(location, "http://");
}

} // namespace

HttpClient::HttpClient() = default;

HttpClient::~HttpClient()
{
    closeConnection();
}

int HttpClient::waitMs() const
{
    if (timeoutSeconds < 0)
        return -1;
    const int64_t left = deadline - monotonicMillis();
    return left > 0 ? static_cast<int>(left) : 0;
}

void HttpClient::restartDeadline()
{
    deadline = monotonicMillis() + static_cast<int64_t>(timeoutSeconds < 0 ? 0 : timeoutSeconds) * 1000;
}

void HttpClient::setHeader(const char* name, const char* value)
{
    if (!name || !*name)
        return;
    if (!value || !*value) {
        extraHeaders.remove(name);
        return;
    }
    extraHeaders.entry(name).value = value;
}

void HttpClient::addRequestHeader(const char* name, const char* value)
{
    String lowered(name ? name : "");
    lowered.toLower();
    request.headers.add(lowered, value);
}

void HttpClient::get(const char* url, ByteArray* out)
{
    redirectCount = 0;
    output = out;
    prepare("GET", url);
    execute();
}

void HttpClient::post(const char* url, const ByteArray* body, ByteArray* out)
{
    redirectCount = 0;
    output = out;
    prepare("POST", url);
    const int n = body ? body->count() : 0;
    if (n > 0)
        request.body.write(0, body->data(), n);
    request.body.setSize(n);
    request.headers.entry("Content-Length").setValue(n);
    execute();
}

void HttpClient::postForm(const char* url, FormFields* fields, ByteArray* out)
{
    redirectCount = 0;
    output = out;
    prepare("POST", url);
    request.headers.add("content-type", "application/x-www-form-urlencoded");
    const String encoded = fields ? fields->encode() : String();
    request.body.write(0, encoded.c_str(), encoded.length());
    request.body.setSize(encoded.length());
    request.headers.entry("Content-Length").setValue(encoded.length());
    execute();
}

void HttpClient::prepare(const char* method, const char* url)
{
    request.reset();
    ntlmInProgress = 0;
    reconnected = 0;
    for (const NameValuePair& h : extraHeaders) {
        String name(h.name);
        name.toLower();
        request.headers.add(name, h.value);
    }
    request.setMethod(method);
    request.setUrl(url);
    request.setVersion("HTTP/1.0");
    request.absoluteForm = throughPlainProxy() ? 1 : 0;
    if (cookiesEnabled) {
        // Chosen for the URL of this request (it is known only now), and put first.
        const String cookie = cookies.headerFor(request.absoluteUrl());
        if (!cookie.isEmpty()) {
            request.headers.add("cookie", cookie);
            NameValuePair moved = request.headers[request.headers.count() - 1];
            for (int i = request.headers.count() - 1; i > 0; --i)
                request.headers[i] = request.headers[i - 1];
            request.headers[0] = moved;
        }
    }
    if (keepAlive) {
        request.headers.entry("Connection").value = "Keep-Alive";
        if (throughPlainProxy())
            request.headers.entry("Proxy-Connection").value = "Keep-Alive";
    }
    restartDeadline();
}

void HttpClient::execute()
{
    send();
    receive();
    if (cookiesEnabled)
        storeCookies();
    if (output) {
        output->setSize(0);
        output->write(0, response.body.data(), response.body.count());
        output->setSize(response.body.count());
    }
    switch (response.statusCode) {
    case 200:
        return;
    case 301:
    case 302:
    case 303:
        followRedirect();
        return;
    case 401:
        throw AuthenticationRequiredException();
    case 407:
        authenticateProxy();
        return;
    default:
        throw BadResponseException();
    }
}

bool HttpClient::connectionUsable() const
{
    if (socket.handle == NoSocket)
        return false;
    pollfd p;
    p.fd = socket.handle;
    p.events = POLLIN;
    p.revents = 0;
    // Readable means closed by the peer, failed, or holding bytes nobody asked for: in
    // every case the connection cannot carry the next request.
    return ::poll(&p, 1, 0) == 0;
}

void HttpClient::send()
{
    // Serialised first: a request that cannot be written opens no connection.
    request.writeTo(sendBuffer);
    if (!connectionUsable()) {
        connect();
    } else if (!throughPlainProxy()) {
        const String host = request.getHost();
        if (host != connectedHost || request.port != connectedPort)
            connect();
    }
    try {
        sendAll(socket.handle, sendBuffer.data(), sendBuffer.count());
    } catch (const Exception&) {
        connect();
        sendAll(socket.handle, sendBuffer.data(), sendBuffer.count());
    }
}

void HttpClient::closeConnection()
{
    if (socket.handle != NoSocket)
        closeSocket(socket.handle);
    socket.handle = NoSocket;
    connectedHost.clear();
    connectedPort = 0;
}

void HttpClient::connect()
{
    closeConnection();
    reconnected = 1;
    socket.create();
    const int wait = waitMs();
    try {
        if (!throughPlainProxy()) {
            const String host = request.getHost();
            const uint16_t port = request.port;
            proxy.timeoutMs = wait;
            proxy.connect(socket, host, port, proxy.proxyHost, proxy.proxyPort, proxy.type);
            connectedHost = host;
            connectedPort = port;
        } else {
            String host = proxy.proxyHost;
            int port = proxy.proxyPort;
            if (host.isEmpty() || port == 0) {
                host = request.getHost();
                port = request.port;
            }
            SocketAddress address;
            address.setHost(host, port);
            connectSocketTimeout(socket.handle, address, wait);
            connectedHost = host;
            connectedPort = port;
        }
    } catch (...) {
        // A half-made connection is of no use to the next request either.
        closeConnection();
        throw;
    }
}

void HttpClient::receive()
{
    response.reset();
    response.maxBodySize = maxBodySize;
    uint8_t buffer[kReceiveChunk];
    try {
        while (!response.isComplete()) {
            const int n = orvane::receive(socket.handle, buffer, kReceiveChunk, waitMs());
            if (n == 0)
                throw TimeoutException();
            response.parse(buffer, n);
            if (onBodyReceived && response.state >= HttpMessage::Body)
                onBodyReceived(response);
        }
    } catch (const TimeoutException&) {
        throw;
    } catch (const NoConnectionException&) {
        // Only an orderly end after a complete head ends a body that has no length.
        if (response.statusCode != 0 && response.state == HttpMessage::Body && response.hasContentLength == 0) {
            closeConnection();
            return;
        }
        closeConnection();
        throw Exception();
    } catch (const Exception&) {
        // A malformed or oversized response, or a broken connection: what was parsed
        // cannot be trusted to be the whole answer.
        closeConnection();
        throw Exception();
    }
}

void HttpClient::followRedirect()
{
    if (!followRedirects)
        return;
    String location = response.headers.get("Location");
    location.trim();
    if (location.isEmpty())
        throw BadResponseException();
    if (hasOtherScheme(location))
        return; // not ours to fetch; the caller has the 30x body
    String url;
    if (startsWithIgnoreCase(location, "http://")) {
        url = location;
    } else {
        String path;
        if (location.at(0) == '/') {
            path = location;
        } else {
            path = request.path;
            const int query = path.find('?');
            if (query >= 0)
                path.setLength(query);
            int slash = -1;
            for (int i = 0; i < path.length(); ++i)
                if (path.at(i) == '/')
                    slash = i;
            if (slash >= 0)
                path.setLength(slash + 1);
            path += location;
        }
        url = hostWithPort(request.host, request.port) + path;
    }
    if (++redirectCount > maxRedirects)
        throw BadResponseException();
    prepare("GET", url);
    execute();
}

void HttpClient::storeCookies()
{
    const String base = hostWithPort(request.host, request.port);
    for (const NameValuePair& header : response.headers) {
        if (!header.name.equalsIgnoreCase("set-cookie"))
            continue;
        const String prefix = base + header.attribute("path");
        NameValueList pairs;
        header.value.parsePairs(';', '=', pairs, true);
        for (const NameValuePair& pair : pairs) {
            if (pair.name == "path" || pair.name == "expires")
                continue;
            cookies.set(prefix, pair.name, pair.value);
        }
    }
}

} // namespace orvane
