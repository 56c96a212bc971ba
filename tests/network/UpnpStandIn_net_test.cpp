// SSDP search and gateway actions against the stand-in gateway
// (tests/network/StandInGateway.h) in a private network namespace: the faults a real
// gateway does not produce.

#include "StandInGateway.h"

#include "foundation/Clock.h"
#include "network/UpnpDevice.h"
#include "network/UpnpRouter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace orvane;
using namespace orvane::testing;


TEST_F(StandInTest, SearchSendsTheExactDatagramWithTtlFourAFewTimesPerWindow)
{
    // Many answers to every search: the request must not go out again for each of them.
    std::vector<std::string> answers;
    for (int i = 0; i < 30; ++i)
        answers.push_back(ssdpAnswer(IgdType, "{base}/desc.xml"));
    gateway->setAnswers(answers);
    gateway->serve("/desc.xml", gatewayDescription({{IpType, "/ctl/ip"}}));

    Devices devices;
    ssdpSearch(IgdType, devices.list, 2);

    std::vector<std::string> searches = gateway->searches();
    // A window of more than one second holds every send, and only those.
    EXPECT_EQ(searches.size(), static_cast<size_t>(SsdpSendCount));
    for (const std::string& s : searches)
        EXPECT_EQ(s, "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
                     "MX: 1\r\nST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n");
    for (int ttl : gateway->searchTtls())
        EXPECT_EQ(ttl, 4);
    // Ninety answers naming one location give one device.
    ASSERT_EQ(devices.list.count(), 1);
    EXPECT_EQ(text(devices.list[0]->location), gateway->base() + "/desc.xml");
    EXPECT_EQ(gateway->requests().size(), 1u);
}

TEST_F(StandInTest, SearchWindowIsCountedInWholeSeconds)
{
    for (int seconds : {1, 2}) {
        Devices devices;
        const int64_t start = monotonicMillis();
        ssdpSearch(IgdType, devices.list, seconds);
        const int64_t elapsed = monotonicMillis() - start;
        // Up to the next turn of the system clock's second, and at most the window.
        EXPECT_GT(elapsed, (seconds - 1) * 1000 - 50) << seconds;
        EXPECT_LE(elapsed, seconds * 1000 + 700) << seconds;
        EXPECT_EQ(devices.list.count(), 0);
    }
}

TEST_F(StandInTest, SearchTargetFiltersAnswersIgnoringTheVersion)
{
    gateway->serve("/a.xml", gatewayDescription({{IpType, "/ctl/a"}}));
    gateway->serve("/b.xml", gatewayDescription({{IpType, "/ctl/b"}}));
    gateway->serve("/c.xml", gatewayDescription({{IpType, "/ctl/c"}}, "2"));
    gateway->setAnswers({ssdpAnswer(IgdType, "{base}/a.xml"),
                         ssdpAnswer("upnp:rootdevice", "{base}/b.xml"),
                         ssdpAnswer("urn:schemas-upnp-org:device:InternetGatewayDevice:2", "{base}/c.xml"),
                         ssdpAnswer(IgdType, "{base}/a.xml")});

    auto locations = [](const Devices& d) {
        std::set<std::string> out;
        for (UpnpDevice* device : d.list)
            out.insert(text(device->location));
        return out;
    };
    const std::string base = gateway->base();
    {
        Devices devices;
        ssdpSearch(IgdType, devices.list, 2);
        EXPECT_EQ(locations(devices), (std::set<std::string>{base + "/a.xml", base + "/c.xml"}));
    }
    {
        Devices devices;
        ssdpSearch(nullptr, devices.list, 2);
        EXPECT_EQ(locations(devices), (std::set<std::string>{base + "/a.xml", base + "/b.xml", base + "/c.xml"}));
        EXPECT_NE(gateway->searches().back().find("ST: ssdp:all\r\n"), std::string::npos);
    }
}

TEST_F(StandInTest, BadAnswersAndDescriptionsAreSkippedWithoutEndingTheSearch)
{
    std::string deep;
    for (int i = 0; i < XmlNode::MaxParseDepth + 10; ++i)
        deep += "<device><deviceList>";
    gateway->serve("/good.xml", gatewayDescription({{IpType, "/ctl/ip"}}));
    gateway->serve("/big.xml", gatewayDescription({{IpType, "/ctl/big"}}));
    gateway->serve("/broken.xml", "<root><device><deviceType>x</deviceType");
    gateway->serve("/deep.xml", "<root>" + deep + "</root>");
    gateway->serve("/error.xml", "gone", 500);

    std::string oversized = ssdpAnswer(IgdType, "{base}/big.xml");
    oversized.insert(oversized.size() - 2, "X-PADDING: " + std::string(5000, 'p') + "\r\n");
    gateway->setAnswers({
        "",                                                  // an empty datagram
        "garbage",                                           // no status line at all
        "HTTP/1.1 200 OK\r\nthis line has no colon\r\n\r\n", // a malformed header
        oversized,                                           // longer than any SSDP answer
        "HTTP/1.1 200 OK\r\nST: " + std::string(IgdType) + "\r\nLOCATION:\r\n\r\n", // empty location
        "HTTP/1.1 200 OK\r\nST: " + std::string(IgdType) + "\r\n\r\n",             // none at all
        ssdpAnswer(IgdType, "{base}/missing.xml"),           // 404
        ssdpAnswer(IgdType, "{base}/error.xml"),             // 500
        ssdpAnswer(IgdType, "{base}/broken.xml"),            // not XML
        ssdpAnswer(IgdType, "{base}/deep.xml"),              // nested beyond the parser's limit
        ssdpAnswer(IgdType, "http://127.0.0.1:1/refused.xml"), // nobody listens
        ssdpAnswer(IgdType, "{base}/good.xml"),
    });

    Devices devices;
    ssdpSearch(IgdType, devices.list, 2);
    ASSERT_EQ(devices.list.count(), 1);
    EXPECT_EQ(text(devices.list[0]->location), gateway->base() + "/good.xml");
    for (const StandInGateway::Request& r : gateway->requests())
        EXPECT_NE(r.path, "/big.xml");
    // The unreadable descriptions were asked for: they were skipped, not missed.
    std::set<std::string> asked;
    for (const StandInGateway::Request& r : gateway->requests())
        asked.insert(r.path);
    EXPECT_EQ(asked, (std::set<std::string>{"/good.xml", "/missing.xml", "/error.xml", "/broken.xml", "/deep.xml"}));
}

TEST_F(StandInTest, RouterWithTwoConnectionServicesAsksBoth)
{
    gateway->serve("/desc.xml", gatewayDescription({{IpType, "/ctl/ip"}, {PppType, "/ctl/ppp"}}));
    StandInGateway::Service ip, ppp;
    ip.type = IpType;
    ip.externalAddress = "203.0.113.5";
    ppp.type = PppType;
    ppp.externalAddress = "198.51.100.7";
    gateway->addService("/ctl/ip", ip);
    gateway->addService("/ctl/ppp", ppp);
    gateway->setAnswers({ssdpAnswer(IgdType, "{base}/desc.xml")});

    Routers routers;
    ASSERT_EQ(UpnpRouter::discover(routers.list, 2), 1);
    UpnpRouter& router = *routers.list[0];
    EXPECT_EQ(text(router.getLocalAddress()), "127.0.0.1");
    ASSERT_EQ(router.connectionServices.count(), 2);
    EXPECT_EQ(text(router.getExternalIPAddress()), "203.0.113.5,198.51.100.7");
    // Known now: not asked again.
    router.getExternalIPAddress();
    EXPECT_EQ(gateway->actions("GetExternalIPAddress").size(), 2u);

    // The wire form of one call: headers and the envelope as the body.
    StandInGateway::Request get = gateway->actions("GetExternalIPAddress")[0];
    std::string head = get.head;
    for (char& c : head)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(get.path, "/ctl/ip");
    EXPECT_NE(head.find("\r\nsoapaction: \"urn:schemas-upnp-org:service:wanipconnection:1#getexternalipaddress\"\r\n"),
              std::string::npos) << get.head;
    EXPECT_NE(get.head.find("\"urn:schemas-upnp-org:service:WANIPConnection:1#GetExternalIPAddress\""),
              std::string::npos);
    EXPECT_NE(head.find("\r\ncontent-type: text/xml; charset=\"utf-8\"\r\n"), std::string::npos) << get.head;
    EXPECT_EQ(get.body, "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
                        "<m:GetExternalIPAddress xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
                        "</m:GetExternalIPAddress></s:Body></s:Envelope>");

    PortMapping* m = router.addPortMapping("Orvane alice", 5001, 5000, UpnpRouter::Tcp);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->externalPort, 5001);
    EXPECT_STREQ(m->internalClient, "127.0.0.1");
    EXPECT_EQ(m->internalPort, 5000);
    EXPECT_EQ(m->protocol, UpnpRouter::Tcp);
    std::vector<StandInGateway::Request> adds = gateway->actions("AddPortMapping");
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(adds[0].path, "/ctl/ip");
    EXPECT_EQ(adds[1].path, "/ctl/ppp");
    EXPECT_NE(adds[1].head.find("\"urn:schemas-upnp-org:service:WANPPPConnection:1#AddPortMapping\""),
              std::string::npos);
    EXPECT_EQ(xmlArgument(adds[0].body, "NewPortMappingDescription"), "Orvane alice (127.0.0.1:5000) 5001 TCP");
    EXPECT_NE(adds[0].body.find("<NewRemoteHost></NewRemoteHost><NewExternalPort>5001</NewExternalPort>"
                                "<NewProtocol>TCP</NewProtocol><NewInternalPort>5000</NewInternalPort>"
                                "<NewInternalClient>127.0.0.1</NewInternalClient><NewEnabled>1</NewEnabled>"
                                "<NewPortMappingDescription>"),
              std::string::npos) << adds[0].body;
    EXPECT_EQ(gateway->mappings().size(), 1u);

    router.deleteAllPortMappings();
    EXPECT_EQ(router.mappings.count(), 0);
    std::vector<StandInGateway::Request> deletes = gateway->actions("DeletePortMapping");
    ASSERT_EQ(deletes.size(), 2u); // every service is asked, the second one's 714 is ignored
    EXPECT_EQ(deletes[0].body.find("NewInternalPort"), std::string::npos);
    EXPECT_EQ(xmlArgument(deletes[0].body, "NewProtocol"), "TCP");
    EXPECT_TRUE(gateway->mappings().empty());
}

TEST_F(StandInTest, RefusingServicesAreSkipped)
{
    // 606 from one service, an answer without Body from another, a version-2 service that
    // works; the walk finds the connection services of every version.
    gateway->serve("/desc.xml", gatewayDescription({{IpType, "/ctl/refuse"},
                                                    {PppType, "/ctl/nobody"},
                                                    {"urn:schemas-upnp-org:service:WANIPConnection:2", "/ctl/v2"}}));
    StandInGateway::Service refuse, nobody, v2;
    refuse.type = IpType;
    refuse.refuseAll = true;
    nobody.type = PppType;
    nobody.answerWithoutBody = true;
    v2.type = "urn:schemas-upnp-org:service:WANIPConnection:2";
    v2.externalAddress = "203.0.113.5";
    gateway->addService("/ctl/refuse", refuse);
    gateway->addService("/ctl/nobody", nobody);
    gateway->addService("/ctl/v2", v2);
    gateway->setAnswers({ssdpAnswer(IgdType, "{base}/desc.xml")});

    Routers routers;
    ASSERT_EQ(UpnpRouter::discover(routers.list, 2), 1);
    UpnpRouter& router = *routers.list[0];
    ASSERT_EQ(router.connectionServices.count(), 3);
    EXPECT_EQ(text(router.getExternalIPAddress()), "203.0.113.5");
    ASSERT_NE(router.addPortMapping("Orvane bob", 6000, 6000, UpnpRouter::Udp), nullptr);
    std::vector<StandInGateway::Request> adds = gateway->actions("AddPortMapping");
    ASSERT_EQ(adds.size(), 3u);
    EXPECT_NE(adds[2].head.find("\"urn:schemas-upnp-org:service:WANIPConnection:2#AddPortMapping\""),
              std::string::npos);
    EXPECT_NE(adds[2].body.find("<m:AddPortMapping xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:2\">"),
              std::string::npos);

    // Port taken for UDP on the one service that maps: 718 everywhere, no record.
    gateway->occupy(6001, "UDP");
    EXPECT_EQ(router.addPortMapping("Orvane bob", 6001, 6000, UpnpRouter::Udp), nullptr);
    EXPECT_EQ(router.mappings.count(), 1);
    routers.list[0]->deleteAllPortMappings();
}

TEST_F(StandInTest, NoGatewayAnswersNothing)
{
    Routers routers;
    EXPECT_EQ(UpnpRouter::discover(routers.list, 1), 0);
}

TEST_F(StandInTest, DistinctLocationsOfOneSearchAreBounded)
{
    std::vector<std::string> answers;
    for (int i = 0; i < MaxSsdpLocations + 20; ++i)
        answers.push_back(ssdpAnswer(IgdType, "{base}/d" + std::to_string(i) + ".xml"));
    gateway->setAnswers(answers);
    Devices devices;
    ssdpSearch(IgdType, devices.list, 2);
    EXPECT_EQ(devices.list.count(), 0); // all 404
    EXPECT_EQ(gateway->requests().size(), static_cast<size_t>(MaxSsdpLocations));
}
