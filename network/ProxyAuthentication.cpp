#include "network/HttpClient.h"
#include "network/HttpResponse.h"
#include "network/ProxyClient.h"

// Answers to a proxy's 407. Until the schemes are in place, a 407 ends the request with the
// exception that says the proxy wants credentials.

namespace orvane {

void ProxyClient::authenticate(Socket& socket, HttpResponse& response)
{
    throw ProxyAuthenticationRequiredException();
}

void HttpClient::authenticateProxy()
{
    restartDeadline();
    throw ProxyClient::ProxyAuthenticationRequiredException();
}

} // namespace orvane
