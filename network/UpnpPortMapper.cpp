#include "network/UpnpPortMapper.h"

#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "network/UpnpRouter.h"

#include <chrono>
#include <memory>
#include <vector>

namespace orvane {

AdvertisedEndpoint::Value AdvertisedEndpoint::get() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return value_;
}

void AdvertisedEndpoint::set(const Value& value)
{
    std::lock_guard<std::mutex> guard(lock_);
    value_ = value;
}

UpnpPortMapper::UpnpPortMapper(AdvertisedEndpoint& endpoint, const char* applicationName)
    : endpoint_(endpoint), applicationName_(applicationName ? applicationName : "")
{
}

UpnpPortMapper::~UpnpPortMapper()
{
    // The body uses this object's members: it must be over before they go.
    stop(true);
    delete router_;
}

void UpnpPortMapper::requestMapping(const PortMappingRequest& request)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        request_ = request;
        state.store(PassRequested);
    }
    wake_.notify_all();
}

void UpnpPortMapper::stop(bool wait)
{
    Thread::stop(false);
    {
        std::lock_guard<std::mutex> guard(lock_);
    }
    wake_.notify_all();
    if (wait)
        Thread::stop(true);
}

bool UpnpPortMapper::hasRouter() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return router_ != nullptr;
}

void UpnpPortMapper::setRouter(UpnpRouter* kept)
{
    UpnpRouter* old;
    {
        std::lock_guard<std::mutex> guard(lock_);
        old = router_;
        router_ = kept;
    }
    delete old;
}

void UpnpPortMapper::idle()
{
    std::unique_lock<std::mutex> guard(lock_);
    wake_.wait_for(guard, std::chrono::milliseconds(IdlePollMs),
                   [this] { return state.load() != Idle || isStopRequested(); });
}

void UpnpPortMapper::run()
{
    socketStartup();
    while (!isStopRequested()) {
        if (state.load() == Idle) {
            idle();
            continue;
        }
        try {
            mapPorts();
        } catch (const Exception&) {
            // A pass that failed (no network, a socket refused) leaves the thread
            // waiting for the next request, which may find the network back.
        }
        ++passCount_;
    }
    // The mappings live on the gateway until someone removes them: the thread that
    // made them does so on its way out.
    UpnpRouter* kept;
    {
        std::lock_guard<std::mutex> guard(lock_);
        kept = router_;
    }
    if (kept) {
        try {
            kept->deleteAllPortMappings();
        } catch (const Exception&) {
        }
    }
    socketCleanup();
}

void UpnpPortMapper::mapPorts()
{
    PortMappingRequest request;
    {
        std::lock_guard<std::mutex> guard(lock_);
        state.store(Idle);
        request = request_;
    }
    // The earlier gateway's mappings stay where they are; the pass below asks for the
    // same ports again.
    setRouter(nullptr);

    Array<UpnpRouter*> found;
    UpnpRouter::discover(found, discoverySeconds.load());
    std::vector<std::unique_ptr<UpnpRouter>> routers;
    for (UpnpRouter* r : found)
        routers.emplace_back(r);

    for (std::unique_ptr<UpnpRouter>& router : routers) {
        bool kept = false;
        try {
            kept = tryRouter(*router, request);
            if (!kept)
                router->deleteAllPortMappings();
        } catch (const Exception&) {
            kept = false;
        }
        if (kept) {
            setRouter(router.release());
            break;
        }
        router.reset();
    }
}

bool UpnpPortMapper::tryRouter(UpnpRouter& router, const PortMappingRequest& request)
{
    StringArray external;
    router.getExternalIPAddress().split(',', external, false);
    const String* match = nullptr;
    for (const String& address : external) {
        if (address == request.reportedAddress) {
            match = &address;
            break;
        }
    }
    if (!match)
        return false;

    AdvertisedEndpoint::Value advertised = endpoint_.get();
    const int tcpPort = advertised.tcpPort;
    const int udpPort = advertised.udpPort == tcpPort ? tcpPort + 1 : advertised.udpPort;
    const int internalPort = request.bindPort;

    PortMapping* tcp = mapPort(router, request, tcpPort, internalPort, UpnpRouter::Tcp);
    if (!tcp)
        return false;
    PortMapping* udp = mapPort(router, request, udpPort, internalPort, UpnpRouter::Udp);
    if (!udp) {
        router.deletePortMapping(tcp);
        return false;
    }

    AdvertisedEndpoint::Value mapped;
    mapped.address = *match;
    mapped.tcpPort = tcp->externalPort;
    mapped.udpPort = udp->externalPort;
    mapped.manualSettings = true;
    endpoint_.set(mapped);
    return true;
}

PortMapping* UpnpPortMapper::mapPort(UpnpRouter& router, const PortMappingRequest& request,
                                     int port, int internalPort, int protocol)
{
    const String prefix = applicationName_ + " " + request.userName;
    for (int i = 0; i < PortTries; ++i) {
        const int external = port + i;
        if (external < 1 || external > 65535)
            continue;
        if (PortMapping* mapping = router.addPortMapping(prefix, external, internalPort, protocol))
            return mapping;
    }
    return nullptr;
}

} // namespace orvane
