#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"
#include "foundation/Thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orvane {

class UpnpRouter;
struct PortMapping;

// The address and ports the program tells its peers to reach it on, and whether they
// were set by hand (or by a port mapping) rather than taken from the server. The
// application owns one; the sign-in handling and the port mapper write it, the
// peer-channel code on other threads reads it, so every access takes its lock and a
// reader always sees the address and both ports of one and the same update.
class AdvertisedEndpoint {
public:
    struct Value {
        String address;
        int32_t tcpPort = 0;
        int32_t udpPort = 0;
        bool manualSettings = false;
    };

    Value get() const;
    void set(const Value& value);

private:
    mutable std::mutex lock_;
    Value value_;
};

// What a mapping pass needs from the sign-in: who is signed in, the external address the
// server saw, and the port the program's TCP server is bound to.
struct PortMappingRequest {
    String userName;
    // The address the server reported at sign-in; a gateway is used only when its
    // external address is this one.
    String reportedAddress;
    // The internal port of both mappings.
    int32_t bindPort = 0;
};

// The worker thread that makes the program reachable through a UPnP gateway. It idles
// until a pass is requested; a pass finds the gateways, keeps the first one whose
// external address is the one the server reported, maps the advertised TCP and UDP
// ports on it and advertises the mapped address and ports. When the thread ends, the
// mappings of the kept gateway are removed.
class UpnpPortMapper : public Thread {
public:
    enum { Idle = 0, PassRequested = 1 };

    // The idle poll and the search window of a pass.
    static constexpr int IdlePollMs = 300;
    static constexpr int DefaultDiscoverySeconds = 2;
    // External ports tried for one mapping: p, p + 1, ... p + 4.
    static constexpr int PortTries = 5;

    // `endpoint` is the application's and must outlive the thread; `applicationName`
    // begins the description of every mapping.
    UpnpPortMapper(AdvertisedEndpoint& endpoint, const char* applicationName);
    // Stops and waits for the thread, then deletes the kept router without removing its
    // mappings.
    ~UpnpPortMapper() override;

    void run() override;
    bool deleteWhenDone() override { return false; }

    // Asks for one pass with the facts of this sign-in; the idle thread starts it at once.
    // A request that arrives during a pass is served after it.
    void requestMapping(const PortMappingRequest& request);
    // Thread::stop, and the idle wait notices the request at once.
    void stop(bool wait);

    // Idle or PassRequested.
    int mappingState() const { return state.load(); }
    // Passes run to their end so far, successful or not.
    int getPassCount() const { return passCount_.load(); }
    // True while a kept router holds mappings (for tests and diagnostics).
    bool hasRouter() const;

    // The search window of a pass in whole seconds.
    std::atomic<int32_t> discoverySeconds{DefaultDiscoverySeconds};

protected:
    // One pass: drop the kept router, discover, try the gateways in order.
    void mapPorts();
    bool tryRouter(UpnpRouter& router, const PortMappingRequest& request);
    PortMapping* mapPort(UpnpRouter& router, const PortMappingRequest& request, int port,
                         int internalPort, int protocol);

    std::atomic<int32_t> state{Idle};

private:
    void idle();
    void setRouter(UpnpRouter* kept);

    AdvertisedEndpoint& endpoint_;
    const String applicationName_;

    mutable std::mutex lock_;          // guards request_, router_ (the pointer)
    std::condition_variable wake_;
    PortMappingRequest request_;
    UpnpRouter* router_ = nullptr;     // owned; only the thread changes it while it runs
    std::atomic<int> passCount_{0};
};

} // namespace orvane
