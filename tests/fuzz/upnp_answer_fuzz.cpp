// What a gateway on the local network answers, all from the network: an SSDP answer to the
// search, a device description, a SOAP answer to an action. The same bytes are read as
// each. Whatever they hold, the device tree stays within its depth bound with every service
// owned by its device, a gateway built on it finds only services of its own tree, and type
// comparisons do not depend on their order.
#include "foundation/XmlNode.h"
#include "network/HttpResponse.h"
#include "network/SoapClient.h"
#include "network/UpnpDevice.h"
#include "network/UpnpRouter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

using namespace orvane;

namespace {

// Every service of the tree below the device, checking each level on the way.
void walk(UpnpDevice& device, int level, std::set<const UpnpService*>& services)
{
    if (level > UpnpDevice::MaxDeviceDepth || device.depth() != level)
        std::abort();
    for (int i = 0; i < device.services.count(); ++i) {
        if (device.services[i]->device != &device)
            std::abort();
        services.insert(device.services[i]);
    }
    for (int i = 0; i < device.devices.count(); ++i) {
        if (device.devices[i]->parent != &device)
            std::abort();
        walk(*device.devices[i], level + 1, services);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);

    // An SSDP answer: its search target and location.
    HttpResponse answer;
    try {
        answer.parse(data, static_cast<int>(size));
    } catch (const HttpException&) {
    }
    const String st = answer.headers.get("st");
    if (upnpTypeMatches(st.c_str(), UpnpRouter::GatewaySearchTarget) !=
        upnpTypeMatches(UpnpRouter::GatewaySearchTarget, st.c_str()))
        std::abort();

    // A device description, and a gateway on it.
    auto* device = new UpnpDevice();
    try {
        device->loadDescription("http://192.0.2.1:5000/rootDesc.xml", text.c_str());
    } catch (const UpnpDevice::ParsingException&) {
    }
    std::set<const UpnpService*> services;
    walk(*device, 0, services);
    for (const UpnpService* service : services)
        if (service->controlURL.length() > 0 && device->resolveUrl(service->controlURL.c_str()).isEmpty())
            std::abort();
    {
        UpnpRouter router(device);
        for (const Array<UpnpService*>* found : {&router.connectionServices, &router.interfaceConfigServices})
            for (int i = 0; i < found->count(); ++i)
                if (!services.count((*found)[i]))
                    std::abort();
    }

    // A SOAP answer to an action.
    XmlNode envelope;
    if (envelope.parse(text.c_str())) {
        XmlNode out("stale");
        out.addChild("stale");
        try {
            SoapClient::parseResponse("GetExternalIPAddress", envelope, out);
        } catch (const SoapClient::ParsingException&) {
        }
    }
    return 0;
}
