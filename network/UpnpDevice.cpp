#include "network/UpnpDevice.h"

#include "foundation/Clock.h"
#include "network/HttpClient.h"
#include "network/HttpResponse.h"
#include "network/MulticastSocket.h"

#include <arpa/inet.h>
#include <cstring>
#include <ctime>
#include <memory>

namespace orvane {

UpnpDevice::ParsingException::~ParsingException() = default;

namespace {

// Length of the text without a trailing ":<digits>".
int typeLengthWithoutVersion(const char* text)
{
    int n = static_cast<int>(std::strlen(text));
    int i = n;
    while (i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9')
        --i;
    if (i < n && i > 0 && text[i - 1] == ':')
        return i - 1;
    return n;
}

String childText(const XmlNode& element, const char* name)
{
    return element.childOrEmpty(name)->value;
}

// Larger than any UDP datagram, so that an oversized answer arrives whole and can be
// told apart from a failure of the socket.
const int ReceiveBufferSize = 65536;
// Answers longer than this are not SSDP answers of a gateway and are dropped.
const int MaxAnswerSize = 4096;

} // namespace

bool upnpTypeMatches(const char* a, const char* b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    int na = typeLengthWithoutVersion(a);
    int nb = typeLengthWithoutVersion(b);
    return na == nb && std::memcmp(a, b, static_cast<size_t>(na)) == 0;
}

// ---- UpnpService ------------------------------------------------------------------------

UpnpService::~UpnpService() = default;

void UpnpService::parse(const XmlNode& element)
{
    serviceType = childText(element, "serviceType");
    serviceId = childText(element, "serviceId");
    SCPDURL = childText(element, "SCPDURL");
    controlURL = device ? device->resolveUrl(childText(element, "controlURL"))
                        : childText(element, "controlURL");
    eventSubURL = device ? device->resolveUrl(childText(element, "eventSubURL"))
                         : childText(element, "eventSubURL");
}

XmlNode UpnpService::invoke(const char* action, const XmlNode& in, XmlNode& out)
{
    soap.soapAction = serviceType + "#" + action;
    soap.actionNamespace = serviceType;
    soap.url = controlURL;
    return soap.call(action, in, out);
}

// ---- UpnpDevice -------------------------------------------------------------------------

UpnpDevice::~UpnpDevice()
{
    for (UpnpService* s : services)
        delete s;
    for (UpnpDevice* d : devices)
        delete d;
}

int UpnpDevice::depth() const
{
    int n = 0;
    for (const UpnpDevice* d = parent; d; d = d->parent)
        ++n;
    return n;
}

void UpnpDevice::load(const char* url)
{
    location = url ? url : "";
    HttpClient http;
    http.timeoutSeconds = timeoutSeconds;
    ByteArray answer;
    http.get(location, &answer);
    String text(reinterpret_cast<const char*>(answer.data()), answer.count());
    loadDescription(location, text);
}

void UpnpDevice::loadDescription(const char* url, const char* text)
{
    location = url ? url : "";
    XmlNode root;
    if (!root.parse(text))
        throw ParsingException();

    const XmlNode* version = root.childOrEmpty("specVersion");
    specMajor = version->childOrEmpty("major")->getInt();
    specMinor = version->childOrEmpty("minor")->getInt();

    urlBase = childText(root, "URLBase");
    if (urlBase.isEmpty()) {
        // Scheme, "://", host and port of the location.
        int scheme = location.find("://");
        if (scheme >= 0) {
            int slash = location.find('/', scheme + 3);
            if (slash >= 0)
                urlBase = location.substring(0, slash);
        }
    }

    const XmlNode* device = root.getChild("device");
    parseDevice(device ? *device : XmlNode());
}

void UpnpDevice::parseDevice(const XmlNode& element)
{
    parseDevice(element, depth());
}

void UpnpDevice::parseDevice(const XmlNode& element, int level)
{
    deviceType = childText(element, "deviceType");
    friendlyName = childText(element, "friendlyName");
    manufacturer = childText(element, "manufacturer");
    manufacturerURL = resolveUrl(childText(element, "manufacturerURL"));
    modelDescription = childText(element, "modelDescription");
    modelName = childText(element, "modelName");
    modelNumber = childText(element, "modelNumber");
    modelURL = resolveUrl(childText(element, "modelURL"));
    serialNumber = childText(element, "serialNumber");
    UDN = childText(element, "UDN");
    UPC = childText(element, "UPC");
    presentationURL = resolveUrl(childText(element, "presentationURL"));

    for (const XmlNode* child : element.childOrEmpty("serviceList")->children) {
        std::unique_ptr<UpnpService> service(new UpnpService(this));
        service->parse(*child);
        services.add(service.get());
        service.release();
    }

    if (level >= MaxDeviceDepth)
        return;
    for (const XmlNode* child : element.childOrEmpty("deviceList")->children) {
        std::unique_ptr<UpnpDevice> embedded(new UpnpDevice());
        embedded->parent = this;
        embedded->specMajor = specMajor;
        embedded->specMinor = specMinor;
        embedded->urlBase = urlBase;
        embedded->timeoutSeconds = timeoutSeconds;
        embedded->parseDevice(*child, level + 1);
        devices.add(embedded.get());
        embedded.release();
    }
}

UpnpService* UpnpDevice::findService(const char* type) const
{
    for (UpnpService* s : services)
        if (upnpTypeMatches(s->serviceType, type))
            return s;
    return nullptr;
}

String UpnpDevice::resolveUrl(const char* url) const
{
    String u(url ? url : "");
    if (u.isEmpty())
        return u;
    if (u.at(0) == '/') {
        if (urlBase.endsWith("/"))
            return urlBase + u.substring(1);
        return urlBase + u;
    }
    if (u.find("://") >= 0)
        return u;
    if (urlBase.endsWith("/"))
        return urlBase + u;
    return urlBase + "/" + u;
}

// ---- SSDP -------------------------------------------------------------------------------

String ssdpSearchRequest(const char* target)
{
    String request("M-SEARCH * HTTP/1.1\r\n"
                   "HOST: 239.255.255.250:1900\r\n"
                   "MAN: \"ssdp:discover\"\r\n"
                   "MX: 1\r\n"
                   "ST: ");
    request += target ? target : "ssdp:all";
    request += "\r\n\r\n";
    return request;
}

namespace {

// The location of one answer, or false when the datagram is not an answer that counts.
bool readAnswer(const char* target, const uint8_t* bytes, int n, String& location)
{
    HttpResponse response;
    try {
        response.parse(bytes, n);
    } catch (const HttpException&) {
        return false;
    }
    if (target && !upnpTypeMatches(response.headers.get("st"), target))
        return false;
    location = response.headers.get("location");
    // Without a location there is no description to fetch.
    return !location.isEmpty();
}

} // namespace

void ssdpSearch(const char* target, Array<UpnpDevice*>& devices, int seconds)
{
    devices.release();

    MulticastSocket socket;
    socket.create();
    socket.receiveTimeoutMs = 200;
    socket.setMulticastTtl(4);

    const String request = ssdpSearchRequest(target);
    SocketAddress group;
    group.setAddress(htonl(0xEFFFFFFAu), 1900); // 239.255.255.250

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[ReceiveBufferSize]);
    StringHashSet locations(hashString, 17);

    // The request goes out a few times early in the window (a datagram can be lost), not
    // once for every answer: a busy network would otherwise flood itself.
    int sent = 0;
    int64_t nextSend = monotonicMillis();
    const time_t end = std::time(nullptr) + seconds;
    while (std::time(nullptr) < end) {
        if (sent < SsdpSendCount && monotonicMillis() >= nextSend) {
            socket.send(group, request.c_str(), request.length());
            ++sent;
            nextSend = monotonicMillis() + SsdpResendIntervalMs;
        }
        SocketAddress from;
        int n;
        try {
            n = socket.receive(from, buffer.get(), ReceiveBufferSize);
        } catch (const NoConnectionException&) {
            continue; // an empty datagram
        }
        if (n <= 0 || n > MaxAnswerSize)
            continue;
        String location;
        if (!readAnswer(target, buffer.get(), n, location))
            continue;
        if (locations.find(location) || locations.size() >= MaxSsdpLocations)
            continue;
        locations.add(location);
    }
    socket.close();

    // The set's own order decides which description is loaded first.
    for (StringHashSet::Iterator it(locations); it.isValid(); it.next()) {
        std::unique_ptr<UpnpDevice> device(new UpnpDevice());
        try {
            device->load(it.key());
        } catch (const Exception&) {
            continue; // one gateway that cannot describe itself does not hide the others
        }
        devices.add(device.get());
        device.release();
    }
}

} // namespace orvane
