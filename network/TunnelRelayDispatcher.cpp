#include "network/TunnelRelayDispatcher.h"

#include "network/TunnelRelaySession.h"

namespace orvane {

TunnelLogSink::~TunnelLogSink() = default;

TunnelRelayDispatcher::TunnelRelayDispatcher() = default;

TunnelRelayDispatcher::~TunnelRelayDispatcher() = default;

ConnectionHandler* TunnelRelayDispatcher::createHandler()
{
    return new TunnelRelaySession(getSettings());
}

TunnelSettings TunnelRelayDispatcher::getSettings()
{
    std::lock_guard<std::mutex> guard(settingsLock);
    return settings;
}

void TunnelRelayDispatcher::setSettings(const TunnelSettings& next)
{
    std::lock_guard<std::mutex> guard(settingsLock);
    settings = next;
}

} // namespace orvane
