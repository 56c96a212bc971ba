#include "network/UpnpRouter.h"

#include "foundation/Conversions.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "network/NetworkTrace.h"

#include <cstdio>
#include <memory>

namespace orvane {

const char* const UpnpRouter::GatewaySearchTarget = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
const char* const UpnpRouter::WanDeviceType = "urn:schemas-upnp-org:device:WANDevice:1";
const char* const UpnpRouter::WanCommonInterfaceConfigType = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";
const char* const UpnpRouter::WanConnectionDeviceType = "urn:schemas-upnp-org:device:WANConnectionDevice:1";
const char* const UpnpRouter::WanIpConnectionType = "urn:schemas-upnp-org:service:WANIPConnection:1";
const char* const UpnpRouter::WanPppConnectionType = "urn:schemas-upnp-org:service:WANPPPConnection:1";

namespace {

// Closes the socket whatever way the scope is left.
struct SocketCloser {
    SocketHandle handle;
    ~SocketCloser() { closeSocket(handle); }
};

} // namespace

UpnpRouter::UpnpRouter(UpnpDevice* root) : device(root) {}

UpnpRouter::~UpnpRouter()
{
    for (PortMapping* m : mappings)
        delete m;
    delete device;
}

int UpnpRouter::discover(Array<UpnpRouter*>& routers, int seconds)
{
    routers.release();
    networkTrace("Looking for: %s", GatewaySearchTarget);

    Array<UpnpDevice*> devices;
    try {
        ssdpSearch(GatewaySearchTarget, devices, seconds);
    } catch (...) {
        for (UpnpDevice* d : devices)
            delete d;
        throw;
    }

    for (int i = 0; i < devices.count(); ++i) {
        std::unique_ptr<UpnpRouter> router(new UpnpRouter(devices[i]));
        devices[i] = nullptr;
        try {
            router->load();
            routers.add(router.get());
            router.release();
        } catch (const Exception&) {
            // This gateway is left out; the router deletes its device.
        }
    }
    networkTrace("UPnP routers found: %d", routers.count());
    return routers.count();
}

void UpnpRouter::load()
{
    getLocalAddress();
    findServices();
}

void UpnpRouter::findServices()
{
    connectionServices.release();
    interfaceConfigServices.release();
    if (!device)
        return;
    for (UpnpDevice* wan : device->devices) {
        if (!upnpTypeMatches(wan->deviceType, WanDeviceType))
            continue;
        if (UpnpService* config = wan->findService(WanCommonInterfaceConfigType))
            interfaceConfigServices.add(config);
        for (UpnpDevice* connection : wan->devices) {
            if (!upnpTypeMatches(connection->deviceType, WanConnectionDeviceType))
                continue;
            for (UpnpService* service : connection->services) {
                if (upnpTypeMatches(service->serviceType, WanIpConnectionType) ||
                    upnpTypeMatches(service->serviceType, WanPppConnectionType))
                    connectionServices.add(service);
            }
        }
    }
}

String UpnpRouter::getLocalAddress()
{
    if (!localAddress.isEmpty() || !device)
        return localAddress;
    networkTrace("UPnP Device URL Base: %s", device->urlBase.c_str());
    int scheme = device->urlBase.find("://");
    if (scheme < 0)
        return String();
    String hostAndPort = device->urlBase.substring(scheme + 3);
    int slash = hostAndPort.find('/');
    if (slash >= 0)
        hostAndPort = hostAndPort.substring(0, slash);
    try {
        SocketAddress gateway;
        if (!gateway.parse(hostAndPort, 80))
            return localAddress;
        SocketCloser socket{createSocket(true)};
        connectSocketTimeout(socket.handle, gateway, connectTimeoutMs);
        localAddress = orvane::getLocalAddress(socket.handle).getHostAddress();
        networkTrace("My IP: %s", localAddress.c_str());
    } catch (const Exception&) {
        // The address stays unknown; the next call tries again.
    }
    return localAddress;
}

String UpnpRouter::getExternalIPAddress()
{
    if (!externalAddress.isEmpty())
        return externalAddress;
    for (UpnpService* service : connectionServices) {
        try {
            XmlNode in;
            XmlNode out;
            service->invoke("GetExternalIPAddress", in, out);
            String address = out.childOrEmpty("NewExternalIPAddress")->value;
            if (!externalAddress.isEmpty())
                externalAddress += ",";
            externalAddress += address;
        } catch (const Exception&) {
            // This service did not answer; the others may.
        }
    }
    networkTrace("External IP: %s", externalAddress.c_str());
    return externalAddress;
}

const char* UpnpRouter::protocolText(int protocol)
{
    return protocol == Tcp ? "TCP" : "UDP";
}

XmlNode UpnpRouter::portMappingArguments(const PortMapping& mapping, const char* description, bool forAdd)
{
    XmlNode in;
    in.addChild("NewRemoteHost", "");
    in.addChild("NewExternalPort", intToString(mapping.externalPort));
    in.addChild("NewProtocol", protocolText(mapping.protocol));
    if (forAdd) {
        in.addChild("NewInternalPort", intToString(mapping.internalPort));
        in.addChild("NewInternalClient", mapping.internalClient);
        in.addChild("NewEnabled", "1");
        in.addChild("NewPortMappingDescription", description);
        in.addChild("NewLeaseDuration", "0");
    }
    return in;
}

PortMapping* UpnpRouter::addPortMapping(const char* prefix, int externalPort, int internalPort, int protocol)
{
    const char* protocolName = protocolText(protocol);
    String local = getLocalAddress();
    if (local.isEmpty())
        return nullptr;

    std::unique_ptr<PortMapping> mapping(new PortMapping());
    mapping->externalPort = externalPort;
    std::snprintf(mapping->internalClient, sizeof mapping->internalClient, "%s", local.c_str());
    mapping->internalPort = internalPort;
    mapping->protocol = protocol == Tcp ? Tcp : Udp;

    String description;
    description.format("%s (%s:%d) %d %s", prefix ? prefix : "", local.c_str(), internalPort,
                       externalPort, protocolName);
    networkTrace("Port map description: %s", description.c_str());

    const XmlNode in = portMappingArguments(*mapping, description, true);
    bool made = false;
    for (UpnpService* service : connectionServices) {
        try {
            XmlNode out;
            service->invoke("AddPortMapping", in, out);
            networkTrace("Port map created");
            made = true;
        } catch (const Exception&) {
            // Refused by this service (the port is taken, say); the others are asked too.
        }
    }
    if (!made)
        return nullptr;
    mappings.add(mapping.get());
    return mapping.release();
}

void UpnpRouter::deletePortMapping(const PortMapping* mapping)
{
    if (!mapping)
        return;
    const XmlNode in = portMappingArguments(*mapping, "", false);
    for (UpnpService* service : connectionServices) {
        try {
            XmlNode out;
            service->invoke("DeletePortMapping", in, out);
        } catch (const Exception&) {
        }
    }
}

void UpnpRouter::deleteAllPortMappings()
{
    for (PortMapping* m : mappings) {
        deletePortMapping(m);
        delete m;
    }
    mappings.release();
}

} // namespace orvane
