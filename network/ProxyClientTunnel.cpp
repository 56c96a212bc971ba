#include "network/ProxyClient.h"

// The HttpTunnel type runs through a local relay that carries the bytes as HTTP requests to
// a tunnel server. Until the relay exists, asking for that type fails like any proxy that
// cannot be reached, and AutoDetect moves past it.

namespace orvane {

uint16_t ProxyClient::startRelay()
{
    lastError = "Failed: HTTP tunnel is not available";
    throw ProxyException();
}

void ProxyClient::stopRelay()
{
    // No relay is ever created yet, so there is nothing to stop.
}

} // namespace orvane
