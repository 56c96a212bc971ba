#pragma once

#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/String.h"
#include "foundation/XmlNode.h"
#include "network/SoapClient.h"

#include <cstdint>

namespace orvane {

class UpnpDevice;

// One service of a UPnP device, read from the device description.
class UpnpService {
public:
    // The device whose serviceList holds this service.
    UpnpDevice* device = nullptr;
    SoapClient soap;
    String serviceType;
    String serviceId;
    // As written in the description.
    String SCPDURL;
    // Resolved against the owning device's URL base.
    String controlURL;
    String eventSubURL;

    explicit UpnpService(UpnpDevice* owner) : device(owner) {}
    UpnpService(const UpnpService&) = delete;
    UpnpService& operator=(const UpnpService&) = delete;
    virtual ~UpnpService();

    void parse(const XmlNode& element);
    // Calls the action on the service's control URL. The SOAPAction header names the
    // service's own type, so a service of a later version is addressed as what it is.
    XmlNode invoke(const char* action, const XmlNode& in, XmlNode& out);
};

// A UPnP device (a root device or one embedded in another) with its services and
// embedded devices, which it owns.
class UpnpDevice {
public:
    // The description could not be read as XML.
    ORVANE_EXCEPTION(ParsingException, Exception);

    // Levels of embedded devices read below a root device (the root is level 0). Real
    // gateways nest three; the description comes from the network, and deeper devices
    // are left out rather than walked without end.
    static constexpr int MaxDeviceDepth = 8;

    // NULL for a root device.
    UpnpDevice* parent = nullptr;
    Array<UpnpDevice*> devices;
    Array<UpnpService*> services;
    // The description URL (root devices only).
    String location;
    int32_t specMajor = 0;
    int32_t specMinor = 0;
    String urlBase;
    String deviceType;
    String friendlyName;
    String manufacturer;
    String manufacturerURL;   // resolved
    String modelDescription;
    String modelName;
    String modelNumber;
    String modelURL;          // resolved
    String serialNumber;
    String UDN;
    String UPC;
    String presentationURL;   // resolved
    // Whole seconds the description fetch may take (the HTTP client's limit).
    int32_t timeoutSeconds = 60;

    UpnpDevice() = default;
    UpnpDevice(const UpnpDevice&) = delete;
    UpnpDevice& operator=(const UpnpDevice&) = delete;
    virtual ~UpnpDevice();

    // Fetches the description at the URL and reads it. The HTTP client's exceptions
    // pass out; ParsingException when the answer is not XML.
    void load(const char* url);
    // Reads a description already fetched from `url`.
    void loadDescription(const char* url, const char* text);
    // Reads one "device" element: its fields, its services and, to MaxDeviceDepth, its
    // embedded devices.
    void parseDevice(const XmlNode& element);
    // The first service of this device (embedded devices are not searched) whose type
    // names the same service as `type`, whatever the version number of either.
    UpnpService* findService(const char* type) const;
    String resolveUrl(const char* url) const;
    // 0 for a root device, 1 for a device embedded in it, and so on.
    int depth() const;

private:
    void parseDevice(const XmlNode& element, int level);
};

// True when the two UPnP type texts name the same type: equal bytewise once a trailing
// ":<version>" (a colon and decimal digits) is taken off each. A device that describes
// version 2 of a type also serves what version 1 asks for.
bool upnpTypeMatches(const char* a, const char* b);

// The SSDP search request for the target ("ssdp:all" for NULL).
String ssdpSearchRequest(const char* target);

// How many times one search sends its request, and the pause between two sends.
constexpr int SsdpSendCount = 3;
constexpr int SsdpResendIntervalMs = 250;
// Distinct locations one search loads at most: the answers come from anyone on the
// network, and each location costs a fetch.
constexpr int MaxSsdpLocations = 32;

// Multicasts an SSDP search for the target (NULL: every device) and collects the
// answers for `seconds` whole seconds of the system clock; then loads one device per
// distinct location (at most MaxSsdpLocations). `devices` is emptied first; the caller
// owns what it receives. An answer that cannot be read, carries no location, or whose
// description cannot be fetched or read is left out; socket failures pass out as
// SocketException.
void ssdpSearch(const char* target, Array<UpnpDevice*>& devices, int seconds);

} // namespace orvane
