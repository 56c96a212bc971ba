#include "network/MulticastSocket.h"
#include "network/UpnpDevice.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;

namespace {

// A description in the shape gateways write: an IGD with a WAN device and, inside it, a
// WAN connection device. No URLBase, so the base comes from the location.
const char* const GatewayDescription =
    "<?xml version=\"1.0\"?>\r\n"
    "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
    "<specVersion><major>1</major><minor>1</minor></specVersion>"
    "<device>"
    "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:2</deviceType>"
    "<friendlyName>Router &amp; Co</friendlyName>"
    "<manufacturer>Maker</manufacturer>"
    "<manufacturerURL>http://maker.example/</manufacturerURL>"
    "<modelURL>model/info.html</modelURL>"
    "<UDN>uuid:root</UDN>"
    "<presentationURL>/</presentationURL>"
    "<serviceList><service>"
    "<serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>"
    "<serviceId>urn:upnp-org:serviceId:L3Forwarding1</serviceId>"
    "<SCPDURL>/L3F.xml</SCPDURL><controlURL>/ctl/L3F</controlURL><eventSubURL>/evt/L3F</eventSubURL>"
    "</service></serviceList>"
    "<deviceList><device>"
    "<deviceType>urn:schemas-upnp-org:device:WANDevice:2</deviceType>"
    "<UDN>uuid:wan</UDN>"
    "<serviceList><service>"
    "<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
    "<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>"
    "<SCPDURL>WANCfg.xml</SCPDURL><controlURL>ctl/CmnIfCfg</controlURL><eventSubURL>evt/CmnIfCfg</eventSubURL>"
    "</service></serviceList>"
    "<deviceList><device>"
    "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:2</deviceType>"
    "<UDN>uuid:conn</UDN>"
    "<serviceList><service>"
    "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:2</serviceType>"
    "<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
    "<SCPDURL>/WANIPCn.xml</SCPDURL><controlURL>/ctl/IPConn</controlURL><eventSubURL>/evt/IPConn</eventSubURL>"
    "</service></serviceList>"
    "</device></deviceList>"
    "</device></deviceList>"
    "</device></root>";

// A description whose devices nest `levels` deep below the root.
std::string nestedDescription(int levels)
{
    std::string open, close;
    for (int i = 0; i <= levels; ++i) {
        open += "<device><deviceType>urn:test:device:Level" + std::to_string(i) + ":1</deviceType>";
        if (i < levels)
            open += "<deviceList>";
        close = (i < levels ? "</deviceList></device>" : "</device>") + close;
    }
    return "<root><URLBase>http://10.9.8.7:80/base/</URLBase>" + open + close + "</root>";
}

} // namespace

TEST(SsdpRequest, ExactDatagramText)
{
    EXPECT_STREQ(ssdpSearchRequest("urn:schemas-upnp-org:device:InternetGatewayDevice:1").c_str(),
                 "M-SEARCH * HTTP/1.1\r\n"
                 "HOST: 239.255.255.250:1900\r\n"
                 "MAN: \"ssdp:discover\"\r\n"
                 "MX: 1\r\n"
                 "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
                 "\r\n");
    EXPECT_STREQ(ssdpSearchRequest(nullptr).c_str(),
                 "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
                 "MX: 1\r\nST: ssdp:all\r\n\r\n");
}

TEST(UpnpType, MatchesWithoutVersionNumber)
{
    struct Case {
        const char* a;
        const char* b;
        bool match;
    } cases[] = {
        {"urn:schemas-upnp-org:service:WANIPConnection:1", "urn:schemas-upnp-org:service:WANIPConnection:1", true},
        {"urn:schemas-upnp-org:service:WANIPConnection:2", "urn:schemas-upnp-org:service:WANIPConnection:1", true},
        {"urn:schemas-upnp-org:service:WANIPConnection:12", "urn:schemas-upnp-org:service:WANIPConnection", true},
        {"urn:schemas-upnp-org:service:WANIPConnection:1", "urn:schemas-upnp-org:service:WANPPPConnection:1", false},
        {"urn:schemas-upnp-org:service:WANIPConnection:1", "urn:schemas-upnp-org:service:WANIPConnectionX:1", false},
        // Case counts, as in every other type comparison.
        {"urn:schemas-upnp-org:service:wanipconnection:1", "urn:schemas-upnp-org:service:WANIPConnection:1", false},
        // Only a trailing colon and digits are a version.
        {"urn:x:Type2", "urn:x:Type1", false},
        {"upnp:rootdevice", "upnp:rootdevice", true},
        {"", nullptr, true},
        {":1", "", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upnpTypeMatches(c.a, c.b), c.match) << c.a << " / " << (c.b ? c.b : "NULL");
        EXPECT_EQ(upnpTypeMatches(c.b, c.a), c.match) << "symmetric: " << c.a;
    }
}

TEST(UpnpDevice, ResolveUrlTable)
{
    struct Case {
        const char* base;
        const char* url;
        const char* expected;
    } cases[] = {
        {"http://10.0.0.1:5000", "", ""},
        {"http://10.0.0.1:5000", "/ctl/IPConn", "http://10.0.0.1:5000/ctl/IPConn"},
        {"http://10.0.0.1:5000/", "/ctl/IPConn", "http://10.0.0.1:5000/ctl/IPConn"},
        {"http://10.0.0.1:5000", "ctl/IPConn", "http://10.0.0.1:5000/ctl/IPConn"},
        {"http://10.0.0.1:5000/dir/", "ctl/IPConn", "http://10.0.0.1:5000/dir/ctl/IPConn"},
        {"http://10.0.0.1:5000", "http://other:1/x", "http://other:1/x"},
        {"", "ctl", "/ctl"},
        {"", "/ctl", "/ctl"},
    };
    for (const Case& c : cases) {
        UpnpDevice d;
        d.urlBase = c.base;
        EXPECT_STREQ(d.resolveUrl(c.url).c_str(), c.expected) << c.base << " + " << c.url;
    }
}

TEST(UpnpDevice, DescriptionWithoutUrlBaseTakesSchemeHostAndPortOfLocation)
{
    UpnpDevice root;
    root.loadDescription("http://192.168.1.1:5000/rootDesc.xml", GatewayDescription);

    EXPECT_STREQ(root.location.c_str(), "http://192.168.1.1:5000/rootDesc.xml");
    EXPECT_STREQ(root.urlBase.c_str(), "http://192.168.1.1:5000");
    EXPECT_EQ(root.specMajor, 1);
    EXPECT_EQ(root.specMinor, 1);
    EXPECT_STREQ(root.deviceType.c_str(), "urn:schemas-upnp-org:device:InternetGatewayDevice:2");
    EXPECT_STREQ(root.friendlyName.c_str(), "Router & Co");
    EXPECT_STREQ(root.manufacturerURL.c_str(), "http://maker.example/");
    EXPECT_STREQ(root.modelURL.c_str(), "http://192.168.1.1:5000/model/info.html");
    EXPECT_STREQ(root.presentationURL.c_str(), "http://192.168.1.1:5000/");
    EXPECT_EQ(root.parent, nullptr);

    ASSERT_EQ(root.services.count(), 1);
    UpnpService* l3f = root.services[0];
    EXPECT_EQ(l3f->device, &root);
    EXPECT_STREQ(l3f->SCPDURL.c_str(), "/L3F.xml"); // as written
    EXPECT_STREQ(l3f->controlURL.c_str(), "http://192.168.1.1:5000/ctl/L3F");
    EXPECT_STREQ(l3f->eventSubURL.c_str(), "http://192.168.1.1:5000/evt/L3F");

    // The embedded devices inherit the base; relative URLs get a '/' between.
    ASSERT_EQ(root.devices.count(), 1);
    UpnpDevice* wan = root.devices[0];
    EXPECT_EQ(wan->parent, &root);
    EXPECT_STREQ(wan->urlBase.c_str(), "http://192.168.1.1:5000");
    EXPECT_EQ(wan->specMajor, 1);
    EXPECT_TRUE(wan->location.isEmpty());
    ASSERT_EQ(wan->services.count(), 1);
    EXPECT_STREQ(wan->services[0]->controlURL.c_str(), "http://192.168.1.1:5000/ctl/CmnIfCfg");
    EXPECT_STREQ(wan->services[0]->SCPDURL.c_str(), "WANCfg.xml");

    ASSERT_EQ(wan->devices.count(), 1);
    UpnpDevice* conn = wan->devices[0];
    EXPECT_EQ(conn->depth(), 2);
    ASSERT_EQ(conn->services.count(), 1);
    EXPECT_STREQ(conn->services[0]->controlURL.c_str(), "http://192.168.1.1:5000/ctl/IPConn");

    // A version-2 service is found by the version-1 type, and only on its own device.
    EXPECT_EQ(conn->findService("urn:schemas-upnp-org:service:WANIPConnection:1"), conn->services[0]);
    EXPECT_EQ(root.findService("urn:schemas-upnp-org:service:WANIPConnection:1"), nullptr);
    EXPECT_EQ(wan->findService("urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"), wan->services[0]);
}

TEST(UpnpDevice, UrlBaseElementAndLocationsWithoutPath)
{
    UpnpDevice withBase;
    withBase.loadDescription("http://192.168.1.1:5000/desc.xml",
                             "<root><URLBase>http://192.168.1.254:49000/</URLBase><device>"
                             "<serviceList><service><controlURL>/upnp/control</controlURL></service>"
                             "</serviceList></device></root>");
    EXPECT_STREQ(withBase.urlBase.c_str(), "http://192.168.1.254:49000/");
    ASSERT_EQ(withBase.services.count(), 1);
    EXPECT_STREQ(withBase.services[0]->controlURL.c_str(), "http://192.168.1.254:49000/upnp/control");

    // No '/' after the host: no base can be taken; no "://" either.
    for (const char* location : {"http://192.168.1.1:5000", "192.168.1.1/desc.xml", ""}) {
        UpnpDevice d;
        d.loadDescription(location, "<root><device><deviceType>t</deviceType></device></root>");
        EXPECT_TRUE(d.urlBase.isEmpty()) << location;
        EXPECT_STREQ(d.deviceType.c_str(), "t");
    }

    // Without a device element the device is empty, not an error; absent numbers read 0.
    UpnpDevice empty;
    empty.loadDescription("http://h:1/d.xml", "<root/>");
    EXPECT_EQ(empty.specMajor, 0);
    EXPECT_TRUE(empty.deviceType.isEmpty());
    EXPECT_EQ(empty.services.count(), 0);
}

TEST(UpnpDevice, UnreadableDescriptionIsAParsingException)
{
    UpnpDevice d;
    EXPECT_THROW(d.loadDescription("http://h:1/d.xml", "<root><device"), UpnpDevice::ParsingException);
    std::string deep;
    for (int i = 0; i < XmlNode::MaxParseDepth + 5; ++i)
        deep += "<a>";
    UpnpDevice d2;
    EXPECT_THROW(d2.loadDescription("http://h:1/d.xml", deep.c_str()), UpnpDevice::ParsingException);
}

TEST(UpnpDevice, EmbeddedDevicesAreReadToALimitedDepth)
{
    UpnpDevice root;
    root.loadDescription("http://h:1/d.xml", nestedDescription(UpnpDevice::MaxDeviceDepth + 20).c_str());
    int levels = 0;
    const UpnpDevice* d = &root;
    while (d->devices.count() == 1) {
        d = d->devices[0];
        ++levels;
        EXPECT_STREQ(d->urlBase.c_str(), "http://10.9.8.7:80/base/");
    }
    EXPECT_EQ(levels, UpnpDevice::MaxDeviceDepth);
    EXPECT_EQ(d->depth(), UpnpDevice::MaxDeviceDepth);
    EXPECT_EQ(d->devices.count(), 0);
    // The deepest device read is itself complete.
    EXPECT_STREQ(d->deviceType.c_str(),
                 ("urn:test:device:Level" + std::to_string(UpnpDevice::MaxDeviceDepth) + ":1").c_str());

    UpnpDevice shallow;
    shallow.loadDescription("http://h:1/d.xml", nestedDescription(UpnpDevice::MaxDeviceDepth).c_str());
    d = &shallow;
    levels = 0;
    while (d->devices.count() == 1) {
        d = d->devices[0];
        ++levels;
    }
    EXPECT_EQ(levels, UpnpDevice::MaxDeviceDepth);
}

TEST(MulticastSocket, CreateSetsTtlThreeAndTheSetterChangesIt)
{
    MulticastSocket s;
    s.create();
    ASSERT_GE(s.handle, 0);
    EXPECT_EQ(s.getMulticastTtl(), 3);
    s.setMulticastTtl(4);
    EXPECT_EQ(s.getMulticastTtl(), 4);
    EXPECT_THROW(s.setMulticastTtl(1000), SocketException);
    s.close();
    EXPECT_EQ(s.handle, NoSocket);
    EXPECT_THROW(s.setMulticastTtl(4), SocketException);
}
