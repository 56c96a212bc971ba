#include "network/SoapClient.h"
#include "network/UpnpRouter.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace orvane;

TEST(SoapClient, EnvelopeIsOneLineInTheFixedOrder)
{
    SoapClient soap;
    soap.actionNamespace = "urn:schemas-upnp-org:service:WANIPConnection:1";
    XmlNode in;
    in.addChild("NewRemoteHost", "");
    in.addChild("NewExternalPort", "5001");
    in.addChild("NewPortMappingDescription", "Orvane a<b&\"c\" (10.0.0.2:5000) 5001 TCP");
    EXPECT_STREQ(soap.buildEnvelope("AddPortMapping", in).c_str(),
                 "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
                 " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                 "<s:Body>"
                 "<m:AddPortMapping xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
                 "<NewRemoteHost></NewRemoteHost>"
                 "<NewExternalPort>5001</NewExternalPort>"
                 "<NewPortMappingDescription>Orvane a&lt;b&amp;&quot;c&quot; (10.0.0.2:5000) 5001 TCP"
                 "</NewPortMappingDescription>"
                 "</m:AddPortMapping>"
                 "</s:Body>"
                 "</s:Envelope>");

    XmlNode none;
    EXPECT_STREQ(soap.buildEnvelope("GetExternalIPAddress", none).c_str(),
                 "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
                 " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                 "<s:Body><m:GetExternalIPAddress xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
                 "</m:GetExternalIPAddress></s:Body></s:Envelope>");

    // A namespace that came from a description cannot leave its attribute.
    soap.actionNamespace = "urn:x\"><evil/>";
    EXPECT_EQ(soap.buildEnvelope("A", none).find("<evil/>"), -1);
}

TEST(SoapClient, SoapActionHeader)
{
    SoapClient soap;
    soap.actionNamespace = "urn:schemas-upnp-org:service:WANIPConnection:1";
    EXPECT_STREQ(soap.soapActionHeader("GetExternalIPAddress").c_str(),
                 "\"urn:schemas-upnp-org:service:WANIPConnection:1/GetExternalIPAddress\"");
    soap.actionNamespace = "urn:ns/";
    EXPECT_STREQ(soap.soapActionHeader("X").c_str(), "\"urn:ns/X\"");
    soap.soapAction = "urn:schemas-upnp-org:service:WANIPConnection:2#GetExternalIPAddress";
    EXPECT_STREQ(soap.soapActionHeader("ignored").c_str(),
                 "\"urn:schemas-upnp-org:service:WANIPConnection:2#GetExternalIPAddress\"");
}

TEST(SoapClient, InvokeNamesTheServiceOwnType)
{
    UpnpService service(nullptr);
    service.serviceType = "urn:schemas-upnp-org:service:WANIPConnection:2";
    service.controlURL = "http://127.0.0.1:1/ctl";
    XmlNode in, out;
    // Nothing listens on port 1: the call fails after the client was set up.
    EXPECT_ANY_THROW(service.invoke("GetExternalIPAddress", in, out));
    EXPECT_STREQ(service.soap.soapAction.c_str(),
                 "urn:schemas-upnp-org:service:WANIPConnection:2#GetExternalIPAddress");
    EXPECT_STREQ(service.soap.actionNamespace.c_str(), "urn:schemas-upnp-org:service:WANIPConnection:2");
    EXPECT_STREQ(service.soap.url.c_str(), "http://127.0.0.1:1/ctl");
    EXPECT_STREQ(service.soap.soapActionHeader("GetExternalIPAddress").c_str(),
                 "\"urn:schemas-upnp-org:service:WANIPConnection:2#GetExternalIPAddress\"");
}

namespace {

XmlNode parsed(const char* text)
{
    XmlNode node;
    EXPECT_TRUE(node.parse(text)) << text;
    return node;
}

} // namespace

TEST(SoapClient, ResponseOutArgumentsSkipNamespaceDeclarations)
{
    XmlNode envelope = parsed(
        "<?xml version=\"1.0\"?>"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
        "<u:GetExternalIPAddressResponse xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
        "<NewExternalIPAddress>203.0.113.9</NewExternalIPAddress>"
        "</u:GetExternalIPAddressResponse></s:Body></s:Envelope>");
    XmlNode out("stale", "value");
    out.addChild("old", "1");
    // call() empties the node first; parseResponse appends.
    out = XmlNode();
    XmlNode result = SoapClient::parseResponse("GetExternalIPAddress", envelope, out);
    ASSERT_EQ(out.children.count(), 1);
    EXPECT_STREQ(out.children[0]->name.c_str(), "NewExternalIPAddress");
    EXPECT_STREQ(out.childOrEmpty("newexternalipaddress")->value.c_str(), "203.0.113.9");
    EXPECT_EQ(result.children.count(), 0);
    EXPECT_TRUE(result.value.isEmpty());
}

TEST(SoapClient, ResponseResultElementAndPrefixedNames)
{
    XmlNode envelope = parsed(
        "<SOAP-ENV:Envelope><SOAP-ENV:Body xmlns:x=\"urn:x\"><m:QueryResponse xmlns=\"urn:d\">"
        "<QueryResult>42<inner>7</inner></QueryResult>"
        "<m:NewThing>a</m:NewThing><Other><deep>b</deep></Other>"
        "</m:QueryResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>");
    XmlNode out;
    XmlNode result = SoapClient::parseResponse("Query", envelope, out);
    EXPECT_STREQ(result.name.c_str(), "QueryResult");
    EXPECT_STREQ(result.value.c_str(), "42");
    EXPECT_STREQ(result.childOrEmpty("inner")->value.c_str(), "7");
    ASSERT_EQ(out.children.count(), 2);
    // A prefixed name is kept whole; deep copies keep their children.
    EXPECT_STREQ(out.children[0]->name.c_str(), "m:NewThing");
    EXPECT_STREQ(out.childOrEmpty("Other")->childOrEmpty("deep")->value.c_str(), "b");
}

TEST(SoapClient, AnswersWithoutBodyOrResponseElementAreParsingExceptions)
{
    const char* bad[] = {
        "<s:Envelope><s:Header/></s:Envelope>",
        "<s:Envelope><s:Body></s:Body></s:Envelope>",
        "<s:Envelope><s:Body xmlns:u=\"urn:u\"/></s:Envelope>",
        "<html><body>not soap</body></html>",
    };
    for (const char* text : bad) {
        XmlNode envelope = parsed(text);
        XmlNode out;
        EXPECT_THROW(SoapClient::parseResponse("A", envelope, out), SoapClient::ParsingException) << text;
    }
    // A Body of any prefix counts, also none.
    XmlNode envelope = parsed("<Envelope><Body><R><v>1</v></R></Body></Envelope>");
    XmlNode out;
    SoapClient::parseResponse("A", envelope, out);
    EXPECT_STREQ(out.childOrEmpty("v")->value.c_str(), "1");
}

TEST(UpnpRouter, PortMappingArgumentsInOrder)
{
    PortMapping m;
    m.externalPort = 5001;
    m.internalPort = 5000;
    m.protocol = UpnpRouter::Udp;
    std::snprintf(m.internalClient, sizeof m.internalClient, "%s", "192.168.77.2");
    XmlNode add = UpnpRouter::portMappingArguments(m, "desc", true);
    const char* names[] = {"NewRemoteHost",   "NewExternalPort", "NewProtocol",
                           "NewInternalPort", "NewInternalClient", "NewEnabled",
                           "NewPortMappingDescription", "NewLeaseDuration"};
    const char* values[] = {"", "5001", "UDP", "5000", "192.168.77.2", "1", "desc", "0"};
    ASSERT_EQ(add.children.count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_STREQ(add.children[i]->name.c_str(), names[i]);
        EXPECT_STREQ(add.children[i]->value.c_str(), values[i]);
    }
    XmlNode del = UpnpRouter::portMappingArguments(m, "", false);
    ASSERT_EQ(del.children.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_STREQ(del.children[i]->name.c_str(), names[i]);
    m.protocol = UpnpRouter::Tcp;
    EXPECT_STREQ(UpnpRouter::portMappingArguments(m, "", false).children[2]->value.c_str(), "TCP");
}

TEST(UpnpRouter, FindsConnectionServicesOfEitherVersionInDocumentOrder)
{
    auto* root = new UpnpDevice();
    root->loadDescription(
        "http://192.168.1.1:80/d.xml",
        "<root><device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
        "<deviceList>"
        // Not a WAN device: its services are not looked at.
        "<device><deviceType>urn:schemas-upnp-org:device:LANDevice:1</deviceType><deviceList><device>"
        "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType><serviceList>"
        "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
        "<controlURL>/lan</controlURL></service></serviceList></device></deviceList></device>"
        "<device><deviceType>urn:schemas-upnp-org:device:WANDevice:2</deviceType><serviceList>"
        "<service><serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
        "<controlURL>/cfg</controlURL></service></serviceList><deviceList>"
        "<device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:2</deviceType><serviceList>"
        "<service><serviceType>urn:schemas-upnp-org:service:WANPPPConnection:1</serviceType>"
        "<controlURL>/ppp</controlURL></service>"
        "<service><serviceType>urn:schemas-upnp-org:service:Other:1</serviceType>"
        "<controlURL>/other</controlURL></service>"
        "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:2</serviceType>"
        "<controlURL>/ip</controlURL></service>"
        "</serviceList></device></deviceList></device>"
        "</deviceList></device></root>");
    UpnpRouter router(root);
    router.findServices();
    ASSERT_EQ(router.connectionServices.count(), 2);
    EXPECT_STREQ(router.connectionServices[0]->controlURL.c_str(), "http://192.168.1.1:80/ppp");
    EXPECT_STREQ(router.connectionServices[1]->controlURL.c_str(), "http://192.168.1.1:80/ip");
    ASSERT_EQ(router.interfaceConfigServices.count(), 1);
    EXPECT_STREQ(router.interfaceConfigServices[0]->controlURL.c_str(), "http://192.168.1.1:80/cfg");
}

TEST(UpnpRouter, NoLocalAddressMeansNoMappingAndNothingSent)
{
    auto* root = new UpnpDevice();
    root->loadDescription("desc.xml", "<root><device/></root>");
    UpnpRouter router(root);
    EXPECT_TRUE(router.getLocalAddress().isEmpty());
    EXPECT_EQ(router.addPortMapping("Orvane u", 5000, 5000, UpnpRouter::Tcp), nullptr);
    EXPECT_EQ(router.mappings.count(), 0);
}
