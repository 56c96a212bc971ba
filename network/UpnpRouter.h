#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"
#include "network/UpnpDevice.h"

#include <cstdint>

namespace orvane {

// One port mapping a router added on its gateway.
struct PortMapping {
    int32_t externalPort = 0;
    // The dotted local address, zero-terminated.
    char internalClient[16] = {};
    int32_t internalPort = 0;
    // 0 TCP, 1 UDP.
    int32_t protocol = 0;
};

// An Internet gateway device found by SSDP, with its WAN connection services: it learns
// the local address that faces the gateway, asks the external address, and adds and
// removes port mappings. Mappings it added are remembered until deleteAllPortMappings;
// destroying the router sends nothing, so mappings not deleted before stay on the gateway.
class UpnpRouter {
public:
    static const char* const GatewaySearchTarget;
    static const char* const WanDeviceType;
    static const char* const WanCommonInterfaceConfigType;
    static const char* const WanConnectionDeviceType;
    static const char* const WanIpConnectionType;
    static const char* const WanPppConnectionType;

    enum Protocol { Tcp = 0, Udp = 1 };

    // The external address(es), comma-separated; empty until a service answered.
    String externalAddress;
    // The local IPv4 address facing the gateway; empty until known.
    String localAddress;
    // Owned root device.
    UpnpDevice* device = nullptr;
    // Owned by the device tree.
    Array<UpnpService*> connectionServices;
    Array<UpnpService*> interfaceConfigServices;
    // Owned records, one per mapping added.
    Array<PortMapping*> mappings;
    // The wait for the connection that tells the local address.
    int32_t connectTimeoutMs = 1000;

    // Takes ownership of the root device.
    explicit UpnpRouter(UpnpDevice* root);
    UpnpRouter(const UpnpRouter&) = delete;
    UpnpRouter& operator=(const UpnpRouter&) = delete;
    virtual ~UpnpRouter();

    // Searches for gateways for `seconds` whole seconds; `routers` is emptied first and
    // receives a new router for every gateway whose description was read. Answers their
    // number. Socket failures of the search pass out.
    static int discover(Array<UpnpRouter*>& routers, int seconds);

    // The local address, then the WAN connection services of the device tree.
    void load();
    // Collects the services: WAN devices of the root, their interface configuration
    // service, and the IP and PPP connection services of their connection devices. Types
    // are compared without their version numbers.
    void findServices();
    String getLocalAddress();
    String getExternalIPAddress();
    // Asks every connection service for the mapping; a new record when at least one
    // service made it, else NULL (also when the local address is not known).
    PortMapping* addPortMapping(const char* prefix, int externalPort, int internalPort, int protocol);
    // Asks every connection service to remove the mapping; failures are ignored. The
    // record stays in `mappings`.
    void deletePortMapping(const PortMapping* mapping);
    // Removes every mapping on the gateway and frees the records.
    void deleteAllPortMappings();

    // "TCP" for 0, "UDP" otherwise.
    static const char* protocolText(int protocol);
    // The in-arguments of AddPortMapping; DeletePortMapping takes the first three.
    static XmlNode portMappingArguments(const PortMapping& mapping, const char* description, bool forAdd);
};

} // namespace orvane
