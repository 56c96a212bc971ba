#include "network/ProxyClient.h"

#include "network/TunnelRelay.h"

#include <arpa/inet.h>
#include <memory>

// The HttpTunnel type runs through a local relay that carries the bytes as HTTP requests to
// a tunnel server. The relay is made on the first tunnel connect and serves the later ones.

namespace orvane {

uint16_t ProxyClient::startRelay()
{
    // Without a tunnel server every request of the relay would fail, each session only
    // after maxTries attempts: the connect fails at once instead.
    if (tunnelUrl.isEmpty()) {
        lastError = "Failed: No tunnel server URL";
        throw ProxyException();
    }
    // The HTTP proxy in front of the tunnel server; without a proxy host the relay's
    // requests go straight to the tunnel URL's host.
    SocketAddress via;
    if (!proxyHost.isEmpty())
        via.setHost(proxyHost, proxyPort);

    // This client's proxy, credentials and tunnel URL over the relay's settings; the retry
    // delay only on a new relay.
    auto settingsFor = [&](TunnelRelay& target) {
        TunnelSettings settings = target.dispatcher.getSettings();
        settings.proxyAddress = via;
        settings.user = user;
        settings.password = password;
        settings.domain = domain;
        settings.tunnelUrl = tunnelUrl;
        return settings;
    };

    if (relay) {
        relay->dispatcher.setSettings(settingsFor(*relay));
        return relay->getPort();
    }

    std::unique_ptr<TunnelRelay> created(new TunnelRelay());
    created->server.address.setAddress(htonl(INADDR_LOOPBACK), 0);
    TunnelSettings settings = settingsFor(*created);
    settings.retryDelayMs = tunnelRetryDelayMs;
    created->dispatcher.setSettings(settings);
    created->start(); // TCPServer::StartupException passes to the caller
    relay = created.release();
    return relay->getPort();
}

void ProxyClient::stopRelay()
{
    // The relay's destructor stops its server and waits for every session before it goes.
    delete relay;
    relay = nullptr;
}

} // namespace orvane
