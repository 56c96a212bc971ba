#include "network/HttpClient.h"
#include "network/HttpResponse.h"
#include "network/ProxyAuthHeaders.h"
#include "network/ProxyClient.h"

#include <poll.h>

// Answers to a proxy's 407: the scheme is picked from the proxy's Proxy-Authenticate
// headers and answered with NTLM, Basic or Digest. ProxyClient answers on the CONNECT path,
// HttpClient for its own requests (a plain HTTP proxy).

namespace orvane {

namespace {

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

// True when the proxy will not read another request on this connection: it said so in
// its answer, or it has closed the connection already (or left bytes on it that belong to
// no answer).
bool proxyClosedConnection(const Socket& socket, const HttpResponse& answer)
{
    if (socket.handle == NoSocket)
        return true;
    for (const char* name : {"Proxy-Connection", "Connection"}) {
        String value = answer.headers.get(name);
        value.trim();
        if (value.equalsIgnoreCase("close"))
            return true;
    }
    pollfd p;
    p.fd = socket.handle;
    p.events = POLLIN;
    p.revents = 0;
    return ::poll(&p, 1, 0) != 0;
}

} // namespace

// ---- CONNECT ----------------------------------------------------------------------------

void ProxyClient::authenticate(Socket& socket, HttpResponse& response)
{
    switch (ProxyAuthHeaders::choose(response.headers)) {
    case ProxyAuthHeaders::Ntlm:
        authenticateNtlm(socket);
        return;
    case ProxyAuthHeaders::Basic:
        authenticateBasic(socket);
        return;
    case ProxyAuthHeaders::Digest:
        authenticateDigest(socket, response);
        return;
    case ProxyAuthHeaders::None:
        break;
    }
    throw ProxyUnknownAuthenticationRequiredException();
}

void ProxyClient::authenticateNtlm(Socket& socket)
{
    if (user.isEmpty())
        throw ProxyNTLMAuthenticationRequiredException();
    const String domainText = domain.isEmpty() ? user : domain;
    String value = ProxyAuthHeaders::ntlmNegotiate(domainText);

    // Both rounds travel on one new connection: the proxy ties the handshake to it.
    HttpResponse answer;
    reconnectToProxy(socket);
    connectRound(socket, value, answer);
    if (answer.statusCode != 407)
        throw ProxyAuthenticationFailedException();
    if (!ProxyAuthHeaders::ntlmAuthenticate(ProxyAuthHeaders::firstChallenge(answer.headers), user,
                                            password, value))
        throw ProxyAuthenticationFailedException();

    connectRound(socket, value, answer);
    if (isSuccess(answer.statusCode))
        return;
    lastError.format("NTLM HTTP Proxy Authentication code: %d", answer.statusCode);
    throw ProxyException();
}

void ProxyClient::authenticateBasic(Socket& socket)
{
    if (user.isEmpty())
        throw ProxyBasicAuthenticationRequiredException();
    const String value = ProxyAuthHeaders::basic(user, password);
    HttpResponse answer;
    reconnectToProxy(socket);
    connectRound(socket, value, answer);
    if (isSuccess(answer.statusCode))
        return;
    lastError.format("Basic HTTP Proxy Authentication response code: %d", answer.statusCode);
    throw ProxyException();
}

void ProxyClient::authenticateDigest(Socket& socket, HttpResponse& response)
{
    if (user.isEmpty())
        throw ProxyDigestAuthenticationRequiredException();
    const ProxyAuthHeaders::DigestChallenge challenge =
        ProxyAuthHeaders::parseDigest(ProxyAuthHeaders::firstChallenge(response.headers));
    const String value = ProxyAuthHeaders::digest(challenge, user, password, "CONNECT", "/", nullptr);

    // The answer goes on the connection that carried the 407. A proxy that closes it all
    // the same, before or while the answer travels, gets it once more on a new connection:
    // its nonce does not depend on the connection.
    bool reconnected = false;
    if (proxyClosedConnection(socket, response)) {
        reconnectToProxy(socket);
        reconnected = true;
    }
    HttpResponse answer;
    for (;;) {
        bool sent = false;
        try {
            sendConnectRequest(socket, value);
            sent = true;
            readConnectResponse(socket, answer);
            break;
        } catch (const ProxyException&) {
            throw;
        } catch (const TimeoutException&) {
            lastError = sent ? CannotReadText : CannotSendText;
            throw ProxyException();
        } catch (const Exception&) {
            // Lost before any answer came: the proxy closed the connection under us.
            if (reconnected || answer.statusCode != 0) {
                lastError = sent ? CannotReadText : CannotSendText;
                throw ProxyException();
            }
        }
        reconnectToProxy(socket);
        reconnected = true;
    }
    if (isSuccess(answer.statusCode))
        return;
    lastError.format("Digest HTTP Proxy Authentication response code: %d", answer.statusCode);
    throw ProxyException();
}

// ---- HttpClient -------------------------------------------------------------------------

void HttpClient::authenticateProxy()
{
    restartDeadline();
    // A 407 inside a running NTLM handshake is that handshake's to read.
    if (ntlmInProgress)
        return;
    const ProxyAuthHeaders::Scheme scheme = ProxyAuthHeaders::choose(response.headers);
    if (scheme == ProxyAuthHeaders::None)
        throw ProxyClient::ProxyUnknownAuthenticationRequiredException();
    // The request carried credentials already and the proxy refused them: one answer per
    // request, no second try.
    if (request.headers.find("Proxy-Authorization") >= 0)
        throw ProxyClient::ProxyAuthenticationFailedException();
    switch (scheme) {
    case ProxyAuthHeaders::Ntlm:
        authenticateNtlm();
        return;
    case ProxyAuthHeaders::Basic:
        authenticateBasic();
        return;
    case ProxyAuthHeaders::Digest:
    default:
        authenticateDigest();
        return;
    }
}

void HttpClient::authenticateNtlm()
{
    if (proxy.user.isEmpty())
        throw ProxyClient::ProxyNTLMAuthenticationRequiredException();
    if (ntlmInProgress)
        return;
    ntlmInProgress = 1;
    const String domainText = proxy.domain.isEmpty() ? proxy.user : proxy.domain;
    // The handshake belongs to the connection: both rounds must find it open.
    request.headers.entry("Proxy-Connection").value = "Keep-Alive";
    request.headers.entry("Connection").value = "Keep-Alive";
    request.headers.entry("Proxy-Authorization").value = ProxyAuthHeaders::ntlmNegotiate(domainText);
    execute();
    String value;
    if (response.statusCode != 407 ||
        !ProxyAuthHeaders::ntlmAuthenticate(ProxyAuthHeaders::firstChallenge(response.headers),
                                            proxy.user, proxy.password, value)) {
        ntlmInProgress = 0;
        throw ProxyClient::ProxyAuthenticationFailedException();
    }
    request.headers.entry("Proxy-Authorization").value = value;
    execute();
    ntlmInProgress = 0;
    if (response.statusCode == 407)
        throw ProxyClient::ProxyAuthenticationFailedException();
}

void HttpClient::authenticateBasic()
{
    if (proxy.user.isEmpty())
        throw ProxyClient::ProxyBasicAuthenticationRequiredException();
    addRequestHeader("Proxy-Authorization", ProxyAuthHeaders::basic(proxy.user, proxy.password));
    execute();
}

void HttpClient::authenticateDigest()
{
    if (proxy.user.isEmpty())
        throw ProxyClient::ProxyDigestAuthenticationRequiredException();
    const ProxyAuthHeaders::DigestChallenge challenge =
        ProxyAuthHeaders::parseDigest(ProxyAuthHeaders::firstChallenge(response.headers));
    addRequestHeader("Proxy-Authorization",
                     ProxyAuthHeaders::digest(challenge, proxy.user, proxy.password, request.method,
                                              request.path, &request.body));
    execute();
}

} // namespace orvane
