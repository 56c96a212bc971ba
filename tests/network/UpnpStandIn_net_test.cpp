// SSDP search, gateway actions and the port-mapping thread against the stand-in gateway
// (tests/network/StandInGateway.h) in a private network namespace: the faults a real
// gateway does not produce.

#include "NetNamespace.h"
#include "StandInGateway.h"

#include "foundation/Clock.h"
#include "network/UpnpDevice.h"
#include "network/UpnpPortMapper.h"
#include "network/UpnpRouter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

const char* const IgdType = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
const char* const IpType = "urn:schemas-upnp-org:service:WANIPConnection:1";
const char* const PppType = "urn:schemas-upnp-org:service:WANPPPConnection:1";

// Owns the devices a search returned.
struct Devices {
    Array<UpnpDevice*> list;
    ~Devices()
    {
        for (UpnpDevice* d : list)
            delete d;
    }
};

struct Routers {
    Array<UpnpRouter*> list;
    ~Routers()
    {
        for (UpnpRouter* r : list)
            delete r;
    }
};

// The test thread in a private namespace with the stand-in gateway running in it.
class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scope.enterPrivate());
        gateway = std::make_unique<StandInGateway>();
        ASSERT_TRUE(gateway->ready());
    }
    void TearDown() override
    {
        gateway.reset();
        scope.leave();
    }

    // An IGD with one WANIPConnection service at /ctl/ip answering `external`.
    void oneGateway(const std::string& external, const std::string& version = "1")
    {
        gateway->serve("/desc.xml", gatewayDescription({{"urn:schemas-upnp-org:service:WANIPConnection:" + version,
                                                          "/ctl/ip"}},
                                                        version));
        StandInGateway::Service ip;
        ip.type = "urn:schemas-upnp-org:service:WANIPConnection:" + version;
        ip.externalAddress = external;
        gateway->addService("/ctl/ip", ip);
        gateway->setAnswers({ssdpAnswer(IgdType, "{base}/desc.xml")});
    }

    NamespaceScope scope;
    std::unique_ptr<StandInGateway> gateway;
};

std::string text(const String& s)
{
    return std::string(s.c_str(), static_cast<size_t>(s.length()));
}

template <class Predicate>
bool waitUntil(Predicate done, int timeoutMs)
{
    const int64_t end = monotonicMillis() + timeoutMs;
    while (!done()) {
        if (monotonicMillis() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

TEST_F(StandIn, SearchSendsTheExactDatagramWithTtlFourAFewTimesPerWindow)
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

TEST_F(StandIn, SearchWindowIsCountedInWholeSeconds)
{
    for (int seconds : {1, 2}) {
        Devices devices;
        const int64_t start = monotonicMillis();
        ssdpSearch(IgdType, devices.list, seconds);
        const int64_t elapsed = monotonicMillis() - start;
        // Up to the next turn of the system clock's second, and at most the window.
        EXPECT_GT(elapsed, (seconds - 1) * 1000 - 50) << seconds;
        EXPECT_LE(elapsed, seconds * 1000 + 250) << seconds;
        EXPECT_EQ(devices.list.count(), 0);
    }
}

TEST_F(StandIn, SearchTargetFiltersAnswersIgnoringTheVersion)
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

TEST_F(StandIn, BadAnswersAndDescriptionsAreSkippedWithoutEndingTheSearch)
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

TEST_F(StandIn, RouterWithTwoConnectionServicesAsksBoth)
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

TEST_F(StandIn, RefusingServicesAreSkipped)
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

TEST_F(StandIn, NoGatewayAnswersNothing)
{
    Routers routers;
    EXPECT_EQ(UpnpRouter::discover(routers.list, 1), 0);
}

// ---- the port-mapping thread ------------------------------------------------------------

namespace {

class Mapper : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        AdvertisedEndpoint::Value v;
        v.address = "203.0.113.5";
        v.tcpPort = 5000;
        v.udpPort = 5000;
        endpoint.set(v);
        request.userName = "alice";
        request.reportedAddress = "203.0.113.5";
        request.bindPort = 4000;
    }
    void TearDown() override
    {
        if (mapper)
            mapper->stop(true);
        mapper.reset();
        StandIn::TearDown();
    }
    void startMapper()
    {
        mapper = std::make_unique<UpnpPortMapper>(endpoint, "Orvane");
        mapper->init();
        mapper->start();
    }
    // Requests a pass and waits until it is over.
    void runPass()
    {
        const int before = mapper->getPassCount();
        mapper->requestMapping(request);
        ASSERT_TRUE(waitUntil([&] { return mapper->getPassCount() > before; }, 10000));
    }

    AdvertisedEndpoint endpoint;
    PortMappingRequest request;
    std::unique_ptr<UpnpPortMapper> mapper;
};

} // namespace

TEST_F(Mapper, MapsOnTheGatewayWhoseAddressTheServerSawAndRemovesOnStop)
{
    // Two gateways; only the second one's external address is the reported one.
    gateway->serve("/g1.xml", gatewayDescription({{IpType, "/ctl/g1"}}));
    gateway->serve("/g2.xml", gatewayDescription({{IpType, "/ctl/g2"}}));
    StandInGateway::Service g1, g2;
    g1.type = g2.type = IpType;
    g1.externalAddress = "198.51.100.1";
    g2.externalAddress = "203.0.113.5";
    gateway->addService("/ctl/g1", g1);
    gateway->addService("/ctl/g2", g2);
    gateway->setAnswers({ssdpAnswer(IgdType, "{base}/g1.xml"), ssdpAnswer(IgdType, "{base}/g2.xml")});

    startMapper();
    runPass();

    // TCP and UDP both at 5000: UDP asks for 5001 first.
    AdvertisedEndpoint::Value v = endpoint.get();
    EXPECT_EQ(text(v.address), "203.0.113.5");
    EXPECT_EQ(v.tcpPort, 5000);
    EXPECT_EQ(v.udpPort, 5001);
    EXPECT_TRUE(v.manualSettings);
    EXPECT_TRUE(mapper->hasRouter());

    for (const StandInGateway::Request& r : gateway->actions("AddPortMapping"))
        EXPECT_EQ(r.path, "/ctl/g2");
    auto mappings = gateway->mappings();
    ASSERT_EQ(mappings.size(), 2u);
    ASSERT_TRUE(mappings.count({5000, "TCP"}));
    ASSERT_TRUE(mappings.count({5001, "UDP"}));
    EXPECT_EQ(mappings[std::make_pair(5000, std::string("TCP"))].internalPort, 4000);
    EXPECT_EQ(mappings[std::make_pair(5001, std::string("UDP"))].internalPort, 4000);
    EXPECT_EQ(mappings[std::make_pair(5000, std::string("TCP"))].description, "Orvane alice (127.0.0.1:4000) 5000 TCP");

    // A second pass maps again (the advertised ports are now 5000/5001) and leaves the
    // first pass's mappings where they are.
    const size_t addsBefore = gateway->actions("AddPortMapping").size();
    runPass();
    EXPECT_EQ(gateway->actions("AddPortMapping").size(), addsBefore + 2);
    EXPECT_TRUE(gateway->actions("DeletePortMapping").empty());
    EXPECT_EQ(gateway->mappings().size(), 2u);

    // The end of the thread removes the kept gateway's mappings.
    mapper->stop(true);
    EXPECT_TRUE(gateway->mappings().empty());
    EXPECT_EQ(gateway->actions("DeletePortMapping").size(), 2u);
}

TEST_F(Mapper, TakenPortsAreSkippedUpToFourPlaces)
{
    oneGateway("203.0.113.5");
    gateway->occupy(5000, "TCP");
    gateway->occupy(5001, "TCP");
    gateway->occupy(5001, "UDP");
    startMapper();
    runPass();
    AdvertisedEndpoint::Value v = endpoint.get();
    EXPECT_EQ(v.tcpPort, 5002);
    EXPECT_EQ(v.udpPort, 5002);
    EXPECT_TRUE(gateway->mappings().count({5002, "TCP"}));
    EXPECT_TRUE(gateway->mappings().count({5002, "UDP"}));

    // Five taken ports in a row: no mapping for UDP, so TCP is given back and nothing is
    // advertised.
    mapper->stop(true);
    for (int p = 5002; p <= 5006; ++p)
        gateway->occupy(p, "UDP");
    AdvertisedEndpoint::Value start;
    start.address = "203.0.113.5";
    start.tcpPort = start.udpPort = 5000;
    endpoint.set(start);
    const size_t deletesBefore = gateway->actions("DeletePortMapping").size();
    startMapper();
    runPass();
    std::vector<StandInGateway::Request> udpAdds;
    for (const StandInGateway::Request& r : gateway->actions("AddPortMapping"))
        if (xmlArgument(r.body, "NewProtocol") == "UDP")
            udpAdds.push_back(r);
    ASSERT_GE(udpAdds.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(xmlArgument(udpAdds[udpAdds.size() - 5 + i].body, "NewExternalPort"), std::to_string(5001 + i));
    EXPECT_GT(gateway->actions("DeletePortMapping").size(), deletesBefore);
    EXPECT_FALSE(gateway->mappings().count({5002, "TCP"}));
    v = endpoint.get();
    EXPECT_EQ(v.tcpPort, 5000);
    EXPECT_EQ(v.udpPort, 5000);
    EXPECT_FALSE(v.manualSettings);
    EXPECT_FALSE(mapper->hasRouter());
}

TEST_F(Mapper, UdpFailureGivesTheTcpMappingBack)
{
    oneGateway("203.0.113.5");
    StandInGateway::Service ip;
    ip.type = IpType;
    ip.externalAddress = "203.0.113.5";
    ip.refusedProtocols = {"UDP"};
    gateway->addService("/ctl/ip", ip);
    startMapper();
    runPass();
    EXPECT_TRUE(gateway->mappings().empty());
    std::vector<StandInGateway::Request> deletes = gateway->actions("DeletePortMapping");
    ASSERT_FALSE(deletes.empty());
    EXPECT_EQ(xmlArgument(deletes[0].body, "NewProtocol"), "TCP");
    EXPECT_EQ(xmlArgument(deletes[0].body, "NewExternalPort"), "5000");
    EXPECT_FALSE(endpoint.get().manualSettings);
    EXPECT_FALSE(mapper->hasRouter());
}

TEST_F(Mapper, GatewayWithAnotherAddressIsNotUsed)
{
    oneGateway("198.51.100.1");
    startMapper();
    runPass();
    EXPECT_TRUE(gateway->actions("AddPortMapping").empty());
    EXPECT_FALSE(endpoint.get().manualSettings);
    EXPECT_EQ(text(endpoint.get().address), "203.0.113.5");
}

TEST_F(Mapper, FailedPassDoesNotEndTheThread)
{
    oneGateway("203.0.113.5");
    // Without a route for the SSDP group the search cannot even send.
    CommandResult r = runCommand({"ip", "route", "del", "239.255.255.250/32", "dev", "lo"});
    ASSERT_EQ(r.status, 0) << r.output;
    startMapper();
    runPass();
    EXPECT_TRUE(gateway->searches().empty());
    EXPECT_EQ(mapper->mappingState(), UpnpPortMapper::Idle);
    EXPECT_NE(mapper->getState(), Thread::Finished);

    r = runCommand({"ip", "route", "add", "239.255.255.250/32", "dev", "lo"});
    ASSERT_EQ(r.status, 0) << r.output;
    runPass();
    EXPECT_FALSE(gateway->searches().empty());
    EXPECT_TRUE(endpoint.get().manualSettings);
    EXPECT_EQ(gateway->mappings().size(), 2u);
}

TEST_F(Mapper, IdleThreadStopsPromptly)
{
    startMapper();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int64_t start = monotonicMillis();
    mapper->stop(true);
    EXPECT_LT(monotonicMillis() - start, 200);
    EXPECT_EQ(mapper->getState(), Thread::Finished);
    EXPECT_EQ(mapper->getPassCount(), 0);
}

TEST_F(Mapper, RequestDuringAPassIsServedAfterIt)
{
    oneGateway("203.0.113.5");
    startMapper();
    mapper->requestMapping(request);
    // The pass is searching: the request cleared at its start, this one is new.
    ASSERT_TRUE(waitUntil([&] { return !gateway->searches().empty(); }, 3000));
    mapper->requestMapping(request);
    ASSERT_TRUE(waitUntil([&] { return mapper->getPassCount() == 2; }, 10000));
    EXPECT_EQ(gateway->actions("AddPortMapping").size(), 4u);
    EXPECT_EQ(mapper->mappingState(), UpnpPortMapper::Idle);
}
