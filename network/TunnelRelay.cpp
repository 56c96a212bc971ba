#include "network/TunnelRelay.h"

#include <arpa/inet.h>

namespace orvane {

TunnelRelay::TunnelRelay()
{
    server.address.setAddress(htonl(INADDR_LOOPBACK), 0);
    server.dispatcher = &dispatcher;
}

TunnelRelay::~TunnelRelay()
{
    stop();
}

void TunnelRelay::start()
{
    server.start();
}

void TunnelRelay::stop()
{
    server.stop(true);
}

uint16_t TunnelRelay::getPort() const
{
    return server.address.getPort();
}

} // namespace orvane
